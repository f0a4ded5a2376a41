// Announces itself to the framework's debug log and prints every record it receives, one
// per line. Usage: ktdebuglog-viewer [port [announcement-name]]
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/Exception.h"
#include "base/ProgramOptions.h"
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
}  // namespace

int main(int argc, char** argv) {
  if (const auto answer = AnswerStandardOptions(ViewerProgram, ArgumentsOf(argc, argv))) return Print(*answer);
  char* end = nullptr;
  const long port = argc > 1 ? std::strtol(argv[1], &end, 10) : 0;
  if (argc > 1 && (*end != '\0' || port < 0 || port > 65535)) {
    std::fprintf(stderr, "ktdebuglog-viewer: port '%s' is not a number from 0 to 65535\n", argv[1]);
    return 2;
  }
  const std::string name = argc > 2 ? argv[2] : KtDebugLogDefaultName;
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
