// zelmirt-flash as a production line runs it: a report of every unit and attempt, a unit
// retried after a refusal, a run time limit for a device that never lets a limit pass.
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <atomic>
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
}  // namespace
