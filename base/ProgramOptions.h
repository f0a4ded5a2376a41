#pragma once

#include <optional>
#include <string>
#include <vector>

// The options every shipped executable answers, --help and --version, written the way
// help2man reads them, so that each manual page is made from the program's own text.
struct TProgramOption {
  std::string Name;       // "--quit-after"
  std::string ValueName;  // "MS"; every option beyond help and version takes a value
  std::string Help;
};

struct TProgramDescription {
  std::string Name;       // the executable's name
  std::string Arguments;  // what follows the name in the usage line
  std::string Summary;    // one line: what the program does
  std::string Details;    // paragraphs under the summary; may be empty
  std::vector<TProgramOption> Options;
  std::string Sections;   // further sections ("Files:" and the like) after the options; may be empty
};

// The exit code of a command line that cannot be run.
constexpr int UsageExitCode = 2;

// A command line that has been answered: print Text and end with ExitCode.
struct TCommandLineAnswer {
  int ExitCode = 0;
  std::string Text;
  bool IsError = false;  // Text goes to standard error
};

std::string ProgramVersion();
std::string HelpText(const TProgramDescription& Program);
std::string VersionText(const TProgramDescription& Program);

// Answers --help, -h and --version, and an option of Program given without its value;
// nothing when the program is to run. Every other argument is left to the program.
std::optional<TCommandLineAnswer> AnswerStandardOptions(const TProgramDescription& Program,
                                                        const std::vector<std::string>& Arguments);
// The value of Name, given as "Name=value" or "Name value"; the last one given counts.
std::optional<std::string> OptionValue(const std::vector<std::string>& Arguments, const std::string& Name);

// The arguments after the program's name.
std::vector<std::string> ArgumentsOf(int argc, char** argv);
// Prints the answer and gives its exit code.
int Print(const TCommandLineAnswer& Answer);
