// zelmirt-flash programming several simulated devices in one call: each device's run goes
// on whatever the others do, the output tells the devices apart, and the summary and the
// exit code name the first that failed.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <memory>
#include <string>
#include <vector>

#include "tests/cli/FlashFixture.h"
#include "tests/cli/FlashProcess.h"
#include "tests/support/TempFolder.h"

namespace {
// Three sound devices, one refusing program record 3 and one that never answers, in one
// call: the sound ones are programmed without waiting for the one that never answers.
TEST(FlashSeveralDevicesTest, OneFaultyAndOneSilentDeviceNeitherStopNorDelayTheOthers) {
  TTempFolder folder;
  const std::string master = WriteProgram(folder, "master.hex", 12);
  const std::vector<std::string> addresses{"127.72.1.1", "127.72.1.2", "127.72.1.3", "127.72.1.4", "127.72.1.5"};
  const std::vector<QStringList> faults{{}, {"--refuse-record", "3"}, {}, {"--no-ack"}, {}};
  std::vector<std::unique_ptr<TDevice>> devices;
  for (size_t i = 0; i < addresses.size(); ++i) {
    devices.push_back(std::make_unique<TDevice>(folder, addresses[i], faults[i]));
    ASSERT_TRUE(devices.back()->Listening()) << devices.back()->Sim.Errors();
  }

  QStringList arguments = Q({"--json", "-m", master});
  for (const std::string& address : addresses) arguments << QString::fromStdString(address);
  const TFlashRun run = RunFlash(arguments);
  EXPECT_EQ(run.ExitCode, 8) << "the first failed device's code" << run.Errors;
  if (run.ExitCode != 8)
    for (const auto& device : devices) ADD_FAILURE() << device->Address << ":\n" << device->Sim.Output();

  std::vector<std::string> resultOrder;
  QJsonObject summary;
  for (const std::string& line : Lines(run.Output)) {
    const QJsonObject event = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
    ASSERT_TRUE(event.contains("address") || event["event"] == "summary") << line;
    if (event["event"] == "result") resultOrder.push_back(event["address"].toString().toStdString());
    if (event["event"] == "summary") summary = event;
  }
  ASSERT_EQ(resultOrder.size(), addresses.size()) << run.Output;
  EXPECT_EQ(resultOrder.back(), "127.72.1.4") << "the silent device ends last, after 500 ticks without an answer";

  const std::vector<std::string> sent = SentRecords(Lines(ReadWholeFile(master)));
  const size_t records = sent.size();
  const std::vector<int> codes{0, 8, 0, 5, 0};
  const std::vector<size_t> acknowledged{records, 2, records, 0, records};
  const QJsonArray table = summary["devices"].toArray();
  ASSERT_EQ(table.size(), 5) << run.Output;
  EXPECT_EQ(summary["code"].toInt(), 8);
  const double silentSeconds = table[3].toObject()["seconds"].toDouble();
  for (size_t i = 0; i < addresses.size(); ++i) {
    const QJsonObject row = table[static_cast<int>(i)].toObject();
    EXPECT_EQ(row["address"].toString().toStdString(), addresses[i]);
    EXPECT_EQ(row["units"].toString(), "Master");
    EXPECT_EQ(row["code"].toInt(), codes[i]) << addresses[i];
    EXPECT_EQ(row["records"].toInt(), static_cast<int>(acknowledged[i])) << addresses[i];
    if (codes[i] == 0) {
      EXPECT_LT(row["seconds"].toDouble(), silentSeconds) << addresses[i];
      EXPECT_EQ(devices[i]->Flashed(), Flashed("MASTER", sent)) << addresses[i];
    }
  }
  EXPECT_EQ(table[1].toObject()["message"].toString(), "Program Error");
  EXPECT_EQ(devices[1]->Flashed(), Flashed("MASTER", {sent[0], sent[1]})) << "the records before the refused one";
}

// Addresses from the arguments and from a --devices file, in plain text: every line of a
// run starts with its device's address; the table and the last line close the output.
TEST(FlashSeveralDevicesTest, DevicesFileAndArgumentsArePrefixedAndSummarisedInATable) {
  TTempFolder folder;
  const std::string master = WriteProgram(folder, "master.hex", 5);
  const std::string list = folder.WriteFile("rack.txt", "# rack 7\r\n\r\n  127.72.2.2  \r\n");
  TDevice sound(folder, "127.72.2.1");
  TDevice closed(folder, "127.72.2.2", {"--refuse-connections"});
  ASSERT_TRUE(sound.Listening()) << sound.Sim.Errors();
  ASSERT_TRUE(closed.Listening()) << closed.Sim.Errors();

  const TFlashRun run = RunFlash(Q({"-t", "5", "-m", master, "127.72.2.1", "--devices", list}));
  EXPECT_EQ(run.ExitCode, 3) << run.Output << run.Errors << sound.Sim.Output();
  std::vector<std::string> lines = Lines(run.Output);
  ASSERT_GE(lines.size(), 3u) << run.Output;
  const std::vector<std::string> table(lines.end() - 3, lines.end());
  lines.erase(lines.end() - 3, lines.end());
  // The closed device's lines are its file and its connection's status; the sound one's its
  // whole run.
  for (const std::string& line : lines)
    EXPECT_TRUE(line.starts_with("127.72.2.1: ") || line.starts_with("127.72.2.2: [status] ") ||
                line.starts_with("127.72.2.2: Master file: " + master + " ("))
        << line;
  EXPECT_EQ(lines.back(), "127.72.2.1: finished: Master programmed and restarted");
  EXPECT_EQ(table[0], "ADDRESS     UNITS         RECORDS  SECONDS  RESULT");
  const std::string records = std::to_string(SentRecords(Lines(ReadWholeFile(master))).size());
  EXPECT_EQ(table[1].substr(0, 33), "127.72.2.1  Master              " + records) << table[1];
  EXPECT_TRUE(table[1].ends_with("  programmed")) << table[1];
  EXPECT_EQ(table[2].substr(0, 33), "127.72.2.2  Master              0") << table[2];
  EXPECT_TRUE(table[2].ends_with("  3 no connection to 127.72.2.2 (port 4001) within 5 s")) << table[2];
  EXPECT_EQ(run.Errors,
            "127.72.2.2: failed (3): no connection to 127.72.2.2 (port 4001) within 5 s\n"
            "zelmirt-flash: 1 of 2 devices programmed; first failure 127.72.2.2: no connection to 127.72.2.2 "
            "(port 4001) within 5 s\n");
}
}  // namespace
