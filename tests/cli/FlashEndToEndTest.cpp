// zelmirt-flash against zelmirt-sim, both run as processes: whole runs with the simulator's
// record of what it flashed, every fault of the simulator with its exit code and the run's
// last lines, and Ctrl-C in the middle of a run. Each test has its own device address.
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonArray>
#include <QJsonObject>

#include <string>
#include <vector>

#include "base/Format.h"
#include "base/Sha256.h"
#include "tests/cli/FlashFixture.h"
#include "tests/cli/FlashProcess.h"
#include "tests/support/TempFolder.h"
#include "tests/tools/SimProcess.h"
#include "tests/tools/SimRecords.h"

namespace {
// The last line after a run that left the Master in its bootloader, and after one that found
// it there without asking for recovery.
const std::string MasterLeft = "the Master may be waiting in its bootloader: program it again with --master-recover";
const std::string MasterAdvice = "zelmirt-flash: " + MasterLeft + "\n";
const std::string MasterMayBeLeft = "if an earlier run left the Master in its bootloader, program it with --master-recover";
TEST(FlashEndToEndTest, MasterRunFlashesTheFilteredFileAndReportsInJsonAndTheLog) {
  TTempFolder folder;
  const std::string master = WriteProgram(folder, "master.hex", 30);
  const std::string log = folder.File("run.log");
  TDevice device(folder, "127.70.2.1");
  ASSERT_TRUE(device.Listening()) << device.Sim.Errors();

  const TFlashRun run = RunFlash(Q({"--json", "-l", log, "-m", master, device.Address}));
  ASSERT_EQ(run.ExitCode, 0) << run.Output << run.Errors;
  EXPECT_EQ(device.Flashed(), Flashed("MASTER", SentRecords(Lines(ReadWholeFile(master)))));

  // One JSON object per line; the log, the status, the progress to 100 and the result.
  std::vector<std::string> memo;
  int lastPercent = -1;
  QJsonObject result;
  for (const std::string& line : Lines(run.Output)) {
    QJsonParseError error;
    const QJsonObject event = QJsonDocument::fromJson(QByteArray::fromStdString(line), &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << line;
    const QString kind = event["event"].toString();
    if (kind == "memo") memo.push_back(event["text"].toString().toStdString());
    if (kind == "progress") lastPercent = event["percent"].toInt();
    if (kind == "result") result = event;
  }
  ASSERT_GE(memo.size(), 3u);
  EXPECT_EQ(memo.front(), "Enabling Master Program Mode");
  EXPECT_EQ(memo[memo.size() - 2], ":020000030300F8.");
  EXPECT_EQ(memo.back(), "Zelmirt Restarted");
  EXPECT_EQ(lastPercent, 100);
  EXPECT_EQ(result["code"].toInt(), 0);
  EXPECT_EQ(result["message"].toString(), "Master programmed and restarted");
  // The result carries the report's record of the unit; the records' echoes stay out.
  ASSERT_EQ(result["units"].toArray().size(), 1);
  EXPECT_EQ(result["units"][0]["records_acknowledged"].toInt(), 31);
  EXPECT_EQ(result["units"][0]["bootloader_version"].toString(), "M12");
  EXPECT_LT(memo.size(), 31u);
  EXPECT_EQ(run.Errors, "");

  // Every log line has a time stamp; the log holds the run's lines and its result.
  const std::vector<std::string> logLines = Lines(ReadWholeFile(log));
  for (const std::string& line : logLines)
    EXPECT_TRUE(line.size() > 24 && line[4] == '-' && line[10] == ' ' && line[13] == ':' && line[19] == '.') << line;
  ASSERT_GE(logLines.size(), 2u);
  EXPECT_NE(logLines[logLines.size() - 2].find("result 0: Master programmed and restarted"), std::string::npos);
  EXPECT_NE(logLines.back().find(" verdict {"), std::string::npos) << logLines.back();
  // The log holds every line, the records' echoes too.
  EXPECT_NE(ReadWholeFile(log).find(" :020000030300F8.\n"), std::string::npos);
  EXPECT_NE(ReadWholeFile(log).find(" Zelmirt Restarted\n"), std::string::npos);
}

TEST(FlashEndToEndTest, SlaveRunFlashesOnlyTheSlave) {
  TTempFolder folder;
  const std::string slave = WriteProgram(folder, "slave.hex", 12);
  TDevice device(folder, "127.70.2.2");
  ASSERT_TRUE(device.Listening()) << device.Sim.Errors();

  TFlashProcess flash(Q({"-s", slave, device.Address}));
  ASSERT_EQ(flash.WaitForExit(), 0) << flash.Output() << flash.Errors();
  EXPECT_EQ(device.Flashed(), Flashed("SLAVE", SentRecords(Lines(ReadWholeFile(slave)))));
  const std::vector<std::string> lines = flash.LogLines();
  ASSERT_GE(lines.size(), 4u);
  // The checked file first: what the device is programmed from, by count and hash.
  EXPECT_EQ(lines[0], "Slave file: " + slave + " (" + std::to_string(SentRecords(Lines(ReadWholeFile(slave))).size()) +
                          " records to send, SHA-256 " + Sha256Hex(ReadWholeFile(slave)) + ")");
  EXPECT_EQ(lines[1], "Enabling Slave Program Mode");
  EXPECT_EQ(lines[lines.size() - 2], "Zelmirt Restarted");
  EXPECT_EQ(lines.back(), "zelmirt-flash: Slave programmed and restarted");
  EXPECT_EQ(flash.Errors(), "");
  // Not a terminal: the progress comes as percentage lines, ending at 100.
  EXPECT_NE(flash.Output().find("\nSlave 100%\n"), std::string::npos);
  EXPECT_EQ(flash.Output().find('\033'), std::string::npos) << "no terminal control codes";
}

// The sample files of realistic size: the Master, then the Slave, in one run.
TEST(FlashEndToEndTest, AllRunFlashesBothSampleFilesInOrder) {
  TTempFolder folder;
  const std::string master = ZELMIRT_EXAMPLES_DIR "/master.hex";
  const std::string slave = ZELMIRT_EXAMPLES_DIR "/slave.hex";
  TDevice device(folder, "127.70.2.3");
  ASSERT_TRUE(device.Listening()) << device.Sim.Errors();

  TFlashProcess flash(Q({"-q", "-u", "all", "-m", master, "-s", slave, device.Address}));
  ASSERT_EQ(flash.WaitForExit(), 0) << flash.Output() << flash.Errors();
  EXPECT_EQ(device.Flashed(), Flashed("MASTER", SentRecords(Lines(ReadWholeFile(master)))) +
                                  Flashed("SLAVE", SentRecords(Lines(ReadWholeFile(slave)))));
  EXPECT_EQ(flash.Output(), "zelmirt-flash: Master and Slave programmed and restarted\n") << "quiet: the result only";
}

struct TFaultCase {
  const char* Name;
  const char* Address;
  std::vector<std::string> SimOptions;
  std::vector<std::string> FlashOptions;  // "master" and "slave" stand for the program files
  int ExitCode;
  // The run's last line of the window's log before its end (none when the log is gone).
  std::string LastLogLine;
  // The result: the window's failure line, or the command's own.
  std::string Result;
  // The line after it that says how to reach a unit left in its bootloader, if any.
  std::string Advice = {};
};

void PrintTo(const TFaultCase& Case, std::ostream* Out) { *Out << Case.Name; }

class FlashFaultTest : public testing::TestWithParam<TFaultCase> {};

// The same case with --fast runs at an address of its own: 127.71.x.y for 127.70.x.y.
std::string FastAddress(const std::string& Address) { return "127.71." + Address.substr(7); }

std::string Replaced(std::string Text, const std::string& From, const std::string& To) {
  for (size_t at = Text.find(From); at != std::string::npos; at = Text.find(From, at + To.size()))
    Text.replace(at, From.size(), To);
  return Text;
}

void ExpectEnding(const TFaultCase& Case, TDevice& Device, TFlashProcess& Flash) {
  ASSERT_EQ(Flash.WaitForExit(), Case.ExitCode) << Flash.Output() << Flash.Errors() << Device.Sim.Output();
  const std::string caseResult = Replaced(Case.Result, Case.Address, Device.Address);
  const std::string result = "zelmirt-flash: " + caseResult.substr(caseResult.find_first_not_of('!'));
  std::vector<std::string> lines = Flash.LogLines();
  if (Case.ExitCode == 0) {
    // Success is reported on the output, after the log.
    ASSERT_FALSE(lines.empty()) << Flash.Output();
    EXPECT_EQ(lines.back(), result);
    lines.pop_back();
    EXPECT_EQ(Flash.Errors(), "");
  } else {
    EXPECT_EQ(Flash.Errors(), result + "\n" + (Case.Advice.empty() ? "" : "zelmirt-flash: " + Case.Advice + "\n"));
    // A failure the window logged is the log's last line.
    if (!caseResult.starts_with('!')) {
      ASSERT_FALSE(lines.empty()) << Flash.Output();
      EXPECT_EQ(lines.back(), caseResult);
      lines.pop_back();
    }
  }
  if (!Case.LastLogLine.empty()) {
    ASSERT_FALSE(lines.empty()) << Flash.Output();
    EXPECT_EQ(lines.back(), Case.LastLogLine) << Flash.Output();
  }
}

// Each case runs in the default mode and with --fast at the same time, on two devices: both
// end alike, and both devices received the same bytes.
TEST_P(FlashFaultTest, EndsWithItsExitCodeAndLastLinesInBothModesWithTheSameBytes) {
  const TFaultCase& c = GetParam();
  TTempFolder folder;
  const std::string master = WriteProgram(folder, "master.hex", 10);
  const std::string slave = WriteProgram(folder, "slave.hex", 10);
  QStringList simOptions;
  for (const std::string& option : c.SimOptions) simOptions << QString::fromStdString(option);
  TDevice device(folder, c.Address, simOptions);
  TDevice fastDevice(folder, FastAddress(c.Address), simOptions);
  ASSERT_TRUE(device.Listening()) << device.Sim.Errors();
  ASSERT_TRUE(fastDevice.Listening()) << fastDevice.Sim.Errors();

  QStringList arguments;
  for (const std::string& option : c.FlashOptions)
    arguments << QString::fromStdString(option == "master" ? master : option == "slave" ? slave : option);
  TFlashProcess flash(QStringList(arguments) << QString::fromStdString(device.Address));
  TFlashProcess fast(QStringList(arguments) << "--fast" << QString::fromStdString(fastDevice.Address));
  {
    SCOPED_TRACE("default mode");
    ExpectEnding(c, device, flash);
  }
  {
    SCOPED_TRACE("--fast");
    ExpectEnding(c, fastDevice, fast);
  }
  EXPECT_EQ(fastDevice.Received(), device.Received());
  EXPECT_EQ(fastDevice.Flashed(), device.Flashed());
}

const std::vector<std::string> MasterOnly{"-m", "master"};
const std::vector<std::string> SlaveOnly{"-s", "slave"};
const std::vector<std::string> Both{"-m", "master", "-s", "slave"};

// The reply to program record 3 (the same in every program file of the tests), taken as an
// acknowledgement or, without its ".", refused.
const std::string Record3 = SimRecords::Program(3)[2];

// A result that begins with "!" is the command's own, not a line of the window's log.
INSTANTIATE_TEST_SUITE_P(
    EveryFaultOfTheSimulator, FlashFaultTest,
    testing::Values(
        TFaultCase{"NoAck", "127.70.2.10", {"--no-ack"}, MasterOnly, 5, "Enabling Master Program Mode",
                   "Could Not Enable Programming", MasterMayBeLeft},
        TFaultCase{"NoAckOfTheSlaveAfterAWholeMasterRun", "127.70.2.11", {"--fault-unit", "slave", "--no-ack"},
                   Both, 5, "Enabling Slave Program Mode", "Could Not Enable Programming",
                   "if an earlier run left the Slave in its bootloader, program it with --slave-recover"},
        TFaultCase{"NoEcho", "127.70.2.12", {"--no-echo"}, MasterOnly, 6, "Program Mode Enabled",
                   "Could Not Sync to Bootloader", MasterLeft},
        TFaultCase{"MasterVersion", "127.70.2.13", {"--master-version", "X12"}, MasterOnly, 7,
                   "Program Mode Enabled", "Could Not Sync to Master Bootloader", MasterLeft},
        TFaultCase{"SlaveVersion", "127.70.2.14", {"--slave-version", "M12"}, SlaveOnly, 7, "Program Mode Enabled",
                   "Could Not Sync to Slave Bootloader",
                   "the Slave may be waiting in its bootloader: program it again with --slave-recover"},
        TFaultCase{"RefuseRecord", "127.70.2.15", {"--refuse-record", "3"}, MasterOnly, 8, Record3,
                   "Program Error", MasterLeft},
        TFaultCase{"SilentAfter", "127.70.2.16", {"--silent-after", "3"}, {"-v", "-m", "master"}, 9, Record3 + ".",
                   "Program Timeout Error", MasterLeft},
        TFaultCase{"NoRestartAck", "127.70.2.17", {"--no-restart-ack"}, MasterOnly, 10,
                   "Zelmirt Master Processor Programmed", "Failed to Restart", MasterLeft},
        TFaultCase{"RefuseConnections", "127.70.2.19", {"--refuse-connections"},
                   {"-t", "2", "-m", "master"}, 3, "", "!no connection to 127.70.2.19 (port 4001) within 2 s"},
        // Noise before the sync echo makes it no echo for the window.
        TFaultCase{"Noise", "127.70.2.20", {"--noise", "junk"}, MasterOnly, 6, "Program Mode Enabled",
                   "Could Not Sync to Bootloader", MasterLeft},
        TFaultCase{"Delay", "127.70.2.21", {"--delay", "5"}, Both, 0, "Zelmirt Restarted",
                   "Master and Slave programmed and restarted"},
        TFaultCase{"Dribble", "127.70.2.22", {"--dribble", "2"}, SlaveOnly, 0, "Zelmirt Restarted",
                   "Slave programmed and restarted"},
        TFaultCase{"MasterInBootloaderRecovered", "127.70.2.23", {"--in-bootloader", "master"},
                   {"--master-recover", "-m", "master"}, 0, "Zelmirt Restarted", "Master programmed and restarted"},
        TFaultCase{"SlaveInBootloaderRecovered", "127.70.2.24", {"--in-bootloader", "slave"},
                   {"--slave-recover", "-s", "slave"}, 0, "Zelmirt Restarted", "Slave programmed and restarted"},
        TFaultCase{"MasterInBootloaderNotRecovered", "127.70.2.25", {"--in-bootloader", "master"}, MasterOnly, 5,
                   "Enabling Master Program Mode", "Could Not Enable Programming", MasterMayBeLeft}),
    [](const testing::TestParamInfo<TFaultCase>& Info) { return std::string(Info.param.Name); });

// The device closes the connection right after a reply; the window's next record races the
// news of the close. Either the window learns of it first (it then empties its log, so the
// status tells) or its send fails; either way the run ends with nothing restarted.
TEST(FlashEndToEndTest, ClosedConnectionEndsTheRunAsLost) {
  TTempFolder folder;
  const std::string master = WriteProgram(folder, "master.hex", 10);
  TDevice device(folder, "127.70.2.18", {"--close-after", "3"});
  ASSERT_TRUE(device.Listening()) << device.Sim.Errors();

  TFlashProcess flash(Q({"-m", master, device.Address}));
  // Whether the run learns of the close from the link or from a send that finds it gone.
  EXPECT_EQ(flash.WaitForExit(), 11) << flash.Output() << flash.Errors();
  EXPECT_EQ(flash.Errors(), "zelmirt-flash: connection to 127.70.2.18 lost during the run\n" + MasterAdvice);
  EXPECT_NE(flash.Output().find("\n[status] Disconnected\n"), std::string::npos) << flash.Output();
  EXPECT_EQ(device.Flashed(), Flashed("MASTER", SimRecords::Program(3)));
}

// A signal in the middle of a run ends it as the close question answered Yes does: the link
// is closed, nothing is restarted, and the report records why.
TEST(FlashEndToEndTest, ASignalEndsTheRunClosesTheLinkAndExitsWithItsCode) {
  struct TCase {
    const char* Address;
    int Signal;
    int ExitCode;
    const char* Result;
  };
  for (const TCase& c : {TCase{"127.70.2.4", SIGINT, 130, "interrupted"},
                         TCase{"127.70.2.26", SIGHUP, 129, "stopped by a hang-up (SIGHUP)"},
                         TCase{"127.70.2.27", SIGTERM, 143, "stopped by SIGTERM"}}) {
    SCOPED_TRACE(c.Address);
    TTempFolder folder;
    const std::string master = WriteProgram(folder, "master.hex", 200);
    const std::string report = folder.File("report.csv");
    TDevice device(folder, c.Address, {"--delay", "20"});
    ASSERT_TRUE(device.Listening()) << device.Sim.Errors();

    TFlashProcess flash(Q({"--report", report, "-m", master, device.Address}));
    ASSERT_TRUE(flash.WaitForOutput("Beginning Program Dump ...")) << flash.Output() << flash.Errors();
    flash.Interrupt(c.Signal);
    EXPECT_EQ(flash.WaitForExit(), c.ExitCode) << flash.Output() << flash.Errors();
    EXPECT_EQ(flash.Errors(), "zelmirt-flash: " + std::string(c.Result) + "\n" + MasterAdvice);
    EXPECT_TRUE(device.Sim.WaitForOutput(device.Address + ":4001 closed by")) << device.Sim.Output();
    EXPECT_EQ(device.Sim.Output().find("restarted"), std::string::npos) << device.Sim.Output();
    EXPECT_LT(Lines(device.Flashed()).size(), 200u) << "the run was cut short";
    const std::vector<std::string> records = Lines(ReadWholeFile(report));
    ASSERT_EQ(records.size(), 2u) << "the header and the Master's record";
    EXPECT_NE(records[1].find(Format(",%d,%d,", c.ExitCode, c.ExitCode)), std::string::npos) << records[1];
  }
}

// Bad input ends before any connection with one line naming what was wrong and where.
TEST(FlashEndToEndTest, BadInputEndsWithOneLineAndItsCode) {
  TTempFolder folder;
  const std::string good = WriteProgram(folder, "good.hex", 3);
  const std::string malformed = folder.WriteFile("bad.hex", ":00000001FF\r\n:10zz\r\n");
  const std::string missing = folder.File("missing.hex");
  const std::string badList = folder.WriteFile("rack.txt", "# rack 1\n127.70.2.5\n\n127.70.2.7 127.70.2.8\n");
  const std::string emptyList = folder.WriteFile("empty.txt", "# nothing yet\n\n");
  struct TCase {
    QStringList Arguments;
    int ExitCode;
    std::vector<std::string> Mentions;
  };
  const std::vector<TCase> cases{
      {{"--frobnicate", "127.70.2.5"}, 2, {"unknown option \"--frobnicate\""}},
      {Q({"-m", good, "--master=" + good, "127.70.2.5"}), 2, {"--master given twice"}},
      {Q({"-s" + good, "-s", good, "127.70.2.5"}), 2, {"-s given twice"}},
      {Q({"-m", good}), 2, {"no device address"}},
      {Q({"-u", "both", "-m", good, "127.70.2.5"}), 2, {"-u", "\"both\""}},
      {Q({"-t", "soon", "-m", good, "127.70.2.5"}), 2, {"-t", "\"soon\""}},
      {Q({"-u", "slave", "-m", good, "127.70.2.5"}), 2, {"no Slave file"}},
      {Q({"--slave-recover", "-m", good, "127.70.2.5"}), 2, {"Slave recovery"}},
      {{"127.70.2.5"}, 2, {"no unit"}},
      {Q({"-m", missing, "127.70.2.5"}), 4, {missing, "No such file"}},
      {Q({"-m", good, "-s", malformed, "127.70.2.5"}), 4, {malformed, "line 2", ":10zz"}},
      {Q({"-m", good, "-l", folder.File("no-folder/run.log"), "127.70.2.5"}), 2, {"no-folder/run.log"}},
      {Q({"-m", good, "127.70.2.5", "127.70.2.7", "127.70.2.5"}), 2, {"\"127.70.2.5\" given twice"}},
      {Q({"-m", good, "--devices", badList}), 2, {badList + ":4:", "\"127.70.2.8\" is not a device option"}},
      {Q({"-m", good, "--devices", emptyList}), 2, {emptyList, "no device address"}},
      {Q({"-m", good, "--devices", missing}), 2, {"--devices", missing}},
  };
  for (const TCase& c : cases) {
    const TFlashRun run = RunFlash(c.Arguments);
    const std::string call = c.Arguments.join(' ').toStdString();
    EXPECT_EQ(run.ExitCode, c.ExitCode) << call << "\n" << run.Errors;
    EXPECT_EQ(run.Output, "") << call;
    ASSERT_EQ(Lines(run.Errors).size(), 1u) << call << "\n" << run.Errors;
    EXPECT_TRUE(run.Errors.starts_with("zelmirt-flash: ")) << run.Errors;
    for (const std::string& mention : c.Mentions)
      EXPECT_NE(run.Errors.find(mention), std::string::npos) << call << ": " << run.Errors << " lacks " << mention;
  }

  // Nothing listens at this address.
  const TFlashRun unreachable = RunFlash(Q({"-t", "1", "-m", good, "127.70.2.6"}));
  EXPECT_EQ(unreachable.ExitCode, 3);
  EXPECT_EQ(unreachable.Errors, "zelmirt-flash: no connection to 127.70.2.6 (port 4001) within 1 s\n");
}

TEST(FlashEndToEndTest, HelpListsEveryOptionAndExitCode) {
  const TFlashRun help = RunFlash({"--help"});
  EXPECT_EQ(help.ExitCode, 0);
  for (const char* option : {"-m, --master FILE", "-s, --slave FILE", "-u, --units master|slave|all",
                             "--master-recover", "--slave-recover", "-t, --connect-timeout SECONDS", "-l, --log FILE",
                             "-q, --quiet", "--json", "-h, --help", "--version", "ADDRESS...",
                             "-d, --devices FILE", "--fast", "--check", "check [--json] FILE...", "-v, --verbose",
                             "--log-dir FOLDER", "--report FILE", "--retries N", "--run-timeout SECONDS",
                             "--limit-scale F", "master-recover"})
    EXPECT_NE(help.Output.find(option), std::string::npos) << option;
  for (const char* code : {"  0  every selected unit", "  1  anything else", "  2  usage", "  3  no connection",
                           "  4  a program file", "  5  could not enable", "  6  could not sync to the bootloader",
                           "  7  could not sync to the Master or Slave", "  8  program error", "  9  program time-out",
                           " 10  failed to restart", " 11  connection lost", " 12  a text could not be sent",
                           " 13  the run passed its time limit", "129  stopped by a hang-up", "130  interrupted",
                           "143  stopped by SIGTERM"})
    EXPECT_NE(help.Output.find(code), std::string::npos) << code;

  const TFlashRun version = RunFlash({"--version"});
  EXPECT_EQ(version.ExitCode, 0);
  EXPECT_EQ(version.Output, "zelmirt-flash (Zelmirt Programming Utility) 1.1\n");
}
}  // namespace
