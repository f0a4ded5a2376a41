#include "base/ProgramOptions.h"

#include <algorithm>
#include <cstdio>

namespace {
constexpr const char* PackageName = "Zelmirt Programming Utility";

struct TOptionLine {
  std::string Names;
  std::string Help;
};

std::vector<TOptionLine> OptionLines(const TProgramDescription& Program) {
  std::vector<TOptionLine> lines;
  for (const TProgramOption& option : Program.Options)
    lines.push_back({"    " + option.Name + "=" + option.ValueName, option.Help});
  lines.push_back({"-h, --help", "display this help and exit"});
  lines.push_back({"    --version", "output version information and exit"});
  return lines;
}

bool IsOptionGiven(const std::string& Argument, const std::string& Name) {
  return Argument == Name || Argument.starts_with(Name + "=");
}
}  // namespace

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
      if (argument == option.Name && i + 1 == Arguments.size())
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
