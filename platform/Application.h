#pragma once

#include <exception>
#include <string>

#include "base/Set.h"

enum class TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation };
enum class TMsgDlgBtn { mbYes, mbNo, mbOK, mbCancel };
using TMsgDlgButtons = TSet<TMsgDlgBtn>;
enum class TModalResult { mrNone, mrOk, mrCancel, mrYes, mrNo };

// What the file-open dialog is asked to show and, on confirmation, what it chose.
struct TOpenDialogSettings {
  std::string Title;
  std::string InitialDir;
  std::string FileName;
  std::string DefaultExt;
  std::string Filter;  // "Caption|pattern|Caption|pattern..."
  int FilterIndex = 1;
  bool FileMustExist = false;
  bool HideReadOnly = false;
  bool EnableSizing = false;
};

// The process's application object: title, top-level exception handling and the modal
// services. The window installs interactive implementations; tests and command-line tools
// install their own, so nothing ever blocks on a dialog without a display.
class TApplication {
public:
  virtual ~TApplication() = default;

  std::string Title() const;
  void SetTitle(const std::string& Value);

  // Receives every exception that left an event handler or a window procedure. May be
  // called on any thread that runs a message loop.
  virtual void HandleException(const std::exception& E);
  virtual TModalResult MessageBox(const std::string& Text, TMsgDlgType Type, TMsgDlgButtons Buttons);
  virtual void PlayExclamation();
  // Answers true and fills Dialog.FileName when the operator confirms a file.
  virtual bool ExecuteOpenDialog(TOpenDialogSettings& Dialog);

private:
  std::string FTitle;
};

// The installed application object (a non-interactive default when none is installed).
TApplication& Application();

// Installs an application object for the lifetime of this guard, then restores the previous.
class TScopedApplication {
public:
  explicit TScopedApplication(TApplication& App);
  ~TScopedApplication();
  TScopedApplication(const TScopedApplication&) = delete;
  TScopedApplication& operator=(const TScopedApplication&) = delete;

private:
  TApplication* FPrevious;
};
