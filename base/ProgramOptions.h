#pragma once

#include <optional>
#include <string>
#include <vector>

// The options of a program, read by one parser for every executable, and its --help and
// --version written the way help2man reads them, so that each manual page is made from the
// program's own text.
struct TProgramOption {
  std::string Name;       // "--quit-after"
  std::string ValueName;  // "MS"; empty for an option that takes no value
  std::string Help;
  std::string ShortName = {};  // "-q", or empty
  // Whether the option may be given more than once; otherwise a second one is a usage error.
  bool Repeatable = false;
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

// -h, --help and --version, for programs that parse their whole command line.
const TProgramOption& HelpOption();
const TProgramOption& VersionOption();

// One option as given, under its declared Name whichever of its names was used.
struct TGivenOption {
  std::string Name;
  std::string GivenAs;  // "-m" or "--master"
  std::string Value;    // empty for an option that takes no value
};

struct TParsedArguments {
  std::vector<TGivenOption> Options;  // in the order given
  std::vector<std::string> Operands;  // the arguments that are not options, in order

  bool Has(const std::string& Name) const;
};

// Reads Arguments against the declared Options: "--name value", "--name=value", "-x value",
// "-xvalue", flags grouped behind one dash ("-qv"), and "--" ending the options. The argument
// after an option that takes a value is its value even when it begins with "-". A lone "-" is
// an operand. Raises EUsageError for an unknown option, a value missing or given to a flag,
// and an option given twice that is not Repeatable.
TParsedArguments ParseArguments(const std::vector<TProgramOption>& Options, const std::vector<std::string>& Arguments);

// Answers --help, -h and --version, and an option of Program given without its value;
// nothing when the program is to run. Every other argument is left to the program: for a
// program whose toolkit reads arguments of its own.
std::optional<TCommandLineAnswer> AnswerStandardOptions(const TProgramDescription& Program,
                                                        const std::vector<std::string>& Arguments);
// The value of Name, given as "Name=value" or "Name value"; the last one given counts.
std::optional<std::string> OptionValue(const std::vector<std::string>& Arguments, const std::string& Name);

// The arguments after the program's name.
std::vector<std::string> ArgumentsOf(int argc, char** argv);
// Prints the answer and gives its exit code.
int Print(const TCommandLineAnswer& Answer);
