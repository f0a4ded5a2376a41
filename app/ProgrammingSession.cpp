#include "app/ProgrammingSession.h"

#include <algorithm>
#include <cstring>

#include "app/ProgramFileCheck.h"
#include "base/Format.h"

using namespace DeviceDialogue;

namespace {
// Limits and pauses, in steps; the limits stretch with the limit scale, the pauses never.
constexpr int32_t AckLimit = 500;
constexpr int32_t SyncDelay = 50;
constexpr int32_t SyncEchoLimit = 100;
constexpr int32_t VersionQueryDelay = 5;
constexpr int32_t VersionLimit = 25;
constexpr int32_t ReplyLimit = 100;
constexpr int32_t CompleteDelay = 20;
constexpr int32_t RestartLimit = 100;
constexpr int32_t NextTargetPause = 50;

constexpr uint16_t RunTickMs = 10;
constexpr uint16_t IdleTickMs = 100;

constexpr size_t VersionReplyLength = 19;
constexpr size_t VersionOffset = 15;
constexpr size_t VersionLength = 3;

constexpr const char* ProgramErrorText = "Program Error";
constexpr const char* SendFailedPrefix = "Could Not Send to Zelmirt: ";

// A text the connection would not take; the run ends on it.
class ESendFailed : public Exception {
public:
  using Exception::Exception;
};

// A program file that could not be loaded when its unit's run began.
class EProgramLoadFailed : public Exception {
public:
  using Exception::Exception;
};

// The first Byte in [From, To), or To; memchr looks at many bytes at once where std::find
// looks at one, and every reply of a dump passes here.
const char* FindByte(const char* From, const char* To, char Byte) {
  const void* const found = std::memchr(From, Byte, static_cast<size_t>(To - From));
  return found == nullptr ? To : static_cast<const char*>(found);
}

}  // namespace

namespace {
template <class... TArgs>
void Chain(std::function<void(TArgs...)>& First, const std::function<void(TArgs...)>& Then) {
  if (!Then) return;
  if (!First) {
    First = Then;
    return;
  }
  First = [First = std::move(First), Then](TArgs... Args) {
    First(Args...);
    Then(Args...);
  };
}
}  // namespace

TSessionEvents Observed(TSessionEvents Shown, const TSessionEvents& Observer) {
  Chain(Shown.OnMemoLine, Observer.OnMemoLine);
  Chain(Shown.OnStatus, Observer.OnStatus);
  Chain(Shown.OnUnitStatus, Observer.OnUnitStatus);
  Chain(Shown.OnUnitBegins, Observer.OnUnitBegins);
  Chain(Shown.OnProgress, Observer.OnProgress);
  Chain(Shown.OnUnitRestarted, Observer.OnUnitRestarted);
  Chain(Shown.OnTickInterval, Observer.OnTickInterval);
  Chain(Shown.OnUnitEnds, Observer.OnUnitEnds);
  Chain(Shown.OnIdle, Observer.OnIdle);
  Chain(Shown.OnUnitDecided, Observer.OnUnitDecided);
  Chain(Shown.OnVerdict, Observer.OnVerdict);
  return Shown;
}

TProgrammingSession::TProgrammingSession(TDeviceChannel& Channel) : FChannel(&Channel) {}

void TProgrammingSession::SetLimitScale(double Scale) {
  if (!(Scale >= MinLimitScale && Scale <= MaxLimitScale))
    throw EConvertError(Format("limit scale %g is outside %g to %g", Scale, MinLimitScale, MaxLimitScale));
  FLimitScale = Scale;
}

int32_t TProgrammingSession::Limit(int32_t Steps) const {
  return static_cast<int32_t>(Steps * FLimitScale + 0.5);
}

void TProgrammingSession::Start(const TSessionRequest& Request) {
  FRequest = Request;
  TickAt(RunTickMs);
  FTickCount = 0;
  FRecordsAcknowledged = 0;
  FUnitsDone.clear();
  FCurrentUnit.reset();
  FVerdict.reset();
  FTarget = Request.Master ? MasterTarget : SlaveTarget;
  try {
    LoadProgramOf(FTarget);
  } catch (...) {
    TickAt(IdleTickMs);
    throw;
  }
  FLineIndex = 0;
  BeginRun();
}

void TProgrammingSession::StartNextTarget() {
  TickAt(RunTickMs);
  FTickCount = 0;
  if (FNextTarget == SlaveTarget) {
    FTarget = SlaveTarget;
    FCurrentUnit = TUnitVerdict(SlaveTarget, TRunOutcome::Other);
    try {
      LoadProgramOf(SlaveTarget);
    } catch (const std::exception& E) {
      TickAt(IdleTickMs);
      throw EProgramLoadFailed(E.what());
    }
    FLineIndex = 0;
  }
  BeginRun();
}

void TProgrammingSession::LoadProgramOf(uint8_t Unit) {
  // Checked whole each time a unit's run begins, so that no unit is erased for a file that
  // cannot program it; the records sent are the check's, exactly as the file holds them.
  FLoadedFile = ShareProgramFileCheck(Unit == MasterTarget ? FRequest.MasterFile : FRequest.SlaveFile);
  FProgramLines.Clear();
  for (const std::string& record : FLoadedFile->RecordsToSend) FProgramLines.Add(record);
}

void TProgrammingSession::BeginRun() {
  FCurrentUnit = TUnitVerdict(FTarget, TRunOutcome::Other);
  FCurrentUnit->RecordsToSend = FProgramLines.Count();
  if (FLoadedFile) {
    FCurrentUnit->FileName = FLoadedFile->FileName;
    FCurrentUnit->FileSize = FLoadedFile->Size;
    FCurrentUnit->FileSha256 = FLoadedFile->Sha256;
  }
  FCurrentUnit->Started = std::chrono::system_clock::now();
  // Bytes lost before the run are not the run's: they are dropped with its first send.
  FChannel->Received().Overflowed = false;
  if (FEvents.OnUnitBegins) FEvents.OnUnitBegins(FTarget);
  FPgmState = psEnable;
  Status("Starting Program Sequence ...");
}

void TProgrammingSession::EnteredBootloader() {
  if (FCurrentUnit) FCurrentUnit->BootloaderEntered = true;
}

void TProgrammingSession::TickAt(uint16_t Milliseconds) {
  if (FEvents.OnTickInterval) FEvents.OnTickInterval(Milliseconds);
  FChannel->SetTimerInterval(Milliseconds);
}

void TProgrammingSession::Memo(const std::string& Line, bool RecordReply) {
  if (FEvents.OnMemoLine) FEvents.OnMemoLine(Line, RecordReply);
}

void TProgrammingSession::Status(const std::string& Text) {
  if (FEvents.OnStatus) FEvents.OnStatus(Text);
}

void TProgrammingSession::UnitStatus(const std::string& Caption) {
  if (FEvents.OnUnitStatus) FEvents.OnUnitStatus(FTarget, Caption);
}

bool TProgrammingSession::EndsWith(const std::string& Sub, const std::string& S) {
  const size_t first = S.find(Sub);
  return first != std::string::npos && first + Sub.size() == S.size();
}

bool TProgrammingSession::ReadReplyLine() {
  RxRing& ring = FChannel->Received();
  if (ring.ReadPos == ring.WritePos) return false;
  // Any byte read is the device answering.
  if (FPgmState != psAwaitNextTarget) FTickCount = 0;
  // Run by run of contiguous bytes: the unread bytes wrap at most once.
  while (ring.ReadPos != ring.WritePos) {
    const char* const from = reinterpret_cast<const char*>(ring.Data) + ring.ReadPos;
    const char* const to =
        reinterpret_cast<const char*>(ring.Data) + (ring.WritePos > ring.ReadPos ? ring.WritePos : RxRing::Size);
    const char* const end = FindByte(from, to, ReplyTerminator);
    for (const char* at = from; at != end;) {
      const char* const lineFeed = FindByte(at, end, LineTerminator);
      FReply.append(at, lineFeed);
      at = lineFeed == end ? end : lineFeed + 1;
    }
    const bool complete = end != to;
    ring.ReadPos = static_cast<int32_t>((end - from) + ring.ReadPos + (complete ? 1 : 0)) % RxRing::Size;
    if (complete) return true;
  }
  return false;
}

bool TProgrammingSession::CompleteLineWaiting() const {
  const RxRing& ring = FChannel->Received();
  for (int32_t at = ring.ReadPos; at != ring.WritePos; at = (at + 1) % RxRing::Size)
    if (ring.Data[at] == ReplyTerminator) return true;
  return false;
}

void TProgrammingSession::SendCommand(const std::string& Text, bool AddTerminator) {
  FReply.clear();
  FChannel->DiscardReceived();
  if (AddTerminator || FTarget == SlaveTarget) {
    SendToLink(Text + LineTerminator);
  } else {
    SendToLink(Text);
  }
}

void TProgrammingSession::SendToLink(const std::string& Text) {
  try {
    FChannel->SendText(Text);
  } catch (const EConnectionGone&) {
    throw;
  } catch (const std::exception& E) {
    throw ESendFailed(E.what());
  }
}

void TProgrammingSession::GoToState(uint8_t State) {
  FPgmState = State;
  FTickCount = 0;
}

void TProgrammingSession::ProgramStep() {
  bool lineCompleted = false;
  if (FPgmState != psIdle) {
    // Bytes that have arrived since the link last handed them on count for this step, so
    // a prompt reply is read at the next tick whatever the phase of the link's own timer.
    FChannel->CollectReceived();
    lineCompleted = ReadReplyLine();
  }
  ++FTickCount;
  RunStep(lineCompleted);
}

void TProgrammingSession::ReplyArrived() {
  // Each pass takes at least one byte; a reply acted on clears the ring with its answer.
  const RxRing& ring = FChannel->Received();
  while (AwaitsReply() && ring.ReadPos != ring.WritePos) RunStep(ReadReplyLine());
}

bool TProgrammingSession::AwaitsReply() const {
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

void TProgrammingSession::RunStep(bool LineCompleted) {
  try {
    // Replies the ring could not hold are lost: nothing read after them can be trusted.
    if (FPgmState >= psEnable && FPgmState <= psAwaitRestart && FChannel->Received().Overflowed) {
      Fail(TRunOutcome::Other, Format("Receive Buffer Overflow: more than %d bytes unread", RxRing::Size - 1));
      return;
    }
    RunStateRule(LineCompleted);
  } catch (const EConnectionGone& E) {
    Fail(TRunOutcome::ConnectionLost, SendFailedPrefix + std::string(E.what()));
  } catch (const ESendFailed& E) {
    Fail(TRunOutcome::SendFailed, SendFailedPrefix + std::string(E.what()));
  } catch (const EProgramLoadFailed& E) {
    Fail(TRunOutcome::BadProgramFile, E.what());
  } catch (const std::exception& E) {
    Fail(TRunOutcome::Other, E.what());
  }
}

void TProgrammingSession::Fail(TRunOutcome Outcome, const std::string& Message) {
  Memo(Message);
  DecideUnit(Outcome, Message, false, -1);
  GoToState(psFailed);
}

void TProgrammingSession::DecideUnit(TRunOutcome Outcome, const std::string& Message, bool WithReply,
                                     int32_t RecordIndex) {
  if (!FCurrentUnit) return;
  FCurrentUnit->Outcome = Outcome;
  FCurrentUnit->Message = Message;
  FCurrentUnit->RecordIndex = RecordIndex;
  if (WithReply) FCurrentUnit->Reply = FReply;
  UnitDone();
}

void TProgrammingSession::UnitDone() {
  FCurrentUnit->Ended = std::chrono::system_clock::now();
  FUnitsDone.push_back(*FCurrentUnit);
  FCurrentUnit.reset();
  if (FEvents.OnUnitDecided) FEvents.OnUnitDecided(FUnitsDone.back());
}

void TProgrammingSession::RunStateRule(bool LineCompleted) {
  switch (FPgmState) {
    case psEnable:
      if (FTarget == MasterTarget) {
        Memo("Enabling Master Program Mode");
        if (FRequest.MasterRecover) {
          EnteredBootloader();
          Status("Syncing to Master Bootloader ...");
          GoToState(psSyncDelay);
        } else {
          SendCommand(CmdEnableMasterBL, true);
          GoToState(psAwaitAck);
        }
      } else {
        Memo("Enabling Slave Program Mode");
        SendCommand(FRequest.SlaveRecover ? CmdSyncSlaveBL : CmdEnableSlaveBL, true);
        GoToState(psAwaitAck);
      }
      break;

    case psAwaitAck:
      if (LineCompleted) {
        if (FTarget == MasterTarget && EndsWith(AckMasterBL, FReply)) {
          EnteredBootloader();
          Memo("Program Mode Enabled");
          FPgmState = psSyncDelay;
          Status("Syncing to Master Bootloader ...");
        } else if (FTarget == SlaveTarget && EndsWith(AckSlaveBL, FReply)) {
          EnteredBootloader();
          Memo("Program Mode Enabled");
          FPgmState = psQueryVersion;
          Status("Syncing to Slave Bootloader ...");
        } else {
          FReply.clear();
        }
        FTickCount = 0;
      } else if (FTickCount > Limit(AckLimit)) {
        Memo("Could Not Enable Programming");
        DecideUnit(TRunOutcome::EnableFailed, "Could Not Enable Programming", false, -1);
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
      } else if (FTickCount > Limit(SyncEchoLimit)) {
        Memo("Could Not Sync to Bootloader");
        DecideUnit(TRunOutcome::SyncFailed, "Could Not Sync to Bootloader", true, -1);
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
      } else if (FTickCount >= Limit(VersionLimit)) {
        const std::string line =
            FTarget == MasterTarget ? "Could Not Sync to Master Bootloader" : "Could Not Sync to Slave Bootloader";
        Memo(line);
        DecideUnit(TRunOutcome::VersionFailed, line, true, -1);
        FPgmState = psFailed;
      }
      break;

    case psErase:
      Memo("Erasing Processor ...");
      Status("Erasing Processor ...");
      SendCommand(RecErase, false);
      if (FCurrentUnit) FCurrentUnit->Erased = true;
      FRecordSent = RecErase;
      GoToState(psDump);
      break;

    case psDump:
      if (LineCompleted) {
        DumpReplyReceived();
      } else if (FTickCount > Limit(ReplyLimit)) {
        Memo("Program Timeout Error");
        Status("Program Timeout Error");
        UnitStatus("Status:  Program Timeout");
        DecideUnit(TRunOutcome::ProgramTimeout, "Program Timeout Error", false, FLineIndex);
        FPgmState = psFailed;
      }
      break;

    case psCompleteDelay:
      // Every record is answered: a further line is a reply the dump did not expect, such
      // as the late refusal of a record taken as acknowledged.
      if (LineCompleted) {
        Memo(FReply);
        FailDump("Reply After The Last Record", TRunOutcome::ProgramError);
      } else if (FTickCount >= CompleteDelay) {
        GoToState(psRestart);
      }
      break;

    case psRestart:
      SendCommand(RecRestart, false);
      Status("Restarting Zelmirt ...");
      GoToState(psAwaitRestart);
      break;

    case psAwaitRestart:
      if (LineCompleted && FReply == std::string(RecRestart) + Acknowledged) {
        Memo(FReply);
        Memo("Zelmirt Restarted");
        Status("Zelmirt Restarted");
        FPgmState = psRestarted;
      } else if (FTickCount > Limit(RestartLimit)) {
        Memo("Failed to Restart");
        DecideUnit(TRunOutcome::RestartFailed, "Failed to Restart", true, -1);
        FNextTarget = 0;
        FPgmState = psFinish;
      }
      break;

    case psFailed:
      FNextTarget = 0;
      FPgmState = psFinish;
      break;

    case psRestarted:
      DecideUnit(TRunOutcome::Programmed, Format("%s programmed and restarted", UnitName(FTarget)), false, -1);
      FNextTarget = 0;
      if (FEvents.OnUnitRestarted) FEvents.OnUnitRestarted(FTarget);
      if (FTarget == MasterTarget && FRequest.Slave) FNextTarget = SlaveTarget;
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

void TProgrammingSession::AcceptVersionReply() {
  std::string reply = FReply;
  const size_t colon = reply.find(':');
  if (colon != std::string::npos && colon > 0) reply.erase(0, colon);
  const char expected = FTarget == MasterTarget ? 'M' : 'S';
  FTargetName = UnitName(FTarget);
  const bool accepted = reply.size() == VersionReplyLength && reply.compare(0, VersionOffset, RecVersion) == 0 &&
                        reply[VersionOffset] == expected && reply.back() == Acknowledged;
  if (!accepted) return;
  const std::string version = reply.substr(VersionOffset, VersionLength);
  if (FCurrentUnit) FCurrentUnit->Version = version;
  UnitStatus("Status:  " + version + "  Programming ...");
  Memo(FReply);
  FPgmState = psErase;
}

bool TProgrammingSession::ReplyNamesAnotherRecord() const {
  // A reply that names a record (from its first ':') must name the one just sent.
  const size_t colon = FReply.find(':');
  return colon != std::string::npos && FReply.compare(colon, FRecordSent.size(), FRecordSent) != 0;
}

void TProgrammingSession::DumpReplyReceived() {
  const bool acknowledged = !FReply.empty() && FReply.back() == Acknowledged && !ReplyNamesAnotherRecord();
  Memo(FReply, FLineIndex > 0 && acknowledged && !CompleteLineWaiting());
  if (FLineIndex == 0) {
    Memo("Beginning Program Dump ...");
    Status("Programing " + FTargetName + " ...");
  }
  // An empty line has no last character: it is no acknowledgement.
  if (FReply.empty() || FReply.back() != Acknowledged) {
    FailDump("", TRunOutcome::ProgramError);
    return;
  }
  if (ReplyNamesAnotherRecord()) {
    FailDump(FLineIndex == 0 ? std::string("Reply Names Another Record Than The Erase Record")
                             : Format("Reply Names Another Record Than Record %d", FLineIndex),
             TRunOutcome::ProgramError);
    return;
  }
  if (FLineIndex > 0) {
    ++FRecordsAcknowledged;
    if (FCurrentUnit) ++FCurrentUnit->RecordsAcknowledged;
  }
  // One text is outstanding at a time: a further complete reply already here answers
  // nothing this run sent, and must not be dropped by the next send.
  if (CompleteLineWaiting()) {
    const int32_t answered = FLineIndex;
    FReply.clear();
    ReadReplyLine();
    Memo(FReply);
    FailDump(answered == 0 ? std::string("Unexpected Reply After The Erase Record")
                           : Format("Unexpected Reply After Record %d", answered),
             TRunOutcome::ProgramError);
    return;
  }
  SendNextRecord();
}

void TProgrammingSession::SendNextRecord() {
  const int32_t lines = FProgramLines.Count();
  if (FLineIndex < lines) {
    const std::string& record = FProgramLines.Strings(FLineIndex);
    ++FLineIndex;
    SendCommand(record, false);
    FRecordSent = record;
    FTickCount = 0;
    if (FEvents.OnProgress) FEvents.OnProgress(FTarget, FLineIndex * 100 / lines);
    return;
  }
  if (FEvents.OnProgress) FEvents.OnProgress(FTarget, 100);
  FProgramLines.Clear();
  Memo("Zelmirt " + FTargetName + " Processor Programmed");
  Status(FTargetName + " Program Complete");
  UnitStatus("Status:  Program Complete");
  FPgmState = psCompleteDelay;
}

void TProgrammingSession::FailDump(const std::string& Why, TRunOutcome Outcome) {
  const std::string decidingReply = FReply;
  // What else the device has said is part of what went wrong: the log shows it.
  while (CompleteLineWaiting()) {
    FReply.clear();
    ReadReplyLine();
    Memo(FReply);
  }
  FReply = decidingReply;
  if (!Why.empty()) Memo(Why);
  Memo(ProgramErrorText);
  Status(ProgramErrorText);
  UnitStatus("Status:  Program Error");
  DecideUnit(Outcome, Why.empty() ? ProgramErrorText : Why, true, FLineIndex);
  FPgmState = psFailed;
}

void TProgrammingSession::FinishRun() {
  const bool connected = FChannel->Connected();
  if (!connected) FNextTarget = 0;
  if (FEvents.OnUnitEnds) FEvents.OnUnitEnds(connected);
  const bool idle = FNextTarget == 0;
  if (idle) {
    FPgmState = psIdle;
    if (FEvents.OnIdle) FEvents.OnIdle();
  } else {
    GoToState(psAwaitNextTarget);
  }
  TickAt(IdleTickMs);
  if (idle) Conclude();
}

void TProgrammingSession::Abandon(TRunOutcome Outcome, const std::string& Message) {
  if (FPgmState == psIdle) return;
  FPgmState = psIdle;
  if (FCurrentUnit) {
    FCurrentUnit->Outcome = Outcome;
    FCurrentUnit->Message = Message;
    UnitDone();
  } else if (FTarget == MasterTarget && FNextTarget == SlaveTarget) {
    // Between two units: the Slave that was to follow is the unit not programmed.
    FUnitsDone.emplace_back(SlaveTarget, Outcome, Message);
  }
  FNextTarget = 0;
  Conclude();
}

void TProgrammingSession::Stop() {
  FPgmState = psIdle;
  FNextTarget = 0;
}

void TProgrammingSession::Conclude() {
  TRunVerdict verdict;
  verdict.Units = FUnitsDone;
  const auto programmed = [&](uint8_t Unit) {
    for (const TUnitVerdict& unit : verdict.Units)
      if (unit.Unit == Unit && unit.Outcome == TRunOutcome::Programmed) return true;
    return false;
  };
  const TUnitVerdict* decisive = nullptr;
  for (const TUnitVerdict& unit : verdict.Units)
    if (unit.Outcome != TRunOutcome::Programmed) {
      decisive = &unit;
      break;
    }
  if (decisive) {
    verdict.Outcome = decisive->Outcome;
    verdict.Unit = decisive->Unit;
    verdict.RecordIndex = decisive->RecordIndex;
    verdict.Reply = decisive->Reply;
    verdict.Message = decisive->Message;
  } else if ((!FRequest.Master || programmed(MasterTarget)) && (!FRequest.Slave || programmed(SlaveTarget))) {
    verdict.Outcome = TRunOutcome::Programmed;
    verdict.Message = ProgrammedMessage(FRequest.Master, FRequest.Slave);
  } else {
    // The Master restarted with the connection down: no Slave run could follow.
    verdict.Outcome = TRunOutcome::ConnectionLost;
    verdict.Unit = SlaveTarget;
    verdict.Message = "the connection went before the Slave run";
    verdict.Units.emplace_back(SlaveTarget, TRunOutcome::ConnectionLost, verdict.Message);
  }
  FVerdict = verdict;
  if (FEvents.OnVerdict) FEvents.OnVerdict(*FVerdict);
}
