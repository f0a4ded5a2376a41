// A station of N devices programmed by one zelmirt-flash call, against one zelmirt-sim that
// serves them all: the call's wall time as a ratio to one device alone (the medians of
// alternating rounds, so that both meet the same load), its CPU seconds, peak RSS, and its
// threads and descriptors per device at their peak. In the default mode and with --fast.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "base/Format.h"
#include "bench/BenchFramework.h"
#include "bench/BenchStatistics.h"
#include "tests/support/TempFolder.h"
#include "tests/support/ZelmirtScript.h"
#include "tests/tools/SimProcess.h"

extern char** environ;

namespace {
using TClock = std::chrono::steady_clock;
constexpr int Records = 300;
constexpr int Rounds = 3;
constexpr auto SamplePause = std::chrono::milliseconds(20);

std::string ProgramFile(const TTempFolder& Folder) {
  return Folder.WriteFile("master.hex", ProgramText(Records));
}

// A number field of /proc/PID/status ("Threads:"), or 0 once the process is gone.
long StatusField(pid_t Pid, const std::string& Field) {
  std::ifstream status("/proc/" + std::to_string(Pid) + "/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind(Field, 0) == 0) return std::stol(line.substr(Field.size()));
  return 0;
}

long OpenDescriptors(pid_t Pid) {
  std::error_code error;
  long count = 0;
  for (std::filesystem::directory_iterator it("/proc/" + std::to_string(Pid) + "/fd", error), end;
       !error && it != end; it.increment(error))
    ++count;
  return count;
}

struct TCallFigures {
  int ExitCode = -1;
  double WallSeconds = 0;
  double CpuSeconds = 0;
  long PeakRssKiB = 0;
  long PeakThreads = 0;
  long PeakDescriptors = 0;
};

// Runs zelmirt-flash with Arguments to its end, sampling its threads and descriptors beside
// the wait, so that the wall time ends with the process rather than with a sample.
TCallFigures RunFlash(const std::vector<std::string>& Arguments) {
  std::vector<std::string> words{ZELMIRT_FLASH_EXECUTABLE};
  words.insert(words.end(), Arguments.begin(), Arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  TCallFigures figures;
  pid_t pid = 0;
  const auto started = TClock::now();
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return figures;
  std::atomic<bool> ended{false};
  // Until the process is reaped its /proc entry stays, so a late sample finds it still.
  std::thread sampler([&] {
    while (!ended.load()) {
      figures.PeakThreads = std::max(figures.PeakThreads, StatusField(pid, "Threads:"));
      figures.PeakDescriptors = std::max(figures.PeakDescriptors, OpenDescriptors(pid));
      std::this_thread::sleep_for(SamplePause);
    }
  });
  int status = 0;
  rusage usage{};
  while (waitid(P_PID, static_cast<id_t>(pid), nullptr, WEXITED | WNOWAIT) != 0 && errno == EINTR) {
  }
  const auto finished = TClock::now();
  ended.store(true);
  sampler.join();
  if (wait4(pid, &status, 0, &usage) != pid) return figures;
  figures.WallSeconds = std::chrono::duration<double>(finished - started).count();
  figures.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  const auto seconds = [](const timeval& Time) { return Time.tv_sec + Time.tv_usec / 1e6; };
  figures.CpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
  figures.PeakRssKiB = usage.ru_maxrss;
  return figures;
}

// One call programming the devices 127.<Net>.x.y, 1..Count, each served by one simulator.
TCallFigures ProgramStation(int Net, int Count, bool Fast, const std::string& File, benchmark::State& State) {
  QStringList simArguments;
  std::vector<std::string> arguments{"-q", "-m", File};
  if (Fast) arguments.push_back("--fast");
  std::string last;
  for (int i = 1; i <= Count; ++i) {
    last = Format("127.%d.%d.%d", Net, i / 250, i % 250 + 1);
    simArguments << "--listen" << QString::fromStdString(last);
    arguments.push_back(last);
  }
  TSimProcess sim(simArguments);
  if (!sim.WaitForOutput(last + ":4001 listening")) {
    State.SkipWithError("the simulator did not start");
    return {};
  }
  const TCallFigures figures = RunFlash(arguments);
  if (figures.ExitCode != 0) State.SkipWithError(Format("zelmirt-flash ended with %d", figures.ExitCode).c_str());
  return figures;
}

void BM_Station(benchmark::State& State) {
  Framework();
  const int devices = static_cast<int>(State.range(0));
  const bool fast = State.range(1) != 0;
  TTempFolder folder;
  const std::string file = ProgramFile(folder);
  for (auto _ : State) {
    std::vector<double> aloneWalls;
    std::vector<double> stationWalls;
    std::vector<double> stationCpus;
    TCallFigures peaks;
    for (int round = 0; round < Rounds; ++round) {
      // Each goes first in every other round: neither always meets the machine as the other
      // left it.
      TCallFigures alone;
      TCallFigures station;
      const auto programAlone = [&] { return (alone = ProgramStation(81, 1, fast, file, State)).ExitCode == 0; };
      const auto programStation = [&] {
        return (station = ProgramStation(82, devices, fast, file, State)).ExitCode == 0;
      };
      if (!(round % 2 == 0 ? programAlone() && programStation() : programStation() && programAlone())) return;
      aloneWalls.push_back(alone.WallSeconds);
      stationWalls.push_back(station.WallSeconds);
      stationCpus.push_back(station.CpuSeconds);
      peaks.PeakRssKiB = std::max(peaks.PeakRssKiB, station.PeakRssKiB);
      peaks.PeakThreads = std::max(peaks.PeakThreads, station.PeakThreads);
      peaks.PeakDescriptors = std::max(peaks.PeakDescriptors, station.PeakDescriptors);
    }
    const double alone = Median(aloneWalls);
    const double station = Median(stationWalls);
    State.counters["alone_s"] = alone;
    State.counters["station_s"] = station;
    State.counters["ratio_to_alone"] = alone / station;
    State.counters["cpu_s"] = Median(stationCpus);
    State.counters["peak_rss_MiB"] = peaks.PeakRssKiB / 1024.0;
    State.counters["threads_per_device"] = static_cast<double>(peaks.PeakThreads) / devices;
    State.counters["fds_per_device"] = static_cast<double>(peaks.PeakDescriptors) / devices;
  }
}
BENCHMARK(BM_Station)
    ->ArgNames({"devices", "fast"})
    ->ArgsProduct({{1, 8, 64, 128, 256}, {0, 1}})
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();
}  // namespace
