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
  RunTimeout = 13,
  // Stopped by a signal: 128 and the signal's number, as a shell reports it.
  HungUp = 129,
  Interrupted = 130,
  Terminated = 143,
};

// Every outcome in the order of its code.
const std::vector<TRunOutcome>& AllRunOutcomes();
// What the outcome means, in a few words.
std::string RunOutcomeMeaning(TRunOutcome Outcome);
