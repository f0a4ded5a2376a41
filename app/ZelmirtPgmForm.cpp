#include "app/ZelmirtPgmForm.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "base/Exception.h"
#include "base/Format.h"
#include "base/ScopedFlag.h"
#include "platform/Application.h"
#include "platform/Files.h"
#include "platform/MessageWindow.h"
#include "platform/SettingsLocation.h"

namespace {
constexpr int SectionWidth[] = {150, 100, 350};
constexpr const char* LinkStatusText[] = {"", "Searching for Zelmirt ...", "Connected",
                                          "Disconnecting ...", "Disconnected"};
constexpr uint8_t LinkStatusCount = std::size(LinkStatusText);

constexpr int CloseWaitRounds = 200;
constexpr auto CloseWaitSleep = std::chrono::milliseconds(20);

void SleepAndProcessMessages() {
  std::this_thread::sleep_for(CloseWaitSleep);
  ProcessMessages();
}
}  // namespace

std::string TZelmirt_PgmForm::DefaultSettingsFileName() {
  return SettingsFileFor(ExecutablePath());
}

TZelmirt_PgmForm::TZelmirt_PgmForm(std::string SettingsFileName)
    : FSettingsFileName(std::move(SettingsFileName)), FCloseWaitRound(SleepAndProcessMessages) {
  DesignControls();
  FormCreate();
}

TZelmirt_PgmForm::~TZelmirt_PgmForm() { FormDestroy(); }

void TZelmirt_PgmForm::FormCreate() {
  FNotifier.reset(new TKtNotifier(nullptr));
  FNotifier->SetOnNotify([this](TObject* Sender, const std::shared_ptr<IKtNotifyParams>& Params) {
    LinkNotify(Sender, Params);
  });
  FLink.reset();
  SetStatusSection(0, "No Connection");
  FLinkStatus = 0;
  SetStatusSection(2, LinkStatusText[0]);
  ShowSessionEvents();
  FInCheckboxClick = false;
  FCloseState = 0;
  ResetProgramView();
  LoadSettings();
}

void TZelmirt_PgmForm::FormShow() { StartSupervision(); }

bool TZelmirt_PgmForm::FormCloseQuery() {
  if (!FSession.Active()) return true;
  const TModalResult answer =
      Application().MessageBox("Program Sequence in Process - Close Anyway?", TMsgDlgType::mtWarning,
                               {TMsgDlgBtn::mbYes, TMsgDlgBtn::mbNo});
  if (answer != TModalResult::mrYes) return false;
  ResumeIdleTick();
  FSession.Abandon(TRunOutcome::Interrupted, "the run was stopped by closing the window");
  return true;
}

void TZelmirt_PgmForm::FormClose() {
  // A settings file that cannot be written must not keep the window open: the error is
  // reported and the close goes on without saving.
  try {
    SaveSettings();
  } catch (const std::exception& E) {
    Application().HandleException(E);
  }
  if (FLink) FLink->Close();
  FCloseState = 1;
  PgmTimer.SetEnabled(true);
  for (int round = 0; round < CloseWaitRounds && FCloseState == 1; ++round) FCloseWaitRound();
}

void TZelmirt_PgmForm::FormDestroy() {
  FSession.ProgramLines().Clear();
  FLink.reset();
  FNotifier.reset();
}

void TZelmirt_PgmForm::PgmOnTimer() {
  // A tick that arrives while the previous one pumps messages is dropped.
  if (FInTimer) return;
  TScopedFlag inTimer(FInTimer);
  if (FCloseState == 0) {
    btnProgram.SetEnabled(FLinkStatus == LinkConnectedIndex && !FSession.Active() && ProgramSettingsValid());
    if (FSession.Active()) ProgramStep();
  } else if (FCloseState == 1 && !FLinkChannel.Connected()) {
    btnProgram.SetEnabled(false);
    FCloseState = 2;
    PgmTimer.SetEnabled(false);
  }
}

void TZelmirt_PgmForm::ResumeIdleTick() {
  PgmTimer.SetEnabled(false);
  PgmTimer.SetInterval(IdleTickMs);
  if (FLink) FLink->SetTimerInterval(IdleTickMs);
  PgmTimer.SetEnabled(true);
}

bool TZelmirt_PgmForm::LinkConnected() const { return FSession.Channel().Connected(); }

void TZelmirt_PgmForm::SetStatusSection(int Index, const std::string& Text) {
  StatusLine.SetPanelText(Index, Text);
  if (Index == 1) {
    lblSize.SetCaption(Text);
    StatusLine.SetPanelWidth(1, std::max(lblSize.Width() + 10, SectionWidth[1]));
  } else {
    StatusLine.SetPanelWidth(Index, SectionWidth[Index]);
  }
  StatusLine.Repaint();
}

void TZelmirt_PgmForm::AppendMemo(const std::string& Text) { ProgramMemo.Append(Text); }

void TZelmirt_PgmForm::ShowError(const std::string& Text) {
  Application().PlayExclamation();
  Application().MessageBox(Text, TMsgDlgType::mtError, {TMsgDlgBtn::mbOK});
}

void TZelmirt_PgmForm::ResetProgramView() {
  // The pause before a Slave run keeps its view.
  if (FSession.PgmState() == psAwaitNextTarget) return;
  FSession.Stop();
  SetStatusSection(1, "");
  for (TLabel* label : {&lblMstrVers, &lblSlaveVers}) {
    label->SetCaption("Status:  ");
    label->SetTone(TTextTone::ttNormal);
  }
  ProgramMemo.Clear();
  btnProgram.SetEnabled(false);
  pbProgram.SetVisible(false);
  lbledtMaster.SetEnabled(true);
  lbledtSlave.SetEnabled(true);
  lblStatus.SetCaption("No Zelmirt Connected");
}

void TZelmirt_PgmForm::SetLinkStatus(uint8_t Index) {
  if (Index >= LinkStatusCount)
    throw EListError(Format("Connection status %u does not exist (0..%u)", unsigned{Index},
                            unsigned{LinkStatusCount} - 1));
  if (Index == FLinkStatus) return;
  FLinkStatus = Index;
  SetStatusSection(2, LinkStatusText[Index]);
}
