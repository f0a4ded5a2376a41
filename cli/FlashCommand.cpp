#include "cli/FlashCommand.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QTimer>

#include "app/ProgramUnits.h"
#include "app/ProgrammingRun.h"
#include "base/ProgramOptions.h"
#include "cli/CommandLine.h"
#include "cli/ConsoleReport.h"
#include "platform/TerminationSignal.h"

namespace {
// The longest wait of the message loop, so that a termination request is seen promptly.
constexpr int SignalCheckMs = 50;
constexpr int InterruptedExitCode = static_cast<int>(TRunOutcome::Interrupted);

int Fail(TRunOutcome Outcome, const std::string& Message) {
  std::fprintf(stderr, "zelmirt-flash: %s\n", Message.c_str());
  return static_cast<int>(Outcome);
}

void RunUntilFinished(TProgrammingRun& Run, TTerminationSignal& Termination) {
  QTimer signalCheck;
  signalCheck.start(SignalCheckMs);
  while (!Run.Finished()) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (Termination.Take() != 0) Run.Interrupt();
    Run.Service();
  }
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

  TConsoleReport report({options.Quiet, options.Json, isatty(fileno(stdout)) != 0, options.LogFile}, stdout, stderr);
  TProgramUnits units;
  TProgrammingRun run(options.Request, report.Events());
  if (const auto failure = run.Check()) {
    report.Result(*failure);
    return static_cast<int>(failure->Outcome);
  }
  try {
    report.Log("zelmirt-flash: programming " + options.Request.Address);
  } catch (const std::exception& E) {
    return Fail(TRunOutcome::InvalidRequest, E.what());
  }
  // A request taken before the run starts ends it at once.
  if (Termination.Take() != 0) return InterruptedExitCode;
  run.Start();
  RunUntilFinished(run, Termination);
  report.Result(run.Result());
  return static_cast<int>(run.Result().Outcome);
}
