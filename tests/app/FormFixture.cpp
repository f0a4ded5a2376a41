#include "tests/app/FormFixture.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "app/DeviceDialogue.h"

FormTest::FormTest() { RecreateForm(); }

void FormTest::WriteSettings(const std::string& Content) const {
  std::ofstream(SettingsPath(), std::ios::binary) << Content;
}

void FormTest::RecreateForm() {
  Form.reset();
  Form = std::make_unique<TPgmFormProbe>(SettingsPath());
}

void FormTest::EnterRun() {
  Form->lbledtMaster.SetText(Folder.WriteFile("run-master.hex", ":0100000001FE\n:00000001FF\n"));
  Form->cbMaster.SetChecked(true);
  Form->SetChannel(Channel);
  Form->SetLinkStatus(2);
  Form->btnProgramClick(&Form->btnProgram);
  Form->PgmTimer.Tick();
  ASSERT_EQ(Form->Session().PgmState(), psAwaitAck);
}

void FormTest::EnterPauseBeforeSlaveRun() {
  Form->lbledtMaster.SetText(Folder.WriteFile("run-master.hex", ":0100000001FE\n:00000001FF\n"));
  Form->lbledtSlave.SetText(Folder.WriteFile("run-slave.hex", ":0100000002FD\n:00000001FF\n"));
  Form->cbAll.SetChecked(true);
  Form->SetChannel(Channel);
  Form->SetLinkStatus(2);
  Form->btnProgramClick(&Form->btnProgram);
  for (int step = 0; step < 1000 && Form->Session().PgmState() != psAwaitNextTarget; ++step) Form->PgmTimer.Tick();
  ASSERT_EQ(Form->Session().PgmState(), psAwaitNextTarget);
}
