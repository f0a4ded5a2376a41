// The programming run: one step per tick of the window's timer, each reading at most one
// reply line from the receive ring and acting on the state of the run; with the fast dump,
// also a step for each reply as soon as it arrives.
#include <string>

#include "app/DeviceDialogue.h"
#include "app/ScopedFlag.h"
#include "app/ZelmirtPgmForm.h"
#include "base/Exception.h"
#include "platform/Application.h"

using namespace DeviceDialogue;

namespace {
// Limits and pauses, in steps.
constexpr int32_t AckLimit = 500;
constexpr int32_t SyncDelay = 50;
constexpr int32_t SyncEchoLimit = 100;
constexpr int32_t VersionQueryDelay = 5;
constexpr int32_t VersionLimit = 25;
constexpr int32_t ReplyLimit = 100;
constexpr int32_t CompleteDelay = 20;
constexpr int32_t RestartLimit = 100;
constexpr int32_t NextTargetPause = 50;

constexpr size_t VersionReplyLength = 19;
constexpr size_t VersionOffset = 15;
constexpr size_t VersionLength = 3;

// A text the link could not take; the run ends on it.
class ESendFailed : public Exception {
public:
  using Exception::Exception;
};
}  // namespace

void TZelmirt_PgmForm::btnProgramClick(TControl*) {
  if (!LinkConnected()) {
    ShowError("Not Connected to Zelmirt");
    return;
  }
  if (!ProgramSettingsValid()) {
    ShowError("Check Program Settings");
    return;
  }
  SetRunTick();
  FTickCount = 0;
  FRecordsAcknowledged = 0;
  ProgramMemo.Clear();
  if (cbAll.Checked() || cbMaster.Checked()) {
    FTarget = MasterTarget;
    LoadProgramForRun(lbledtMaster.Text());
    lblMstrVers.SetCaption("Status:  ");
    lbledtMaster.SetEnabled(true);
    lbledtSlave.SetEnabled(false);
  } else {
    FTarget = SlaveTarget;
    LoadProgramForRun(lbledtSlave.Text());
    lblSlaveVers.SetCaption("Status:  ");
    lbledtMaster.SetEnabled(false);
    lbledtSlave.SetEnabled(true);
  }
  FLineIndex = 0;
  gbUnitStatus.SetEnabled(false);
  gbProgram.SetEnabled(false);
  BeginRun();
}

void TZelmirt_PgmForm::StartNextTarget() {
  SetRunTick();
  FTickCount = 0;
  if (FNextTarget == SlaveTarget) {
    FTarget = SlaveTarget;
    LoadProgramForRun(lbledtSlave.Text());
    FLineIndex = 0;
    lblSlaveVers.SetCaption("Status:  ");
    lbledtMaster.SetEnabled(false);
    lbledtSlave.SetEnabled(true);
  }
  BeginRun();
}

void TZelmirt_PgmForm::BeginRun() {
  pbProgram.SetPosition(0);
  pbProgram.SetVisible(true);
  FPgmState = psEnable;
  SetStatusSection(2, "Starting Program Sequence ...");
  PgmTimer.SetEnabled(true);
}

void TZelmirt_PgmForm::SetRunTick() {
  PgmTimer.SetEnabled(false);
  PgmTimer.SetInterval(RunTickMs);
  if (FLink) FLink->SetTimerInterval(RunTickMs);
}

bool TZelmirt_PgmForm::EndsWith(const std::string& Sub, const std::string& S) {
  const size_t first = S.find(Sub);
  return first != std::string::npos && first + Sub.size() == S.size();
}

bool TZelmirt_PgmForm::ReadReplyLine() {
  bool complete = false;
  while (FRxRing.ReadPos != FRxRing.WritePos && !complete) {
    const char byte = static_cast<char>(FRxRing.Data[FRxRing.ReadPos]);
    FRxRing.ReadPos = (FRxRing.ReadPos + 1) % RxRing::Size;
    if (byte == ReplyTerminator) {
      complete = true;
    } else if (byte != LineTerminator) {
      FReply += byte;
    }
    if (FPgmState != psAwaitNextTarget) FTickCount = 0;
  }
  return complete;
}

void TZelmirt_PgmForm::SendCommand(const std::string& Text, bool AddTerminator) {
  FReply.clear();
  if (FLink) FLink->ResetRxRing();
  std::string text = Text;
  if (AddTerminator || FTarget == SlaveTarget) text += LineTerminator;
  SendToLink(text);
}

void TZelmirt_PgmForm::SendToLink(const std::string& Text) {
  try {
    if (!FLink) throw Exception("no device link");
    FLink->SendText(Text);
  } catch (const std::exception& E) {
    throw ESendFailed(std::string("Could Not Send to Zelmirt: ") + E.what());
  }
}

void TZelmirt_PgmForm::GoToState(uint8_t State) {
  FPgmState = State;
  FTickCount = 0;
}

void TZelmirt_PgmForm::ProgramStep() {
  bool lineCompleted = false;
  if (FPgmState != psIdle) {
    // Bytes that have arrived since the link last handed them on count for this step, so
    // a prompt reply is read at the next tick whatever the phase of the link's own timer.
    if (FLink) FLink->PassReceivedBytes();
    lineCompleted = ReadReplyLine();
  }
  ++FTickCount;
  RunStep(lineCompleted);
}

void TZelmirt_PgmForm::ReplyArrived() {
  // A tick under way reads the bytes itself; a closing window reads nothing more.
  if (FInTimer || FCloseState != 0) return;
  TScopedFlag inStep(FInTimer);
  // Each pass takes at least one byte; a reply acted on clears the ring with its answer.
  while (AwaitsReply() && FRxRing.ReadPos != FRxRing.WritePos) RunStep(ReadReplyLine());
}

bool TZelmirt_PgmForm::AwaitsReply() const {
  switch (FPgmState) {
    case psAwaitAck:
    case psAwaitSyncEcho:
    case psAwaitVersion:
    case psDump:
    case psAwaitRestart:
      return true;
    default:
      return false;
  }
}

void TZelmirt_PgmForm::RunStep(bool LineCompleted) {
  try {
    RunStateRule(LineCompleted);
  } catch (const std::exception& E) {
    // A text the link would not take (the connection went between two ticks), or a Slave
    // file that could not be loaded: the run ends like any failed step.
    AppendMemo(E.what());
    GoToState(psFailed);
  }
}

void TZelmirt_PgmForm::RunStateRule(bool LineCompleted) {
  switch (FPgmState) {
    case psEnable:
      if (FTarget == MasterTarget) {
        AppendMemo("Enabling Master Program Mode");
        if (cbMasterBL.Checked()) {
          SetStatusSection(2, "Syncing to Master Bootloader ...");
          GoToState(psSyncDelay);
        } else {
          SendCommand(CmdEnableMasterBL, true);
          GoToState(psAwaitAck);
        }
      } else {
        AppendMemo("Enabling Slave Program Mode");
        SendCommand(cbSlaveBL.Checked() ? CmdSyncSlaveBL : CmdEnableSlaveBL, true);
        GoToState(psAwaitAck);
      }
      break;

    case psAwaitAck:
      if (LineCompleted) {
        if (FTarget == MasterTarget && EndsWith(AckMasterBL, FReply)) {
          AppendMemo("Program Mode Enabled");
          FPgmState = psSyncDelay;
          SetStatusSection(2, "Syncing to Master Bootloader ...");
        } else if (FTarget == SlaveTarget && EndsWith(AckSlaveBL, FReply)) {
          AppendMemo("Program Mode Enabled");
          FPgmState = psQueryVersion;
          SetStatusSection(2, "Syncing to Slave Bootloader ...");
        } else {
          FReply.clear();
        }
        FTickCount = 0;
      } else if (FTickCount > AckLimit) {
        AppendMemo("Could Not Enable Programming");
        FPgmState = psFailed;
      }
      break;

    case psSyncDelay:
      if (FTickCount >= SyncDelay) {
        SendCommand(SyncByte, false);
        GoToState(psAwaitSyncEcho);
      }
      break;

    case psAwaitSyncEcho:
      if (FReply == SyncByte) {
        GoToState(psQueryVersion);
      } else if (FTickCount > SyncEchoLimit) {
        AppendMemo("Could Not Sync to Bootloader");
        GoToState(psFailed);
      }
      break;

    case psQueryVersion:
      if (FTickCount == VersionQueryDelay) {
        SendCommand(RecVersion, false);
        GoToState(psAwaitVersion);
      }
      break;

    case psAwaitVersion:
      if (LineCompleted) {
        AcceptVersionReply();
      } else if (FTickCount >= VersionLimit) {
        AppendMemo(FTarget == MasterTarget ? "Could Not Sync to Master Bootloader"
                                           : "Could Not Sync to Slave Bootloader");
        FPgmState = psFailed;
      }
      break;

    case psErase:
      AppendMemo("Erasing Processor ...");
      SetStatusSection(2, "Erasing Processor ...");
      SendCommand(RecErase, false);
      GoToState(psDump);
      break;

    case psDump:
      if (LineCompleted) {
        DumpReplyReceived();
      } else if (FTickCount > ReplyLimit) {
        AppendMemo("Program Timeout Error");
        SetStatusSection(2, "Program Timeout Error");
        FVersionLabel->SetCaption("Status:  Program Timeout");
        FPgmState = psFailed;
      }
      break;

    case psCompleteDelay:
      if (FTickCount >= CompleteDelay) GoToState(psRestart);
      break;

    case psRestart:
      SendCommand(RecRestart, false);
      SetStatusSection(2, "Restarting Zelmirt ...");
      GoToState(psAwaitRestart);
      break;

    case psAwaitRestart:
      if (LineCompleted && FReply == std::string(RecRestart) + Acknowledged) {
        AppendMemo(FReply);
        AppendMemo("Zelmirt Restarted");
        SetStatusSection(2, "Zelmirt Restarted");
        FPgmState = psRestarted;
      } else if (FTickCount > RestartLimit) {
        AppendMemo("Failed to Restart");
        FNextTarget = 0;
        FPgmState = psFinish;
      }
      break;

    case psFailed:
      FNextTarget = 0;
      FPgmState = psFinish;
      break;

    case psRestarted:
      FNextTarget = 0;
      if (FTarget == MasterTarget) {
        cbMasterBL.SetChecked(false);
        if (cbAll.Checked() || cbSlave.Checked()) FNextTarget = SlaveTarget;
      } else {
        cbSlaveBL.SetChecked(false);
      }
      FPgmState = psFinish;
      break;

    case psFinish:
      FinishRun();
      break;

    case psAwaitNextTarget:
      if (FTickCount >= NextTargetPause) {
        FTickCount = 0;
        StartNextTarget();
      }
      break;

    default:
      break;
  }
}

void TZelmirt_PgmForm::AcceptVersionReply() {
  std::string reply = FReply;
  const size_t colon = reply.find(':');
  if (colon != std::string::npos && colon > 0) reply.erase(0, colon);
  char expected = 'M';
  if (FTarget == MasterTarget) {
    FVersionLabel = &lblMstrVers;
    FTargetName = "Master";
  } else {
    expected = 'S';
    FVersionLabel = &lblSlaveVers;
    FTargetName = "Slave";
  }
  const bool accepted = reply.size() == VersionReplyLength && reply.compare(0, VersionOffset, RecVersion) == 0 &&
                        reply[VersionOffset] == expected && reply.back() == Acknowledged;
  if (!accepted) return;
  FVersionLabel->SetCaption("Status:  " + reply.substr(VersionOffset, VersionLength) + "  Programming ...");
  AppendMemo(FReply);
  FPgmState = psErase;
}

void TZelmirt_PgmForm::DumpReplyReceived() {
  AppendMemo(FReply);
  if (FLineIndex == 0) {
    AppendMemo("Beginning Program Dump ...");
    SetStatusSection(2, "Programing " + FTargetName + " ...");
  }
  // An empty line has no last character: it is no acknowledgement.
  if (FReply.empty() || FReply.back() != Acknowledged) {
    AppendMemo("Program Error");
    SetStatusSection(2, "Program Error");
    FVersionLabel->SetCaption("Status:  Program Error");
    FPgmState = psFailed;
    return;
  }
  if (FLineIndex > 0) ++FRecordsAcknowledged;
  const int32_t lines = FProgramLines->Count();
  if (FLineIndex < lines) {
    const std::string record = FProgramLines->Strings(FLineIndex);
    ++FLineIndex;
    SendCommand(record, false);
    FTickCount = 0;
    pbProgram.SetPosition(FLineIndex * 100 / lines);
    return;
  }
  pbProgram.SetPosition(100);
  FProgramLines->Clear();
  AppendMemo("Zelmirt " + FTargetName + " Processor Programmed");
  SetStatusSection(2, FTargetName + " Program Complete");
  FVersionLabel->SetCaption("Status:  Program Complete");
  FPgmState = psCompleteDelay;
}

void TZelmirt_PgmForm::FinishRun() {
  if (LinkConnected()) {
    SetLinkStatus(LinkConnectedIndex);
  } else {
    SetLinkStatus(LinkDisconnectedIndex);
    ResetProgramView();
    FNextTarget = 0;
  }
  if (FNextTarget != 0) {
    GoToState(psAwaitNextTarget);
  } else {
    pbProgram.SetVisible(false);
    lbledtMaster.SetEnabled(true);
    lbledtSlave.SetEnabled(true);
    FPgmState = psIdle;
    gbUnitStatus.SetEnabled(true);
    gbProgram.SetEnabled(true);
  }
  ResumeIdleTick();
}
