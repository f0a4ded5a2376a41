#include "cli/CommandLine.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "base/Format.h"
#include "base/ProgramOptions.h"
#include "cli/DeviceList.h"

namespace {
constexpr const char* CheckCommand = "check";

// What the options have set so far.
struct TCommandLineState {
  TFlashOptions Options;
  std::vector<TDeviceEntry> DeviceFileEntries;
  bool UnitsGiven = false;
};
using TOptionHandler = void (*)(TCommandLineState& State, const std::string& Name, const std::string& Value);

// One row per option: how it is written, its help, and what it does.
struct TFlashOption {
  TProgramOption Option;
  TOptionHandler Apply;
};

std::chrono::milliseconds ParseSeconds(const std::string& Name, const std::string& Text) {
  double seconds = 0;
  const auto [end, error] = std::from_chars(Text.data(), Text.data() + Text.size(), seconds);
  if (Text.empty() || error != std::errc() || end != Text.data() + Text.size() || !std::isfinite(seconds) ||
      seconds <= 0 || seconds > 86400)
    throw EUsageError(Format("%s: \"%s\" is not a number of seconds between 0 and 86400", Name.c_str(), Text.c_str()));
  return std::chrono::milliseconds(static_cast<long long>(std::ceil(seconds * 1000)));
}

double ParseNumber(const std::string& Name, const std::string& Text, double Min, double Max) {
  double value = 0;
  const auto [end, error] = std::from_chars(Text.data(), Text.data() + Text.size(), value);
  if (Text.empty() || error != std::errc() || end != Text.data() + Text.size() || !std::isfinite(value) ||
      value < Min || value > Max)
    throw EUsageError(Format("%s: \"%s\" is not a number from %g to %g", Name.c_str(), Text.c_str(), Min, Max));
  return value;
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
const std::vector<TFlashOption>& FlashOptions() {
  static const std::vector<TFlashOption> options{
      {{"--master", "FILE", "Intel HEX file for the Master", "-m"},
       [](TCommandLineState& S, const std::string&, const std::string& V) { S.Options.Request.MasterFile = V; }},
      {{"--slave", "FILE", "Intel HEX file for the Slave", "-s"},
       [](TCommandLineState& S, const std::string&, const std::string& V) { S.Options.Request.SlaveFile = V; }},
      {{"--units", "master|slave|all",
        "units to program (default: every unit given a file);\n"
        "all programs the Master, then the Slave",
        "-u"},
       [](TCommandLineState& S, const std::string& N, const std::string& V) {
         S.UnitsGiven = true;
         ApplyUnits(N, V, S.Options.Request);
       }},
      {{"--master-recover", "", "the Master sits in its bootloader (BL Recover): sync to it at once"},
       [](TCommandLineState& S, const std::string&, const std::string&) { S.Options.Request.MasterRecover = true; }},
      {{"--slave-recover", "", "the Slave sits in its bootloader (BL Recover)"},
       [](TCommandLineState& S, const std::string&, const std::string&) { S.Options.Request.SlaveRecover = true; }},
      {{"--connect-timeout", "SECONDS", "give up when not connected within SECONDS (default 30)", "-t"},
       [](TCommandLineState& S, const std::string& N, const std::string& V) {
         S.Options.Request.ConnectTimeout = ParseSeconds(N, V);
       }},
      {{"--retries", "N",
        "run a unit that failed after its erase again from the start in\n"
        "recovery mode, up to N times (default 0); one that could not\n"
        "enable programming is retried in recovery mode once"},
       [](TCommandLineState& S, const std::string& N, const std::string& V) {
         const double retries = ParseNumber(N, V, 0, 100);
         if (retries != std::floor(retries)) throw EUsageError(Format("%s: \"%s\" is not a whole number", N.c_str(), V.c_str()));
         S.Options.Request.Retries = static_cast<int>(retries);
       }},
      {{"--run-timeout", "SECONDS",
        "end a device's whole run (every unit and attempt) that takes longer\n"
        "than SECONDS as a failure (exit 13); default none"},
       [](TCommandLineState& S, const std::string& N, const std::string& V) {
         S.Options.Request.RunTimeout = ParseSeconds(N, V);
       }},
      {{"--limit-scale", "F",
        "multiply every limit of the dialogue by F (1 to 20) for slow or\n"
        "distant links: the waits for the acknowledgement (500 ticks), the\n"
        "sync echo (100), the version (25), each record's reply (100) and\n"
        "the restart (100); the pauses keep their length"},
       [](TCommandLineState& S, const std::string& N, const std::string& V) {
         S.Options.Request.LimitScale =
             ParseNumber(N, V, TProgrammingSession::MinLimitScale, TProgrammingSession::MaxLimitScale);
       }},
      {{"--devices", "FILE",
        "program the devices listed in FILE as well, one address a line,\n"
        "optionally followed by master-recover and/or slave-recover for\n"
        "that device (blank lines and lines starting with # are skipped)",
        "-d", true},
       [](TCommandLineState& S, const std::string&, const std::string& V) {
         for (TDeviceEntry& device : ReadDeviceList(V)) S.DeviceFileEntries.push_back(std::move(device));
       }},
      {{"--fast", "",
        "act on each reply as soon as it arrives instead of at the next\n"
        "10 ms tick; the bytes sent and every pause and limit stay the same"},
       [](TCommandLineState& S, const std::string&, const std::string&) { S.Options.Request.Fast = true; }},
      {{"--log", "FILE", "append the run's lines to FILE, each with a time stamp", "-l"},
       [](TCommandLineState& S, const std::string&, const std::string& V) { S.Options.LogFile = V; }},
      {{"--log-dir", "FOLDER",
        "write each device's lines to a log file of its own in FOLDER (made\n"
        "when missing), named after its address and start time, with the\n"
        "program files' names and SHA-256 and every unit's verdict"},
       [](TCommandLineState& S, const std::string&, const std::string& V) { S.Options.LogFolder = V; }},
      {{"--report", "FILE",
        "append one record per device and unit to FILE when the device's\n"
        "run ends: JSON lines, or CSV when FILE ends in .csv (fields in the\n"
        "manual page)"},
       [](TCommandLineState& S, const std::string&, const std::string& V) { S.Options.ReportFile = V; }},
      {{"--quiet", "", "print only the result", "-q"},
       [](TCommandLineState& S, const std::string&, const std::string&) { S.Options.Quiet = true; }},
      {{"--verbose", "", "print each program record's acknowledgement as well", "-v"},
       [](TCommandLineState& S, const std::string&, const std::string&) { S.Options.Verbose = true; }},
      {{"--json", "",
        "one JSON object per line per event: memo line, status change,\n"
        "progress, result"},
       [](TCommandLineState& S, const std::string&, const std::string&) { S.Options.Json = true; }},
      {{"--check", "",
        "check each FILE given instead of ADDRESS as a run would, without\n"
        "connecting: records, those sent and skipped, addresses, SHA-256"},
       [](TCommandLineState& S, const std::string&, const std::string&) { S.Options.Check = true; }},
      {HelpOption(), [](TCommandLineState& S, const std::string&, const std::string&) { S.Options.Help = true; }},
      {VersionOption(), [](TCommandLineState& S, const std::string&, const std::string&) { S.Options.Version = true; }},
  };
  return options;
}

const TFlashOption& FlashOption(const std::string& Name) {
  const auto& options = FlashOptions();
  return *std::find_if(options.begin(), options.end(), [&](const TFlashOption& O) { return O.Option.Name == Name; });
}

std::vector<TProgramOption> DeclaredOptions() {
  std::vector<TProgramOption> declared;
  for (const TFlashOption& option : FlashOptions()) declared.push_back(option.Option);
  return declared;
}

// "-m, --master FILE", "    --fast"
std::string OptionNames(const TProgramOption& Option) {
  return (Option.ShortName.empty() ? "    " : Option.ShortName + ", ") + Option.Name +
         (Option.ValueName.empty() ? "" : " " + Option.ValueName);
}

}  // namespace

TFlashOptions ParseCommandLine(const std::vector<std::string>& Arguments) {
  TCommandLineState state;
  const TParsedArguments parsed = ParseArguments(DeclaredOptions(), Arguments);
  // The name as given (-m or --master) is what a message about its value quotes.
  for (const TGivenOption& given : parsed.Options) FlashOption(given.Name).Apply(state, given.GivenAs, given.Value);
  TFlashOptions& options = state.Options;
  std::vector<std::string> addresses = parsed.Operands;
  if (options.Help || options.Version) return options;
  if (!options.Check && !addresses.empty() && addresses.front() == CheckCommand) {
    options.Check = true;
    addresses.erase(addresses.begin());
  }
  if (options.Check) {
    if (addresses.empty()) throw EUsageError("check: no program file given");
    options.CheckFiles = std::move(addresses);
    return std::move(options);
  }
  for (std::string& address : addresses) options.Devices.push_back({std::move(address)});
  options.Devices.insert(options.Devices.end(), state.DeviceFileEntries.begin(), state.DeviceFileEntries.end());
  if (options.Devices.empty()) throw EUsageError("no device address given");
  // Two runs on one device would fight over it.
  for (auto device = options.Devices.begin(); device != options.Devices.end(); ++device)
    if (std::any_of(device + 1, options.Devices.end(), [&](const TDeviceEntry& D) { return D.Address == device->Address; }))
      throw EUsageError(Format("device address \"%s\" given twice", device->Address.c_str()));
  if (!state.UnitsGiven) {
    options.Request.Master = !options.Request.MasterFile.empty();
    options.Request.Slave = !options.Request.SlaveFile.empty();
  }
  return std::move(options);
}

std::string HelpText() {
  std::string text =
      "Usage: zelmirt-flash [options] ADDRESS...\n"
      "   or: zelmirt-flash check [--json] FILE...\n"
      "Programs the Master and/or the Slave of the Zelmirt at each ADDRESS (TCP port 4001)\n"
      "from Intel HEX files, as the Zelmirt Programming Utility's window does, without a\n"
      "display. Several devices are programmed at the same time, each line of output then\n"
      "starting with the device's address, and a summary table closes the run; the exit\n"
      "status is that of the first device, in the order given, that failed.\n"
      "Never reads or writes the window's settings file.\n"
      "Before anything connects, each program file is checked whole: a file that is not a\n"
      "regular file, holds a bad record, lacks its end-of-file record or leaves no data\n"
      "record to send is refused (exit status 4) with its name and line. \"check\" does\n"
      "only that, for each FILE.\n\nOptions:\n";
  for (const TFlashOption& option : FlashOptions()) {
    std::string help = option.Option.Help;
    for (size_t newline = help.find('\n'); newline != std::string::npos; newline = help.find('\n', newline + 1))
      help.insert(newline + 1, std::string(33, ' '));
    text += Format("  %-30s %s\n", OptionNames(option.Option).c_str(), help.c_str());
  }
  text += "\nExit status:\n";
  for (TRunOutcome outcome : AllRunOutcomes())
    text += Format("  %3d  %s\n", static_cast<int>(outcome), RunOutcomeMeaning(outcome).c_str());
  return text;
}
