// The window's side of a programming run: the Program click starts the run object, and
// the window shows what the run reports.
#include "app/ProgramFileCheck.h"
#include "app/ZelmirtPgmForm.h"
#include "base/ScopedFlag.h"

void TZelmirt_PgmForm::btnProgramClick(TControl*) {
  // A link being re-addressed still counts as connected for a moment: only a link that
  // shows "Connected" takes a run.
  if (!LinkConnected() || FLinkStatus != LinkConnectedIndex) {
    ShowError("Not Connected to Zelmirt");
    return;
  }
  if (!ProgramSettingsValid()) {
    ShowError("Check Program Settings");
    return;
  }
  // Both files before the first unit's run: none that cannot program its unit is found out
  // after the Master was erased.
  if (cbAll.Checked() || cbMaster.Checked()) ShareProgramFileCheck(lbledtMaster.Text());
  if (cbAll.Checked() || cbSlave.Checked()) ShareProgramFileCheck(lbledtSlave.Text());
  ProgramMemo.Clear();
  TSessionRequest request;
  request.Master = cbAll.Checked() || cbMaster.Checked();
  request.Slave = cbAll.Checked() || cbSlave.Checked();
  request.MasterFile = lbledtMaster.Text();
  request.SlaveFile = lbledtSlave.Text();
  request.MasterRecover = cbMasterBL.Checked();
  request.SlaveRecover = cbSlaveBL.Checked();
  FSession.Start(request);
  gbUnitStatus.SetEnabled(false);
  gbProgram.SetEnabled(false);
}

void TZelmirt_PgmForm::ReplyArrived() {
  // A tick under way reads the bytes itself; a closing window reads nothing more.
  if (FInTimer || FCloseState != 0) return;
  TScopedFlag inStep(FInTimer);
  FSession.ReplyArrived();
}

void TZelmirt_PgmForm::ShowSessionEvents() {
  TSessionEvents events;
  events.OnMemoLine = [this](const std::string& Line, bool) { AppendMemo(Line); };
  events.OnStatus = [this](const std::string& Text) { SetStatusSection(2, Text); };
  events.OnUnitStatus = [this](uint8_t Unit, const std::string& Caption) { UnitStatusLabel(Unit).SetCaption(Caption); };
  events.OnUnitBegins = [this](uint8_t Unit) { ShowUnitBegins(Unit); };
  events.OnProgress = [this](uint8_t, int Percent) { pbProgram.SetPosition(Percent); };
  events.OnUnitRestarted = [this](uint8_t Unit) {
    (Unit == MasterTarget ? cbMasterBL : cbSlaveBL).SetChecked(false);
  };
  events.OnTickInterval = [this](uint16_t Milliseconds) { RunTickAt(Milliseconds); };
  events.OnUnitEnds = [this](bool Connected) { ShowUnitEnds(Connected); };
  events.OnIdle = [this] { ShowIdle(); };
  // The verdict shows where the eye goes: the unit's status in its colour.
  events.OnUnitDecided = [this](const TUnitVerdict& Unit) {
    UnitStatusLabel(Unit.Unit).SetTone(Unit.Outcome == TRunOutcome::Programmed ? TTextTone::ttSuccess
                                                                               : TTextTone::ttFailure);
  };
  FSession.SetEvents(Observed(std::move(events), FRunObserver));
}

void TZelmirt_PgmForm::SetRunObserver(TSessionEvents Observer) {
  FRunObserver = std::move(Observer);
  ShowSessionEvents();
}

TLabel& TZelmirt_PgmForm::UnitStatusLabel(uint8_t Unit) { return Unit == SlaveTarget ? lblSlaveVers : lblMstrVers; }

void TZelmirt_PgmForm::ShowUnitBegins(uint8_t Unit) {
  TLabel& label = UnitStatusLabel(Unit);
  label.SetCaption("Status:  ");
  label.SetTone(TTextTone::ttNormal);
  lbledtMaster.SetEnabled(Unit == MasterTarget);
  lbledtSlave.SetEnabled(Unit == SlaveTarget);
  pbProgram.SetPosition(0);
  pbProgram.SetVisible(true);
}

void TZelmirt_PgmForm::ShowUnitEnds(bool Connected) {
  if (Connected) {
    SetLinkStatus(LinkConnectedIndex);
  } else {
    SetLinkStatus(LinkDisconnectedIndex);
    ResetProgramView();
  }
}

void TZelmirt_PgmForm::ShowIdle() {
  pbProgram.SetVisible(false);
  lbledtMaster.SetEnabled(true);
  lbledtSlave.SetEnabled(true);
  gbUnitStatus.SetEnabled(true);
  gbProgram.SetEnabled(true);
}

void TZelmirt_PgmForm::RunTickAt(uint16_t Milliseconds) {
  PgmTimer.SetEnabled(false);
  PgmTimer.SetInterval(Milliseconds);
  PgmTimer.SetEnabled(true);
}
