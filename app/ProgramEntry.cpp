#include "app/ProgramEntry.h"

#include <charconv>

#include "platform/Application.h"

namespace {
constexpr const char* QuitAfterOption = "--quit-after";
constexpr int LongestQuitAfterMs = 24 * 60 * 60 * 1000;
}  // namespace

const TProgramDescription WindowProgram{
    "zelmirt-programmer",
    "[OPTION]...",
    "Re-flash the Master and Slave processors of a Zelmirt field device over TCP.",
    "Opens the programming window. It keeps a connection to the Master at the IP address typed\n"
    "in it, and programs the Master, the Slave or both from Intel HEX files, showing the\n"
    "progress and every reply of the device.",
    {{QuitAfterOption, "MS",
      "close the window MS milliseconds after showing it, as the operator would"}},
    "Files:\n"
    "  The IP address, the two program files and the unit selection are kept in\n"
    "  $XDG_CONFIG_HOME/zelmirt-programmer/zelmirt-programmer.INI (default\n"
    "  ~/.config/zelmirt-programmer/zelmirt-programmer.INI) by an installed program, whoever\n"
    "  runs it. A program elsewhere (in its build folder) keeps them in zelmirt-programmer.INI\n"
    "  beside the executable when that folder can be written. A new user's file starts from\n"
    "  the values of a zelmirt-programmer.INI beside the executable."};

int RunProgram(const TRunMainWindow& Run, const std::string& SettingsFileName) {
  Application().SetTitle("Zelmirt Program");
  TZelmirt_PgmForm form(SettingsFileName);
  return Run(form);
}

TWindowOptions ReadWindowOptions(const std::vector<std::string>& Arguments) {
  TWindowOptions options;
  options.Answer = AnswerStandardOptions(WindowProgram, Arguments);
  if (options.Answer) return options;
  const std::optional<std::string> quitAfter = OptionValue(Arguments, QuitAfterOption);
  if (!quitAfter) return options;
  int ms = -1;
  const char* end = quitAfter->data() + quitAfter->size();
  const auto [stop, error] = std::from_chars(quitAfter->data(), end, ms);
  if (error != std::errc() || stop != end || ms < 0 || ms > LongestQuitAfterMs)
    options.Answer = TCommandLineAnswer{UsageExitCode,
                                        WindowProgram.Name + ": " + QuitAfterOption + " '" + *quitAfter +
                                            "' is not a number of milliseconds from 0 to " +
                                            std::to_string(LongestQuitAfterMs) + "\n",
                                        true};
  else
    options.QuitAfterMs = ms;
  return options;
}
