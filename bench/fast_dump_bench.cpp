// The fast dump against what the host allows: a bare blocking client written for this
// benchmark (one thread, TCP_NODELAY, sends a record and waits for its reply) and
// zelmirt-flash --fast's in-process run dump the same 2000 Master records to the simulator,
// in rotating rounds; the ratio of their median records per second, and the CPU time each
// spends on its own thread per record, which shows where the difference goes. The same bare
// client waiting for each reply in an epoll set, as an event loop that serves many devices
// must, splits the difference into what waiting in an event loop costs and what the
// program's own layers cost.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <utility>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "app/ProgrammingRun.h"
#include "base/Format.h"
#include "bench/BenchFramework.h"
#include "bench/BenchStatistics.h"
#include "platform/MessageLoop.h"
#include "tests/support/TempFolder.h"
#include "tests/support/ZelmirtScript.h"
#include "tests/tools/SimProcess.h"

namespace {
using TClock = std::chrono::steady_clock;
constexpr int Records = 2000;
constexpr int Rounds = 9;
constexpr int DevicePort = 4001;
constexpr auto RunLimit = std::chrono::minutes(2);
// zelmirt-flash's longest wait.
constexpr int LongestWaitMs = 50;
// The wait of an event loop whose run ticks every 10 ms.
constexpr int LoopWaitMs = 10;

double ThreadCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// One dump as measured: zero records per second when it failed.
struct TDumpFigures {
  double RecordsPerSecond = 0;
  double CpuMicrosecondsPerRecord = 0;
};

TDumpFigures FiguresOf(size_t Sent, TClock::duration Wall, double CpuSeconds) {
  const double records = static_cast<double>(Sent);
  return {records / std::chrono::duration<double>(Wall).count(), CpuSeconds * 1e6 / records};
}

std::vector<std::string> ProgramRecords() {
  std::vector<std::string> records;
  for (int i = 0; i < Records; ++i) records.push_back(DataRecord(i));
  // The end-of-file record goes out last in both dumps, as the run sends it.
  records.push_back(HexRecord(0, 1, {}));
  return records;
}

// The dialogue up to the dump and the dump itself over one blocking socket; with
// WaitInEpoll, each read first waits in an epoll set with a timeout, as an event loop with
// timers does.
class TBareClient {
public:
  explicit TBareClient(bool WaitInEpoll) : FWaitInEpoll(WaitInEpoll) {}
  ~TBareClient() {
    if (FSocket >= 0) ::close(FSocket);
    if (FEpoll >= 0) ::close(FEpoll);
  }
  TBareClient(const TBareClient&) = delete;
  TBareClient& operator=(const TBareClient&) = delete;
  bool Connect(const std::string& Address) {
    FSocket = ::socket(AF_INET, SOCK_STREAM, 0);
    if (FSocket < 0) return false;
    const int on = 1;
    ::setsockopt(FSocket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(DevicePort);
    ::inet_pton(AF_INET, Address.c_str(), &target.sin_addr);
    if (::connect(FSocket, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0) return false;
    if (!FWaitInEpoll) return true;
    FEpoll = ::epoll_create1(EPOLL_CLOEXEC);
    epoll_event readable{};
    readable.events = EPOLLIN;
    return FEpoll >= 0 && ::epoll_ctl(FEpoll, EPOLL_CTL_ADD, FSocket, &readable) == 0;
  }
  // Sends Text and reads until the reply ends with End; false when the connection failed.
  bool Exchange(const std::string& Text, char End) {
    if (::send(FSocket, Text.data(), Text.size(), 0) != static_cast<ssize_t>(Text.size())) return false;
    char buffer[256];
    for (;;) {
      epoll_event ready{};
      if (FWaitInEpoll && ::epoll_wait(FEpoll, &ready, 1, LoopWaitMs) < 0) return false;
      const ssize_t got = ::recv(FSocket, buffer, sizeof buffer, 0);
      if (got <= 0) return false;
      if (buffer[got - 1] == End) return true;
    }
  }
  // From the first record's send to the last reply.
  TDumpFigures Dump(const std::vector<std::string>& Program) {
    if (!Exchange("ENB MASTER BL\n", '\r') || !Exchange("U", 'U') || !Exchange(":0100000307F5", '\r')) return {};
    const auto start = TClock::now();
    const double cpuStart = ThreadCpuSeconds();
    for (const std::string& record : Program)
      if (!Exchange(record, '\r')) return {};
    return FiguresOf(Program.size(), TClock::now() - start, ThreadCpuSeconds() - cpuStart);
  }

private:
  const bool FWaitInEpoll;
  int FSocket = -1;
  int FEpoll = -1;
};

// zelmirt-flash --fast's run in this process, timed over the dump as its log shows it; the
// CPU time is this thread's, the one that acts on the replies.
TDumpFigures FastRunDump(const std::string& Address, const std::string& File) {
  TRunRequest request;
  request.Address = Address;
  request.MasterFile = File;
  request.Master = true;
  request.Fast = true;
  TClock::time_point dumpStart;
  TClock::time_point dumpEnd;
  double cpuStart = 0;
  double cpuEnd = 0;
  TRunEvents events;
  events.OnMemoLine = [&](const std::string& Line, bool) {
    if (Line == "Beginning Program Dump ...") {
      dumpStart = TClock::now();
      cpuStart = ThreadCpuSeconds();
    }
    if (Line == "Zelmirt Master Processor Programmed") {
      dumpEnd = TClock::now();
      cpuEnd = ThreadCpuSeconds();
    }
  };
  TProgrammingRun run(request, events);
  if (run.Check()) return {};
  run.Start();
  const auto deadline = TClock::now() + RunLimit;
  // zelmirt-flash's message loop.
  while (!run.Finished() && TClock::now() < deadline) {
    WaitAndDeliverMessages(LongestWaitMs);
    run.Service();
  }
  if (!run.Finished() || run.Result().Outcome != TRunOutcome::Programmed) return {};
  return FiguresOf(Records + 1, dumpEnd - dumpStart, cpuEnd - cpuStart);
}

double Median(const std::vector<TDumpFigures>& Dumps, double TDumpFigures::*Figure) {
  std::vector<double> values;
  for (const TDumpFigures& dump : Dumps) values.push_back(dump.*Figure);
  return ::Median(std::move(values));
}

void BM_FastDumpAgainstBareClient(benchmark::State& State) {
  Framework();
  TTempFolder folder;
  const std::vector<std::string> program = ProgramRecords();
  const std::string file = folder.WriteFile("master.hex", ProgramText(Records));
  for (auto _ : State) {
    // The dumps of each contender, in the order of Contenders.
    enum { Bare, BareInEpoll, Fast, Contenders };
    std::vector<TDumpFigures> dumps[Contenders];
    for (int round = 0; round < Rounds; ++round) {
      // A fresh device for each dump, on an address of its own.
      std::vector<std::string> addresses;
      QStringList arguments;
      for (int contender = 0; contender < Contenders; ++contender) {
        addresses.push_back(Format("127.84.%d.%d", round, contender + 1));
        arguments << "--listen" << QString::fromStdString(addresses.back());
      }
      TSimProcess sim(arguments);
      if (!sim.WaitForOutput(addresses.back() + ":4001 listening")) {
        State.SkipWithError("the simulator did not start");
        return;
      }
      const auto dump = [&](int Contender) {
        const std::string& address = addresses[static_cast<size_t>(Contender)];
        if (Contender == Fast) return FastRunDump(address, file);
        TBareClient client(Contender == BareInEpoll);
        return client.Connect(address) ? client.Dump(program) : TDumpFigures{};
      };
      // The order rotates from round to round, so that none always meets a fresh or a
      // warmed-up simulator.
      for (int turn = 0; turn < Contenders; ++turn) {
        const int contender = (round + turn) % Contenders;
        dumps[contender].push_back(dump(contender));
        if (dumps[contender].back().RecordsPerSecond == 0) {
          State.SkipWithError("a dump failed");
          return;
        }
      }
    }
    const double bareRate = Median(dumps[Bare], &TDumpFigures::RecordsPerSecond);
    const double bareInEpollRate = Median(dumps[BareInEpoll], &TDumpFigures::RecordsPerSecond);
    const double fastRate = Median(dumps[Fast], &TDumpFigures::RecordsPerSecond);
    State.counters["bare_records_per_s"] = bareRate;
    State.counters["bare_epoll_records_per_s"] = bareInEpollRate;
    State.counters["fast_records_per_s"] = fastRate;
    State.counters["ratio_fast_to_bare"] = fastRate / bareRate;
    State.counters["ratio_fast_to_bare_epoll"] = fastRate / bareInEpollRate;
    State.counters["bare_cpu_us_per_record"] = Median(dumps[Bare], &TDumpFigures::CpuMicrosecondsPerRecord);
    State.counters["bare_epoll_cpu_us_per_record"] =
        Median(dumps[BareInEpoll], &TDumpFigures::CpuMicrosecondsPerRecord);
    State.counters["fast_cpu_us_per_record"] = Median(dumps[Fast], &TDumpFigures::CpuMicrosecondsPerRecord);
  }
}
BENCHMARK(BM_FastDumpAgainstBareClient)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
}  // namespace
