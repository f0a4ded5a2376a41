#include "app/RunOutcome.h"

namespace {
struct TOutcomeText {
  TRunOutcome Outcome;
  const char* Meaning;
};
constexpr TOutcomeText OutcomeTexts[] = {
    {TRunOutcome::Programmed, "every selected unit programmed and restarted"},
    {TRunOutcome::Other, "anything else"},
    {TRunOutcome::InvalidRequest, "usage error or invalid settings"},
    {TRunOutcome::NoConnection, "no connection within the time limit"},
    {TRunOutcome::BadProgramFile, "a program file unreadable or malformed"},
    {TRunOutcome::EnableFailed, "could not enable programming"},
    {TRunOutcome::SyncFailed, "could not sync to the bootloader (no echo)"},
    {TRunOutcome::VersionFailed, "could not sync to the Master or Slave bootloader (version)"},
    {TRunOutcome::ProgramError, "program error"},
    {TRunOutcome::ProgramTimeout, "program time-out"},
    {TRunOutcome::RestartFailed, "failed to restart"},
    {TRunOutcome::ConnectionLost, "connection lost during the run"},
    {TRunOutcome::SendFailed, "a text could not be sent"},
    {TRunOutcome::RunTimeout, "the run passed its time limit (--run-timeout)"},
    {TRunOutcome::HungUp, "stopped by a hang-up (SIGHUP)"},
    {TRunOutcome::Interrupted, "interrupted (Ctrl-C)"},
    {TRunOutcome::Terminated, "stopped by SIGTERM"},
};

}  // namespace

const std::vector<TRunOutcome>& AllRunOutcomes() {
  static const std::vector<TRunOutcome> outcomes = [] {
    std::vector<TRunOutcome> all;
    for (const TOutcomeText& text : OutcomeTexts) all.push_back(text.Outcome);
    return all;
  }();
  return outcomes;
}

std::string RunOutcomeMeaning(TRunOutcome Outcome) {
  for (const TOutcomeText& text : OutcomeTexts)
    if (text.Outcome == Outcome) return text.Meaning;
  return "unknown";
}
