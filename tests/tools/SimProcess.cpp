#include "tests/tools/SimProcess.h"

#include <chrono>

#include "tests/support/WaitUntil.h"

namespace {
constexpr int ProcessWaitMs = 10'000;
constexpr int ReceiveSliceMs = 50;
constexpr int ReceiveSlices = 200;  // 10 s at most for one reply

bool EndsWith(const std::string& Text, const std::string& Tail) {
  return Text.size() >= Tail.size() && Text.compare(Text.size() - Tail.size(), Tail.size(), Tail) == 0;
}
}  // namespace

TSimProcess::TSimProcess(const QStringList& Arguments) {
  FProcess.start(QStringLiteral(ZELMIRT_SIM_EXECUTABLE), Arguments);
  FProcess.waitForStarted(ProcessWaitMs);
}

TSimProcess::~TSimProcess() {
  if (FProcess.state() == QProcess::NotRunning) return;
  FProcess.kill();
  FProcess.waitForFinished(ProcessWaitMs);
}

std::string TSimProcess::Output() {
  FOutput += FProcess.readAllStandardOutput().toStdString();
  return FOutput;
}

std::string TSimProcess::Errors() { return FProcess.readAllStandardError().toStdString(); }

bool TSimProcess::WaitForOutput(const std::string& Text) {
  return WaitUntil([&] {
    FProcess.waitForReadyRead(ReceiveSliceMs);
    return Output().find(Text) != std::string::npos;
  });
}

int TSimProcess::WaitForExit() {
  if (!FProcess.waitForFinished(ProcessWaitMs) || FProcess.exitStatus() != QProcess::NormalExit) return -1;
  return FProcess.exitCode();
}

int TSimProcess::Terminate() {
  FProcess.terminate();
  return WaitForExit();
}

bool TSimClient::Connect(const std::string& Address) { return FStream.Connect(Address, 4001); }

std::string TSimClient::Exchange(const std::string& Text, const std::string& Reply) {
  std::string received;
  if (!FStream.Send(Text)) return "(send failed)";
  for (int slice = 0; slice < ReceiveSlices && !EndsWith(received, Reply); ++slice)
    if (!FStream.Receive(received, ReceiveSliceMs)) break;
  return received;
}

bool TSimClient::WaitForClose() {
  std::string ignored;
  for (int slice = 0; slice < ReceiveSlices; ++slice)
    if (!FStream.Receive(ignored, ReceiveSliceMs)) return true;
  return false;
}
