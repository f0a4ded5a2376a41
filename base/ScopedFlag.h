#pragma once

// Sets a flag for the lifetime of the guard and clears it on every way out, exceptions
// included, so that a failing step can never leave a busy flag set.
class TScopedFlag {
public:
  explicit TScopedFlag(bool& Flag) : FFlag(Flag) { FFlag = true; }
  ~TScopedFlag() { FFlag = false; }
  TScopedFlag(const TScopedFlag&) = delete;
  TScopedFlag& operator=(const TScopedFlag&) = delete;

private:
  bool& FFlag;
};
