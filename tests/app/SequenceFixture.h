#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "tests/app/PgmFormProbe.h"
#include "tests/support/ScriptedDevice.h"
#include "tests/support/TempFolder.h"

// How the scripted Zelmirt answers; by default as a healthy device.
struct TDeviceBehaviour {
  bool AnswerEnable = true;
  // Replaces the reply line to the enable command, when set.
  std::string EnableReply{};
  bool EchoSync = true;
  bool AnswerVersion = true;
  // Replaces the three version characters of the version reply, when set.
  std::string Version{};
  std::string VersionPrefix{};
  // Records count from 1, the erase record; 2 is the first program record. The refused
  // record is answered without "." (with an empty line, if so set); from the silent one
  // on, nothing is answered. 0 for none.
  int RefusedRecord = 0;
  bool RefuseWithEmptyLine = false;
  int SilentFromRecord = 0;
  bool AnswerRestart = true;
};

// The Master and, behind it, the Slave as the programming sequence talks to them, over a
// real connection: texts are framed as the device frames them (records by their own byte
// count, Slave texts by their line feed) and answered as the dialogue expects.
class TZelmirtScript {
public:
  explicit TZelmirtScript(TDeviceBehaviour Behaviour) : FBehaviour(std::move(Behaviour)) {}
  void operator()(TScriptedDevice& Device, std::string& Pending);

private:
  // Answers one framed text.
  std::string Answer(const std::string& Text);

  TDeviceBehaviour FBehaviour;
  bool FSlave = false;
  int FRecords = 0;
};

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
  bool RunToEnd(int Limit = 3000) { return StepUntil([&] { return Form->FPgmState == 0; }, Limit); }
  std::vector<std::string> Memo() const { return Form->ProgramMemo.Lines(); }
  std::string Section2() const { return Form->StatusLine.Panel(2).Text; }
  // Records of a program file as the device receives them in a run.
  static std::string Records(int Count, bool Slave);

  std::string DeviceAddress;
  TTempFolder Folder;
  std::unique_ptr<TScriptedDevice> Device;
  std::unique_ptr<TPgmFormProbe> Form;
};
