#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "app/RunOutcome.h"

// How the run of one unit ended.
struct TUnitVerdict {
  TUnitVerdict() = default;
  TUnitVerdict(uint8_t AUnit, TRunOutcome AOutcome, std::string AMessage = {})
      : Unit(AUnit), Outcome(AOutcome), Message(std::move(AMessage)) {}

  uint8_t Unit = 0;  // MasterTarget or SlaveTarget
  TRunOutcome Outcome = TRunOutcome::Other;
  // The program file as the run read it.
  std::string FileName;
  uint64_t FileSize = 0;
  std::string FileSha256;
  // Program records to send after the filter, and those the device acknowledged.
  int32_t RecordsToSend = 0;
  int32_t RecordsAcknowledged = 0;
  // The program record whose reply decided a failure, counted from 1; 0 the erase record;
  // -1 where no record was involved.
  int32_t RecordIndex = -1;
  // The device's reply line that decided the outcome, where one did.
  std::string Reply;
  // The bootloader version the unit reported, once it did.
  std::string Version;
  // What happened, in the words of the window's log.
  std::string Message;
  // The bootloader acknowledged, or was reached in recovery mode: after a failure the unit
  // waits there, reachable only by a recovery run. Erased: the erase record went out.
  bool BootloaderEntered = false;
  bool Erased = false;
  // The run of this unit counted from 1 (a retry is a further attempt).
  int Attempt = 1;
  std::chrono::system_clock::time_point Started{};
  std::chrono::system_clock::time_point Ended{};
};

// How a whole run ended, stated by the run itself: the first unit that failed decides it,
// else every selected unit was programmed. Units lists every unit that began, in order.
struct TRunVerdict {
  TRunOutcome Outcome = TRunOutcome::Other;
  uint8_t Unit = 0;
  int32_t RecordIndex = -1;
  std::string Reply;
  std::string Message;
  std::vector<TUnitVerdict> Units;

  bool Succeeded() const { return Outcome == TRunOutcome::Programmed; }
};

// The name of a unit (MasterTarget, SlaveTarget): "Master" or "Slave".
const char* UnitName(uint8_t Unit);
// What a run that programmed the units asked for says of itself.
std::string ProgrammedMessage(bool Master, bool Slave);
