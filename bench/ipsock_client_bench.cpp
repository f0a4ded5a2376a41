// Loopback throughput of a client in stream mode and of SendString, and the latency from a
// peer's write to the progress status at a 10 ms timer.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <random>
#include <string>
#include <thread>

#include "base/Format.h"
#include "base/MemoryStream.h"
#include "bench/BenchFramework.h"
#include "ipsock/IpClient.h"
#include "platform/MessageWindow.h"

namespace {
using TClock = std::chrono::steady_clock;
constexpr size_t TransferSize = 4 * 1024 * 1024;
constexpr size_t SendStringSize = 65536;
constexpr int32_t LinkSendBufferSize = 16384;

template <class Condition>
void PumpUntil(Condition Done) {
  while (!Done()) ProcessMessages();
}

// A connected client with the peer's end on 127.0.0.1.
class TConnectedClient {
public:
  // The buffer sizes are what the client asks the system for; the device link keeps the
  // receive default (4096) and asks for a 16384-byte send buffer.
  TConnectedClient(int32_t ReceiveBufferSize, int32_t SendBufferSize)
      : FListener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(FListener, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    ::listen(FListener, 1);
    ::getsockname(FListener, reinterpret_cast<sockaddr*>(&address), &length);
    Client->SockInits().SetReceiveMode(rmStream);
    Client->SockInits().SetReceiveBufferSize(ReceiveBufferSize);
    Client->OnStatus.Set([this](TObject*, TSocket, TIpStatusType Event, const TIpConnRec&, const TIpSockStatRec&) {
      if (Event == stProgress) ++Progress;
    });
    Client->Connect(Format("127.0.0.1:%u", ntohs(address.sin_port)));
    Peer = ::accept4(FListener, nullptr, nullptr, SOCK_CLOEXEC);
    PumpUntil([&] { return Client->Connected() && Client->DataSocket()->Writable(); });
    Client->SetReceiveStream(&Stream);
    Client->SetSendBufferSize(SendBufferSize);
  }
  ~TConnectedClient() {
    Client->Disconnect();
    ::close(Peer);
    ::close(FListener);
  }

  TComponentPtr<TIpClient> Client{new TIpClient(nullptr)};
  TMemoryStream Stream;
  int Peer = -1;
  std::atomic<int> Progress{0};

private:
  int FListener;
};

void SendAll(int Fd, const std::string& Data) {
  for (size_t done = 0; done < Data.size();) {
    const ssize_t sent = ::send(Fd, Data.data() + done, Data.size() - done, MSG_NOSIGNAL);
    if (sent <= 0) return;
    done += static_cast<size_t>(sent);
  }
}

void BM_ClientStreamReceive(benchmark::State& State) {
  Framework();
  TConnectedClient connection(static_cast<int32_t>(State.range(0)), LinkSendBufferSize);
  const std::string data(TransferSize, 'x');
  for (auto _ : State) {
    connection.Stream.Clear();
    std::thread writer([&] { SendAll(connection.Peer, data); });
    PumpUntil([&] { return connection.Stream.Size() >= static_cast<int64_t>(data.size()); });
    writer.join();
  }
  State.SetBytesProcessed(State.iterations() * static_cast<int64_t>(TransferSize));
}
BENCHMARK(BM_ClientStreamReceive)->Arg(TIpDataInits::DefaultBufferSize)->Arg(65536)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ClientSendString(benchmark::State& State) {
  Framework();
  TConnectedClient connection(TIpDataInits::DefaultBufferSize, static_cast<int32_t>(State.range(0)));
  const std::string text(SendStringSize, 'y');
  for (auto _ : State) {
    std::atomic<size_t> received{0};
    std::thread reader([&] {
      char buffer[65536];
      while (received < TransferSize) {
        const ssize_t count = ::recv(connection.Peer, buffer, sizeof buffer, 0);
        if (count <= 0) return;
        received += static_cast<size_t>(count);
      }
    });
    for (size_t sent = 0; sent < TransferSize; sent += text.size()) connection.Client->SendString(text, false);
    PumpUntil([&] { return received >= TransferSize; });
    reader.join();
  }
  State.SetBytesProcessed(State.iterations() * static_cast<int64_t>(TransferSize));
}
// Loopback TCP with a send buffer below its 64 KiB segments is slow in Linux itself (plain
// POSIX sockets measure the same), hence the second size.
BENCHMARK(BM_ClientSendString)->Arg(LinkSendBufferSize)->Arg(65536)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PeerWriteToProgress(benchmark::State& State) {
  Framework();
  TConnectedClient connection(TIpDataInits::DefaultBufferSize, LinkSendBufferSize);
  connection.Client->SetTimerInterval(10);
  std::minstd_rand phase(1);
  for (auto _ : State) {
    // Writes land anywhere in the timer period, as a device's replies do.
    std::this_thread::sleep_for(std::chrono::microseconds(phase() % 10000));
    const int before = connection.Progress;
    const auto written = TClock::now();
    SendAll(connection.Peer, "z");
    PumpUntil([&] { return connection.Progress != before; });
    State.SetIterationTime(std::chrono::duration<double>(TClock::now() - written).count());
  }
}
BENCHMARK(BM_PeerWriteToProgress)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(100);
}  // namespace
