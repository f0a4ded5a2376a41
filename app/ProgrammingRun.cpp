#include "app/ProgrammingRun.h"

#include "base/Exception.h"
#include "base/Format.h"

namespace {
const char* UnitName(uint8_t Unit) { return Unit == SlaveTarget ? "Slave" : "Master"; }
}  // namespace

TProgrammingRun::TProgrammingRun(TRunRequest Request, TRunEvents Events)
    : FRequest(std::move(Request)), FEvents(std::move(Events)), FForm(""), FTick(FForm.PgmTimer) {
  // The run's form has no view: its controls' hooks are the run's.
  for (int section = 0; section < FForm.StatusLine.PanelCount(); ++section)
    FStatusSeen.push_back(FForm.StatusLine.Panel(section).Text);
  FForm.ProgramMemo.SetOnChange([this] { MemoChanged(); });
  FForm.StatusLine.SetOnChange([this] { StatusChanged(); });
  FForm.pbProgram.SetOnChange([this] { ProgressChanged(); });
  // The link's Close withdraws the connection at once, so the close wait's first tick ends
  // it: nothing to wait for, and several runs on one thread must not wait for each other.
  FForm.SetCloseWaitRound([this] { FForm.PgmTimer.Tick(); });
}

TProgrammingRun::~TProgrammingRun() {
  FForm.ProgramMemo.SetOnChange({});
  FForm.StatusLine.SetOnChange({});
  FForm.pbProgram.SetOnChange({});
}

std::optional<TRunResult> TProgrammingRun::Check() {
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
  // The same reading and filter as the run's own, so that the run cannot fail on the file.
  try {
    FForm.LoadProgramFile(FileName);
    FForm.FilterProgramLines();
  } catch (const EConvertError& E) {
    return TRunResult{TRunOutcome::BadProgramFile, FileName + ": " + E.what()};
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
  FStarted = TClock::now();
  FConnectDeadline = FStarted + FRequest.ConnectTimeout;
  FPhase = TPhase::Connecting;
  FForm.FormShow();
}

void TProgrammingRun::Service() {
  if (FPhase == TPhase::Idle || FPhase == TPhase::Finished) return;
  if (FInterruptDue) {
    // The close question, answered Yes, stops a run in progress.
    if (FForm.FormCloseQuery()) Finish({TRunOutcome::Interrupted, "interrupted", FForm.Session().Verdict()});
    return;
  }
  if (FPhase == TPhase::Connecting) {
    if (FForm.btnProgram.Enabled()) {
      ClickProgram();
    } else if (TClock::now() > FConnectDeadline) {
      Finish({TRunOutcome::NoConnection,
              Format("no connection to %s (port 4001) within %lld s", FRequest.Address.c_str(),
                     static_cast<long long>(
                         std::chrono::duration_cast<std::chrono::seconds>(FRequest.ConnectTimeout).count()))});
    }
    return;
  }
  const TProgrammingSession& session = FForm.Session();
  if (session.Active() || !session.Verdict()) return;
  const TRunVerdict& verdict = *session.Verdict();
  // However the run learnt of it, a lost connection reads the same.
  Finish({verdict.Outcome,
          verdict.Outcome == TRunOutcome::ConnectionLost ? LostConnectionMessage() : verdict.Message, verdict});
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

void TProgrammingRun::MemoChanged() {
  const std::vector<std::string>& lines = FForm.ProgramMemo.Lines();
  // A cleared log starts again.
  if (lines.size() < FMemoSeen) FMemoSeen = 0;
  for (; FMemoSeen < lines.size(); ++FMemoSeen)
    if (FEvents.OnMemoLine) FEvents.OnMemoLine(lines[FMemoSeen]);
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
