#include "cli/CommandLine.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "base/Format.h"
#include "cli/DeviceList.h"

namespace {
struct TOptionText {
  const char* Names;
  const char* Help;
};
constexpr TOptionText OptionTexts[] = {
    {"-m, --master FILE", "Intel HEX file for the Master"},
    {"-s, --slave FILE", "Intel HEX file for the Slave"},
    {"-u, --units master|slave|all", "units to program (default: every unit given a file);\n"
                                     "all programs the Master, then the Slave"},
    {"    --master-recover", "the Master sits in its bootloader (BL Recover): sync to it at once"},
    {"    --slave-recover", "the Slave sits in its bootloader (BL Recover)"},
    {"-t, --connect-timeout SECONDS", "give up when not connected within SECONDS (default 30)"},
    {"-d, --devices FILE", "program the devices listed in FILE as well, one address a line\n"
                           "(blank lines and lines starting with # are skipped)"},
    {"    --fast", "act on each reply as soon as it arrives instead of at the next\n"
                   "10 ms tick; the bytes sent and every pause and limit stay the same"},
    {"-l, --log FILE", "append the run's lines to FILE, each with a time stamp"},
    {"-q, --quiet", "print only the result"},
    {"    --json", "one JSON object per line per event: memo line, status change,\n"
                   "progress, result"},
    {"-h, --help", "show this text and exit"},
    {"    --version", "show the version and exit"},
};

// Splits "--name=value" into name and value.
bool SplitInlineValue(const std::string& Argument, std::string& Name, std::string& Value) {
  const size_t equals = Argument.find('=');
  if (!Argument.starts_with("--") || equals == std::string::npos) return false;
  Name = Argument.substr(0, equals);
  Value = Argument.substr(equals + 1);
  return true;
}

std::chrono::milliseconds ParseSeconds(const std::string& Name, const std::string& Text) {
  double seconds = 0;
  const auto [end, error] = std::from_chars(Text.data(), Text.data() + Text.size(), seconds);
  if (Text.empty() || error != std::errc() || end != Text.data() + Text.size() || !std::isfinite(seconds) ||
      seconds <= 0 || seconds > 86400)
    throw EUsageError(Format("%s: \"%s\" is not a number of seconds between 0 and 86400", Name.c_str(), Text.c_str()));
  return std::chrono::milliseconds(static_cast<long long>(std::ceil(seconds * 1000)));
}

void ApplyUnits(const std::string& Name, const std::string& Text, TRunRequest& Request) {
  if (Text == "master") {
    Request.Master = true;
  } else if (Text == "slave") {
    Request.Slave = true;
  } else if (Text == "all") {
    Request.Master = Request.Slave = true;
  } else {
    throw EUsageError(Format("%s: \"%s\" is not one of master, slave, all", Name.c_str(), Text.c_str()));
  }
}
}  // namespace

TFlashOptions ParseCommandLine(const std::vector<std::string>& Arguments) {
  TFlashOptions options;
  std::vector<std::string> addresses;
  std::vector<std::string> deviceFileAddresses;
  bool unitsGiven = false;
  for (size_t i = 0; i < Arguments.size(); ++i) {
    std::string name = Arguments[i];
    std::string value;
    const bool inlineValue = SplitInlineValue(Arguments[i], name, value);
    auto takeValue = [&]() -> const std::string& {
      if (!inlineValue) {
        if (i + 1 >= Arguments.size()) throw EUsageError(Format("%s needs a value", name.c_str()));
        value = Arguments[++i];
      }
      return value;
    };
    auto noValue = [&] {
      if (inlineValue) throw EUsageError(Format("%s takes no value", name.c_str()));
    };
    if (name == "-m" || name == "--master") {
      options.Request.MasterFile = takeValue();
    } else if (name == "-s" || name == "--slave") {
      options.Request.SlaveFile = takeValue();
    } else if (name == "-u" || name == "--units") {
      if (unitsGiven) throw EUsageError(Format("%s given twice", name.c_str()));
      unitsGiven = true;
      ApplyUnits(name, takeValue(), options.Request);
    } else if (name == "-t" || name == "--connect-timeout") {
      options.Request.ConnectTimeout = ParseSeconds(name, takeValue());
    } else if (name == "-d" || name == "--devices") {
      for (std::string& address : ReadDeviceList(takeValue())) deviceFileAddresses.push_back(std::move(address));
    } else if (name == "--fast") {
      noValue();
      options.Request.Fast = true;
    } else if (name == "-l" || name == "--log") {
      options.LogFile = takeValue();
    } else if (name == "--master-recover") {
      noValue();
      options.Request.MasterRecover = true;
    } else if (name == "--slave-recover") {
      noValue();
      options.Request.SlaveRecover = true;
    } else if (name == "-q" || name == "--quiet") {
      noValue();
      options.Quiet = true;
    } else if (name == "--json") {
      noValue();
      options.Json = true;
    } else if (name == "-h" || name == "--help") {
      options.Help = true;
    } else if (name == "--version") {
      options.Version = true;
    } else if (name.size() > 1 && name.front() == '-') {
      throw EUsageError(Format("unknown option \"%s\"", Arguments[i].c_str()));
    } else {
      addresses.push_back(Arguments[i]);
    }
  }
  if (options.Help || options.Version) return options;
  addresses.insert(addresses.end(), deviceFileAddresses.begin(), deviceFileAddresses.end());
  if (addresses.empty()) throw EUsageError("no device address given");
  // Two runs on one device would fight over it.
  for (size_t i = 0; i < addresses.size(); ++i)
    if (std::find(addresses.begin() + static_cast<ptrdiff_t>(i) + 1, addresses.end(), addresses[i]) != addresses.end())
      throw EUsageError(Format("device address \"%s\" given twice", addresses[i].c_str()));
  options.Addresses = std::move(addresses);
  if (!unitsGiven) {
    options.Request.Master = !options.Request.MasterFile.empty();
    options.Request.Slave = !options.Request.SlaveFile.empty();
  }
  return options;
}

std::string HelpText() {
  std::string text =
      "Usage: zelmirt-flash [options] ADDRESS...\n"
      "Programs the Master and/or the Slave of the Zelmirt at each ADDRESS (TCP port 4001)\n"
      "from Intel HEX files, as the Zelmirt Programming Utility's window does, without a\n"
      "display. Several devices are programmed at the same time, each line of output then\n"
      "starting with the device's address, and a summary table closes the run; the exit\n"
      "status is that of the first device, in the order given, that failed.\n"
      "Never reads or writes the window's settings file.\n\nOptions:\n";
  for (const TOptionText& option : OptionTexts) {
    std::string help = option.Help;
    for (size_t newline = help.find('\n'); newline != std::string::npos; newline = help.find('\n', newline + 1))
      help.insert(newline + 1, std::string(33, ' '));
    text += Format("  %-30s %s\n", option.Names, help.c_str());
  }
  text += "\nExit status:\n";
  for (TRunOutcome outcome : AllRunOutcomes())
    text += Format("  %3d  %s\n", static_cast<int>(outcome), RunOutcomeMeaning(outcome).c_str());
  return text;
}
