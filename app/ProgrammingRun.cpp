#include "app/ProgrammingRun.h"

#include "base/Exception.h"
#include "base/Format.h"

namespace {
std::string Seconds(std::chrono::milliseconds Duration) { return Format("%g s", Duration.count() / 1000.0); }
}  // namespace

TProgrammingRun::TProgrammingRun(TRunRequest Request, TRunEvents Events)
    : FRequest(std::move(Request)), FEvents(std::move(Events)), FForm(""), FTick(FForm.PgmTimer) {
  // The run's form has no view: its controls' hooks are the run's.
  for (int section = 0; section < FForm.StatusLine.PanelCount(); ++section)
    FStatusSeen.push_back(FForm.StatusLine.Panel(section).Text);
  TSessionEvents observer;
  observer.OnMemoLine = [this](const std::string& Line, bool RecordReply) {
    if (FEvents.OnMemoLine) FEvents.OnMemoLine(Line, RecordReply);
  };
  observer.OnUnitBegins = [this](uint8_t Unit) {
    if (FEvents.OnUnitBegins) FEvents.OnUnitBegins(UnitName(Unit));
  };
  FForm.SetRunObserver(std::move(observer));
  FForm.StatusLine.SetOnChange([this] { StatusChanged(); });
  FForm.pbProgram.SetOnChange([this] { ProgressChanged(); });
  // The link's Close withdraws the connection at once, so the close wait's first tick ends
  // it: nothing to wait for, and several runs on one thread must not wait for each other.
  FForm.SetCloseWaitRound([this] { FForm.PgmTimer.Tick(); });
}

TProgrammingRun::~TProgrammingRun() {
  FForm.StatusLine.SetOnChange({});
  FForm.pbProgram.SetOnChange({});
}

std::optional<TRunResult> TProgrammingRun::Check() {
  FCheckedFiles.clear();
  auto invalid = [](const std::string& Message) { return TRunResult{TRunOutcome::InvalidRequest, Message}; };
  if (FRequest.Address.empty()) return invalid("no device address given");
  if (!FRequest.Master && !FRequest.Slave) return invalid("no unit to program: give a Master or a Slave file");
  if (FRequest.Master && FRequest.MasterFile.empty()) return invalid("the Master is selected but no Master file is given");
  if (FRequest.Slave && FRequest.SlaveFile.empty()) return invalid("the Slave is selected but no Slave file is given");
  if (FRequest.MasterRecover && !FRequest.Master) return invalid("Master recovery needs the Master selected");
  if (FRequest.SlaveRecover && !FRequest.Slave) return invalid("Slave recovery needs the Slave selected");
  if (FRequest.Master)
    if (auto failure = CheckProgramFile(FRequest.MasterFile)) return failure;
  if (FRequest.Slave)
    if (auto failure = CheckProgramFile(FRequest.SlaveFile)) return failure;
  return std::nullopt;
}

std::optional<TRunResult> TProgrammingRun::CheckProgramFile(const std::string& FileName) {
  // The whole file, so that none that cannot program the unit is found out after its erase.
  try {
    FCheckedFiles.push_back(ShareProgramFileCheck(FileName));
  } catch (const std::exception& E) {
    return TRunResult{TRunOutcome::BadProgramFile, E.what()};
  }
  return std::nullopt;
}

void TProgrammingRun::Start() {
  FForm.ledtMasterIP.SetText(FRequest.Address);
  FForm.lbledtMaster.SetText(FRequest.MasterFile);
  FForm.lbledtSlave.SetText(FRequest.SlaveFile);
  // The boxes are clicked as an operator would, so that their handler keeps them consistent.
  if (FRequest.Master && FRequest.Slave) {
    FForm.cbAll.Click();
  } else if (FRequest.Master) {
    FForm.cbMaster.Click();
  } else {
    FForm.cbSlave.Click();
  }
  FForm.cbMasterBL.SetChecked(FRequest.MasterRecover);
  FForm.cbSlaveBL.SetChecked(FRequest.SlaveRecover);
  FForm.SetFastDump(FRequest.Fast);
  FForm.SetConnectAtOnce(true);
  FForm.Session().SetLimitScale(FRequest.LimitScale);
  FStarted = TClock::now();
  FConnectDeadline = FStarted + FRequest.ConnectTimeout;
  FPhase = TPhase::Connecting;
  FForm.FormShow();
}

void TProgrammingRun::Service() {
  if (FPhase == TPhase::Idle || FPhase == TPhase::Finished) return;
  if (FInterruptDue) {
    const TRunOutcome outcome = *FInterruptDue;
    Stop(outcome, outcome == TRunOutcome::Interrupted ? "interrupted" : RunOutcomeMeaning(outcome));
    return;
  }
  if (FRequest.RunTimeout.count() > 0 && TClock::now() - FStarted > FRequest.RunTimeout) {
    Stop(TRunOutcome::RunTimeout, "the run of " + FRequest.Address + " passed its time limit of " +
                                      Seconds(FRequest.RunTimeout));
    return;
  }
  if (FPhase == TPhase::Connecting) {
    if (FForm.btnProgram.Enabled()) {
      ClickProgram();
    } else if (TClock::now() > FConnectDeadline) {
      Finish(EndedSoFar(TRunOutcome::NoConnection, Format("no connection to %s (port 4001) within %s",
                                                          FRequest.Address.c_str(),
                                                          Seconds(FRequest.ConnectTimeout).c_str())));
    }
    return;
  }
  const TProgrammingSession& session = FForm.Session();
  if (session.Active() || !session.Verdict()) return;
  RunEnded(*session.Verdict());
}

void TProgrammingRun::ClickProgram() {
  FPhase = TPhase::Programming;
  try {
    FForm.btnProgram.Click();
  } catch (const EConvertError& E) {
    Finish({TRunOutcome::BadProgramFile, E.what()});
  } catch (const std::exception& E) {
    Finish({TRunOutcome::Other, E.what()});
  }
}

void TProgrammingRun::RunEnded(const TRunVerdict& Verdict) {
  for (TUnitVerdict unit : Verdict.Units) {
    unit.Attempt = FAttempts[unit.Unit];
    FUnitsDone.push_back(unit);
  }
  const TUnitVerdict* failed = nullptr;
  for (const TUnitVerdict& unit : Verdict.Units)
    if (unit.Outcome != TRunOutcome::Programmed) failed = &unit;
  if (failed && MayRetry(*failed)) {
    Retry(*failed);
    return;
  }
  const TRunVerdict combined = Combined(Verdict);
  // However the run learnt of it, a lost connection reads the same.
  Finish({combined.Outcome,
          combined.Outcome == TRunOutcome::ConnectionLost ? LostConnectionMessage() : combined.Message, combined});
}

bool TProgrammingRun::MayRetry(const TUnitVerdict& Failed) const {
  const int retriesUsed = FAttempts[Failed.Unit] - 1;
  if (retriesUsed >= FRequest.Retries) return false;
  // Erased, the unit holds no program: only a new run from the start can give it one. A
  // plain run that could not enable programming may find the unit already in its bootloader.
  const bool recovering = Failed.Unit == MasterTarget ? FForm.cbMasterBL.Checked() : FForm.cbSlaveBL.Checked();
  if (Failed.Erased) return true;
  return Failed.Outcome == TRunOutcome::EnableFailed && !recovering && !FEnableRetried[Failed.Unit];
}

void TProgrammingRun::Retry(const TUnitVerdict& Failed) {
  const uint8_t unit = Failed.Unit;
  if (!Failed.Erased) FEnableRetried[unit] = true;
  const int attempt = ++FAttempts[unit];
  if (FEvents.OnRetry) FEvents.OnRetry(Failed, attempt);
  // The failed unit again, in recovery mode, and the Slave after a Master as requested.
  SelectUnits(unit == MasterTarget, unit == SlaveTarget || FRequest.Slave);
  (unit == MasterTarget ? FForm.cbMasterBL : FForm.cbSlaveBL).SetChecked(true);
  FConnectDeadline = TClock::now() + FRequest.ConnectTimeout;
  FPhase = TPhase::Connecting;
}

void TProgrammingRun::SelectUnits(bool Master, bool Slave) {
  FForm.cbAll.SetChecked(false);
  FForm.cbMaster.SetChecked(false);
  FForm.cbSlave.SetChecked(false);
  if (Master && Slave) {
    FForm.cbAll.Click();
  } else if (Master) {
    FForm.cbMaster.Click();
  } else {
    FForm.cbSlave.Click();
  }
}

TRunVerdict TProgrammingRun::Combined(const TRunVerdict& Last) const {
  TRunVerdict verdict = Last;
  verdict.Units = FUnitsDone;
  if (verdict.Succeeded())
    verdict.Message = ProgrammedMessage(FRequest.Master, FRequest.Slave);
  return verdict;
}

void TProgrammingRun::Stop(TRunOutcome Outcome, const std::string& Message) {
  // The close question, answered Yes, stops a run in progress; its verdict lists the unit
  // that was under way, stopped for this run's reason.
  const bool wasRunning = FForm.Session().Active();
  if (!FForm.FormCloseQuery()) return;
  if (wasRunning && FForm.Session().Verdict()) {
    for (TUnitVerdict unit : FForm.Session().Verdict()->Units) {
      unit.Attempt = FAttempts[unit.Unit];
      if (unit.Outcome == TRunOutcome::Interrupted) unit.Outcome = Outcome;
      FUnitsDone.push_back(unit);
    }
  }
  Finish(EndedSoFar(Outcome, Message));
}

TRunResult TProgrammingRun::EndedSoFar(TRunOutcome Outcome, const std::string& Message) const {
  // A retry that never reconnected keeps the verdicts of the attempts before it: the unit
  // was reached, and may be erased.
  if (FUnitsDone.empty() && Outcome == TRunOutcome::NoConnection) return {Outcome, Message};
  TRunVerdict verdict;
  verdict.Outcome = Outcome;
  verdict.Message = Message;
  verdict.Units = FUnitsDone;
  for (const TUnitVerdict& unit : FUnitsDone)
    if (unit.Outcome != TRunOutcome::Programmed) verdict.Unit = unit.Unit;
  return {Outcome, Message, verdict};
}

void TProgrammingRun::Finish(TRunResult Result) {
  FFinished = TClock::now();
  FForm.FormClose();
  FResult = std::move(Result);
  FPhase = TPhase::Finished;
}

std::string TProgrammingRun::LostConnectionMessage() const {
  return "connection to " + FRequest.Address + " lost during the run";
}

std::chrono::duration<double> TProgrammingRun::Elapsed() const {
  if (FPhase == TPhase::Idle) return {};
  return (FPhase == TPhase::Finished ? FFinished : TClock::now()) - FStarted;
}

void TProgrammingRun::StatusChanged() {
  for (int section = 0; section < FForm.StatusLine.PanelCount(); ++section) {
    const std::string& text = FForm.StatusLine.Panel(section).Text;
    if (text == FStatusSeen[section]) continue;
    FStatusSeen[section] = text;
    if (FEvents.OnStatus) FEvents.OnStatus(section, text);
  }
}

void TProgrammingRun::ProgressChanged() {
  const int percent = FForm.pbProgram.Visible() ? FForm.pbProgram.Position() : -1;
  if (percent == FProgressSeen) return;
  FProgressSeen = percent;
  if (percent >= 0 && FEvents.OnProgress) FEvents.OnProgress(UnitName(FForm.Session().Target()), percent);
}
