#include "base/ProgramOptions.h"

#include <algorithm>
#include <cstdio>

#include "base/Format.h"
#include "base/UsageError.h"

namespace {
constexpr const char* PackageName = "Zelmirt Programming Utility";

struct TOptionLine {
  std::string Names;
  std::string Help;
};

std::vector<TOptionLine> OptionLines(const TProgramDescription& Program) {
  std::vector<TOptionLine> lines;
  for (const TProgramOption& option : Program.Options)
    lines.push_back({(option.ShortName.empty() ? "    " : option.ShortName + ", ") + option.Name +
                         (option.ValueName.empty() ? "" : "=" + option.ValueName),
                     option.Help});
  lines.push_back({"-h, --help", "display this help and exit"});
  lines.push_back({"    --version", "output version information and exit"});
  return lines;
}

bool IsOptionGiven(const std::string& Argument, const std::string& Name) {
  return Argument == Name || Argument.starts_with(Name + "=");
}

// Reads one command line; each step takes one argument or one group of short flags.
class TArgumentReader {
public:
  TArgumentReader(const std::vector<TProgramOption>& Options, const std::vector<std::string>& Arguments)
      : FOptions(Options), FArguments(Arguments) {}

  TParsedArguments Read() {
    for (FNext = 0; FNext < FArguments.size();) {
      const std::string& argument = FArguments[FNext++];
      if (argument == "--") {
        FParsed.Operands.insert(FParsed.Operands.end(), FArguments.begin() + static_cast<ptrdiff_t>(FNext),
                                FArguments.end());
        break;
      }
      if (argument.starts_with("--"))
        ReadLong(argument);
      else if (argument.size() > 1 && argument.front() == '-')
        ReadShort(argument);
      else
        FParsed.Operands.push_back(argument);
    }
    return std::move(FParsed);
  }

private:
  const TProgramOption& Declared(const std::string& GivenName, const std::string& Argument) const {
    for (const TProgramOption& option : FOptions)
      if (option.Name == GivenName || (!option.ShortName.empty() && option.ShortName == GivenName)) return option;
    throw EUsageError(Format("unknown option \"%s\"", VisibleText(Argument).c_str()));
  }

  // "--name", "--name=value"
  void ReadLong(const std::string& Argument) {
    const size_t equals = Argument.find('=');
    const std::string name = Argument.substr(0, equals);
    const TProgramOption& option = Declared(name, Argument);
    if (equals == std::string::npos)
      Take(option, name, option.ValueName.empty() ? "" : NextValue(name));
    else if (option.ValueName.empty())
      throw EUsageError(Format("%s takes no value", name.c_str()));
    else
      Take(option, name, Argument.substr(equals + 1));
  }

  // "-x", "-xVALUE", "-x VALUE", "-abc" for three flags
  void ReadShort(const std::string& Argument) {
    for (size_t at = 1; at < Argument.size(); ++at) {
      const std::string name = std::string("-") + Argument[at];
      const TProgramOption& option = Declared(name, at == 1 ? Argument : name);
      if (option.ValueName.empty()) {
        Take(option, name, "");
        continue;
      }
      Take(option, name, at + 1 < Argument.size() ? Argument.substr(at + 1) : NextValue(name));
      return;
    }
  }

  std::string NextValue(const std::string& GivenName) {
    if (FNext >= FArguments.size()) throw EUsageError(Format("%s needs a value", GivenName.c_str()));
    return FArguments[FNext++];
  }

  void Take(const TProgramOption& Option, const std::string& GivenName, std::string Value) {
    if (!Option.Repeatable && FParsed.Has(Option.Name))
      throw EUsageError(Format("%s given twice", GivenName.c_str()));
    FParsed.Options.push_back({Option.Name, GivenName, std::move(Value)});
  }

  const std::vector<TProgramOption>& FOptions;
  const std::vector<std::string>& FArguments;
  size_t FNext = 0;
  TParsedArguments FParsed;
};
}  // namespace

const TProgramOption& HelpOption() {
  static const TProgramOption help{"--help", "", "show this text and exit", "-h"};
  return help;
}

const TProgramOption& VersionOption() {
  static const TProgramOption version{"--version", "", "show the version and exit"};
  return version;
}

bool TParsedArguments::Has(const std::string& Name) const {
  return std::any_of(Options.begin(), Options.end(), [&](const TGivenOption& Given) { return Given.Name == Name; });
}

TParsedArguments ParseArguments(const std::vector<TProgramOption>& Options, const std::vector<std::string>& Arguments) {
  return TArgumentReader(Options, Arguments).Read();
}

std::string ProgramVersion() { return ZELMIRT_VERSION; }

std::string HelpText(const TProgramDescription& Program) {
  std::string text = "Usage: " + Program.Name + " " + Program.Arguments + "\n" + Program.Summary + "\n";
  if (!Program.Details.empty()) text += "\n" + Program.Details + "\n";
  const std::vector<TOptionLine> lines = OptionLines(Program);
  size_t width = 0;
  for (const TOptionLine& line : lines) width = std::max(width, line.Names.size());
  text += "\nOptions:\n";
  for (const TOptionLine& line : lines)
    text += "  " + line.Names + std::string(width - line.Names.size() + 2, ' ') + line.Help + "\n";
  if (!Program.Sections.empty()) text += "\n" + Program.Sections + "\n";
  return text;
}

std::string VersionText(const TProgramDescription& Program) {
  return Program.Name + " (" + PackageName + ") " + ProgramVersion() + "\n";
}

std::optional<TCommandLineAnswer> AnswerStandardOptions(const TProgramDescription& Program,
                                                        const std::vector<std::string>& Arguments) {
  for (size_t i = 0; i < Arguments.size(); ++i) {
    const std::string& argument = Arguments[i];
    if (argument == "--help" || argument == "-h") return TCommandLineAnswer{0, HelpText(Program), false};
    if (argument == "--version") return TCommandLineAnswer{0, VersionText(Program), false};
    for (const TProgramOption& option : Program.Options)
      if (!option.ValueName.empty() && argument == option.Name && i + 1 == Arguments.size())
        return TCommandLineAnswer{UsageExitCode,
                                  Program.Name + ": option '" + option.Name + "' needs a value (" +
                                      option.Name + "=" + option.ValueName + ")\n",
                                  true};
  }
  return std::nullopt;
}

std::optional<std::string> OptionValue(const std::vector<std::string>& Arguments, const std::string& Name) {
  std::optional<std::string> value;
  for (size_t i = 0; i < Arguments.size(); ++i) {
    if (!IsOptionGiven(Arguments[i], Name)) continue;
    if (Arguments[i].size() > Name.size())
      value = Arguments[i].substr(Name.size() + 1);
    else if (i + 1 < Arguments.size())
      value = Arguments[++i];
  }
  return value;
}

std::vector<std::string> ArgumentsOf(int argc, char** argv) {
  return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>{};
}

int Print(const TCommandLineAnswer& Answer) {
  std::fputs(Answer.Text.c_str(), Answer.IsError ? stderr : stdout);
  return Answer.ExitCode;
}
