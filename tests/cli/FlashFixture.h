#pragma once

#include <QStringList>
#include <initializer_list>
#include <string>
#include <vector>

#include "tests/support/TempFolder.h"
#include "tests/tools/SimProcess.h"

// The lines of a text, without their line ends.
std::vector<std::string> Lines(const std::string& Text);
// What the device must receive of a program file: every record but those at F800 and above
// and the erased (all-FF) data records of up to 32 bytes.
std::vector<std::string> SentRecords(const std::vector<std::string>& FileLines);
// The simulator's --flashed record of Records flashed to Unit ("MASTER" or "SLAVE").
std::string Flashed(const char* Unit, const std::vector<std::string>& Records);
// A small program file whose filter has work to do: Count records, an erased record and one
// in the bootloader's area, then the end record.
std::string WriteProgram(const TTempFolder& Folder, const std::string& Name, int Count);
QStringList Q(std::initializer_list<std::string> Texts);

// A simulated device at its own address with its --flashed record and its record of every
// byte it received.
class TDevice {
public:
  TDevice(const TTempFolder& Folder, const std::string& Address, QStringList Options = {});
  // Whether the device is up: listening, or turning connections away when told to.
  bool Listening() { return Sim.WaitForOutput(Address + ":4001 "); }
  std::string Flashed() const { return ReadWholeFile(FlashedFile); }
  std::string Received() const { return ReadWholeFile(ReceivedFile); }

  const std::string Address;
  const std::string FlashedFile;
  const std::string ReceivedFile;
  TSimProcess Sim;
};
