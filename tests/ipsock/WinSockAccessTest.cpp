#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "ipsock/IpExceptions.h"
#include "ipsock/IpWinSockAccess.h"
#include "platform/SocketLibrary.h"

TEST(WinSockAccess, LoadsTheLibrariesInOrder) {
  {
    TIpWinSockAccess both;
    EXPECT_EQ(both.LibraryFile(), WinSock2LibraryFile);
    EXPECT_EQ(both.StartupData().wVersion, 0x0202);
  }
  {
    TScopedSocketLibraryFiles onlyOlder({WinSock1LibraryFile});
    TIpWinSockAccess older;
    EXPECT_EQ(older.LibraryFile(), WinSock1LibraryFile);
    EXPECT_EQ(older.StartupData().wVersion, 0x0101);
  }
}

TEST(WinSockAccess, ShutdownFreesTheLibrary) {
  const size_t before = LoadedSocketLibraryCount();
  {
    TIpWinSockAccess access;
    EXPECT_EQ(LoadedSocketLibraryCount(), before + 1);
  }
  EXPECT_EQ(LoadedSocketLibraryCount(), before);
}

TEST(WinSockAccess, FailedStartupRaisesWithTheWinSockMessage) {
  const size_t before = LoadedSocketLibraryCount();
  TScopedSocketLibraryFiles failing({WinSock2LibraryFile, WinSock1LibraryFile}, WSAVERNOTSUPPORTED);
  try {
    TIpWinSockAccess access;
    FAIL() << "start-up failure was not raised";
  } catch (const EIpWinSockError& e) {
    EXPECT_EQ(e.ErrorCode(), 10092);
    EXPECT_STREQ(e.what(), "WinSock Error (10092): WinSock DLL version not supported, on API 'WSAStartup'");
  }
  // The library whose start-up failed is not left loaded.
  EXPECT_EQ(LoadedSocketLibraryCount(), before);
}

TEST(WinSockAccess, AStartupCodeOutsideTheTableGivesTheSystemsText) {
  TScopedSocketLibraryFiles failing({WinSock2LibraryFile}, 5);
  try {
    TIpWinSockAccess access;
    FAIL() << "start-up failure was not raised";
  } catch (const EIpWinSockError& e) {
    EXPECT_EQ(std::string(e.what()), std::string("WinSock Error (5): ") + std::strerror(5) + ", on API 'WSAStartup'");
  }
}

TEST(WinSockAccess, WithoutALibraryEveryBindingFails) {
  TScopedSocketLibraryFiles none({});
  TIpWinSockAccess access;
  EXPECT_FALSE(access.Loaded());
  EXPECT_EQ(access.LibraryFile(), "");
  try {
    access.socket();
    FAIL() << "binding without a library did not raise";
  } catch (const EIpAccessException& e) {
    EXPECT_EQ(std::string(e.what()), std::string("Win32 error loading 'socket' pointer: ") + std::strerror(EBADF));
  }
  EXPECT_THROW(access.WSAStartup(), EIpAccessException);
}

TEST(WinSockAccess, TheEnginesUnitStartsTheLibraryAndAFailingStartupSurfacesThere) {
  TIpWinSockAccess& running = WinSockAccess();
  const size_t before = LoadedSocketLibraryCount();
  {
    TIpSockUnit unit;
    // Loaded and started with the unit, before any socket function is asked for.
    EXPECT_EQ(LoadedSocketLibraryCount(), before + 1);
    EXPECT_EQ(&WinSockAccess(), &unit.Access());
    EXPECT_TRUE(unit.Access().Loaded());
  }
  EXPECT_EQ(LoadedSocketLibraryCount(), before) << "the unit's end did not shut the library down";
  EXPECT_EQ(&WinSockAccess(), &running);

  TScopedSocketLibraryFiles failing({WinSock2LibraryFile, WinSock1LibraryFile}, WSAVERNOTSUPPORTED);
  try {
    TIpSockUnit unit;
    FAIL() << "the unit started over a failing start-up";
  } catch (const EIpWinSockError& e) {
    EXPECT_STREQ(e.what(), "WinSock Error (10092): WinSock DLL version not supported, on API 'WSAStartup'");
  }
  EXPECT_EQ(&WinSockAccess(), &running) << "a unit that did not start stands in for the running one";
  EXPECT_EQ(LoadedSocketLibraryCount(), before);
}

TEST(WinSockAccess, BindsEveryFunctionOnceAndCallsThrough) {
  TIpWinSockAccess access;
  EXPECT_EQ(access.socket(), access.socket());
  EXPECT_EQ(access.htons()(0x0102), 0x0201);
  EXPECT_EQ(access.ntohs()(0x0201), 0x0102);
  EXPECT_EQ(access.inet_addr()("1.2.3.4"), access.inet_addr()("1.2.3.4"));
  EXPECT_NE(access.bind(), nullptr);
  EXPECT_NE(access.closesocket(), nullptr);
  EXPECT_NE(access.connect(), nullptr);
  EXPECT_NE(access.gethostbyname(), nullptr);
  EXPECT_NE(access.getpeername(), nullptr);
  EXPECT_NE(access.getsockname(), nullptr);
  EXPECT_NE(access.getsockopt(), nullptr);
  EXPECT_NE(access.inet_ntoa(), nullptr);
  EXPECT_NE(access.recv(), nullptr);
  EXPECT_NE(access.send(), nullptr);
  EXPECT_NE(access.setsockopt(), nullptr);
  EXPECT_NE(access.shutdown(), nullptr);
  EXPECT_NE(access.WSAAsyncSelect(), nullptr);
  EXPECT_NE(access.WSACancelAsyncRequest(), nullptr);
  EXPECT_NE(access.WSACleanup(), nullptr);
  EXPECT_NE(access.WSAGetLastError(), nullptr);
  EXPECT_NE(access.WSAStartup(), nullptr);
  EXPECT_EQ(&WinSockAccess(), &WinSockAccess());
  EXPECT_TRUE(WinSockAccess().Loaded());
}

TEST(WinSockAccess, BindingFromSeveralThreadsAtOnceIsSafe) {
  TIpWinSockAccess access;
  std::vector<std::thread> threads;
  std::vector<TSocket> handles(4, INVALID_SOCKET);
  for (size_t t = 0; t < handles.size(); ++t)
    threads.emplace_back([&, t] {
      handles[t] = access.socket()(WS_AF_INET, WS_SOCK_STREAM, 0);
      access.closesocket()(handles[t]);
    });
  for (std::thread& thread : threads) thread.join();
  for (size_t t = 0; t < handles.size(); ++t) {
    EXPECT_NE(handles[t], INVALID_SOCKET);
    for (size_t u = t + 1; u < handles.size(); ++u) EXPECT_NE(handles[t], handles[u]);
  }
}
