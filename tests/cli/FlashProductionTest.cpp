// zelmirt-flash as a production line runs it: a report of every unit and attempt and a log
// of each device, a unit retried after a refusal, a device left in its bootloader, run and
// connection time limits, stretched limits for a slow link, an output that goes away.
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/cli/FlashFixture.h"
#include "tests/cli/FlashProcess.h"
#include "tests/support/ScriptedDevice.h"
#include "tests/support/TempFolder.h"
#include "tests/support/WaitUntil.h"
#include "tests/support/ZelmirtScript.h"

namespace {
std::string Sha256Sum(const std::string& File) {
  QProcess sum;
  sum.start("sha256sum", {QString::fromStdString(File)});
  sum.waitForFinished();
  return sum.readAllStandardOutput().toStdString().substr(0, 64);
}

std::vector<QJsonObject> ReportRecords(const std::string& File) {
  std::vector<QJsonObject> records;
  for (const std::string& line : Lines(ReadWholeFile(File))) {
    QJsonParseError error;
    records.push_back(QJsonDocument::fromJson(QByteArray::fromStdString(line), &error).object());
    EXPECT_EQ(error.error, QJsonParseError::NoError) << line;
  }
  return records;
}

TEST(FlashProductionTest, AReportRecordsEveryUnitAndAttemptAndARefusalIsRetriedInRecoveryMode) {
  TTempFolder folder;
  const std::string master = WriteProgram(folder, "master.hex", 6);
  const std::string report = folder.File("report.jsonl");
  TScriptedDevice sound("127.73.2.1");
  sound.SetScript(TZelmirtScript({}));
  // Refuses its third record once: the retry counts on from there.
  TScriptedDevice refusing("127.73.2.2");
  refusing.SetScript(TZelmirtScript({.RefusedRecord = 3}));

  const TFlashRun run = RunFlash(Q({"--retries", "1", "--report", report, "-m", master, "127.73.2.1", "127.73.2.2"}));
  ASSERT_EQ(run.ExitCode, 0) << run.Output << run.Errors;
  EXPECT_NE(refusing.Received().find("U:020000050F00EA"), std::string::npos) << "the retry syncs at once";

  const std::vector<QJsonObject> records = ReportRecords(report);
  ASSERT_EQ(records.size(), 3u);
  const std::string hash = Sha256Sum(master);
  for (const QJsonObject& record : records) {
    EXPECT_EQ(record["unit"].toString(), "Master");
    EXPECT_EQ(record["file"].toString().toStdString(), master);
    EXPECT_EQ(record["sha256"].toString().toStdString(), hash);
    EXPECT_EQ(record["file_size"].toInteger(), static_cast<qint64>(ReadWholeFile(master).size()));
    EXPECT_EQ(record["records_to_send"].toInt(), 7);
    EXPECT_EQ(record["bootloader_version"].toString(), "M12");
    EXPECT_EQ(record["exit_code"].toInt(), 0);
    EXPECT_FALSE(record["station"].toString().isEmpty());
    EXPECT_TRUE(record["start"].toString().endsWith('Z'));
    EXPECT_LE(record["start"].toString(), record["end"].toString());
  }
  EXPECT_EQ(records[0]["address"].toString(), "127.73.2.1");
  EXPECT_EQ(records[0]["outcome"].toString(), "every selected unit programmed and restarted");
  EXPECT_EQ(records[1]["address"].toString(), "127.73.2.2");
  EXPECT_EQ(records[1]["attempt"].toInt(), 1);
  EXPECT_EQ(records[1]["unit_code"].toInt(), 8);
  EXPECT_EQ(records[1]["record_index"].toInt(), 2);
  EXPECT_EQ(records[1]["records_acknowledged"].toInt(), 1);
  EXPECT_TRUE(records[1]["reply"].toString().endsWith('!'));
  EXPECT_EQ(records[2]["attempt"].toInt(), 2);
  EXPECT_EQ(records[2]["unit_code"].toInt(), 0);
  EXPECT_EQ(records[2]["records_acknowledged"].toInt(), 7);
  EXPECT_TRUE(records[2]["reply"].isNull() || records[2]["reply"].toString().isEmpty());
}

TEST(FlashProductionTest, ADeviceThatKeepsEveryLimitFromPassingEndsAtTheRunTimeout) {
  TTempFolder folder;
  const std::string master = WriteProgram(folder, "master.hex", 2);
  TScriptedDevice device("127.73.2.3");
  device.SetScript(TZelmirtScript({.AnswerEnable = false}));
  std::atomic<bool> done{false};
  // A byte every 50 ms: each one postpones the wait for the acknowledgement.
  std::thread dribble([&] {
    while (!done.load()) {
      device.Send("x");
      WaitUntil([&] { return done.load(); }, std::chrono::milliseconds(50));
    }
  });
  const TFlashRun run = RunFlash(Q({"--run-timeout", "2.5", "-m", master, "127.73.2.3"}));
  done.store(true);
  dribble.join();
  EXPECT_EQ(run.ExitCode, 13) << run.Output << run.Errors;
  EXPECT_NE(run.Errors.find("passed its time limit of 2.5 s"), std::string::npos) << run.Errors;
}

// Four devices of a station: one answers with another bootloader version, one is slow, one
// waits in its bootloader and says so on its line of the devices file.
TEST(FlashProductionTest, AStationCallReportsEveryDeviceAndLogsEachInAFileOfItsOwn) {
  TTempFolder folder;
  const std::string master = WriteProgram(folder, "master.hex", 8);
  const std::vector<std::string> sent = SentRecords(Lines(ReadWholeFile(master)));
  const std::string hash = Sha256Sum(master);
  const std::string report = folder.File("station.jsonl");
  const std::string logs = folder.File("logs/today");
  struct TRow {
    const char* Address;
    QStringList SimOptions;
    const char* DevicesLine;
    const char* Version;
  };
  const std::vector<TRow> rows{
      {"127.73.2.4", {}, "127.73.2.4", "M12"},
      {"127.73.2.5", {"--master-version", "M15"}, "  127.73.2.5\t", "M15"},
      {"127.73.2.6", {"--in-bootloader", "master"}, "127.73.2.6  master-recover", "M12"},
      {"127.73.2.7", {"--delay", "3"}, "127.73.2.7", "M12"},
  };
  std::string rack = "# station 1\n";
  std::vector<std::unique_ptr<TDevice>> devices;
  for (const TRow& row : rows) {
    rack += std::string(row.DevicesLine) + "\n";
    devices.push_back(std::make_unique<TDevice>(folder, row.Address, row.SimOptions));
    ASSERT_TRUE(devices.back()->Listening()) << devices.back()->Sim.Errors();
  }
  const TFlashRun run =
      RunFlash(Q({"-t", "3", "--report", report, "--log-dir", logs, "-m", master, "--devices",
                  folder.WriteFile("rack.txt", rack)}));
  ASSERT_EQ(run.ExitCode, 0) << run.Output << run.Errors;

  const std::vector<QJsonObject> records = ReportRecords(report);
  ASSERT_EQ(records.size(), rows.size());
  std::vector<std::string> logFiles;
  for (const auto& entry : std::filesystem::directory_iterator(logs)) logFiles.push_back(entry.path().filename());
  EXPECT_EQ(logFiles.size(), rows.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(rows[i].Address);
    EXPECT_EQ(devices[i]->Flashed(), Flashed("MASTER", sent));
    const auto record = std::find_if(records.begin(), records.end(),
                                     [&](const QJsonObject& R) { return R["address"].toString() == rows[i].Address; });
    ASSERT_NE(record, records.end());
    EXPECT_EQ((*record)["sha256"].toString().toStdString(), hash);
    EXPECT_EQ((*record)["bootloader_version"].toString(), rows[i].Version);
    EXPECT_EQ((*record)["records_acknowledged"].toInt(), static_cast<int>(sent.size()));
    EXPECT_EQ((*record)["exit_code"].toInt(), 0);

    const auto logFile = std::find_if(logFiles.begin(), logFiles.end(), [&](const std::string& Name) {
      return Name.starts_with(std::string(rows[i].Address) + "_") && Name.ends_with(".log");
    });
    ASSERT_NE(logFile, logFiles.end());
    const std::string log = ReadWholeFile(logs + "/" + *logFile);
    EXPECT_NE(log.find("Master file: " + master + " (" + std::to_string(sent.size()) + " records to send, SHA-256 " +
                       hash + ")"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find(" " + sent[1] + ".\n"), std::string::npos) << "every record's reply";
    EXPECT_NE(log.find(" result 0: Master programmed and restarted\n"), std::string::npos);
    EXPECT_NE(log.find(std::string(" verdict {\"tool\":")), std::string::npos);
    EXPECT_EQ(log.find("127.73.2."), log.find(rows[i].Address)) << "no other device's lines";
  }
}

// The version step waits 25 ticks for its reply: a link with 300 ms of latency needs the
// limits stretched, and then passes.
TEST(FlashProductionTest, ASlowLinkIsProgrammedWithItsLimitsStretched) {
  TTempFolder folder;
  const std::string master = WriteProgram(folder, "master.hex", 2);
  TDevice plain(folder, "127.73.2.8", {"--delay", "300"});
  TDevice stretched(folder, "127.73.2.9", {"--delay", "300"});
  ASSERT_TRUE(plain.Listening() && stretched.Listening());
  TFlashProcess plainRun(Q({"-m", master, plain.Address}));
  TFlashProcess stretchedRun(Q({"--limit-scale", "4", "-m", master, stretched.Address}));
  EXPECT_EQ(plainRun.WaitForExit(), 7) << plainRun.Errors();
  EXPECT_EQ(stretchedRun.WaitForExit(), 0) << stretchedRun.Output() << stretchedRun.Errors();
  EXPECT_EQ(stretched.Flashed(), Flashed("MASTER", SentRecords(Lines(ReadWholeFile(master)))));
}

// -t counts from the start of the run, whose first attempt goes out at once (the station
// call above connects within -t 3).
TEST(FlashProductionTest, TheConnectionTimeLimitCountsFromTheStart) {
  TTempFolder folder;
  const std::string master = WriteProgram(folder, "master.hex", 2);
  const auto start = std::chrono::steady_clock::now();
  const TFlashRun nobody = RunFlash(Q({"-t", "2.5", "-m", master, "127.73.2.11"}));
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(nobody.ExitCode, 3);
  EXPECT_EQ(nobody.Errors, "zelmirt-flash: no connection to 127.73.2.11 (port 4001) within 2.5 s\n");
  // Within a second of the limit, with room for a loaded machine's start-up.
  EXPECT_LT(took.count(), 2.5 + 1 + 1) << took.count();
}

// An output that goes away (| head -1) neither ends the run nor changes its exit status.
TEST(FlashProductionTest, AClosedOutputLeavesTheRunToProgramTheUnit) {
  TTempFolder folder;
  const std::string master = WriteProgram(folder, "master.hex", 40);
  TDevice device(folder, "127.73.2.12");
  ASSERT_TRUE(device.Listening()) << device.Sim.Errors();
  QProcess pipeline;
  pipeline.start("bash", {"-c", "set -o pipefail; \"$0\" \"$@\" | head -1", ZELMIRT_FLASH_EXECUTABLE, "-v", "-m",
                          QString::fromStdString(master), QString::fromStdString(device.Address)});
  ASSERT_TRUE(pipeline.waitForFinished(60000));
  EXPECT_EQ(pipeline.exitCode(), 0) << pipeline.readAllStandardError().toStdString();
  EXPECT_EQ(Lines(pipeline.readAllStandardOutput().toStdString()).size(), 1u);
  EXPECT_EQ(device.Flashed(), Flashed("MASTER", SentRecords(Lines(ReadWholeFile(master)))));
}

// The connection goes in the middle of the dump and the device with it: the retry never
// connects, and the report still has the attempt that erased the unit.
TEST(FlashProductionTest, ARetryThatNeverConnectsKeepsTheAttemptBeforeIt) {
  TTempFolder folder;
  const std::string master = WriteProgram(folder, "master.hex", 6);
  const std::string report = folder.File("report.jsonl");
  auto device = std::make_unique<TScriptedDevice>("127.73.2.13");
  device->SetScript(TZelmirtScript({.SilentFromRecord = 3}));
  // Stretched limits: the device's silence must not end the dump before its connection does.
  TFlashProcess flash(Q({"--retries", "1", "-t", "2", "--limit-scale", "20", "--report", report, "-m", master,
                         "127.73.2.13"}));
  ASSERT_TRUE(flash.WaitForOutput("Beginning Program Dump ...")) << flash.Output() << flash.Errors();
  device.reset();
  EXPECT_EQ(flash.WaitForExit(), 3) << flash.Output() << flash.Errors();
  EXPECT_NE(flash.Errors().find("the Master may be waiting in its bootloader"), std::string::npos) << flash.Errors();
  const std::vector<QJsonObject> records = ReportRecords(report);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0]["attempt"].toInt(), 1);
  EXPECT_EQ(records[0]["unit_code"].toInt(), 11);
  EXPECT_EQ(records[0]["exit_code"].toInt(), 3);
}
}  // namespace
