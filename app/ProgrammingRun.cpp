#include "app/ProgrammingRun.h"

#include "base/Exception.h"
#include "base/Format.h"

namespace {
constexpr const char* MasterUnit = "Master";
constexpr const char* SlaveUnit = "Slave";
constexpr const char* EnablingMasterLine = "Enabling Master Program Mode";
constexpr const char* EnablingSlaveLine = "Enabling Slave Program Mode";
constexpr const char* RestartedLine = "Zelmirt Restarted";
constexpr int LinkStatusSection = 2;
constexpr const char* DisconnectedText = "Disconnected";
}  // namespace

TProgrammingRun::TProgrammingRun(TRunRequest Request, TRunEvents Events)
    : FRequest(std::move(Request)), FEvents(std::move(Events)), FForm(""), FTick(FForm.PgmTimer) {
  // The run's form has no view: its controls' hooks are the run's.
  for (int section = 0; section < FForm.StatusLine.PanelCount(); ++section)
    FStatusSeen.push_back(FForm.StatusLine.Panel(section).Text);
  FForm.ProgramMemo.SetOnChange([this] { MemoChanged(); });
  FForm.StatusLine.SetOnChange([this] { StatusChanged(); });
  FForm.pbProgram.SetOnChange([this] { ProgressChanged(); });
}

TProgrammingRun::~TProgrammingRun() {
  FForm.ProgramMemo.SetOnChange({});
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
  // The whole file first, so that none that cannot program the unit is found out after its
  // erase; then the run's own reading and filter, so that the run cannot fail on the file.
  try {
    FCheckedFiles.push_back(::CheckProgramFile(FileName));
    FForm.LoadProgramFile(FileName);
    FForm.FilterProgramLines();
  } catch (const EProgramFileError& E) {
    return TRunResult{TRunOutcome::BadProgramFile, E.what()};
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
    if (FForm.FormCloseQuery()) Finish({TRunOutcome::Interrupted, "interrupted"});
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
  if (RunOver()) Finish(RunResult());
}

void TProgrammingRun::ClickProgram() {
  FPhase = TPhase::Programming;
  try {
    FForm.btnProgram.Click();
  } catch (const EConvertError& E) {
    RecordFailure(TRunOutcome::BadProgramFile, E.what());
  } catch (const std::exception& E) {
    RecordFailure(TRunOutcome::Other, E.what());
  }
}

bool TProgrammingRun::RunOver() const {
  // The program group is disabled from the click until the last unit's run is over.
  return FForm.gbProgram.Enabled();
}

TRunResult TProgrammingRun::RunResult() const {
  if (FFailure) return *FFailure;
  if (AllUnitsRestarted()) {
    const char* units = FRequest.Master && FRequest.Slave ? "Master and Slave" : FRequest.Master ? MasterUnit : SlaveUnit;
    return {TRunOutcome::Programmed, Format("%s programmed and restarted", units)};
  }
  return {TRunOutcome::Other,
          FLastMemoLine.empty() ? std::string("the run ended without a restart") : FLastMemoLine};
}

bool TProgrammingRun::AllUnitsRestarted() const {
  return (!FRequest.Master || FMasterRestarted) && (!FRequest.Slave || FSlaveRestarted);
}

void TProgrammingRun::RecordFailure(TRunOutcome Outcome, const std::string& Message) {
  if (!FFailure) FFailure = TRunResult{Outcome, Message};
}

void TProgrammingRun::Finish(TRunResult Result) {
  FFinished = TClock::now();
  FForm.FormClose();
  FResult = std::move(Result);
  FPhase = TPhase::Finished;
}

std::chrono::duration<double> TProgrammingRun::Elapsed() const {
  if (FPhase == TPhase::Idle) return {};
  return (FPhase == TPhase::Finished ? FFinished : TClock::now()) - FStarted;
}

void TProgrammingRun::MemoChanged() {
  const std::vector<std::string>& lines = FForm.ProgramMemo.Lines();
  // A cleared log starts again.
  if (lines.size() < FMemoSeen) FMemoSeen = 0;
  for (; FMemoSeen < lines.size(); ++FMemoSeen) {
    const std::string& line = lines[FMemoSeen];
    FLastMemoLine = line;
    if (line == EnablingMasterLine) FUnit = MasterUnit;
    if (line == EnablingSlaveLine) FUnit = SlaveUnit;
    if (line == RestartedLine) (FUnit == SlaveUnit ? FSlaveRestarted : FMasterRestarted) = true;
    if (FPhase == TPhase::Programming)
      if (const auto failure = FailureOfMemoLine(line)) RecordFailure(*failure, line);
    if (FEvents.OnMemoLine) FEvents.OnMemoLine(line);
  }
}

void TProgrammingRun::StatusChanged() {
  for (int section = 0; section < FForm.StatusLine.PanelCount(); ++section) {
    const std::string& text = FForm.StatusLine.Panel(section).Text;
    if (text == FStatusSeen[section]) continue;
    FStatusSeen[section] = text;
    // A connection that goes before every unit has restarted takes the run with it; the
    // window then empties its log, so the status tells.
    if (section == LinkStatusSection && text == DisconnectedText && FPhase == TPhase::Programming &&
        !AllUnitsRestarted())
      RecordFailure(TRunOutcome::ConnectionLost, "connection to " + FRequest.Address + " lost during the run");
    if (FEvents.OnStatus) FEvents.OnStatus(section, text);
  }
}

void TProgrammingRun::ProgressChanged() {
  const int percent = FForm.pbProgram.Visible() ? FForm.pbProgram.Position() : -1;
  if (percent == FProgressSeen) return;
  FProgressSeen = percent;
  if (percent >= 0 && FEvents.OnProgress) FEvents.OnProgress(CurrentUnit(), percent);
}

std::string TProgrammingRun::CurrentUnit() const {
  // The window leaves only the edit of the unit being programmed enabled.
  return FForm.lbledtSlave.Enabled() && !FForm.lbledtMaster.Enabled() ? SlaveUnit : MasterUnit;
}
