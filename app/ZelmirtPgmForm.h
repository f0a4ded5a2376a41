#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/Controls.h"
#include "app/LinkChannel.h"
#include "app/OpenDialog.h"
#include "app/ProgrammingSession.h"
#include "app/Timer.h"
#include "base/Component.h"
#include "base/StringList.h"
#include "link/AppClSk.h"
#include "link/RxRing.h"
#include "threads/KtNotifier.h"

// The main window of the programming utility, written against toolkit-neutral controls.
// Constructing it runs FormCreate (settings loaded, tick stopped); destroying it runs
// FormDestroy. A view shows the controls and calls FormShow, FormCloseQuery and FormClose.
class TZelmirt_PgmForm {
public:
  static constexpr const char* WindowCaption = "Zelmirt Programming Utility - V1.1";
  static constexpr int DesignClientWidth = 565;
  static constexpr int DesignClientHeight = 546;
  // The tick while idle and during a run.
  static constexpr uint16_t IdleTickMs = 100;
  static constexpr uint16_t RunTickMs = 10;
  // Connection status indexes.
  static constexpr uint8_t LinkSearchingIndex = 1;
  static constexpr uint8_t LinkConnectedIndex = 2;
  static constexpr uint8_t LinkDisconnectingIndex = 3;
  static constexpr uint8_t LinkDisconnectedIndex = 4;

  // The executable's path with the extension ".INI", or the same name in the user's
  // configuration folder when the executable's folder cannot be written (installed).
  static std::string DefaultSettingsFileName();

  // An empty SettingsFileName means no settings file: LoadSettings and SaveSettings do
  // nothing, for drivers other than the window that must leave the window's file alone.
  explicit TZelmirt_PgmForm(std::string SettingsFileName = DefaultSettingsFileName());
  virtual ~TZelmirt_PgmForm();
  TZelmirt_PgmForm(const TZelmirt_PgmForm&) = delete;
  TZelmirt_PgmForm& operator=(const TZelmirt_PgmForm&) = delete;

  const std::string& SettingsFileName() const { return FSettingsFileName; }
  const TFont& WindowFont() const { return FWindowFont; }
  // Every visual control in design order: parents before their children, later ones on top.
  std::vector<TControl*> Controls();

  // One round of the close wait: sleeps 20 ms, then runs the pending messages (and with them
  // the tick). Replaceable so that the wait can be driven without a message loop.
  using TCloseWaitRound = std::function<void()>;
  void SetCloseWaitRound(TCloseWaitRound Round) { FCloseWaitRound = std::move(Round); }

  // Window events.
  void FormShow();
  // Answers whether the window may close.
  bool FormCloseQuery();
  void FormClose();
  void PgmOnTimer();

  // Control handlers.
  void btnSelFileClick(TControl* Sender);
  void cbPrgCheckboxClick(TControl* Sender);
  void btnProgramClick(TControl* Sender);
  void ledtMasterIPExit(TControl* Sender);

  // Connection supervision.
  void StartSupervision();
  void ConnectLink();
  void LinkNotify(TObject* Sender, const std::shared_ptr<IKtNotifyParams>& Params);
  // The device link, from the first show on; none before.
  TCltSckObj* Link() const { return FLink.get(); }

  // The programming sequence: the run object does the work; the window shows its events.
  // Before the first show: a reply is acted on as soon as its bytes arrive, not at the next
  // tick. Off by default; the dialogue's bytes, pauses and limits are the same either way.
  void SetFastDump(bool Value) { FSession.SetFastDump(Value); }
  // Before the first show: the link's first attempt goes out at once, not after its wait.
  void SetConnectAtOnce(bool Value) { FConnectAtOnce = Value; }
  bool FastDump() const { return FSession.FastDump(); }
  void ProgramStep() { FSession.ProgramStep(); }
  // With the fast dump: the steps for the bytes the link just received, which count no tick.
  void ReplyArrived();
  // The program records the device acknowledged since Program was clicked, over all units.
  int32_t RecordsAcknowledged() const { return FSession.RecordsAcknowledged(); }
  bool ReadReplyLine() { return FSession.ReadReplyLine(); }
  void SendCommand(const std::string& Text, bool AddTerminator) { FSession.SendCommand(Text, AddTerminator); }
  void SendToLink(const std::string& Text) { FSession.SendToLink(Text); }
  void StartNextTarget() { FSession.StartNextTarget(); }
  static bool EndsWith(const std::string& Sub, const std::string& S) {
    return TProgrammingSession::EndsWith(Sub, S);
  }
  TProgrammingSession& Session() { return FSession; }
  // Hears every event of the run after the window has shown it.
  void SetRunObserver(TSessionEvents Observer);
  const TProgrammingSession& Session() const { return FSession; }
  // The connection runs talk through: the device link's, unless one was put in its place
  // (before a run) for a run without a device link.
  void SetChannel(TDeviceChannel& Channel) { FSession.SetChannel(Channel); }

  // Helpers.
  void SetStatusSection(int Index, const std::string& Text);
  void AppendMemo(const std::string& Text);
  void ShowError(const std::string& Text);
  void ResetProgramView();
  void SetLinkStatus(uint8_t Index);

  // Settings file.
  void LoadSettings();
  void SaveSettings();

  // Program files.
  virtual bool ProgramSettingsValid() const;
  // Replaces the records with the lines of FileName.
  void LoadProgramFile(const std::string& FileName);
  // Drops the records that are never sent; raises EConvertError naming a malformed line.
  void FilterProgramLines();
  const TStringList& ProgramLines() const { return FSession.ProgramLines(); }

  TGroupBox gbUnitStatus;
  TLabeledEdit ledtMasterIP;
  TGroupBox gbProgram;
  TCheckBox cbAll;
  TButton btnProgram;
  TLabel lblStatus;
  TProgressBar pbProgram;
  TCheckBox cbMaster;
  TCheckBox cbSlave;
  TGroupBox gbMaster;
  TLabel lblMstrVers;
  TLabeledEdit lbledtMaster;
  TButton btnSelMaster;
  TCheckBox cbMasterBL;
  TGroupBox gbSlave;
  TLabel lblSlaveVers;
  TLabeledEdit lbledtSlave;
  TButton btnSelSlave;
  TCheckBox cbSlaveBL;
  TMemo ProgramMemo;
  TStatusBar StatusLine{3};
  TLabel lblSize;
  TTimer PgmTimer;
  TOpenDialog OpenPgmDialog;

protected:
  TComponentPtr<TKtNotifier> FNotifier;
  TComponentPtr<TCltSckObj> FLink;
  RxRing FRxRing;
  uint8_t FLinkStatus = 0;
  bool FInTimer = false;
  int32_t FCloseState = 0;
  bool FInCheckboxClick = false;
  TLinkChannel FLinkChannel{FLink, FRxRing};
  TProgrammingSession FSession{FLinkChannel};
  TSessionEvents FRunObserver;
  bool FConnectAtOnce = false;

private:
  void DesignControls();
  void FormCreate();
  void FormDestroy();
  // Restarts the tick, the window's and the link's, at the idle interval of 100 ms.
  void ResumeIdleTick();
  bool LinkConnected() const;
  // The end of a run lost with its connection.
  void AbandonRun();
  // The window's answers to the run's events.
  void ShowSessionEvents();
  TLabel& UnitStatusLabel(uint8_t Unit);
  void ShowUnitBegins(uint8_t Unit);
  void ShowUnitEnds(bool Connected);
  void ShowIdle();
  void RunTickAt(uint16_t Milliseconds);

  std::string FSettingsFileName;
  TFont FWindowFont;
  TCloseWaitRound FCloseWaitRound;
};
