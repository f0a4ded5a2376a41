#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class TSimUnit { suMaster, suSlave };
const char* UnitName(TSimUnit Unit);  // "Master", "Slave"

// Which units a setting applies to.
struct TSimUnits {
  bool Master = false;
  bool Slave = false;
  bool Has(TSimUnit Unit) const { return Unit == TSimUnit::suMaster ? Master : Slave; }
};

// How a simulated device departs from a sound one. Record numbers count the program records
// a unit received since its last erase, from 1; 0 stands for the erase record itself.
struct TSimFaults {
  TSimUnits FaultUnits{true, true};  // the units the dialogue faults below apply to
  bool NoAck = false;                // the firmware ignores the enable and sync commands
  bool NoEcho = false;               // the Master bootloader does not echo "U"
  std::optional<unsigned> RefuseRecord;  // this record is answered without the final "."
  std::optional<unsigned> SilentAfter;   // no reply at all after this one, until reconnected
  std::optional<unsigned> CloseAfter;    // the connection is closed after this reply
  bool NoRestartAck = false;         // the unit restarts without answering the restart record
  std::string MasterVersion = "M12";
  std::string SlaveVersion = "S12";
  std::string Noise;                 // sent before every reply
  TSimUnits StartInBootloader;       // units whose firmware no longer answers at start
};

// A Zelmirt as its TCP peer sees it: the Master firmware that answers enable commands and
// passes records on to the Slave, the Master bootloader that takes records framed by their
// byte count, and the Slave bootloader behind the Master that takes line-fed texts. The units'
// modes and their flashed records outlast a connection, as a device's do; what a connection
// had half sent does not.
class TSimDevice {
public:
  // What one batch of received bytes brings about, in order.
  struct TResponse {
    std::vector<std::string> Replies;
    bool Close = false;  // close the connection after the replies
  };
  using TEventSink = std::function<void(const std::string& Event)>;

  TSimDevice(TSimFaults Faults, TEventSink Events);

  // A new connection: partial texts and a silence of the previous one are forgotten.
  void Connected();
  TResponse Receive(std::string_view Bytes);

  // The program records the unit accepted since its last erase, in order.
  const std::vector<std::string>& Flashed(TSimUnit Unit) const;
  // Grows with every change of the flashed records.
  uint64_t FlashedRevision() const { return FFlashedRevision; }
  bool InBootloader(TSimUnit Unit) const { return State(Unit).InBootloader; }

private:
  struct TUnitState {
    bool InBootloader = false;
    unsigned RecordCount = 0;  // program records received since the last erase
    std::vector<std::string> Flashed;
  };

  TUnitState& State(TSimUnit Unit) { return Unit == TSimUnit::suMaster ? FMaster : FSlave; }
  const TUnitState& State(TSimUnit Unit) const { return Unit == TSimUnit::suMaster ? FMaster : FSlave; }
  bool Faulty(TSimUnit Unit) const { return FFaults.FaultUnits.Has(Unit); }
  void Event(const std::string& Text) const;
  void Reply(std::string Text, bool EndLine = true);

  void FirmwareByte(char Byte);
  void FirmwareLine(const std::string& Line);
  void EnableBootloader(TSimUnit Unit, const char* Command, bool FirmwareAnswers);
  void MasterBootloaderByte(char Byte);
  void Record(TSimUnit Unit, const std::string& Text);
  void ProgramRecord(TSimUnit Unit, const std::string& Text);
  void AfterRecord(TSimUnit Unit, unsigned Number);

  const TSimFaults FFaults;
  const TEventSink FEvents;
  TUnitState FMaster;
  TUnitState FSlave;
  uint64_t FFlashedRevision = 0;
  // Per connection.
  std::string FLine;          // the Master firmware's text up to the next line feed
  std::string FRecord;        // the Master bootloader's record being framed
  bool FSilent = false;
  TResponse FResponse;        // of the batch being received
};
