#include "cli/FlashCommand.h"

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <memory>

#include "app/ProgramUnits.h"
#include "base/Format.h"
#include "app/ProgrammingRun.h"
#include "base/ProgramOptions.h"
#include "cli/CheckCommand.h"
#include "cli/CommandLine.h"
#include "cli/ConsoleReport.h"
#include "cli/ConsoleScreen.h"
#include "cli/FlashSummary.h"
#include "cli/RecoveryAdvice.h"
#include "cli/RunLog.h"
#include "cli/RunReport.h"
#include "platform/Files.h"
#include "platform/MessageLoop.h"
#include "platform/TerminationSignal.h"

namespace {
// The longest wait of the message loop, so that the runs' time limits and a termination
// request are seen promptly when nothing else happens.
constexpr auto LongestWait = std::chrono::milliseconds(50);

// The outcome of a run stopped by Signal, whose exit code is the shell's 128 + Signal.
TRunOutcome OutcomeOfSignal(int Signal) {
  if (Signal == SIGHUP) return TRunOutcome::HungUp;
  if (Signal == SIGTERM) return TRunOutcome::Terminated;
  return TRunOutcome::Interrupted;
}

int Fail(TRunOutcome Outcome, const std::string& Message) {
  std::fprintf(stderr, "zelmirt-flash: %s\n", Message.c_str());
  return static_cast<int>(Outcome);
}

TConsoleReport::TSettings ReportSettings(const TFlashOptions& Options) {
  return {Options.Quiet, Options.Verbose, Options.Json, Options.Devices.size() > 1};
}

// One device: its report and its run.
struct TDevice {
  TDevice(const TFlashOptions& Options, const TDeviceEntry& Device, size_t Index, TConsoleScreen& Screen,
          TRunLog& Log, const TLocalTime& Start)
      : Report(ReportSettings(Options), Device.Address, Index, Screen, Log,
               Options.LogFolder.empty() ? "" : DeviceLogFileName(Options.LogFolder, Device.Address, Start)),
        Run(RequestFor(Options, Device), Report.Events()) {}
  static TRunRequest RequestFor(const TFlashOptions& Options, const TDeviceEntry& Device) {
    TRunRequest request = Options.Request;
    request.Address = Device.Address;
    request.MasterRecover = request.MasterRecover || Device.MasterRecover;
    request.SlaveRecover = request.SlaveRecover || Device.SlaveRecover;
    return request;
  }
  // The run's verdict as the report's records, JSON objects.
  std::vector<std::string> Verdicts() const {
    std::vector<std::string> verdicts;
    for (const TRunReport::TRecord& record : TRunReport::Records(Run)) verdicts.push_back(TRunReport::JsonLine(record));
    return verdicts;
  }
  std::vector<std::string> Advice(bool SeveralDevices) const {
    return RecoveryAdvice(Run.Result(), Run.Request(), SeveralDevices);
  }
  // Which file each unit is programmed from, as checked: the Master's first.
  void ReportProgramFiles() {
    const TRunRequest& request = Run.Request();
    size_t next = 0;
    for (const auto& [selected, unit] : {std::pair{request.Master, "Master"}, std::pair{request.Slave, "Slave"}})
      if (selected && next < Run.CheckedFiles().size()) Report.ProgramFile(unit, *Run.CheckedFiles()[next++]);
  }
  TDeviceOutcome Outcome() const {
    return {Run.Request().Address, UnitsText(Run.Request()), Run.Result(), Run.RecordsAcknowledged(),
            Run.Elapsed().count()};
  }

  TConsoleReport Report;
  TProgrammingRun Run;
  bool Reported = false;
};

// Runs every device's run to its end on this thread, each reported as it ends. No run
// waits for another: they share the loop, and each moves on its own timers and messages.
void RunUntilFinished(std::vector<std::unique_ptr<TDevice>>& Devices, TConsoleScreen& Screen,
                      TTerminationSignal& Termination, const TRunReport& Report) {
  size_t running = Devices.size();
  auto signalCheckDue = std::chrono::steady_clock::now();
  while (running > 0) {
    WaitAndDeliverMessages(static_cast<int>(LongestWait.count()));
    // Looked for once per longest wait, not at every round: with the fast dump a round is a
    // reply, and a look at each would cost it a system call.
    int signal = 0;
    if (const auto now = std::chrono::steady_clock::now(); now >= signalCheckDue) {
      signal = Termination.Take();
      signalCheckDue = now + LongestWait;
    }
    for (const auto& device : Devices) {
      if (device->Reported) continue;
      if (signal != 0) device->Run.Interrupt(OutcomeOfSignal(signal));
      device->Run.Service();
      if (!device->Run.Finished()) continue;
      device->Reported = true;
      // The bars' last state stays on the screen, above the last result.
      if (--running == 0) Screen.KeepBars();
      device->Report.Result(device->Run.Result(), device->Verdicts(), device->Advice(Devices.size() > 1));
      try {
        Report.Append(device->Run);
      } catch (const std::exception& E) {
        Screen.ErrorLine(Format("zelmirt-flash: %s: the report misses %s", E.what(),
                                device->Run.Request().Address.c_str()));
      }
    }
  }
}

void ReportSummary(const TFlashOptions& Options, const std::vector<std::unique_ptr<TDevice>>& Devices,
                   const std::vector<TDeviceOutcome>& Outcomes, TConsoleScreen& Screen) {
  if (Options.Json) {
    Screen.Line(SummaryJson(Outcomes));
    return;
  }
  if (!Options.Quiet)
    for (const std::string& line : SummaryTable(Outcomes)) Screen.Line(line);
  if (SummaryExitCode(Outcomes) == 0)
    Screen.Line(SummaryLine(Outcomes));
  else
    Screen.ErrorLine(SummaryLine(Outcomes));
  // What to do next, last, where it is read.
  for (const auto& device : Devices)
    for (const std::string& advice : device->Advice(true))
      Screen.ErrorLine(Format("%s: %s", device->Run.Request().Address.c_str(), advice.c_str()));
}
}  // namespace

int RunFlashCommand(const std::vector<std::string>& Arguments, TTerminationSignal& Termination) {
  TFlashOptions options;
  try {
    options = ParseCommandLine(Arguments);
  } catch (const EUsageError& E) {
    return Fail(TRunOutcome::InvalidRequest, std::string(E.what()) + " (see zelmirt-flash --help)");
  }
  if (options.Help) {
    std::fputs(HelpText().c_str(), stdout);
    return 0;
  }
  if (options.Version) {
    TProgramDescription flash;
    flash.Name = "zelmirt-flash";
    std::fputs(VersionText(flash).c_str(), stdout);
    return 0;
  }

  TConsoleScreen screen(stdout, stderr, isatty(fileno(stdout)) != 0);
  if (options.Check) return RunCheckCommand(options.CheckFiles, options.Json, screen);
  TRunLog log(options.LogFile);
  TProgramUnits units;
  std::vector<std::unique_ptr<TDevice>> devices;
  const TLocalTime start = LocalTimeNow();
  for (const TDeviceEntry& device : options.Devices)
    devices.push_back(std::make_unique<TDevice>(options, device, devices.size(), screen, log, start));
  // Every device gets the same files: a request that cannot run fails before anything
  // connects, once.
  for (const auto& device : devices) {
    if (const auto failure = device->Run.Check()) {
      TConsoleReport::TSettings once = ReportSettings(options);
      once.Prefixed = false;
      TConsoleReport(once, device->Run.Request().Address, 0, screen, log).Result(*failure);
      return static_cast<int>(failure->Outcome);
    }
  }
  const TRunReport report(options.ReportFile);
  try {
    report.CheckWritable();
    if (!options.LogFolder.empty()) MakeFolder(options.LogFolder);
    for (const TDeviceEntry& device : options.Devices) log.Append("zelmirt-flash: programming " + device.Address);
  } catch (const std::exception& E) {
    return Fail(TRunOutcome::InvalidRequest, E.what());
  }
  for (const auto& device : devices) device->ReportProgramFiles();
  // A request taken before the runs start ends them at once.
  if (const int signal = Termination.Take(); signal != 0) return static_cast<int>(OutcomeOfSignal(signal));
  for (const auto& device : devices) device->Run.Start();
  RunUntilFinished(devices, screen, Termination, report);
  std::vector<TDeviceOutcome> outcomes;
  for (const auto& device : devices) outcomes.push_back(device->Outcome());
  if (devices.size() > 1) ReportSummary(options, devices, outcomes, screen);
  return SummaryExitCode(outcomes);
}
