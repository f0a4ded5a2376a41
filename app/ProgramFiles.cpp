#include <string>

#include "app/ProgramRecords.h"
#include "app/ZelmirtPgmForm.h"
#include "base/ScopedFlag.h"
#include "platform/Files.h"

void TZelmirt_PgmForm::btnSelFileClick(TControl* Sender) {
  TOpenDialogSettings& dialog = OpenPgmDialog.Settings();
  dialog.FileName.clear();
  TLabeledEdit* edit = nullptr;
  if (Sender->Tag() == btnSelMaster.Tag()) {
    dialog.Title = "Select File for Zelmirt Master Processor ...";
    edit = &lbledtMaster;
  } else if (Sender->Tag() == btnSelSlave.Tag()) {
    dialog.Title = "Select File for Zelmirt Slave Processor ...";
    edit = &lbledtSlave;
  } else {
    return;
  }
  dialog.InitialDir = ExtractFilePath(edit->Text());
  if (!OpenPgmDialog.Execute()) return;
  edit->SetText(OpenPgmDialog.FileName());
  SaveSettings();
}

void TZelmirt_PgmForm::cbPrgCheckboxClick(TControl* Sender) {
  if (FInCheckboxClick) return;
  TScopedFlag inCheckboxClick(FInCheckboxClick);
  if (Sender->Tag() == cbAll.Tag()) {
    const TCheckBoxState units = cbAll.Checked() ? TCheckBoxState::cbGrayed : TCheckBoxState::cbUnchecked;
    cbMaster.SetState(units);
    cbSlave.SetState(units);
  } else if (cbAll.Checked()) {
    cbAll.SetChecked(false);
    if (cbMaster.Tag() != Sender->Tag()) cbMaster.SetChecked(false);
    if (cbSlave.Tag() != Sender->Tag()) cbSlave.SetChecked(false);
  }
  SaveSettings();
}

bool TZelmirt_PgmForm::ProgramSettingsValid() const {
  if (!cbAll.Checked() && !cbMaster.Checked() && !cbSlave.Checked()) return false;
  if ((cbAll.Checked() || cbMaster.Checked()) && !FileExists(lbledtMaster.Text())) return false;
  if (!cbAll.Checked() && !cbSlave.Checked()) return true;
  return FileExists(lbledtSlave.Text());
}

void TZelmirt_PgmForm::LoadProgramFile(const std::string& FileName) {
  LoadProgramLines(FSession.ProgramLines(), FileName);
}

void TZelmirt_PgmForm::FilterProgramLines() { ::FilterProgramLines(FSession.ProgramLines()); }
