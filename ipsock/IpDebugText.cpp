#include "ipsock/IpDebugText.h"

#include "base/Format.h"
#include "ipsock/IpUtils.h"
#include "ipsock/IpWinSockAccess.h"
#include "platform/SystemInfo.h"

namespace {
constexpr const char* TelnetOptionNames[] = {
    "transmit binary", "echo", "reconnect", "suppress go-ahead", "approx msg size", "status", "timing mark",
    "remote trans & echo", "output line width", "output page size", "output C/R disp", "output horz tabs",
    "output horz tab disp", "output FF disp", "output vert tabs", "output vert tab disp", "output linefeed disp",
    "extended ASCII", "logout", "byte macro", "data entry terminal subcommands", "SUPDUP", "SUPDUP output",
    "send location", "terminal type", "end of record", "TACACS user ID", "output marking", "terminal loc num",
    "Telnet3270 Regime", "X.3-Pad operations", "negotiate about window size", "terminal speed",
    "toggle flow control", "line mode", "X display location", "environment variables", "authentication",
    "encryption option", "new environment variables", "TN3270E", "XAUTH", "character set",
    "telnet remote serial port (RSP)", "com port control option", "telnet suppress local echo",
    "telnet start TLS", "KERMIT", "SEND-URL", "FORWARD_X",
};
static_assert(std::size(TelnetOptionNames) == 50);

std::string TelnetCommandWord(uint32_t Command) {
  switch (Command) {
    case 251:
      return "WILL";
    case 252:
      return "WON'T";
    case 253:
      return "DO";
    case 254:
      return "DON'T";
    default:
      return Format("[%u]", Command);
  }
}

std::string TelnetDirectionWord(uint32_t Direction) {
  switch (Direction) {
    case 1:
      return "received.";
    case 2:
      return "sent.";
    default:
      return Format("[%8.8x]", Direction);
  }
}

// The start-up texts of the socket library, or blanks when it could not be started.
TWSAData StartupData() {
  try {
    return WinSockAccess().StartupData();
  } catch (const std::exception&) {
    return TWSAData{};
  }
}

const char* UnitWord(uint32_t Length) { return Length == 1 ? "byte" : "bytes"; }
}  // namespace

std::string DebugLogHeader() {
  const TOsVersion os = GetOsVersion();
  const TWSAData data = StartupData();
  // Platform numbers 0 to 2 name Windows variants; this system is none of them.
  const std::string lines[] = {
      "IP Socket Engine " + EngineVersion() + " compiled with Unknown Compiler",
      Format("Operating System : Unknown%u.%u %s", os.Major, os.Minor, os.Release.c_str()),
      std::string("Description : ") + data.szDescription,
      Format("Negotiated Version : $%4.4x", data.wVersion),
      std::string("System Status : ") + data.szSystemStatus,
      std::string(77, '='),
  };
  std::string header;
  for (const std::string& line : lines) header += line + "\r\n";
  return header + "\r\n";
}

std::string DebugTimePrefix(uint32_t ElapsedMilliseconds) {
  // Precision 7 pads with zeros exactly as the zero flag would.
  std::string prefix = Format("%.7u : ", ElapsedMilliseconds);
  prefix.insert(4, 1, '.');
  return prefix;
}

std::string TelnetOptionName(uint32_t Option) {
  return Option < std::size(TelnetOptionNames) ? TelnetOptionNames[Option] : Format("[%u]", Option);
}

std::string TelnetEntryText(uint32_t Socket, uint32_t Direction, uint32_t CommandAndOption) {
  return Format("[%u] Telnet %s %s %s", Socket, TelnetCommandWord((CommandAndOption >> 8) & 0xFF).c_str(),
                TelnetOptionName(CommandAndOption & 0xFF).c_str(), TelnetDirectionWord(Direction).c_str());
}

std::string DebugEntryText(const TIpDebugEntry& Entry) {
  if (Entry.Renderer != nullptr) {
    std::string text;
    Entry.Renderer(Entry.Socket, Entry.Type, Entry.HasData() ? Entry.Data() : nullptr,
                   Entry.HasData() ? Entry.Value2 : 0, text);
    return text;
  }
  switch (Entry.Type) {
    case IpLogEnabledEntry:
      return "**** Logging Enabled\r\n";
    case IpLogDisabledEntry:
      return "**** Logging Disabled\r\n";
    case IpTelnetEntry:
      return TelnetEntryText(Entry.Socket, static_cast<uint32_t>(Entry.Value1), Entry.Value2);
    case IpTextEntry:
      return std::string(reinterpret_cast<const char*>(Entry.Data()), Entry.Value2);
    default:
      return Format("!!!! Unknown log entry : [%u][%8.8x][%8.8x][%8.8x]\r\n", Entry.Socket, Entry.Type,
                    static_cast<uint32_t>(Entry.Value1), Entry.Value2);
  }
}

std::string HexDump(const uint8_t* Data, uint32_t Length) {
  std::string dump;
  for (uint32_t offset = 0; offset < Length; offset += 16) {
    std::string hex = Format("  %6.6X: ", offset);
    std::string chars;
    for (uint32_t i = 0; i < 16; ++i) {
      if (offset + i < Length) {
        const uint8_t byte = Data[offset + i];
        hex += Format("%2.2X ", byte);
        chars += byte >= 32 && byte <= 126 ? static_cast<char>(byte) : '.';
      } else {
        hex += "   ";
        chars += ' ';
      }
      if (i == 7) hex += ' ';
    }
    dump += hex + ": " + chars + "\r\n";
  }
  return dump;
}

void FormatDataEntry(TSocket Socket, uint32_t Type, const uint8_t* Data, uint32_t Length, std::string& Text) {
  const auto socket = static_cast<unsigned>(Socket);
  switch (Type) {
    case IpReadDataEntry:
      Text = Format("Read - %u %s read from socket %u\r\n", Length, UnitWord(Length), socket);
      break;
    case IpWriteDataEntry:
      Text = Format("Write - %u %s written to socket %u\r\n", Length, UnitWord(Length), socket);
      break;
    case IpRecvDataEntry:
      Text = Format("[%u] Recv API: %u %s read\r\n", socket, Length, UnitWord(Length));
      break;
    case IpSendDataEntry:
      Text = Format("[%u] Send API: %u %s written\r\n", socket, Length, UnitWord(Length));
      break;
    default:
      return;
  }
  Text += HexDump(Data, Length);
}
