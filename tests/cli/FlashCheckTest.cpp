// Program files checked whole before anything connects: each refused file ends zelmirt-flash
// with exit 4 and its file and line while the simulated device receives nothing, and
// "zelmirt-flash check" reports what a run would send of each file.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QJsonDocument>
#include <QJsonObject>

#include <string>
#include <vector>

#include "base/Sha256.h"
#include "tests/cli/FlashFixture.h"
#include "tests/cli/FlashProcess.h"
#include "tests/support/TempFolder.h"

namespace {
const std::string EndOfFile = ":00000001FF\r\n";
const std::string DataRecord = ":0401000001020304F1\r\n";

TEST(FlashCheckTest, ARefusedFileEndsWithItsFileAndLineAndTheDeviceReceivesNothing) {
  TTempFolder folder;
  TDevice device(folder, "127.71.1.1");
  ASSERT_TRUE(device.Listening()) << device.Sim.Errors();
  const std::string good = WriteProgram(folder, "good.hex", 4);
  const std::string fifo = folder.File("pipe.hex");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  struct TCase {
    const char* Name;
    std::string Content;  // written to the case's own file, when File is empty
    std::vector<std::string> Mentions;
    std::string File = {};
  };
  const std::vector<TCase> cases{
      {"empty file", "", {"line 1", "empty"}},
      {"end-of-file record alone", EndOfFile, {"line 1", "no data record is left to send"}},
      {"every record filtered out", ":02F80000010203\r\n:04001000FFFFFFFFF0\r\n" + EndOfFile,
       {"line 3", "no data record is left to send (1 in the protected area at F800 and above, 1 blank)"}},
      {"wrong checksum", ":0401000001020304F2\r\n" + EndOfFile, {"line 1", "checksum F2 is wrong"}},
      {"record shorter than its byte count", ":0501000001020304F1\r\n" + EndOfFile, {"line 1", "byte count 05"}},
      {"non-hexadecimal data", DataRecord + ":04010000010G0304F1\r\n" + EndOfFile, {"line 2", "character 13 (G)"}},
      {"NUL inside a record", std::string(":04010000\0" "1020304F1\r\n", 20) + EndOfFile, {"line 1", "(\\x00)"}},
      {"line without the colon", DataRecord + "0401000001020304F1\r\n" + EndOfFile, {"line 2", "does not start"}},
      {"missing end-of-file record", DataRecord + DataRecord, {"line 2", "without an end-of-file record"}},
      {"record after the end-of-file record", DataRecord + EndOfFile + DataRecord, {"line 3", "after the end-of-file"}},
      {"wrong record type", DataRecord + ":00000007F9\r\n" + EndOfFile, {"line 2", "record type 07"}},
      {"non-ASCII after a byte-order mark", "\xEF\xBB\xBF" + DataRecord + ":0401\xC3\xA9\r\n" + EndOfFile,
       {"line 2", "\":0401\\xC3\\xA9\""}},
      {"FIFO", "", {"a FIFO, not a regular file"}, fifo},
      {"endless device", "", {"a character device, not a regular file"}, "/dev/zero"},
  };
  for (const TCase& c : cases) {
    const std::string file = c.File.empty() ? folder.WriteFile("bad.hex", c.Content) : c.File;
    // The Slave's file is checked with the Master's, before the Master run could start.
    for (const QStringList& arguments : {Q({"-m", file, device.Address}), Q({"-u", "all", "-m", good, "-s", file,
                                                                               device.Address})}) {
      const TFlashRun run = RunFlash(arguments);
      const std::string call = c.Name + std::string(": ") + arguments.join(' ').toStdString();
      EXPECT_EQ(run.ExitCode, 4) << call << "\n" << run.Output << run.Errors;
      EXPECT_EQ(run.Output, "") << call;
      ASSERT_EQ(Lines(run.Errors).size(), 1u) << call << "\n" << run.Errors;
      EXPECT_TRUE(run.Errors.starts_with("zelmirt-flash: ")) << call << ": " << run.Errors;
      EXPECT_NE(run.Errors.find(file), std::string::npos) << call << ": " << run.Errors;
      for (const std::string& mention : c.Mentions)
        EXPECT_NE(run.Errors.find(mention), std::string::npos) << call << ": " << run.Errors << " lacks " << mention;
      for (const char byte : run.Errors.substr(0, run.Errors.size() - 1))
        EXPECT_TRUE(byte >= 0x20 && byte < 0x7F) << call << ": " << run.Errors;
    }
  }
  EXPECT_EQ(device.Received(), "");
  EXPECT_EQ(device.Sim.Output().find("connection from"), std::string::npos) << device.Sim.Output();

  // The device records what it receives: a good file, its name glued to -m, is programmed.
  const TFlashRun run = RunFlash(Q({"-m" + good, device.Address}));
  EXPECT_EQ(run.ExitCode, 0) << run.Output << run.Errors;
  EXPECT_EQ(device.Flashed(), Flashed("MASTER", SentRecords(Lines(ReadWholeFile(good)))));
  EXPECT_NE(device.Received(), "");
}

TEST(FlashCheckTest, CheckReportsTheSamplesCountsAndHashesWithoutConnecting) {
  const std::string master = std::string(ZELMIRT_EXAMPLES_DIR) + "/master.hex";
  const std::string slave = std::string(ZELMIRT_EXAMPLES_DIR) + "/slave.hex";
  const TFlashRun run = RunFlash(Q({"check", master, slave}));
  EXPECT_EQ(run.ExitCode, 0) << run.Errors;
  EXPECT_EQ(run.Errors, "");
  struct TSample {
    std::string File;
    int Records;
    int Sent;
  };
  for (const TSample& sample : {TSample{master, 611, 482}, TSample{slave, 291, 242}}) {
    const std::string content = ReadWholeFile(sample.File);
    const std::string report = sample.File + ": accepted\n" +
                               "  records in the file: " + std::to_string(sample.Records) + "\n" +
                               "  records to send:     " + std::to_string(sample.Sent) + "\n";
    EXPECT_NE(run.Output.find(report), std::string::npos) << run.Output;
    EXPECT_NE(run.Output.find("  size:                " + std::to_string(content.size()) + " bytes\n" +
                              "  SHA-256:             " + Sha256Hex(content) + "\n"),
              std::string::npos)
        << run.Output;
  }
  EXPECT_NE(run.Output.find("  address range sent:  0000-1FFF\n"), std::string::npos) << run.Output;
}

TEST(FlashCheckTest, CheckGivesOneJsonObjectPerFileAndExit4WhenAnyIsRefused) {
  TTempFolder folder;
  const std::string good = WriteProgram(folder, "good.hex", 3);
  const std::string bad = folder.WriteFile("bad.hex", DataRecord + ":0401000001020304F2\r\n" + EndOfFile);
  const TFlashRun text = RunFlash(Q({"--check", bad, good}));
  EXPECT_EQ(text.ExitCode, 4);
  EXPECT_EQ(text.Errors, "zelmirt-flash: " + bad +
                             ": line 2: the checksum F2 is wrong, the record's bytes need F1: \":0401000001020304F2\"\n");
  EXPECT_TRUE(text.Output.starts_with(good + ": accepted\n")) << text.Output;

  const TFlashRun json = RunFlash(Q({"check", "--json", good, bad}));
  EXPECT_EQ(json.ExitCode, 4);
  const std::vector<std::string> lines = Lines(json.Output);
  ASSERT_EQ(lines.size(), 2u) << json.Output;
  const QJsonObject accepted = QJsonDocument::fromJson(QByteArray::fromStdString(lines[0])).object();
  EXPECT_EQ(accepted["file"].toString().toStdString(), good);
  EXPECT_TRUE(accepted["accepted"].toBool());
  EXPECT_EQ(accepted["records"].toInt(), 6);
  EXPECT_EQ(accepted["recordsToSend"].toInt(), static_cast<int>(SentRecords(Lines(ReadWholeFile(good))).size()));
  EXPECT_EQ(accepted["skippedProtected"].toInt(), 1);
  EXPECT_EQ(accepted["skippedBlank"].toInt(), 1);
  EXPECT_EQ(accepted["sha256"].toString().toStdString(), Sha256Hex(ReadWholeFile(good)));
  const QJsonObject refused = QJsonDocument::fromJson(QByteArray::fromStdString(lines[1])).object();
  EXPECT_EQ(refused["file"].toString().toStdString(), bad);
  EXPECT_FALSE(refused["accepted"].toBool());
  EXPECT_NE(refused["error"].toString().toStdString().find("line 2"), std::string::npos) << lines[1];

  const TFlashRun none = RunFlash({"check"});
  EXPECT_EQ(none.ExitCode, 2);
  EXPECT_NE(none.Errors.find("no program file"), std::string::npos) << none.Errors;
}
}  // namespace
