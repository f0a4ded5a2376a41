#include "app/RunOutcome.h"

#include <utility>

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
    {TRunOutcome::Interrupted, "interrupted (Ctrl-C)"},
};

// The window's log lines that end a run, each with the failure it stands for.
const std::pair<const char*, TRunOutcome> FailureLines[] = {
    {"Could Not Enable Programming", TRunOutcome::EnableFailed},
    {"Could Not Sync to Bootloader", TRunOutcome::SyncFailed},
    {"Could Not Sync to Master Bootloader", TRunOutcome::VersionFailed},
    {"Could Not Sync to Slave Bootloader", TRunOutcome::VersionFailed},
    {"Program Error", TRunOutcome::ProgramError},
    {"Program Timeout Error", TRunOutcome::ProgramTimeout},
    {"Failed to Restart", TRunOutcome::RestartFailed},
};
constexpr std::string_view SendFailedPrefix = "Could Not Send to Zelmirt: ";
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

std::optional<TRunOutcome> FailureOfMemoLine(const std::string& Line) {
  for (const auto& [text, outcome] : FailureLines)
    if (Line == text) return outcome;
  if (Line.starts_with(SendFailedPrefix)) return TRunOutcome::SendFailed;
  return std::nullopt;
}
