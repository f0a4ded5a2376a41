#include "tools/sim/SimOptions.h"

#include <arpa/inet.h>

#include <algorithm>
#include <charconv>
#include <functional>
#include <map>

#include "base/Format.h"
#include "base/ProgramOptions.h"

namespace {
constexpr const char* DefaultAddress = "127.0.0.1";
constexpr const char* AddressPlaceholder = "{addr}";
constexpr unsigned MaxMilliseconds = 60'000;

[[noreturn]] void Bad(const std::string& Option, const std::string& Value, const char* What) {
  throw EUsageError(Format("%s \"%s\": %s", Option.c_str(), Value.c_str(), What));
}

unsigned Number(const std::string& Option, const std::string& Value, unsigned Minimum, unsigned Maximum) {
  unsigned number = 0;
  const auto [end, error] = std::from_chars(Value.data(), Value.data() + Value.size(), number);
  if (Value.empty() || error != std::errc() || end != Value.data() + Value.size())
    Bad(Option, Value, "not a whole number");
  if (number < Minimum || number > Maximum)
    Bad(Option, Value, Format("not from %u to %u", Minimum, Maximum).c_str());
  return number;
}

TSimUnits Units(const std::string& Option, const std::string& Value) {
  if (Value == "master") return {true, false};
  if (Value == "slave") return {false, true};
  if (Value == "both") return {true, true};
  Bad(Option, Value, "not one of master, slave, both");
}

void CheckLoopback(const std::string& Value) {
  in_addr address{};
  if (inet_pton(AF_INET, Value.c_str(), &address) != 1) Bad("--listen", Value, "not an IPv4 address");
  if ((ntohl(address.s_addr) >> 24) != 127) Bad("--listen", Value, "not a loopback address (127.0.0.0/8)");
}

// \r, \n, \t, \\ and \xHH stand for the bytes they name.
std::string Unescaped(const std::string& Option, const std::string& Value) {
  std::string bytes;
  for (size_t i = 0; i < Value.size(); ++i) {
    if (Value[i] != '\\') {
      bytes += Value[i];
      continue;
    }
    const char kind = i + 1 < Value.size() ? Value[++i] : '\0';
    if (kind == 'r') bytes += '\r';
    else if (kind == 'n') bytes += '\n';
    else if (kind == 't') bytes += '\t';
    else if (kind == '\\') bytes += '\\';
    else if (kind == 'x' && i + 2 < Value.size()) {
      unsigned byte = 0;
      const auto [end, error] = std::from_chars(Value.data() + i + 1, Value.data() + i + 3, byte, 16);
      if (error != std::errc() || end != Value.data() + i + 3) Bad(Option, Value, "\\x needs two hexadecimal digits");
      bytes += static_cast<char>(byte);
      i += 2;
    } else {
      Bad(Option, Value, "unknown escape (use \\r, \\n, \\t, \\\\ or \\xHH)");
    }
  }
  return bytes;
}

using TValueSetter = std::function<void(TSimOptions&, const std::string& Option, const std::string& Value)>;
using TFlagSetter = std::function<void(TSimOptions&)>;

const std::map<std::string, TValueSetter>& ValueOptions() {
  static const std::map<std::string, TValueSetter> options{
      {"--listen", [](TSimOptions& o, const std::string& n, const std::string& v) {
         CheckLoopback(v);
         if (std::find(o.Listen.begin(), o.Listen.end(), v) != o.Listen.end()) Bad(n, v, "given twice");
         o.Listen.push_back(v);
       }},
      {"--flashed", [](TSimOptions& o, const std::string& n, const std::string& v) {
         if (v.empty()) Bad(n, v, "no file name");
         o.FlashedPattern = v;
       }},
      {"--received", [](TSimOptions& o, const std::string& n, const std::string& v) {
         if (v.empty()) Bad(n, v, "no file name");
         o.ReceivedPattern = v;
       }},
      {"--fault-unit", [](TSimOptions& o, const std::string& n, const std::string& v) { o.Faults.FaultUnits = Units(n, v); }},
      {"--in-bootloader", [](TSimOptions& o, const std::string& n, const std::string& v) { o.Faults.StartInBootloader = Units(n, v); }},
      {"--master-version", [](TSimOptions& o, const std::string& n, const std::string& v) { o.Faults.MasterVersion = Unescaped(n, v); }},
      {"--slave-version", [](TSimOptions& o, const std::string& n, const std::string& v) { o.Faults.SlaveVersion = Unescaped(n, v); }},
      {"--refuse-record", [](TSimOptions& o, const std::string& n, const std::string& v) { o.Faults.RefuseRecord = Number(n, v, 1, 1'000'000); }},
      {"--silent-after", [](TSimOptions& o, const std::string& n, const std::string& v) { o.Faults.SilentAfter = Number(n, v, 0, 1'000'000); }},
      {"--close-after", [](TSimOptions& o, const std::string& n, const std::string& v) { o.Faults.CloseAfter = Number(n, v, 0, 1'000'000); }},
      {"--delay", [](TSimOptions& o, const std::string& n, const std::string& v) { o.Delay = std::chrono::milliseconds(Number(n, v, 0, MaxMilliseconds)); }},
      {"--dribble", [](TSimOptions& o, const std::string& n, const std::string& v) { o.Dribble = std::chrono::milliseconds(Number(n, v, 0, MaxMilliseconds)); }},
      {"--noise", [](TSimOptions& o, const std::string& n, const std::string& v) { o.Faults.Noise = Unescaped(n, v); }},
  };
  return options;
}

const std::map<std::string, TFlagSetter>& FlagOptions() {
  static const std::map<std::string, TFlagSetter> options{
      {"--no-ack", [](TSimOptions& o) { o.Faults.NoAck = true; }},
      {"--no-echo", [](TSimOptions& o) { o.Faults.NoEcho = true; }},
      {"--no-restart-ack", [](TSimOptions& o) { o.Faults.NoRestartAck = true; }},
      {"--refuse-connections", [](TSimOptions& o) { o.RefuseConnections = true; }},
      {HelpOption().Name, [](TSimOptions& o) { o.Help = true; }},
      {VersionOption().Name, [](TSimOptions& o) { o.Version = true; }},
  };
  return options;
}

// The parser's view of the two tables; only --listen may be given more than once.
const std::vector<TProgramOption>& DeclaredOptions() {
  static const std::vector<TProgramOption> declared = [] {
    std::vector<TProgramOption> options{HelpOption(), VersionOption()};
    for (const auto& [name, setter] : ValueOptions()) options.push_back({name, "VALUE", "", "", name == "--listen"});
    for (const auto& [name, setter] : FlagOptions())
      if (name != HelpOption().Name && name != VersionOption().Name) options.push_back({name, "", ""});
    return options;
  }();
  return declared;
}
}  // namespace

TSimOptions ParseSimOptions(const std::vector<std::string>& Args) {
  TSimOptions options;
  const TParsedArguments parsed = ParseArguments(DeclaredOptions(), Args);
  if (!parsed.Operands.empty())
    throw EUsageError(Format("unexpected argument \"%s\"", VisibleText(parsed.Operands.front()).c_str()));
  for (const TGivenOption& given : parsed.Options) {
    if (const auto flag = FlagOptions().find(given.Name); flag != FlagOptions().end())
      flag->second(options);
    else
      ValueOptions().at(given.Name)(options, given.Name, given.Value);
  }
  if (options.Listen.empty()) options.Listen.push_back(DefaultAddress);
  for (const auto& [option, pattern] : {std::pair{"--flashed", &options.FlashedPattern},
                                        std::pair{"--received", &options.ReceivedPattern}})
    if (options.Listen.size() > 1 && !pattern->empty() && pattern->find(AddressPlaceholder) == std::string::npos)
      Bad(option, *pattern, "several devices need {addr} in the file name");
  return options;
}

std::string DeviceFileName(const std::string& Pattern, const std::string& Address) {
  std::string name = Pattern;
  const std::string placeholder = AddressPlaceholder;
  for (size_t at = name.find(placeholder); at != std::string::npos; at = name.find(placeholder, at + Address.size()))
    name.replace(at, placeholder.size(), Address);
  return name;
}

std::string SimHelpText() {
  return R"(Usage: zelmirt-sim [options]

A simulated Zelmirt on TCP port 4001 of a loopback address: the Master firmware and
bootloader, and the Slave bootloader behind the Master. It answers the programming
dialogue of the Zelmirt Programming Utility and prints one line per connection and run
event. SIGINT or SIGTERM ends it.

Options (a value follows its option, or is joined to it with "="):
  --listen ADDR          serve a device on ADDR:4001; ADDR must lie in 127.0.0.0/8
                         (default 127.0.0.1). Repeat it to serve several devices at
                         once, each with its own state and connection.
  --flashed FILE         keep FILE up to date with the program records each unit accepted
                         since its last erase, in order: lines "MASTER <record>", then
                         lines "SLAVE <record>". FILE is replaced whole at each change.
                         With several devices, FILE must contain {addr}, which stands
                         for the device's address.
  --received FILE        write every byte the device receives to FILE, as it arrives,
                         over all connections ({addr} as for --flashed).
  --in-bootloader UNIT   UNIT (master, slave or both) starts in its bootloader, as after
                         an interrupted run: its firmware no longer answers, and only a
                         recovery run ("BL Recover") reaches it.
  -h, --help             show this text and exit.
  --version              show the version and exit.

Faults of the dialogue (they apply to the units chosen by --fault-unit):
  --fault-unit UNIT      master, slave or both (default both).
  --no-ack               the firmware does not acknowledge "ENB MASTER BL",
                         "ENB SLAVE BL" or "SYNC SLAVE BL".
  --no-echo              the Master bootloader does not echo the sync byte "U".
  --refuse-record N      program record N (counted from 1 after each erase) is answered
                         without the final ".", and not flashed.
  --silent-after N       after the reply to program record N the device answers nothing
                         more on that connection (0: after the reply to the erase).
  --close-after N        the device closes the connection after the reply to program
                         record N (0: after the reply to the erase).
  --no-restart-ack       the unit restarts without answering the restart record.

Other faults (whatever --fault-unit says):
  --master-version TEXT  the Master bootloader's version (default "M12").
  --slave-version TEXT   the Slave bootloader's version (default "S12").
  --delay MS             wait MS milliseconds before each reply.
  --dribble MS           send replies one byte at a time, MS milliseconds apart.
  --noise TEXT           send TEXT before every reply.
  --refuse-connections   turn every connection attempt away, as a closed port does.
TEXT may hold \r, \n, \t, \\ and \xHH for the bytes they name.

The device answers every record with its text and ".", a bad one (checksum, length,
characters) with its text alone; the version record with its text, the version and ".".
It serves one connection at a time and closes any other at once. A unit stays in its
bootloader across connections until it is restarted.

Exit status: 0 ended by SIGINT or SIGTERM; 1 the --flashed or --received file could not
be written while running; 2 a bad option, an address that cannot be listened on, or a
--flashed or --received file that cannot be written at start.
)";
}
