#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/Application.h"

// An application object that never blocks: it records every exception, message box and
// sound, answers message boxes with a preset result and the file dialog with a preset file.
class TTestApplication : public TApplication {
public:
  void HandleException(const std::exception& E) override;
  TModalResult MessageBox(const std::string& Text, TMsgDlgType Type, TMsgDlgButtons Buttons) override;
  void PlayExclamation() override;
  bool ExecuteOpenDialog(TOpenDialogSettings& Dialog) override;

  // What the next message boxes answer, and what the file dialog does.
  void SetMessageBoxResult(TModalResult Result);
  void SetDialogChoice(bool Confirm, const std::string& FileName);

  std::vector<std::string> Exceptions() const;
  std::vector<std::string> MessageBoxes() const;
  int ExclamationCount() const;
  std::vector<TOpenDialogSettings> Dialogs() const;
  void Reset();

private:
  mutable std::mutex FLock;
  std::vector<std::string> FExceptions;
  std::vector<std::string> FMessageBoxes;
  std::vector<TOpenDialogSettings> FDialogs;
  int FExclamations = 0;
  TModalResult FMessageBoxResult = TModalResult::mrOk;
  bool FDialogConfirms = false;
  std::string FDialogFile;
};

// The application object that the test main installs for every test.
TTestApplication& TestApplication();
