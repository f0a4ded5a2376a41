#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/ZelmirtPgmForm.h"
#include "base/ProgramOptions.h"

// The program's own steps, once the toolkit has initialised the application object: the
// title, the main window (FormCreate), and the message loop that Run shows it in and runs
// until it is closed. Answers Run's exit code; the window is freed (FormDestroy) before.
using TRunMainWindow = std::function<int(TZelmirt_PgmForm& Form)>;
int RunProgram(const TRunMainWindow& Run,
               const std::string& SettingsFileName = TZelmirt_PgmForm::DefaultSettingsFileName());

// What the window program's command line asks for. Read before the toolkit starts, so that
// --help and --version need no display; arguments it does not know are the toolkit's.
struct TWindowOptions {
  std::optional<TCommandLineAnswer> Answer;  // answered (help, version, bad option): end
  std::optional<int> QuitAfterMs;            // close the window this long after showing it
};
extern const TProgramDescription WindowProgram;
TWindowOptions ReadWindowOptions(const std::vector<std::string>& Arguments);
