#include "ipsock/IpBaseClasses.h"

#include "ipsock/IpUtils.h"

std::string TIpBaseComponent::Version() const { return EngineVersion(); }

void TIpBaseComponent::SetVersion(const std::string&) {}

void TIpBaseComponent::FormatDebugEntry(TSocket, uint32_t, const uint8_t*, uint32_t, std::string& Text) {
  Text = "!!!! Unhandled log entry\n\r";
}
