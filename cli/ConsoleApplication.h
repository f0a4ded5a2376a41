#pragma once

#include <cstdio>

#include "platform/Application.h"

// The application object of the command line: nothing waits for an operator. The only
// question the window asks (whether to stop a run in progress) is answered Yes, since the
// command line asks it only when told to stop; other messages and exceptions go to Errors.
class TConsoleApplication : public TApplication {
public:
  explicit TConsoleApplication(FILE* Errors) : FErrors(Errors) {}

  void HandleException(const std::exception& E) override;
  TModalResult MessageBox(const std::string& Text, TMsgDlgType Type, TMsgDlgButtons Buttons) override;
  void PlayExclamation() override {}
  bool ExecuteOpenDialog(TOpenDialogSettings&) override { return false; }

private:
  FILE* FErrors;
};
