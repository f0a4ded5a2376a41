#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/TcpServer.h"
#include "tests/support/TempFolder.h"
#include "tests/tools/SimProcess.h"
#include "tests/tools/SimRecords.h"

using namespace SimRecords;

namespace {
std::string FlashedLines(const char* Tag, const std::vector<std::string>& Records) {
  std::string lines;
  for (const std::string& record : Records) lines += std::string(Tag) + " " + record + "\n";
  return lines;
}

// The whole Master and Slave dialogue, as the utility speaks it, against the running simulator.
TEST(SimEndToEndTest, FullMasterAndSlaveRunsAreRecordedInTheFlashedFile) {
  TTempFolder folder;
  const std::string flashed = folder.File("flashed.txt");
  TSimProcess sim({"--listen", "127.50.2.1", "--flashed", QString::fromStdString(flashed)});
  ASSERT_TRUE(sim.WaitForOutput("127.50.2.1:4001 listening\n")) << sim.Output() << sim.Errors();
  EXPECT_EQ(ReadWholeFile(flashed), "");

  const std::vector<std::string> master = Program(40);
  const std::vector<std::string> slave = Program(25);
  TSimClient client;
  ASSERT_TRUE(client.Connect("127.50.2.1"));
  EXPECT_EQ(client.Exchange("ENB MASTER BL\n", "ACK MASTER BL\r"), "ACK MASTER BL\r");
  EXPECT_EQ(client.Exchange("U", "U"), "U");
  EXPECT_EQ(client.Exchange(RecVersion, ".\r"), RecVersion + "M12.\r");
  EXPECT_EQ(client.Exchange(RecErase, ".\r"), RecErase + ".\r");
  for (const std::string& record : master) ASSERT_EQ(client.Exchange(record, ".\r"), record + ".\r");
  EXPECT_EQ(client.Exchange(RecRestart, ".\r"), ":020000030300F8.\r");
  EXPECT_EQ(ReadWholeFile(flashed), FlashedLines("MASTER", master));

  EXPECT_EQ(client.Exchange("ENB SLAVE BL\n", "ACK SLAVE BL\r"), "ACK SLAVE BL\r");
  EXPECT_EQ(client.Exchange(RecVersion + "\n", ".\r"), RecVersion + "S12.\r");
  EXPECT_EQ(client.Exchange(RecErase + "\n", ".\r"), RecErase + ".\r");
  for (const std::string& record : slave) ASSERT_EQ(client.Exchange(record + "\n", ".\r"), record + ".\r");
  EXPECT_EQ(client.Exchange(RecRestart + "\n", ".\r"), ":020000030300F8.\r");
  EXPECT_EQ(ReadWholeFile(flashed), FlashedLines("MASTER", master) + FlashedLines("SLAVE", slave));

  EXPECT_EQ(sim.Terminate(), 0);
  const std::string output = sim.Output();
  for (const char* event : {"connection from 127.0.0.1:", "Master bootloader entered", "Master erased",
                            "Master restarted with 40 records", "Slave restarted with 25 records", "stopped by SIGTERM\n"})
    EXPECT_NE(output.find(event), std::string::npos) << event << " missing from\n" << output;
}

// Two devices in one process, each with its own state and file; replies dribbled byte by
// byte still arrive whole; a device closes the connection when told to, and the unit it left
// in its bootloader stays there for the next connection.
TEST(SimEndToEndTest, SeveralDevicesKeepTheirOwnStateAndFaultsReachTheWire) {
  TTempFolder folder;
  TSimProcess sim({"--listen", "127.50.2.2", "--listen", "127.50.2.3", "--close-after", "2", "--dribble", "1",
                   "--flashed", QString::fromStdString(folder.File("{addr}.txt"))});
  ASSERT_TRUE(sim.WaitForOutput("127.50.2.3:4001 listening\n")) << sim.Output() << sim.Errors();
  const std::vector<std::string> records = Program(3);

  TSimClient first;
  ASSERT_TRUE(first.Connect("127.50.2.2"));
  EXPECT_EQ(first.Exchange("ENB MASTER BL\n", "ACK MASTER BL\r"), "ACK MASTER BL\r");
  EXPECT_EQ(first.Exchange("U", "U"), "U");
  EXPECT_EQ(first.Exchange(RecErase, ".\r"), RecErase + ".\r");
  EXPECT_EQ(first.Exchange(records[0], ".\r"), records[0] + ".\r");
  EXPECT_EQ(first.Exchange(records[1], ".\r"), records[1] + ".\r");
  EXPECT_TRUE(first.WaitForClose());
  EXPECT_TRUE(sim.WaitForOutput("127.50.2.2:4001 closed the connection to"));
  EXPECT_EQ(ReadWholeFile(folder.File("127.50.2.2.txt")), FlashedLines("MASTER", {records[0], records[1]}));

  TSimClient second;
  ASSERT_TRUE(second.Connect("127.50.2.3"));
  EXPECT_EQ(second.Exchange("ENB MASTER BL\n", "ACK MASTER BL\r"), "ACK MASTER BL\r");
  EXPECT_EQ(ReadWholeFile(folder.File("127.50.2.3.txt")), "");

  TSimClient again;
  ASSERT_TRUE(again.Connect("127.50.2.2"));
  EXPECT_TRUE(sim.WaitForOutput("127.50.2.2:4001 connection from"));
  EXPECT_EQ(again.Exchange("ENB MASTER BL\nU", "U"), "U");  // only the bootloader answers
  EXPECT_EQ(sim.Terminate(), 0);
}

TEST(SimEndToEndTest, StartAndWriteFailuresAndRefusedConnectionsAreReported) {
  TSimProcess badOption({"--listen", "127.50.2.4", "--silent-after", "soon"});
  EXPECT_EQ(badOption.WaitForExit(), 2);
  EXPECT_EQ(badOption.Errors(), "zelmirt-sim: --silent-after \"soon\": not a whole number (see zelmirt-sim --help)\n");

  const TTcpServerSocket taken("127.50.2.5", 4001, true);
  TSimProcess inUse({"--listen", "127.50.2.5"});
  EXPECT_EQ(inUse.WaitForExit(), 2);
  EXPECT_EQ(inUse.Errors(), "zelmirt-sim: Cannot listen on 127.50.2.5:4001: bind failed: Address already in use\n");

  TTempFolder folder;
  TSimProcess noFolder({"--listen", "127.50.2.6", "--flashed", QString::fromStdString(folder.File("none/f.txt"))});
  EXPECT_EQ(noFolder.WaitForExit(), 2);
  EXPECT_NE(noFolder.Errors().find("none/f.txt"), std::string::npos);

  // A record that can no longer be written ends the simulator rather than leaving a stale file.
  std::filesystem::create_directory(folder.File("gone"));
  TSimProcess losing({"--listen", "127.50.2.8", "--flashed", QString::fromStdString(folder.File("gone/f.txt"))});
  ASSERT_TRUE(losing.WaitForOutput("127.50.2.8:4001 listening\n"));
  std::filesystem::remove_all(folder.File("gone"));
  TSimClient lost;
  ASSERT_TRUE(lost.Connect("127.50.2.8"));
  EXPECT_EQ(lost.Exchange("ENB MASTER BL\nU" + RecErase, ".\r"), "ACK MASTER BL\rU" + RecErase + ".\r");
  EXPECT_EQ(losing.WaitForExit(), 1);
  EXPECT_NE(losing.Errors().find("Cannot write the flashed records to \"" + folder.File("gone/f.txt") + "\""),
            std::string::npos);

  TSimProcess refusing({"--listen", "127.50.2.7", "--refuse-connections"});
  ASSERT_TRUE(refusing.WaitForOutput("127.50.2.7:4001 refusing connections\n"));
  TSimClient client;
  EXPECT_FALSE(client.Connect("127.50.2.7"));
  EXPECT_EQ(refusing.Terminate(), 0);
}
}  // namespace
