#pragma once

#include <functional>
#include <string>

#include "app/ZelmirtPgmForm.h"

// The program's own steps, once the toolkit has initialised the application object: the
// title, the main window (FormCreate), and the message loop that Run shows it in and runs
// until it is closed. Answers Run's exit code; the window is freed (FormDestroy) before.
using TRunMainWindow = std::function<int(TZelmirt_PgmForm& Form)>;
int RunProgram(const TRunMainWindow& Run,
               const std::string& SettingsFileName = TZelmirt_PgmForm::DefaultSettingsFileName());
