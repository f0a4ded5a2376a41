#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/DeviceChannel.h"
#include "app/DeviceDialogue.h"
#include "app/ProgramFileCheck.h"
#include "app/RunVerdict.h"
#include "base/StringList.h"

// What a run programs: the units, their files and whether each sits in its bootloader.
struct TSessionRequest {
  bool Master = false;
  bool Slave = false;
  std::string MasterFile;
  std::string SlaveFile;
  bool MasterRecover = false;
  bool SlaveRecover = false;
};

// What a run reports as it goes, for a view to show. Every event is optional.
struct TSessionEvents {
  // A line for the run's log; RecordReply marks a program record's acknowledgement, the bulk
  // of a log that a short report leaves out.
  std::function<void(const std::string& Line, bool RecordReply)> OnMemoLine;
  // The run's stage, for the status line's message section.
  std::function<void(const std::string& Text)> OnStatus;
  // The caption of the unit's status (version) label.
  std::function<void(uint8_t Unit, const std::string& Caption)> OnUnitStatus;
  // The unit's run begins: its status reads "Status:  ", its progress 0 %.
  std::function<void(uint8_t Unit)> OnUnitBegins;
  std::function<void(uint8_t Unit, int Percent)> OnProgress;
  // The unit restarted: recovery mode is done with for it.
  std::function<void(uint8_t Unit)> OnUnitRestarted;
  // The tick goes on at this interval (a run's 10 ms, idle 100 ms).
  std::function<void(uint16_t Milliseconds)> OnTickInterval;
  // A unit's run ends (the finishing step), with the connection up or down.
  std::function<void(bool Connected)> OnUnitEnds;
  // The whole run is over and no unit follows: the view may return to idle.
  std::function<void()> OnIdle;
  // A unit's outcome is known.
  std::function<void(const TUnitVerdict& Unit)> OnUnitDecided;
  // The whole run's verdict, once, when it is over (also when ended from outside).
  std::function<void(const TRunVerdict& Verdict)> OnVerdict;
};

// Events that call Shown's handler, then Observer's.
TSessionEvents Observed(TSessionEvents Shown, const TSessionEvents& Observer);

// One programming run of a Zelmirt's units, Master then Slave: the sequence of states, one
// step per tick, each step reading at most one reply line from the channel's ring and acting
// on the state; the dialogue with the bootloaders, its pauses and limits counted in steps;
// and the verdict. It talks to the device only through its channel and to its owner only
// through its events.
class TProgrammingSession {
public:
  explicit TProgrammingSession(TDeviceChannel& Channel);
  TProgrammingSession(const TProgrammingSession&) = delete;
  TProgrammingSession& operator=(const TProgrammingSession&) = delete;

  void SetEvents(TSessionEvents Events) { FEvents = std::move(Events); }
  // Between runs: talk through another channel.
  void SetChannel(TDeviceChannel& Channel) { FChannel = &Channel; }
  const TDeviceChannel& Channel() const { return *FChannel; }
  // A reply is acted on as soon as its bytes arrive (ReplyArrived), not at the next step.
  void SetFastDump(bool Value) { FFastDump = Value; }
  bool FastDump() const { return FFastDump; }

  // Every limit of the sequence (the waits for a reply: 500, 100, 25, 100 and 100 steps)
  // multiplied by Scale, for slow or distant links; the pauses keep their length.
  static constexpr double MinLimitScale = 1;
  static constexpr double MaxLimitScale = 20;
  void SetLimitScale(double Scale);
  double LimitScale() const { return FLimitScale; }

  // Begins a run with the first selected unit. Raises when its program file cannot be
  // loaded; the tick is then back at its idle interval and no run has begun.
  void Start(const TSessionRequest& Request);
  // One step; the owner's tick calls it while a run is active.
  void ProgramStep();
  // With the fast dump: the steps for the bytes just received, which count no tick.
  void ReplyArrived();
  // Moves received bytes from the ring into the reply; answers whether a line was completed.
  bool ReadReplyLine();
  void SendCommand(const std::string& Text, bool AddTerminator);
  void SendToLink(const std::string& Text);
  void StartNextTarget();
  // Whether the first occurrence of Sub in S ends S.
  static bool EndsWith(const std::string& Sub, const std::string& S);

  // Ends a run from outside (the connection went, the operator closed): the run is over at
  // once, nothing more is sent, and the verdict names Outcome unless the units were done.
  void Abandon(TRunOutcome Outcome, const std::string& Message);
  // Returns to idle without a verdict of its own (the view's reset); the pause before a
  // Slave run is left alone by the caller.
  void Stop();

  bool Active() const { return FPgmState != psIdle; }
  uint8_t PgmState() const { return FPgmState; }
  uint8_t Target() const { return FTarget; }
  uint8_t NextTarget() const { return FNextTarget; }
  int32_t LineIndex() const { return FLineIndex; }
  int32_t TickCount() const { return FTickCount; }
  const std::string& Reply() const { return FReply; }
  const std::string& TargetName() const { return FTargetName; }
  // The records of the unit being programmed; the window's loading and filter work on them.
  TStringList& ProgramLines() { return FProgramLines; }
  const TStringList& ProgramLines() const { return FProgramLines; }
  // The program records the device acknowledged since the run began, over all units.
  int32_t RecordsAcknowledged() const { return FRecordsAcknowledged; }
  // The verdict of the last run that ended; none while the first one runs.
  const std::optional<TRunVerdict>& Verdict() const { return FVerdict; }

private:
  int32_t Limit(int32_t Steps) const;
  void LoadProgramOf(uint8_t Unit);
  void BeginRun();
  void EnteredBootloader();
  void GoToState(uint8_t State);
  bool AwaitsReply() const;
  // The state's rule; an exception ends the run like any failed step.
  void RunStep(bool LineCompleted);
  void RunStateRule(bool LineCompleted);
  void AcceptVersionReply();
  void DumpReplyReceived();
  bool ReplyNamesAnotherRecord() const;
  bool CompleteLineWaiting() const;
  void SendNextRecord();
  void FailDump(const std::string& Why, TRunOutcome Outcome);
  void FinishRun();

  void Memo(const std::string& Line, bool RecordReply = false);
  void Status(const std::string& Text);
  void UnitStatus(const std::string& Caption);
  void TickAt(uint16_t Milliseconds);
  // The unit's run ends with Outcome, decided by the reply and record where they apply.
  void DecideUnit(TRunOutcome Outcome, const std::string& Message, bool WithReply, int32_t RecordIndex);
  void UnitDone();
  void Fail(TRunOutcome Outcome, const std::string& Message);
  // The run is over: its verdict from the units' outcomes.
  void Conclude();

  TDeviceChannel* FChannel;
  TSessionEvents FEvents;
  bool FFastDump = false;
  double FLimitScale = 1;
  TSessionRequest FRequest;

  uint8_t FTarget = 0;
  uint8_t FNextTarget = 0;
  uint8_t FPgmState = psIdle;
  TStringList FProgramLines;
  // The file of the unit being programmed, as checked when its run began.
  TSharedFileCheck FLoadedFile;
  int32_t FLineIndex = 0;
  std::string FReply;
  int32_t FTickCount = 0;
  std::string FTargetName;
  // The text of the record last sent in the dump, without its line feed.
  std::string FRecordSent;
  int32_t FRecordsAcknowledged = 0;

  // The unit under way, until its outcome is known; the units done.
  std::optional<TUnitVerdict> FCurrentUnit;
  std::vector<TUnitVerdict> FUnitsDone;
  std::optional<TRunVerdict> FVerdict;
};
