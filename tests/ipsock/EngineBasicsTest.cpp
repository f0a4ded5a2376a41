#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "ipsock/IpBaseClasses.h"
#include "ipsock/IpErrorText.h"
#include "ipsock/IpExceptions.h"
#include "ipsock/IpSettings.h"
#include "ipsock/IpUtils.h"

TEST(ErrorTexts, TableCodesAndSystemTexts) {
  EXPECT_EQ(ErrorText(10061), "Connection refused");
  EXPECT_EQ(ErrorText(10035), "Resource temporarily unavailable");
  EXPECT_EQ(ErrorText(10110), "No more data available");
  EXPECT_EQ(ErrorText(11011), "Rejected for administrative reasons - bad credentials");
  EXPECT_EQ(ErrorText(11015), "General error");
  // Outside the table the operating system speaks for itself.
  EXPECT_EQ(ErrorText(5), std::strerror(5));
  EXPECT_EQ(ErrorText(10000), std::strerror(10000));
}

TEST(ErrorTexts, ExceptionsCarryTheirMessages) {
  const EIpWinSockError error(10061, "Connect");
  EXPECT_EQ(error.ErrorCode(), 10061);
  EXPECT_STREQ(error.what(), "WinSock Error (10061): Connection refused, on API 'Connect'");
  EXPECT_STREQ(EIpActiveError().what(), "Cannot set property on an active socket");
  EXPECT_STREQ(EIpIndexError().what(), "Index out of range");
  EXPECT_STREQ(EIpNoSocketError().what(), "Socket not assigned");
  EXPECT_EQ(std::string(EIpAccessException("recv", ENOSYS).what()),
            std::string("Win32 error loading 'recv' pointer: ") + std::strerror(ENOSYS));
  const EIpBaseException* base = &error;
  EXPECT_NE(dynamic_cast<const Exception*>(base), nullptr);
}

TEST(ErrorTexts, EventAndRequestNames) {
  const std::pair<int32_t, const char*> events[] = {{1, "Fd_Read"},    {2, "Fd_Write"},   {4, "Fd_Oob"},
                                                     {8, "Fd_Accept"}, {16, "Fd_Connect"}, {32, "Fd_Close"}};
  for (const auto& [event, name] : events) {
    std::string text = "before";
    EventName(event, text);
    EXPECT_EQ(text, name);
  }
  std::string unchanged = "before";
  EventName(64, unchanged);
  EXPECT_EQ(unchanged, "before");
  std::string request;
  RequestName(3, request);
  EXPECT_EQ(request, "WsaAsyncGetServByPort");
  RequestName(0, request);
  EXPECT_EQ(request, "WsaAsyncGetHostByName");
  RequestName(4, request);
  EXPECT_EQ(request, "WsaAsyncGetHostByName");
}

TEST(EngineHelpers, TextAndByteHelpers) {
  EXPECT_EQ(TrimSpaces("  a b  "), "a b");
  EXPECT_EQ(TrimSpaces("   "), "");
  EXPECT_EQ(TrimSpaces("\ta\t"), "\ta\t");
  EXPECT_EQ(CharPos('b', "abcb"), 2);
  EXPECT_EQ(CharPos('z', "abc"), 0);
  EXPECT_EQ(CompareBytes("abc", "abd", 2), 0);
  EXPECT_EQ(CompareBytes("abc", "abd", 0), 0);
  EXPECT_EQ(CompareBytes("abd", "abc", 3), 1);
  EXPECT_EQ(CompareBytes("ab\x01", "ab\xff", 3), -1);
  EXPECT_EQ(CharCount("a.b.c", 3, '.'), 1);
  EXPECT_EQ(CharCount("a.b.c", 100, '.'), 2);
  EXPECT_EQ(MinInt(-3, 2), -3);
  EXPECT_EQ(MinInt(7, 2), 2);
  EXPECT_EQ(EngineVersion(), "v1.15");
}

TEST(EngineHelpers, FreeAndClearEmptiesTheReferenceBeforeFreeing) {
  struct TProbe {
    std::unique_ptr<TProbe>* Holder;
    bool* SawEmpty;
    ~TProbe() { *SawEmpty = Holder->get() == nullptr; }
  };
  std::unique_ptr<TProbe> reference;
  bool sawEmpty = false;
  reference = std::make_unique<TProbe>(TProbe{&reference, &sawEmpty});
  FreeAndClear(reference);
  EXPECT_EQ(reference, nullptr);
  EXPECT_TRUE(sawEmpty);
}

TEST(EngineBaseClasses, ComponentVersionAndDefaultRenderer) {
  TComponentPtr<TIpBaseComponent> component(new TIpBaseComponent(nullptr));
  EXPECT_EQ(component->Version(), "v1.15");
  component->SetVersion("v9.99");
  EXPECT_EQ(component->Version(), "v1.15");
  std::string text = "previous";
  TIpBaseComponent::FormatDebugEntry(7, 0x80000001u, nullptr, 0, text);
  EXPECT_EQ(text, "!!!! Unhandled log entry\n\r");
}

TEST(EngineBaseClasses, SocksSettingsCopyAllFields) {
  TIpSocksServerInfo source;
  EXPECT_EQ(source.Port(), 1080);
  EXPECT_EQ(source.Address(), "");
  source.SetAddress("proxy.example");
  source.SetPassword("secret");
  source.SetPort(9050);
  source.SetSocksVersion(svSocks5);
  source.SetUserCode("me");
  TIpSocksServerInfo target;
  target.CopyFrom(source);
  EXPECT_EQ(target.Address(), "proxy.example");
  EXPECT_EQ(target.Password(), "secret");
  EXPECT_EQ(target.Port(), 9050);
  EXPECT_EQ(target.SocksVersion(), svSocks5);
  EXPECT_EQ(target.UserCode(), "me");
  TIpBaseInits inits;
  EXPECT_THROW(target.CopyFrom(inits), EConvertError);
}

TEST(EngineBaseClasses, InitsCopyTheirOptions) {
  TIpBaseInits source;
  EXPECT_TRUE(source.SocketOptions().Empty());
  source.SetSocketOptions({soKeepAlive, soTelnet});
  TIpBaseInits target;
  target.CopyFrom(source);
  EXPECT_EQ(target.SocketOptions(), (TIpSockOptionSet{soKeepAlive, soTelnet}));
  EXPECT_EQ(static_cast<int>(soTelnet), 10);
  TIpSocksServerInfo other;
  EXPECT_THROW(target.CopyFrom(other), EConvertError);
}
