#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/Controls.h"
#include "app/OpenDialog.h"
#include "app/RxRing.h"
#include "app/Timer.h"
#include "base/StringList.h"

// The main window of the programming utility, written against toolkit-neutral controls.
// Constructing it runs FormCreate (settings loaded, tick stopped); destroying it runs
// FormDestroy. A view shows the controls and calls FormShow, FormCloseQuery and FormClose.
class TZelmirt_PgmForm {
public:
  static constexpr const char* WindowCaption = "Zelmirt Programming Utility - V1.1";
  static constexpr int DesignClientWidth = 565;
  static constexpr int DesignClientHeight = 546;

  // The executable's path with the extension ".INI", or the same name in the user's
  // configuration folder when the executable's folder cannot be written (installed).
  static std::string DefaultSettingsFileName();

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
  // Loads and filters FileName after the tick has switched to the run interval. When either
  // fails, the idle tick runs again before the error goes on, so the window stays usable.
  void LoadProgramForRun(const std::string& FileName);
  const TStringList& ProgramLines() const { return *FProgramLines; }

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
  RxRing FRxRing;
  uint8_t FLinkStatus = 0;
  bool FInTimer = false;
  int32_t FCloseState = 0;
  bool FInCheckboxClick = false;
  uint8_t FTarget = 0;
  uint8_t FNextTarget = 0;
  uint8_t FPgmState = 0;
  std::unique_ptr<TStringList> FProgramLines;
  int32_t FLineIndex = 0;
  std::string FReply;
  int32_t FTickCount = 0;
  std::string FTargetName;
  TLabel* FVersionLabel = nullptr;

private:
  void DesignControls();
  void FormCreate();
  void FormDestroy();
  // Restarts the tick at the idle interval of 100 ms.
  void ResumeIdleTick();
  bool LinkConnected() const;

  std::string FSettingsFileName;
  TFont FWindowFont;
  TCloseWaitRound FCloseWaitRound;
};
