#include "tests/cli/FlashProcess.h"

#include <signal.h>

#include <sstream>

#include "tests/support/WaitUntil.h"

namespace {
// A run with the longest fault (no acknowledgement of a Slave after a whole Master run)
// takes about 15 s; the limit leaves room on a loaded machine.
constexpr int RunLimitMs = 120'000;
constexpr int ReadSliceMs = 50;
}  // namespace

TFlashProcess::TFlashProcess(const QStringList& Arguments) {
  FProcess.start(QStringLiteral(ZELMIRT_FLASH_EXECUTABLE), Arguments);
  FProcess.waitForStarted();
}

TFlashProcess::~TFlashProcess() {
  if (FProcess.state() == QProcess::NotRunning) return;
  FProcess.kill();
  FProcess.waitForFinished();
}

bool TFlashProcess::WaitForOutput(const std::string& Text) {
  return WaitUntil(
      [&] {
        FProcess.waitForReadyRead(ReadSliceMs);
        return Output().find(Text) != std::string::npos;
      },
      std::chrono::milliseconds(RunLimitMs));
}

void TFlashProcess::Interrupt(int Signal) { ::kill(static_cast<pid_t>(FProcess.processId()), Signal); }

int TFlashProcess::WaitForExit() {
  if (!FProcess.waitForFinished(RunLimitMs) || FProcess.exitStatus() != QProcess::NormalExit) return -1;
  return FProcess.exitCode();
}

std::string TFlashProcess::Output() {
  FOutput += FProcess.readAllStandardOutput().toStdString();
  return FOutput;
}

std::string TFlashProcess::Errors() {
  FErrors += FProcess.readAllStandardError().toStdString();
  return FErrors;
}

std::vector<std::string> TFlashProcess::LogLines() {
  std::vector<std::string> lines;
  std::istringstream output(Output());
  for (std::string line; std::getline(output, line);) {
    const bool progress = !line.empty() && line.back() == '%';
    if (!progress && !line.starts_with("[")) lines.push_back(line);
  }
  return lines;
}

TFlashRun RunFlash(const QStringList& Arguments) {
  TFlashProcess flash(Arguments);
  const int code = flash.WaitForExit();
  return {code, flash.Output(), flash.Errors()};
}
