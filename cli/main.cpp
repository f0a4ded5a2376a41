#include <cstdio>

#include "cli/ConsoleApplication.h"
#include "cli/FlashCommand.h"
#include "platform/BrokenPipe.h"
#include "platform/DescriptorLimit.h"
#include "platform/TerminationSignal.h"

int main(int argc, char** argv) {
  try {
    // Before any thread starts, so that every thread leaves the termination signals to it.
    TTerminationSignal termination;
    IgnoreBrokenPipes();
    RaiseDescriptorLimit();
    // No Qt application: the runs' thread serves its message queue itself, without the cost
    // of a Qt event loop's dispatch on every reply.
    TConsoleApplication application(stderr);
    TScopedApplication installed(application);
    return RunFlashCommand(std::vector<std::string>(argv + 1, argv + argc), termination);
  } catch (const std::exception& E) {
    std::fprintf(stderr, "zelmirt-flash: %s\n", E.what());
    return 1;
  }
}
