#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "tests/app/PgmFormProbe.h"
#include "tests/support/ScriptedDevice.h"
#include "tests/support/TempFolder.h"
#include "tests/support/ZelmirtScript.h"

// A shown window connected to a scripted device on a loopback address of the test's own,
// with program files in a folder of its own. The test drives the window's tick itself.
class SequenceTest : public testing::Test {
protected:
  SequenceTest();
  ~SequenceTest() override;

  // The device on the test's own address, and the window that will talk to it.
  void CreateDevice(const std::string& Address);

  // Writes a Master or Slave program file of Records data records and selects it.
  std::string WriteProgram(const std::string& Name, int Records);
  void UseBehaviour(TDeviceBehaviour Behaviour);
  // Shows the window and waits until it reports the connection.
  void ConnectWindow();
  // One tick, after everything in flight between window and device has arrived: every
  // step sees the device's answers to the texts before it, like a device that answers at
  // once.
  void Step();
  // Steps until Condition holds; false after Limit steps.
  bool StepUntil(const std::function<bool()>& Condition, int Limit = 3000);
  // Steps until the run has ended (state 0); false after Limit steps.
  bool RunToEnd(int Limit = 3000) { return StepUntil([&] { return Form->Session().PgmState() == 0; }, Limit); }
  std::vector<std::string> Memo() const { return Form->ProgramMemo.Lines(); }
  std::string Section2() const { return Form->StatusLine.Panel(2).Text; }
  // Records of a program file as the device receives them in a run.
  static std::string Records(int Count, bool Slave);

  std::string DeviceAddress;
  TTempFolder Folder;
  std::unique_ptr<TScriptedDevice> Device;
  std::unique_ptr<TPgmFormProbe> Form;
};
