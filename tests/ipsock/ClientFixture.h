#pragma once

#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>

#include "base/Component.h"
#include "base/MemoryStream.h"
#include "ipsock/IpClient.h"
#include "platform/Clock.h"
#include "tests/ipsock/ClientTestSupport.h"
#include "tests/ipsock/SocketTestSupport.h"

// The test's end of a connection; closed when the test is done with it.
class TPeer {
public:
  explicit TPeer(int Fd = -1) : FFd(Fd) {}
  ~TPeer() { Close(); }
  TPeer(const TPeer&) = delete;
  TPeer& operator=(const TPeer&) = delete;
  TPeer& operator=(TPeer&& Other) noexcept {
    Close();
    FFd = Other.FFd;
    Other.FFd = -1;
    return *this;
  }
  int Fd() const { return FFd; }
  void Close() {
    if (FFd >= 0) ::close(FFd);
    FFd = -1;
  }
  // Hands the descriptor over to someone who closes it otherwise.
  int Release() {
    const int fd = FFd;
    FFd = -1;
    return fd;
  }

private:
  int FFd;
};

// A tick count that moves only when the test says so.
class TManualClock : public TClockSource {
public:
  int64_t PerformanceCounter() override { return Milliseconds * 1000000; }
  int64_t PerformanceFrequency() override { return 1000000000; }
  std::atomic<int64_t> Milliseconds{0};
};

// A client, a listening server (on 127.0.0.1 unless the test names its own address) and a
// recorder of the client's events.
class ClientTest : public testing::Test {
protected:
  ClientTest() = default;
  // The server listens on an address and port of the test's own.
  ClientTest(const std::string& ListenAddress, uint16_t ListenPort) : Listener(ListenAddress, ListenPort) {}

  // Connects to the listener and waits until the socket may send; answers the peer's end.
  int ConnectPeer() {
    const TSocket handle = Client->Connect(Listener.AddressText());
    EXPECT_NE(handle, INVALID_SOCKET);
    const int fd = Listener.Accept();
    EXPECT_GE(fd, 0);
    EXPECT_TRUE(WaitUntilWritable()) << "the connection was not made";
    return fd;
  }
  // Connects in stream mode with that timer period, the received bytes going to Stream.
  int ConnectStreamPeer(uint32_t TimerInterval) {
    Client->SockInits().SetReceiveMode(rmStream);
    Client->SetTimerInterval(TimerInterval);
    const int fd = ConnectPeer();
    Client->SetReceiveStream(&Stream);
    return fd;
  }
  bool WaitUntilWritable();
  std::string StreamText() const {
    return std::string(reinterpret_cast<const char*>(Stream.Memory()), static_cast<size_t>(Stream.Size()));
  }

  // Declared first, so that it outlives the client's socket that writes to it.
  TMemoryStream Stream;
  TComponentPtr<TIpClient> Client{new TIpClient(nullptr)};
  TLoopbackListener Listener;
  TClientRecorder Recorder{*Client};
};
