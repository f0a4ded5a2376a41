#include "tools/sim/SimDevice.h"

#include <cctype>

#include "tools/sim/BootloaderTexts.h"
#include "base/Format.h"
#include "tools/sim/HexRecord.h"

using namespace BootloaderTexts;

namespace {
// The bootloader's sync byte, which it echoes.
constexpr char SyncChar = SyncByte[0];
// A firmware line longer than any command is noise; it is dropped rather than kept growing.
constexpr size_t MaxFirmwareLine = 1024;

bool EndsWith(const std::string& Text, std::string_view Tail) {
  return Text.size() >= Tail.size() && Text.compare(Text.size() - Tail.size(), Tail.size(), Tail) == 0;
}
}  // namespace

const char* UnitName(TSimUnit Unit) { return Unit == TSimUnit::suMaster ? "Master" : "Slave"; }

TSimDevice::TSimDevice(TSimFaults Faults, TEventSink Events)
    : FFaults(std::move(Faults)), FEvents(std::move(Events)) {
  FMaster.InBootloader = FFaults.StartInBootloader.Master;
  FSlave.InBootloader = FFaults.StartInBootloader.Slave;
}

void TSimDevice::Event(const std::string& Text) const {
  if (FEvents) FEvents(Text);
}

void TSimDevice::Reply(std::string Text, bool EndLine) {
  if (EndLine) Text += '\r';
  FResponse.Replies.push_back(FFaults.Noise + Text);
}

void TSimDevice::Connected() {
  FLine.clear();
  FRecord.clear();
  FSilent = false;
}

TSimDevice::TResponse TSimDevice::Receive(std::string_view Bytes) {
  FResponse = {};
  for (const char byte : Bytes) {
    if (FSilent || FResponse.Close) break;
    if (FMaster.InBootloader)
      MasterBootloaderByte(byte);
    else
      FirmwareByte(byte);
  }
  return std::move(FResponse);
}

const std::vector<std::string>& TSimDevice::Flashed(TSimUnit Unit) const { return State(Unit).Flashed; }

void TSimDevice::FirmwareByte(char Byte) {
  if (Byte != '\n') {
    if (FLine.size() >= MaxFirmwareLine) FLine.clear();
    FLine += Byte;
    return;
  }
  std::string line = std::move(FLine);
  FLine.clear();
  if (!line.empty() && line.back() == '\r') line.pop_back();
  FirmwareLine(line);
}

// Records go on to the Slave while its bootloader runs; everything else is for the Master
// firmware, which knows its commands by how a line ends, whatever came before them.
void TSimDevice::FirmwareLine(const std::string& Line) {
  if (!Line.empty() && Line.front() == ':') {
    if (FSlave.InBootloader) Record(TSimUnit::suSlave, Line);
    return;
  }
  if (EndsWith(Line, CmdEnableMasterBL))
    EnableBootloader(TSimUnit::suMaster, CmdEnableMasterBL, true);
  else if (EndsWith(Line, CmdEnableSlaveBL))
    EnableBootloader(TSimUnit::suSlave, CmdEnableSlaveBL, !FSlave.InBootloader);
  else if (EndsWith(Line, CmdSyncSlaveBL))
    EnableBootloader(TSimUnit::suSlave, CmdSyncSlaveBL, true);
}

// FirmwareAnswers is false when the command needs the unit's own firmware, which does not run.
void TSimDevice::EnableBootloader(TSimUnit Unit, const char* Command, bool FirmwareAnswers) {
  if (FFaults.NoAck && Faulty(Unit)) {
    Event(Format("\"%s\" not acknowledged (fault)", Command));
    return;
  }
  if (!FirmwareAnswers) {
    Event(Format("\"%s\" not answered: the %s firmware does not run", Command, UnitName(Unit)));
    return;
  }
  State(Unit).InBootloader = true;
  Reply(Unit == TSimUnit::suMaster ? AckMasterBL : AckSlaveBL);
  Event(Format("%s bootloader entered (\"%s\")", UnitName(Unit), Command));
}

// Outside a record the bootloader answers the sync byte and ignores everything but the ':'
// that starts a record; a record ends after as many characters as its byte count asks for.
void TSimDevice::MasterBootloaderByte(char Byte) {
  if (FRecord.empty()) {
    if (Byte == ':') {
      FRecord.push_back(Byte);
    } else if (Byte == SyncChar) {
      if (FFaults.NoEcho && Faulty(TSimUnit::suMaster))
        Event("sync byte not echoed (fault)");
      else
        Reply(std::string(1, SyncChar), false);
    }
    return;
  }
  if (!std::isxdigit(static_cast<unsigned char>(Byte))) {
    // Cut short: what came so far is answered as the bad record it is, and the byte is
    // looked at again as the start of what follows.
    const std::string cut = std::move(FRecord);
    FRecord.clear();
    Record(TSimUnit::suMaster, cut);
    if (FMaster.InBootloader && !FSilent && !FResponse.Close) MasterBootloaderByte(Byte);
    return;
  }
  FRecord += Byte;
  const auto length = HexRecordLength(FRecord);
  if (length && FRecord.size() == *length) {
    const std::string record = std::move(FRecord);
    FRecord.clear();
    Record(TSimUnit::suMaster, record);
  }
}

void TSimDevice::Record(TSimUnit Unit, const std::string& Text) {
  TUnitState& unit = State(Unit);
  const std::string defect = HexRecordDefect(Text);
  if (!defect.empty()) {
    Event(Format("%s record \"%s\" refused: %s", UnitName(Unit), Text.c_str(), defect.c_str()));
    Reply(Text);
    return;
  }
  if (Text == RecVersion) {
    Reply(Text + (Unit == TSimUnit::suMaster ? FFaults.MasterVersion : FFaults.SlaveVersion) + ".");
  } else if (Text == RecErase) {
    unit.Flashed.clear();
    unit.RecordCount = 0;
    ++FFlashedRevision;
    Reply(Text + ".");
    Event(Format("%s erased", UnitName(Unit)));
    AfterRecord(Unit, 0);
  } else if (Text == RecRestart) {
    unit.InBootloader = false;
    if (FFaults.NoRestartAck && Faulty(Unit))
      Event(Format("%s restart not acknowledged (fault)", UnitName(Unit)));
    else
      Reply(Text + ".");
    Event(Format("%s restarted with %d records", UnitName(Unit), static_cast<int>(unit.Flashed.size())));
  } else {
    ProgramRecord(Unit, Text);
  }
}

void TSimDevice::ProgramRecord(TSimUnit Unit, const std::string& Text) {
  TUnitState& unit = State(Unit);
  const unsigned number = ++unit.RecordCount;
  if (FFaults.RefuseRecord == number && Faulty(Unit)) {
    Event(Format("%s record %u refused (fault)", UnitName(Unit), number));
    Reply(Text);
  } else {
    unit.Flashed.push_back(Text);
    ++FFlashedRevision;
    Reply(Text + ".");
  }
  AfterRecord(Unit, number);
}

void TSimDevice::AfterRecord(TSimUnit Unit, unsigned Number) {
  if (!Faulty(Unit)) return;
  if (FFaults.SilentAfter == Number) {
    FSilent = true;
    Event(Format("%s silent after record %u (fault)", UnitName(Unit), Number));
  }
  if (FFaults.CloseAfter == Number) {
    FResponse.Close = true;
    Event(Format("%s closing the connection after record %u (fault)", UnitName(Unit), Number));
  }
}
