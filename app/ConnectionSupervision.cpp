// The window's side of the device link: creating and re-addressing it, and showing what it
// reports.
#include "app/DeviceDialogue.h"
#include "app/ZelmirtPgmForm.h"
#include "threads/KtParams.h"

void TZelmirt_PgmForm::StartSupervision() {
  ConnectLink();
  PgmTimer.SetEnabled(true);
}

void TZelmirt_PgmForm::ConnectLink() {
  SetLinkStatus(LinkSearchingIndex);
  if (!FLink) {
    FLink.reset(new TCltSckObj(FNotifier.get(), &FRxRing));
    if (FSession.FastDump()) {
      FLink->SetPromptReceive(true);
      FLink->SetOnReceived([this] { ReplyArrived(); });
    }
    FLink->Start();
    // Even an empty text replaces the link's own default address.
    FLink->SetAddress(ledtMasterIP.Text());
    if (FConnectAtOnce) FLink->AttemptNow();
  } else if (!FLink->Connected()) {
    FLink->SetSocketOpen(true);
  }
}

void TZelmirt_PgmForm::ledtMasterIPExit(TControl*) {
  if (!FLink) return;
  if (FLink->Address() == ledtMasterIP.Text()) return;
  SetLinkStatus(LinkDisconnectingIndex);
  FLink->SetAddress(ledtMasterIP.Text());
}

void TZelmirt_PgmForm::LinkNotify(TObject*, const std::shared_ptr<IKtNotifyParams>& Params) {
  if (FCloseState != 0) return;
  const int32_t code = Params->Param(0).AsInteger();
  if (code == LinkConnectedCode) {
    SetStatusSection(0, Params->Param(1).AsString());
    SetLinkStatus(LinkConnectedIndex);
    lblStatus.SetCaption("Zelmirt Connected");
  } else if (code == LinkDisconnectedCode) {
    SetStatusSection(0, Params->Param(1).AsString());
    SetLinkStatus(LinkDisconnectedIndex);
    // The pause before a Slave run goes on; the Slave run starts when it ends.
    const uint8_t state = FSession.PgmState();
    if (state >= psEnable && state <= psFinish) {
      AbandonRun();
    } else if (state != psAwaitNextTarget) {
      ResetProgramView();
    }
    SetLinkStatus(LinkSearchingIndex);
  }
}

void TZelmirt_PgmForm::AbandonRun() {
  FSession.Abandon(TRunOutcome::ConnectionLost, "connection to " + FLink->Address() + " lost during the run");
  ResetProgramView();
  gbUnitStatus.SetEnabled(true);
  gbProgram.SetEnabled(true);
  ResumeIdleTick();
}
