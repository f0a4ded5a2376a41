#pragma once

#include <string>

#include "platform/Application.h"

// The file-open dialog: its settings persist between uses; Execute shows it through the
// application object.
class TOpenDialog {
public:
  TOpenDialogSettings& Settings() { return FSettings; }
  const TOpenDialogSettings& Settings() const { return FSettings; }
  const std::string& FileName() const { return FSettings.FileName; }
  // True when the operator confirmed a file; FileName then holds its full path.
  bool Execute() { return Application().ExecuteOpenDialog(FSettings); }

private:
  TOpenDialogSettings FSettings;
};
