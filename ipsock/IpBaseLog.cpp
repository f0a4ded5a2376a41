#include "ipsock/IpBaseLog.h"

#include "ipsock/IpLockGuard.h"

TIpBaseLog::TIpBaseLog(TIpBaseComponent* Owner) : FOwner(Owner) {}

bool TIpBaseLog::Enabled() const {
  TIpLockGuard<const TIpBaseLog> guard(*this);
  return FEnabled;
}

void TIpBaseLog::SetEnabled(bool Value) {
  TIpLockGuard<const TIpBaseLog> guard(*this);
  FEnabled = Value;
}

std::string TIpBaseLog::FileName() const {
  TIpLockGuard<const TIpBaseLog> guard(*this);
  return FFileName;
}

void TIpBaseLog::SetFileName(const std::string& Value) {
  TIpLockGuard<const TIpBaseLog> guard(*this);
  FFileName = Value;
}
