// zelmirt-sim: a simulated Zelmirt for trying the programming utility without a device.
#include <csignal>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "base/ProgramOptions.h"
#include "platform/DescriptorLimit.h"
#include "platform/TcpServer.h"
#include "platform/TerminationSignal.h"
#include "tools/sim/FlashedFile.h"
#include "tools/sim/SimOptions.h"
#include "tools/sim/SimServer.h"

namespace {
constexpr int ExitStopped = 0;
constexpr int ExitFailed = 1;
constexpr int ExitUsage = 2;

void PrintLine(const std::string& Line) {
  std::printf("%s\n", Line.c_str());
  std::fflush(stdout);  // a test or a pipe reads the events as they happen
}

int Fail(int Code, const std::string& Message) {
  std::fprintf(stderr, "zelmirt-sim: %s\n", Message.c_str());
  return Code;
}
}  // namespace

int main(int argc, char** argv) {
  TSimOptions options;
  try {
    options = ParseSimOptions(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const EUsageError& e) {
    return Fail(ExitUsage, e.Message() + " (see zelmirt-sim --help)");
  }
  if (options.Help) {
    std::fputs(SimHelpText().c_str(), stdout);
    return ExitStopped;
  }
  if (options.Version) {
    TProgramDescription simulator;
    simulator.Name = "zelmirt-sim";
    std::fputs(VersionText(simulator).c_str(), stdout);
    return ExitStopped;
  }
  try {
    TTerminationSignal stop;
    // Two descriptors for each simulated device.
    RaiseDescriptorLimit();
    std::optional<TSimServer> server;
    try {
      server.emplace(options, PrintLine);
    } catch (const ETcpServerError& e) {
      return Fail(ExitUsage, e.Message());
    } catch (const ESimRecordError& e) {
      return Fail(ExitUsage, e.Message());
    }
    server->Run(stop);
    const int signal = stop.Take();
    PrintLine(signal == SIGINT ? "stopped by SIGINT" : "stopped by SIGTERM");
    return ExitStopped;
  } catch (const Exception& e) {
    return Fail(ExitFailed, e.Message());
  }
}
