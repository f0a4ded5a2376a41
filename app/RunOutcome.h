#pragma once

#include <string>
#include <vector>

// How an unattended programming run ended; the values are the command line's exit codes.
enum class TRunOutcome : int {
  Programmed = 0,
  Other = 1,
  InvalidRequest = 2,
  NoConnection = 3,
  BadProgramFile = 4,
  EnableFailed = 5,
  SyncFailed = 6,
  VersionFailed = 7,
  ProgramError = 8,
  ProgramTimeout = 9,
  RestartFailed = 10,
  ConnectionLost = 11,
  SendFailed = 12,
  Interrupted = 130,
};

// Every outcome in the order of its code.
const std::vector<TRunOutcome>& AllRunOutcomes();
// What the outcome means, in a few words.
std::string RunOutcomeMeaning(TRunOutcome Outcome);
