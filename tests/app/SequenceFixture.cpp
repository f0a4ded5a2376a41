#include "tests/app/SequenceFixture.h"

#include <chrono>

#include "app/DeviceDialogue.h"
#include "tests/support/WaitUntil.h"

using namespace DeviceDialogue;

namespace {
constexpr auto InFlightWait = std::chrono::seconds(2);
}  // namespace

SequenceTest::SequenceTest() {
  Form = std::make_unique<TPgmFormProbe>(Folder.File("zelmirt-programmer.INI"));
  Form->SetCloseWaitRound([this] {
    ProcessMessages();
    Form->PgmTimer.Tick();
  });
}

SequenceTest::~SequenceTest() { Form.reset(); }

void SequenceTest::CreateDevice(const std::string& Address) {
  DeviceAddress = Address;
  Device = std::make_unique<TScriptedDevice>(Address);
  UseBehaviour({});
}

std::string SequenceTest::Records(int Count, bool Slave) {
  std::string text;
  const std::string end = Slave ? "\n" : "";
  for (int i = 0; i < Count; ++i) text += DataRecord(i) + end;
  return text + HexRecord(0, 1, {}) + end;
}

std::string SequenceTest::WriteProgram(const std::string& Name, int Records) {
  std::string content;
  for (int i = 0; i < Records; ++i) content += DataRecord(i) + "\r\n";
  // Records that are never sent: a blank one and one in the protected area.
  content += HexRecord(0x7000, 0, std::vector<unsigned>(16, 0xFF)) + "\r\n";
  content += HexRecord(0xF800, 0, {1, 2, 3, 4}) + "\r\n";
  content += HexRecord(0, 1, {}) + "\r\n";
  return Folder.WriteFile(Name, content);
}

void SequenceTest::UseBehaviour(TDeviceBehaviour Behaviour) { Device->SetScript(TZelmirtScript(std::move(Behaviour))); }

void SequenceTest::ConnectWindow() {
  Form->ledtMasterIP.SetText(DeviceAddress);
  Form->FormShow();
  ASSERT_TRUE(WaitUntil([&] { return Form->FLinkStatus == 2; }, std::chrono::seconds(30)));
  Form->PgmTimer.Tick();
}

void SequenceTest::Step() {
  const TCltSckObj* link = Form->Link();
  // A connection that went away takes its bytes in flight with it: then the wait ends.
  WaitUntil([&] { return Device->Handled() >= link->BytesSent() && link->BytesReceived() >= Device->Sent(); },
            InFlightWait);
  Form->PgmTimer.Tick();
}

bool SequenceTest::StepUntil(const std::function<bool()>& Condition, int Limit) {
  for (int i = 0; i < Limit; ++i) {
    if (Condition()) return true;
    Step();
  }
  return Condition();
}
