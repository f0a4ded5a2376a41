#include "cli/ConsoleReport.h"

#include <iterator>

#include "base/Format.h"
#include "cli/ConsoleScreen.h"
#include "cli/RunLog.h"

namespace {
constexpr int BarWidth = 40;
constexpr int AddressWidth = 15;

// The status line's sections: the connection, the program size, the run's status.
const char* SectionName(int Section) {
  static constexpr const char* Names[] = {"connection", "size", "status"};
  return Section >= 0 && Section < static_cast<int>(std::size(Names)) ? Names[Section] : "section";
}
}  // namespace

std::string JsonString(const std::string& Text) {
  std::string json = "\"";
  for (const char c : Text) {
    switch (c) {
      case '"': json += "\\\""; break;
      case '\\': json += "\\\\"; break;
      case '\n': json += "\\n"; break;
      case '\r': json += "\\r"; break;
      case '\t': json += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20)
          json += Format("\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(c)));
        else
          json += c;
    }
  }
  return json + "\"";
}

TConsoleReport::TConsoleReport(TSettings Settings, std::string Address, size_t BarIndex, TConsoleScreen& Screen,
                               TRunLog& Log)
    : FSettings(Settings),
      FAddress(std::move(Address)),
      FPrefix(Settings.Prefixed ? FAddress + ": " : ""),
      FBarIndex(BarIndex),
      FScreen(Screen),
      FLog(Log) {}

TRunEvents TConsoleReport::Events() {
  TRunEvents events;
  events.OnMemoLine = [this](const std::string& Text, bool) { MemoLine(Text); };
  events.OnStatus = [this](int Section, const std::string& Text) { Status(Section, Text); };
  events.OnProgress = [this](const std::string& Unit, int Percent) { Progress(Unit, Percent); };
  return events;
}

std::string TConsoleReport::JsonEvent(const std::string& Kind, const std::string& Fields) const {
  return Format("{\"event\":\"%s\",\"address\":%s,%s}", Kind.c_str(), JsonString(FAddress).c_str(), Fields.c_str());
}

void TConsoleReport::Log(const std::string& Text) { FLog.AppendDuringRun(FPrefix + Text, FScreen); }

void TConsoleReport::Line(const std::string& Text) { FScreen.Line(FPrefix + Text); }

void TConsoleReport::MemoLine(const std::string& Text) {
  Log(Text);
  if (FSettings.Quiet) return;
  if (FSettings.Json)
    FScreen.Line(JsonEvent("memo", "\"text\":" + JsonString(Text)));
  else
    Line(Text);
}

void TConsoleReport::Status(int Section, const std::string& Text) {
  const std::string line = Format("[%s] %s", SectionName(Section), Text.c_str());
  Log(line);
  if (FSettings.Quiet) return;
  if (FSettings.Json)
    FScreen.Line(JsonEvent("status", Format("\"section\":%d,\"text\":%s", Section, JsonString(Text).c_str())));
  else
    Line(line);
}

void TConsoleReport::Progress(const std::string& Unit, int Percent) {
  if (FSettings.Quiet) return;
  if (FSettings.Json) {
    FScreen.Line(JsonEvent("progress", Format("\"unit\":%s,\"percent\":%d", JsonString(Unit).c_str(), Percent)));
  } else if (FScreen.Terminal()) {
    const int filled = Percent * BarWidth / 100;
    const std::string label = FSettings.Prefixed ? Format("%-*s ", AddressWidth, FAddress.c_str()) : "";
    FScreen.SetBar(FBarIndex, Format("%s%-6s [%s%s] %3d%%", label.c_str(), Unit.c_str(),
                                     std::string(filled, '#').c_str(), std::string(BarWidth - filled, '.').c_str(),
                                     Percent));
  } else {
    Line(Format("%s %d%%", Unit.c_str(), Percent));
  }
}

void TConsoleReport::ProgramFile(const std::string& Unit, const TProgramFileCheck& File) {
  const std::string line = Format("%s file: %s (%zu records to send, SHA-256 %s)", Unit.c_str(), File.FileName.c_str(),
                                  File.RecordsToSend.size(), File.Sha256.c_str());
  Log(line);
  if (FSettings.Quiet) return;
  if (FSettings.Json)
    FScreen.Line(JsonEvent("file", Format("\"unit\":%s,\"file\":%s,\"size\":%llu,\"recordsToSend\":%zu,\"sha256\":\"%s\"",
                                          JsonString(Unit).c_str(), JsonString(File.FileName).c_str(),
                                          static_cast<unsigned long long>(File.Size), File.RecordsToSend.size(),
                                          File.Sha256.c_str())));
  else
    Line(line);
}

void TConsoleReport::Result(const TRunResult& Result) {
  const int code = static_cast<int>(Result.Outcome);
  Log(Format("result %d: %s", code, Result.Message.c_str()));
  if (FSettings.Json) {
    FScreen.Line(JsonEvent("result", Format("\"code\":%d,\"outcome\":%s,\"message\":%s", code,
                                            JsonString(RunOutcomeMeaning(Result.Outcome)).c_str(),
                                            JsonString(Result.Message).c_str())));
    return;
  }
  // Alone, the run's result is the command's; among several, the device's line says which.
  const std::string text = FSettings.Prefixed ? FPrefix + (code == 0 ? "finished: " : Format("failed (%d): ", code)) +
                                                    Result.Message
                                              : "zelmirt-flash: " + Result.Message;
  if (code == 0)
    FScreen.Line(text);
  else
    FScreen.ErrorLine(text);
}
