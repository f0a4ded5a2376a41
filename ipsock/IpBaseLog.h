#pragma once

#include <string>

#include "base/Persistent.h"
#include "ipsock/IpBaseClasses.h"

// A log owned by a socket control. Every field of the log and of its subclasses is guarded
// by the log's lock, since entries come from whatever thread runs the socket's work.
class TIpBaseLog : public TPersistent, public TIpLockable {
public:
  explicit TIpBaseLog(TIpBaseComponent* Owner);

  bool Enabled() const;
  virtual void SetEnabled(bool Value);
  // Relative names resolve against the current directory.
  std::string FileName() const;
  virtual void SetFileName(const std::string& Value);
  TIpBaseComponent* Owner() const { return FOwner; }

protected:
  bool FEnabled = false;
  std::string FFileName;

private:
  TIpBaseComponent* FOwner;
};
