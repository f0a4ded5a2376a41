// The window itself, as the operator uses it, through a whole Master run against the device
// simulator.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include "app/ZelmirtPgmForm.h"
#include "gui/PgmFormView.h"
#include "platform/IniFile.h"
#include "tests/support/TempFolder.h"
#include "tests/support/WaitUntil.h"
#include "tests/tools/SimProcess.h"
#include "tests/tools/SimRecords.h"

namespace {
constexpr const char* Address = "127.70.3.1";

TEST(WindowRunTest, AWholeMasterRunAgainstTheSimulator) {
  TTempFolder folder;
  std::vector<std::string> records = SimRecords::Program(25);
  records.push_back(":00000001FF");
  std::string program;
  for (const std::string& record : records) program += record + "\r\n";
  const std::string master = folder.WriteFile("master.hex", program);
  const std::string flashed = folder.File("flashed.txt");
  TSimProcess sim({"--listen", Address, "--flashed", QString::fromStdString(flashed)});
  ASSERT_TRUE(sim.WaitForOutput(std::string(Address) + ":4001 listening\n")) << sim.Errors();

  // The address and the file as the operator left them last time.
  const std::string settings = folder.File("zelmirt-programmer.INI");
  TIniFile(settings).WriteString("Master", "IP Address", Address);
  TIniFile(settings).WriteString("Program", "MasterFile", master);
  TZelmirt_PgmForm form(settings);
  TPgmFormView view(form);
  view.Show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(view.Window()));
  QWidget* window = view.Window();
  auto* selectMaster = window->findChild<QCheckBox*>("cbMaster");
  auto* programButton = window->findChild<QPushButton*>("btnProgram");
  auto* memo = window->findChild<QPlainTextEdit*>("ProgramMemo");
  auto* progress = window->findChild<QProgressBar*>("pbProgram");
  auto* masterStatus = window->findChild<QLabel*>("lblMstrVers");
  ASSERT_TRUE(selectMaster && programButton && memo && progress && masterStatus);

  selectMaster->click();
  ASSERT_TRUE(WaitUntil([&] { return programButton->isEnabled(); }, std::chrono::seconds(30)))
      << "the window never connected";
  QTest::mouseClick(programButton, Qt::LeftButton);
  EXPECT_FALSE(programButton->isEnabled());
  ASSERT_TRUE(WaitUntil([&] { return memo->toPlainText().endsWith("Zelmirt Restarted"); }, std::chrono::seconds(60)))
      << memo->toPlainText().toStdString();
  ASSERT_TRUE(WaitUntil([&] { return !progress->isVisible() && programButton->isEnabled(); }));
  EXPECT_EQ(masterStatus->text(), "Status:  Program Complete");
  const QStringList lines = memo->toPlainText().split('\n');
  EXPECT_EQ(lines.front(), "Enabling Master Program Mode");
  EXPECT_TRUE(lines.contains("Zelmirt Master Processor Programmed"));

  std::string expected;
  for (const std::string& record : records) expected += "MASTER " + record + "\n";
  EXPECT_EQ(ReadWholeFile(flashed), expected);

  // Closing the window closes the link and keeps the selection.
  window->close();
  EXPECT_TRUE(sim.WaitForOutput(std::string(Address) + ":4001 closed by")) << sim.Output();
  EXPECT_EQ(TIniFile(settings).ReadString("Program", "Selected", ""), "1");
}
}  // namespace
