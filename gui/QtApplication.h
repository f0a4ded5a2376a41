#pragma once

#include "platform/Application.h"

// The interactive application object: modal message boxes, the system's beep as the
// exclamation sound, the toolkit's file-open dialog, and errors shown in a message box.
class TQtApplication : public TApplication {
public:
  void HandleException(const std::exception& E) override;
  TModalResult MessageBox(const std::string& Text, TMsgDlgType Type, TMsgDlgButtons Buttons) override;
  void PlayExclamation() override;
  bool ExecuteOpenDialog(TOpenDialogSettings& Dialog) override;
};
