#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "app/ProgramFileCheck.h"
#include "app/RunOutcome.h"
#include "app/RunVerdict.h"
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
  // From the start of the run; the link's first attempt goes out at once.
  std::chrono::milliseconds ConnectTimeout{30000};
  // A unit that failed after its erase runs again from the start in recovery mode, up to
  // this many times; one that could not enable programming in a plain run, once.
  int Retries = 0;
  // The whole run, every unit and attempt; zero for none.
  std::chrono::milliseconds RunTimeout{0};
  // Every limit of the sequence stretched by this factor.
  double LimitScale = 1;
};

struct TRunResult {
  TRunResult() = default;
  TRunResult(TRunOutcome AOutcome, std::string AMessage, std::optional<TRunVerdict> AVerdict = std::nullopt)
      : Outcome(AOutcome), Message(std::move(AMessage)), Verdict(std::move(AVerdict)) {}

  TRunOutcome Outcome = TRunOutcome::Other;
  std::string Message;
  // The run's own verdict, once a run began.
  std::optional<TRunVerdict> Verdict;
};

// What a run reports as it goes. Each event is optional; they are called from inside the
// window's logic and must not throw.
struct TRunEvents {
  // A line added to the window's log; RecordReply marks a program record's acknowledgement.
  std::function<void(const std::string& Line, bool RecordReply)> OnMemoLine;
  // A section of the window's status line changed.
  std::function<void(int Section, const std::string& Text)> OnStatus;
  // The progress bar of the unit being programmed moved.
  std::function<void(const std::string& Unit, int Percent)> OnProgress;
  // The run of a unit ("Master", "Slave") begins.
  std::function<void(const std::string& Unit)> OnUnitBegins;
  // A unit runs again, as attempt Attempt, after Failed.
  std::function<void(const TUnitVerdict& Failed, int Attempt)> OnRetry;
};


// One device programmed without an operator: the window's logic with its own link and no
// settings file, driven as an operator would (fill the controls, show, wait for the
// connection, click Program), its log, status and progress shown as the window shows them,
// until the run object states its verdict; then the window is closed. The owner runs the calling
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
  const std::vector<TSharedFileCheck>& CheckedFiles() const { return FCheckedFiles; }
  // Fills the controls and shows the window, which starts connecting.
  void Start();
  // Moves the run on: clicks Program once connected, ends on the connection time limit,
  // closes the window once the run is over or interrupted. Not from within a message.
  void Service();
  // Ends the run as the close question answered Yes does, with Outcome (Ctrl-C's, a hang-up's
  // or a termination's); takes effect at the next Service.
  void Interrupt(TRunOutcome Outcome = TRunOutcome::Interrupted) { FInterruptDue = Outcome; }

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
  void StatusChanged();
  void ProgressChanged();
  std::optional<TRunResult> CheckProgramFile(const std::string& FileName);
  void ClickProgram();
  void RunEnded(const TRunVerdict& Verdict);
  bool MayRetry(const TUnitVerdict& Failed) const;
  void Retry(const TUnitVerdict& Failed);
  void SelectUnits(bool Master, bool Slave);
  // The verdict over every attempt so far, ended by Last.
  TRunVerdict Combined(const TRunVerdict& Last) const;
  // Stops a run under way as the close question answered Yes does, and ends with Outcome.
  void Stop(TRunOutcome Outcome, const std::string& Message);
  // The result of a run that ends now with Outcome, with the verdicts of the attempts that
  // ended; a run that never connected has none.
  TRunResult EndedSoFar(TRunOutcome Outcome, const std::string& Message) const;
  std::string LostConnectionMessage() const;
  // Closes the window (and with it the link) and ends with Result.
  void Finish(TRunResult Result);

  TRunRequest FRequest;
  TRunEvents FEvents;
  TZelmirt_PgmForm FForm;
  TWindowTick FTick;
  TPhase FPhase = TPhase::Idle;
  TClock::time_point FStarted;
  TClock::time_point FFinished;
  TClock::time_point FConnectDeadline;
  std::optional<TRunOutcome> FInterruptDue;
  // Attempts made per unit (index MasterTarget, SlaveTarget), and the units' verdicts of
  // every attempt that ended.
  int FAttempts[3] = {0, 1, 1};
  bool FEnableRetried[3] = {false, false, false};
  std::vector<TUnitVerdict> FUnitsDone;
  std::vector<std::string> FStatusSeen;
  int FProgressSeen = -1;
  TRunResult FResult;
  std::vector<TSharedFileCheck> FCheckedFiles;
};
