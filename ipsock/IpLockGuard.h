#pragma once

// Holds an engine object's lock (anything with Lock and Unlock) for one scope.
template <class T>
class TIpLockGuard {
public:
  explicit TIpLockGuard(T& Object) : FObject(Object) { FObject.Lock(); }
  ~TIpLockGuard() { FObject.Unlock(); }
  TIpLockGuard(const TIpLockGuard&) = delete;
  TIpLockGuard& operator=(const TIpLockGuard&) = delete;

private:
  T& FObject;
};
