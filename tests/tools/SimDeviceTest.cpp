#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/Files.h"
#include "tests/tools/SimRecords.h"
#include "tools/sim/HexRecord.h"
#include "tools/sim/SimDevice.h"

using namespace SimRecords;

namespace {
constexpr TSimUnit Master = TSimUnit::suMaster;
constexpr TSimUnit Slave = TSimUnit::suSlave;

class SimDeviceTest : public testing::Test {
protected:
  void Make(const TSimFaults& Faults = {}) {
    Device = std::make_unique<TSimDevice>(Faults, [this](const std::string& Event) { Events.push_back(Event); });
    Device->Connected();
  }
  // Everything the device answers to Bytes, replies joined.
  std::string Send(const std::string& Bytes) {
    const TSimDevice::TResponse response = Device->Receive(Bytes);
    Closed = response.Close;
    std::string joined;
    for (const std::string& reply : response.Replies) joined += reply;
    return joined;
  }
  // The Master run up to the dump: enable, sync, version and erase, each answered rightly.
  void EnterMasterDump() {
    ASSERT_EQ(Send("ENB MASTER BL\n"), "ACK MASTER BL\r");
    ASSERT_EQ(Send("U"), "U");
    ASSERT_EQ(Send(RecVersion), RecVersion + "M12.\r");
    ASSERT_EQ(Send(RecErase), RecErase + ".\r");
  }
  void EnterSlaveDump() {
    ASSERT_EQ(Send("ENB SLAVE BL\n"), "ACK SLAVE BL\r");
    ASSERT_EQ(Send(RecVersion + "\n"), RecVersion + "S12.\r");
    ASSERT_EQ(Send(RecErase + "\n"), RecErase + ".\r");
  }
  bool HasEvent(const std::string& Part) const {
    for (const std::string& event : Events)
      if (event.find(Part) != std::string::npos) return true;
    return false;
  }

  std::unique_ptr<TSimDevice> Device;
  std::vector<std::string> Events;
  bool Closed = false;
  const std::vector<std::string> Records = Program(4);
};

TEST_F(SimDeviceTest, MasterAndSlaveRunsAreAnsweredAndFlashedInOrder) {
  Make();
  EnterMasterDump();
  for (const std::string& record : Records) EXPECT_EQ(Send(record), record + ".\r");
  EXPECT_TRUE(Device->InBootloader(Master));
  EXPECT_EQ(Send(RecRestart), ":020000030300F8.\r");
  EXPECT_FALSE(Device->InBootloader(Master));
  EXPECT_EQ(Device->Flashed(Master), Records);

  EnterSlaveDump();
  EXPECT_TRUE(Device->InBootloader(Slave));
  for (const std::string& record : Records) EXPECT_EQ(Send(record + "\n"), record + ".\r");
  EXPECT_EQ(Send(RecRestart + "\n"), ":020000030300F8.\r");
  EXPECT_FALSE(Device->InBootloader(Slave));
  EXPECT_EQ(Device->Flashed(Slave), Records);
  EXPECT_EQ(Device->Flashed(Master), Records);
  EXPECT_TRUE(HasEvent("Master restarted with 4 records")) << testing::PrintToString(Events);
  EXPECT_TRUE(HasEvent("Slave restarted with 4 records"));

  // A second erase starts the unit's record afresh.
  const uint64_t revision = Device->FlashedRevision();
  EXPECT_EQ(Send("SYNC SLAVE BL\n"), "ACK SLAVE BL\r");
  EXPECT_EQ(Send(RecErase + "\n"), RecErase + ".\r");
  EXPECT_TRUE(Device->Flashed(Slave).empty());
  EXPECT_GT(Device->FlashedRevision(), revision);
}

TEST_F(SimDeviceTest, MasterRecordsAreFramedByTheirByteCountHoweverTheBytesArrive) {
  Make();
  EnterMasterDump();
  // Two records in one batch, then one record byte by byte.
  EXPECT_EQ(Send(Records[0] + Records[1]), Records[0] + ".\r" + Records[1] + ".\r");
  std::string replies;
  for (const char byte : Records[2]) replies += Send(std::string(1, byte));
  EXPECT_EQ(replies, Records[2] + ".\r");
  // Line ends between records are ignored; a record cut short by a foreign character is
  // answered as the bad record it is, and what follows is read afresh.
  EXPECT_EQ(Send("\r\n" + Records[3]), Records[3] + ".\r");
  EXPECT_EQ(Send(":1000U"), ":1000\rU");
  EXPECT_EQ(Device->Flashed(Master), Records);
}

TEST_F(SimDeviceTest, BadRecordsAreAnsweredWithoutTheFinalDotAndNotFlashed) {
  Make();
  EnterMasterDump();
  std::string badChecksum = Records[0];
  badChecksum.back() = badChecksum.back() == '0' ? '1' : '0';
  const std::string lowerCase = ":0400000001020304f2";  // checksum F2 is right; lower case is hexadecimal too
  EXPECT_EQ(Send(badChecksum), badChecksum + "\r");
  EXPECT_EQ(Send(lowerCase), lowerCase + ".\r");
  EXPECT_TRUE(HasEvent("refused: checksum")) << testing::PrintToString(Events);
  EXPECT_EQ(Device->Flashed(Master), std::vector<std::string>{lowerCase});

  // The Slave takes whole lines, so a line's length must fit its byte count.
  ASSERT_EQ(Send(RecRestart), RecRestart + ".\r");
  EnterSlaveDump();
  const std::string longer = Records[0] + "00";
  EXPECT_EQ(Send(longer + "\n"), longer + "\r");
  EXPECT_EQ(Send(Records[0] + "\r\n"), Records[0] + ".\r");
  EXPECT_TRUE(HasEvent("the byte count asks for 43"));
  EXPECT_EQ(Device->Flashed(Slave), std::vector<std::string>{Records[0]});
}

TEST_F(SimDeviceTest, FirmwareKnowsCommandsByTheLineEndAndIgnoresTheRest) {
  Make();
  EXPECT_EQ(Send("U"), "");  // the firmware has no sync byte
  EXPECT_EQ(Send("noise\n" + Records[0] + "\n"), "");  // no Slave bootloader to take it
  EXPECT_EQ(Send("ENB MASTER BL\n"), "ACK MASTER BL\r");  // the line read "UENB MASTER BL"
  EXPECT_TRUE(Device->InBootloader(Master));
  EXPECT_FALSE(Device->InBootloader(Slave));
}

TEST_F(SimDeviceTest, AnInterruptedRunLeavesTheUnitInItsBootloaderForARecoveryRun) {
  Make();
  EnterMasterDump();
  EXPECT_EQ(Send(Records[0] + Records[1].substr(0, 10)), Records[0] + ".\r");
  Device->Connected();
  // The firmware is gone: only the bootloader answers, and the half record was forgotten.
  EXPECT_EQ(Send("ENB MASTER BL\n"), "");
  EXPECT_EQ(Send("U"), "U");
  EXPECT_EQ(Send(RecErase), RecErase + ".\r");
  EXPECT_EQ(Send(RecRestart), RecRestart + ".\r");
  EXPECT_EQ(Send("ENB MASTER BL\n"), "ACK MASTER BL\r");

  // The same for the Slave: its firmware no longer answers "ENB SLAVE BL", the sync does.
  TSimFaults faults;
  faults.StartInBootloader = {false, true};
  Events.clear();
  Make(faults);
  EXPECT_EQ(Send("ENB SLAVE BL\n"), "");
  EXPECT_TRUE(HasEvent("the Slave firmware does not run"));
  EXPECT_EQ(Send("SYNC SLAVE BL\n"), "ACK SLAVE BL\r");
  EXPECT_EQ(Send(RecVersion + "\n"), RecVersion + "S12.\r");
}

TEST_F(SimDeviceTest, EnableAndSyncFaultsApplyToTheChosenUnits) {
  TSimFaults faults;
  faults.NoAck = true;
  faults.FaultUnits = {true, false};
  Make(faults);
  EXPECT_EQ(Send("ENB MASTER BL\n"), "");
  EXPECT_FALSE(Device->InBootloader(Master));
  EXPECT_EQ(Send("ENB SLAVE BL\n"), "ACK SLAVE BL\r");

  faults.FaultUnits = {false, true};
  Make(faults);
  EXPECT_EQ(Send("ENB SLAVE BL\n"), "");
  EXPECT_EQ(Send("SYNC SLAVE BL\n"), "");
  EXPECT_EQ(Send("ENB MASTER BL\n"), "ACK MASTER BL\r");

  faults = {};
  faults.NoEcho = true;
  Make(faults);
  ASSERT_EQ(Send("ENB MASTER BL\n"), "ACK MASTER BL\r");
  EXPECT_EQ(Send("U"), "");
  EXPECT_TRUE(HasEvent("sync byte not echoed (fault)"));

  faults = {};
  faults.MasterVersion = "X7";
  faults.SlaveVersion = "M99";
  Make(faults);
  ASSERT_EQ(Send("ENB MASTER BL\n"), "ACK MASTER BL\r");
  EXPECT_EQ(Send(RecVersion), RecVersion + "X7.\r");
  ASSERT_EQ(Send(RecRestart), RecRestart + ".\r");
  ASSERT_EQ(Send("ENB SLAVE BL\n"), "ACK SLAVE BL\r");
  EXPECT_EQ(Send(RecVersion + "\n"), RecVersion + "M99.\r");
}

TEST_F(SimDeviceTest, RecordFaultsCountTheRecordsSinceTheErase) {
  TSimFaults faults;
  faults.RefuseRecord = 2;
  Make(faults);
  EnterMasterDump();
  EXPECT_EQ(Send(Records[0]), Records[0] + ".\r");
  EXPECT_EQ(Send(Records[1]), Records[1] + "\r");
  EXPECT_EQ(Send(Records[2]), Records[2] + ".\r");
  EXPECT_EQ(Device->Flashed(Master), (std::vector<std::string>{Records[0], Records[2]}));
  EXPECT_EQ(Send(RecErase), RecErase + ".\r");
  EXPECT_EQ(Send(Records[0] + Records[1]), Records[0] + ".\r" + Records[1] + "\r");
  EXPECT_TRUE(HasEvent("Master record 2 refused (fault)"));

  faults = {};
  faults.SilentAfter = 2;
  Make(faults);
  EnterMasterDump();
  EXPECT_EQ(Send(Records[0]), Records[0] + ".\r");
  EXPECT_EQ(Send(Records[1] + Records[2]), Records[1] + ".\r");
  EXPECT_EQ(Send(RecRestart), "");
  EXPECT_EQ(Device->Flashed(Master), (std::vector<std::string>{Records[0], Records[1]}));
  Device->Connected();  // the silence lasts as long as the connection
  EXPECT_EQ(Send("U"), "U");

  faults = {};
  faults.SilentAfter = 0;
  Make(faults);
  EnterMasterDump();
  EXPECT_EQ(Send(Records[0]), "");

  faults = {};
  faults.CloseAfter = 1;
  Make(faults);
  EnterMasterDump();
  EXPECT_FALSE(Closed);
  EXPECT_EQ(Send(Records[0] + Records[1]), Records[0] + ".\r");
  EXPECT_TRUE(Closed);
  EXPECT_EQ(Device->Flashed(Master), std::vector<std::string>{Records[0]});

  faults = {};
  faults.CloseAfter = 0;
  Make(faults);
  ASSERT_EQ(Send("ENB MASTER BL\n"), "ACK MASTER BL\r");
  EXPECT_EQ(Send("U" + RecErase + Records[0]), "U" + RecErase + ".\r");
  EXPECT_TRUE(Closed);
}

TEST_F(SimDeviceTest, RecordFaultsOfOneUnitLeaveTheOtherAlone) {
  TSimFaults faults;
  faults.RefuseRecord = 1;
  faults.NoRestartAck = true;
  faults.FaultUnits = {false, true};
  Make(faults);
  EnterMasterDump();
  EXPECT_EQ(Send(Records[0]), Records[0] + ".\r");
  EXPECT_EQ(Send(RecRestart), RecRestart + ".\r");
  EnterSlaveDump();
  EXPECT_EQ(Send(Records[0] + "\n"), Records[0] + "\r");
  // Not answered, but restarted all the same: the firmware answers again.
  EXPECT_EQ(Send(RecRestart + "\n"), "");
  EXPECT_FALSE(Device->InBootloader(Slave));
  EXPECT_TRUE(HasEvent("Slave restart not acknowledged (fault)"));
  EXPECT_EQ(Send("ENB SLAVE BL\n"), "ACK SLAVE BL\r");
}

TEST_F(SimDeviceTest, NoiseGoesBeforeEveryReply) {
  TSimFaults faults;
  faults.Noise = "#~";
  Make(faults);
  EXPECT_EQ(Send("ENB MASTER BL\n"), "#~ACK MASTER BL\r");
  EXPECT_EQ(Send("U"), "#~U");
  EXPECT_EQ(Send(RecVersion), "#~" + RecVersion + "M12.\r");
  EXPECT_EQ(Send(RecErase + Records[0]), "#~" + RecErase + ".\r#~" + Records[0] + ".\r");
}
}  // namespace

namespace {
// The sample program files are sound records, so the simulator takes every one of them.
TEST(SimExampleFilesTest, EveryRecordOfTheSamplesIsWellFormed) {
  for (const char* name : {"master.hex", "slave.hex"}) {
    const std::string content = ReadFileText(std::string(ZELMIRT_EXAMPLES_DIR) + "/" + name);
    int records = 0;
    for (size_t start = 0; start < content.size();) {
      const size_t end = content.find("\r\n", start);
      ASSERT_NE(end, std::string::npos) << name << ": the last line has no CR LF";
      const std::string line = content.substr(start, end - start);
      EXPECT_EQ(HexRecordDefect(line), "") << name << " line " << records + 1 << ": " << line;
      ++records;
      start = end + 2;
    }
    EXPECT_GT(records, 256) << name;
  }
}
}  // namespace
