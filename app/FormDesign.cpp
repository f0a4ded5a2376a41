#include "app/ZelmirtPgmForm.h"

namespace {
constexpr TAnchors StretchRight{TAnchorKind::akLeft, TAnchorKind::akTop, TAnchorKind::akRight};
constexpr TAnchors KeepRight{TAnchorKind::akTop, TAnchorKind::akRight};

void Place(TControl& Control, const char* Name, TControl* Parent, TBounds Bounds) {
  Control.SetName(Name);
  Control.SetParent(Parent);
  Control.SetBounds(Bounds.Left, Bounds.Top, Bounds.Width, Bounds.Height);
}

void Caption(TControl& Control, const char* Text, intptr_t Tag = 0) {
  Control.SetCaption(Text);
  Control.SetTag(Tag);
}

// The controls of one unit's group box and their names.
struct TUnitControls {
  TGroupBox& Group;
  TLabel& Version;
  TLabeledEdit& File;
  TButton& SelectFile;
  TCheckBox& Recover;
};

struct TUnitNames {
  const char* Group;
  const char* Version;
  const char* File;
  const char* SelectFile;
  const char* Recover;
};

void DesignUnitGroup(TUnitControls Unit, TUnitNames Names, TControl* Parent, const char* Title, TBounds Bounds,
                     int VersionLeft, intptr_t Tag) {
  Place(Unit.Group, Names.Group, Parent, Bounds);
  Unit.Group.SetAnchors(StretchRight);
  Caption(Unit.Group, Title);
  Place(Unit.Version, Names.Version, &Unit.Group, {VersionLeft, 16, 0, 13});
  Caption(Unit.Version, "Version:  ");
  Place(Unit.File, Names.File, &Unit.Group, {84, 36, 333, 21});
  Unit.File.SetAnchors(StretchRight);
  Caption(Unit.File, "Program File:");
  Unit.File.SetLabelPlacement(TLabelPosition::lpLeft, 8);
  Place(Unit.SelectFile, Names.SelectFile, &Unit.Group, {420, 32, 25, 25});
  Unit.SelectFile.SetAnchors(KeepRight);
  Caption(Unit.SelectFile, "...", Tag);
  Place(Unit.Recover, Names.Recover, &Unit.Group, {360, 12, 81, 17});
  Caption(Unit.Recover, "BL Recover");
}
}  // namespace

// The window as designed at 96 dots per inch; FormCreate then sets the start-up look.
void TZelmirt_PgmForm::DesignControls() {
  FWindowFont = TFont{"MS Sans Serif", 8, false};

  Place(gbUnitStatus, "gbUnitStatus", nullptr, {0, 0, DesignClientWidth, 65});
  gbUnitStatus.SetAlign(TAlign::alTop);
  Caption(gbUnitStatus, "Zelmirt IP Control");
  Place(ledtMasterIP, "ledtMasterIP", &gbUnitStatus, {12, 32, 105, 21});
  Caption(ledtMasterIP, "Master IP Address");
  ledtMasterIP.SetLabelPlacement(TLabelPosition::lpAbove, 3);

  Place(gbProgram, "gbProgram", nullptr, {0, 65, DesignClientWidth, 195});
  gbProgram.SetAlign(TAlign::alClient);
  Caption(gbProgram, "Program");
  Place(cbAll, "cbAll", &gbProgram, {20, 20, 41, 17});
  Caption(cbAll, "All", 7);
  Place(btnProgram, "btnProgram", &gbProgram, {80, 12, 75, 25});
  Caption(btnProgram, "Program");
  btnProgram.SetEnabled(false);
  Place(lblStatus, "lblStatus", &gbProgram, {168, 18, 0, 13});
  lblStatus.SetFont(TFont{"", 8, true});
  Caption(lblStatus, "Status");
  Place(pbProgram, "pbProgram", &gbProgram, {168, 12, 361, 25});
  pbProgram.SetAnchors(StretchRight);
  pbProgram.SetVisible(false);
  Place(cbMaster, "cbMaster", &gbProgram, {56, 64, 17, 17});
  Caption(cbMaster, "", 1);
  Place(cbSlave, "cbSlave", &gbProgram, {56, 132, 17, 17});
  Caption(cbSlave, "", 2);

  DesignUnitGroup({gbMaster, lblMstrVers, lbledtMaster, btnSelMaster, cbMasterBL},
                  {"gbMaster", "lblMstrVers", "lbledtMaster", "btnSelMaster", "cbMasterBL"}, &gbProgram, "Zelmirt Master",
                  {80, 48, 453, 65}, 16, 1);
  DesignUnitGroup({gbSlave, lblSlaveVers, lbledtSlave, btnSelSlave, cbSlaveBL},
                  {"gbSlave", "lblSlaveVers", "lbledtSlave", "btnSelSlave", "cbSlaveBL"}, &gbProgram, "Zelmirt Slave",
                  {80, 120, 453, 69}, 12, 2);

  Place(ProgramMemo, "ProgramMemo", nullptr, {0, 260, DesignClientWidth, 266});
  ProgramMemo.SetAlign(TAlign::alBottom);
  ProgramMemo.SetFont(TFont{"Courier New", 8, false});
  ProgramMemo.Append("ProgramMemo");

  Place(StatusLine, "StatusLine", nullptr, {0, 526, DesignClientWidth, 20});
  StatusLine.SetAlign(TAlign::alBottom);
  const char* designTexts[] = {"TCP/IP  Status", "S/N XXXX", "Messages"};
  for (int i = 0; i < StatusLine.PanelCount(); ++i) {
    StatusLine.SetPanelText(i, designTexts[i]);
    StatusLine.SetPanelWidth(i, 150);
  }

  Place(lblSize, "lblSize", nullptr, {0, 0, 0, 13});
  lblSize.SetVisible(false);

  PgmTimer.SetEnabled(false);
  PgmTimer.SetInterval(100);

  TOpenDialogSettings& dialog = OpenPgmDialog.Settings();
  dialog.DefaultExt = "hex";
  dialog.Filter = "Hex Files|*.hex|Text Files|*.txt|All Files|*.*";
  dialog.FilterIndex = 1;
  dialog.FileMustExist = true;
  dialog.HideReadOnly = true;
  dialog.EnableSizing = true;

  cbAll.OnClick = cbMaster.OnClick = cbSlave.OnClick = [this](TControl* Sender) {
    cbPrgCheckboxClick(Sender);
  };
  btnSelMaster.OnClick = btnSelSlave.OnClick = [this](TControl* Sender) { btnSelFileClick(Sender); };
  btnProgram.OnClick = [this](TControl* Sender) { btnProgramClick(Sender); };
  ledtMasterIP.OnExit = [this](TControl* Sender) { ledtMasterIPExit(Sender); };
  PgmTimer.OnTimer = [this] { PgmOnTimer(); };
}

std::vector<TControl*> TZelmirt_PgmForm::Controls() {
  return {&gbUnitStatus, &ledtMasterIP, &gbProgram,   &cbAll,       &btnProgram,   &lblStatus,
          &pbProgram,    &cbMaster,     &cbSlave,     &gbMaster,    &lblMstrVers,  &lbledtMaster,
          &btnSelMaster, &cbMasterBL,   &gbSlave,     &lblSlaveVers, &lbledtSlave, &btnSelSlave,
          &cbSlaveBL,    &ProgramMemo,  &StatusLine,  &lblSize};
}
