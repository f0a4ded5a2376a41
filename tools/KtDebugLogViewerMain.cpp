// Announces itself to the framework's debug log and prints every record it receives, one
// per line. Usage: ktdebuglog-viewer [port [announcement-name]]
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/Exception.h"
#include "base/Format.h"
#include "base/ProgramOptions.h"
#include "base/UsageError.h"
#include "threads/KtDebugLog.h"
#include "threads/KtDebugLogViewer.h"

namespace {
volatile std::sig_atomic_t Stopping = 0;
void Stop(int) { Stopping = 1; }

const TProgramDescription ViewerProgram{
    "ktdebuglog-viewer",
    "[PORT [NAME]]",
    "Print the records that programs send to the framework's debug log, one per line.",
    std::string("Announces itself under NAME (default \"") + KtDebugLogDefaultName +
        "\") and listens on 127.0.0.1:PORT\n"
        "(default 0: a free port, shown on standard error) until it is interrupted.",
    {},
    ""};

int UsageFailure(const std::string& Message) {
  std::fprintf(stderr, "ktdebuglog-viewer: %s\n", Message.c_str());
  return UsageExitCode;
}
}  // namespace

int main(int argc, char** argv) {
  TParsedArguments parsed;
  try {
    parsed = ParseArguments({HelpOption(), VersionOption()}, ArgumentsOf(argc, argv));
    if (parsed.Operands.size() > 2)
      throw EUsageError(Format("unexpected argument \"%s\"", VisibleText(parsed.Operands[2]).c_str()));
  } catch (const EUsageError& e) {
    return UsageFailure(e.Message() + " (see ktdebuglog-viewer --help)");
  }
  if (parsed.Has(HelpOption().Name)) return Print({0, HelpText(ViewerProgram), false});
  if (parsed.Has(VersionOption().Name)) return Print({0, VersionText(ViewerProgram), false});
  const std::vector<std::string>& operands = parsed.Operands;
  char* end = nullptr;
  const long port = operands.empty() ? 0 : std::strtol(operands[0].c_str(), &end, 10);
  if (!operands.empty() && (operands[0].empty() || *end != '\0' || port < 0 || port > 65535))
    return UsageFailure("port '" + VisibleText(operands[0]) + "' is not a number from 0 to 65535");
  const std::string name = operands.size() > 1 ? operands[1] : KtDebugLogDefaultName;
  std::signal(SIGINT, Stop);
  std::signal(SIGTERM, Stop);
  try {
    TKtDebugLogViewer viewer(name);
    const int listening = viewer.Announce(static_cast<int>(port));
    if (listening < 0) {
      std::fprintf(stderr, "ktdebuglog-viewer: cannot listen on port %ld\n", port);
      return 1;
    }
    std::fprintf(stderr, "ktdebuglog-viewer: listening on 127.0.0.1:%d for '%s'\n", listening, name.c_str());
    while (!Stopping) {
      viewer.Poll(100);
      for (const auto& record : viewer.TakeRecords()) std::printf("%s\n", record.c_str());
      std::fflush(stdout);
    }
  } catch (const Exception& e) {
    std::fprintf(stderr, "ktdebuglog-viewer: %s\n", e.what());
    return 1;
  }
  return 0;
}
