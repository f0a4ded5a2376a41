#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "app/ProgramFileCheck.h"
#include "app/RunOutcome.h"
#include "app/WindowTick.h"
#include "app/ZelmirtPgmForm.h"

// What an unattended run programs, and where.
struct TRunRequest {
  std::string Address;
  std::string MasterFile;
  std::string SlaveFile;
  bool Master = false;
  bool Slave = false;
  bool MasterRecover = false;
  bool SlaveRecover = false;
  // The window's fast dump: each reply acted on as it arrives.
  bool Fast = false;
  std::chrono::milliseconds ConnectTimeout{30000};
};

struct TRunResult {
  TRunOutcome Outcome = TRunOutcome::Other;
  std::string Message;
};

// What a run reports as it goes. Each event is optional; they are called from inside the
// window's logic and must not throw.
struct TRunEvents {
  // A line added to the window's log.
  std::function<void(const std::string& Line)> OnMemoLine;
  // A section of the window's status line changed.
  std::function<void(int Section, const std::string& Text)> OnStatus;
  // The progress bar of the unit being programmed moved.
  std::function<void(const std::string& Unit, int Percent)> OnProgress;
};

// One device programmed without an operator: the window's logic with its own link and no
// settings file, driven as an operator would (fill the controls, show, wait for the
// connection, click Program) and observed through its controls until the run and a
// following Slave run are over; then the window is closed. The owner runs the calling
// thread's message loop and calls Service after each round of it. Several runs may live
// side by side on one thread, each with its own device.
class TProgrammingRun {
public:
  TProgrammingRun(TRunRequest Request, TRunEvents Events);
  ~TProgrammingRun();
  TProgrammingRun(const TProgrammingRun&) = delete;
  TProgrammingRun& operator=(const TProgrammingRun&) = delete;

  // Checks the request and reads both program files, before anything connects. Answers the
  // failure (invalid request or bad program file), or nothing when the run may start.
  std::optional<TRunResult> Check();
  // The files Check found sound, the Master's first.
  const std::vector<TProgramFileCheck>& CheckedFiles() const { return FCheckedFiles; }
  // Fills the controls and shows the window, which starts connecting.
  void Start();
  // Moves the run on: clicks Program once connected, ends on the connection time limit,
  // closes the window once the run is over or interrupted. Not from within a message.
  void Service();
  // Ends the run as the close question answered Yes does; takes effect at the next Service.
  void Interrupt() { FInterruptDue = true; }

  bool Finished() const { return FPhase == TPhase::Finished; }
  const TRunResult& Result() const { return FResult; }
  // The program records the device acknowledged, over all units.
  int RecordsAcknowledged() const { return FForm.RecordsAcknowledged(); }
  // From Start to the end of the run (or until now while it runs).
  std::chrono::duration<double> Elapsed() const;
  const TRunRequest& Request() const { return FRequest; }
  TZelmirt_PgmForm& Form() { return FForm; }

private:
  enum class TPhase { Idle, Connecting, Programming, Finished };
  using TClock = std::chrono::steady_clock;

  void Observe();
  void MemoChanged();
  void StatusChanged();
  void ProgressChanged();
  std::optional<TRunResult> CheckProgramFile(const std::string& FileName);
  void ClickProgram();
  bool RunOver() const;
  TRunResult RunResult() const;
  void RecordFailure(TRunOutcome Outcome, const std::string& Message);
  bool AllUnitsRestarted() const;
  // Closes the window (and with it the link) and ends with Result.
  void Finish(TRunResult Result);
  std::string CurrentUnit() const;

  TRunRequest FRequest;
  TRunEvents FEvents;
  TZelmirt_PgmForm FForm;
  TWindowTick FTick;
  TPhase FPhase = TPhase::Idle;
  TClock::time_point FStarted;
  TClock::time_point FFinished;
  TClock::time_point FConnectDeadline;
  bool FInterruptDue = false;
  size_t FMemoSeen = 0;
  std::string FLastMemoLine;
  std::vector<std::string> FStatusSeen;
  int FProgressSeen = -1;
  std::string FUnit;
  bool FMasterRestarted = false;
  bool FSlaveRestarted = false;
  std::optional<TRunResult> FFailure;
  TRunResult FResult;
  std::vector<TProgramFileCheck> FCheckedFiles;
};
