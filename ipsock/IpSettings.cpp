#include "ipsock/IpSettings.h"

#include "ipsock/IpLockGuard.h"

namespace {
template <class T>
T Guarded(const TIpSocksServerInfo& Info, const T& Field) {
  TIpLockGuard<const TIpSocksServerInfo> guard(Info);
  return Field;
}

template <class T>
void Assign(TIpSocksServerInfo& Info, T& Field, const T& Value) {
  TIpLockGuard<TIpSocksServerInfo> guard(Info);
  Field = Value;
}
}  // namespace

void TIpSocksServerInfo::CopyFrom(const TPersistent& Source) {
  auto* source = dynamic_cast<const TIpSocksServerInfo*>(&Source);
  if (source == nullptr) {
    TIpBasePersistent::CopyFrom(Source);
    return;
  }
  if (source == this) return;
  // Read the source under its own lock, then write under ours: never both locks at once.
  const TIpSocksServerInfo& from = *source;
  const std::string address = from.Address();
  const std::string password = from.Password();
  const uint16_t port = from.Port();
  const TIpSocksVersion version = from.SocksVersion();
  const std::string userCode = from.UserCode();
  TIpLockGuard<TIpSocksServerInfo> guard(*this);
  FAddress = address;
  FPassword = password;
  FPort = port;
  FSocksVersion = version;
  FUserCode = userCode;
}

std::string TIpSocksServerInfo::Address() const { return Guarded(*this, FAddress); }
void TIpSocksServerInfo::SetAddress(const std::string& Value) { Assign(*this, FAddress, Value); }
std::string TIpSocksServerInfo::Password() const { return Guarded(*this, FPassword); }
void TIpSocksServerInfo::SetPassword(const std::string& Value) { Assign(*this, FPassword, Value); }
uint16_t TIpSocksServerInfo::Port() const { return Guarded(*this, FPort); }
void TIpSocksServerInfo::SetPort(uint16_t Value) { Assign(*this, FPort, Value); }
TIpSocksVersion TIpSocksServerInfo::SocksVersion() const { return Guarded(*this, FSocksVersion); }
void TIpSocksServerInfo::SetSocksVersion(TIpSocksVersion Value) { Assign(*this, FSocksVersion, Value); }
std::string TIpSocksServerInfo::UserCode() const { return Guarded(*this, FUserCode); }
void TIpSocksServerInfo::SetUserCode(const std::string& Value) { Assign(*this, FUserCode, Value); }

void TIpBaseInits::CopyFrom(const TPersistent& Source) {
  if (auto* source = dynamic_cast<const TIpBaseInits*>(&Source)) {
    FSocketOptions = source->FSocketOptions;
    return;
  }
  TPersistent::CopyFrom(Source);
}
