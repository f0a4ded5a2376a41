#include "cli/ConsoleReport.h"

#include <cmath>
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

std::string EtaText(std::chrono::duration<double> Elapsed, int Percent) {
  if (Percent <= 0 || Percent >= 100) return "";
  const long long seconds = std::llround(Elapsed.count() * (100 - Percent) / Percent);
  return Format("ETA %lld:%02lld", seconds / 60, seconds % 60);
}

TConsoleReport::TConsoleReport(TSettings Settings, std::string Address, size_t BarIndex, TConsoleScreen& Screen,
                               TRunLog& Log, std::string DeviceLogFile)
    : FSettings(Settings),
      FAddress(std::move(Address)),
      FPrefix(Settings.Prefixed ? FAddress + ": " : ""),
      FBarIndex(BarIndex),
      FScreen(Screen),
      FLog(Log),
      FDeviceLog(std::move(DeviceLogFile)) {}

TRunEvents TConsoleReport::Events() {
  TRunEvents events;
  events.OnMemoLine = [this](const std::string& Text, bool RecordReply) { MemoLine(Text, RecordReply); };
  events.OnStatus = [this](int Section, const std::string& Text) { Status(Section, Text); };
  events.OnProgress = [this](const std::string& Unit, int Percent) { Progress(Unit, Percent); };
  events.OnUnitBegins = [this](const std::string& Unit) { UnitBegins(Unit); };
  events.OnRetry = [this](const TUnitVerdict& Failed, int Attempt) { Retry(Failed, Attempt); };
  return events;
}

std::string TConsoleReport::JsonEvent(const std::string& Kind, const std::string& Fields) const {
  return JsonEvent(Kind, FUnit, Fields);
}

std::string TConsoleReport::JsonEvent(const std::string& Kind, const std::string& Unit, const std::string& Fields) const {
  return Format("{\"event\":\"%s\",\"address\":%s,\"unit\":%s,%s}", Kind.c_str(), JsonString(FAddress).c_str(),
                Unit.empty() ? "null" : JsonString(Unit).c_str(), Fields.c_str());
}

void TConsoleReport::Log(const std::string& Text) {
  // Without a log a fast dump's reply costs no line built for nothing.
  if (FLog.Writing()) FLog.AppendDuringRun(FPrefix + Text, FScreen);
  if (FDeviceLog.Writing()) FDeviceLog.AppendDuringRun(Text, FScreen);
}

void TConsoleReport::Line(const std::string& Text) { FScreen.Line(FPrefix + Text); }

void TConsoleReport::MemoLine(const std::string& Text, bool RecordReply) {
  Log(Text);
  if (FSettings.Quiet || (RecordReply && !FSettings.Verbose)) return;
  if (FSettings.Json)
    FScreen.Line(JsonEvent("memo", "\"text\":" + JsonString(Text)));
  else
    Line(Text);
}

void TConsoleReport::UnitBegins(const std::string& Unit) {
  FUnit = Unit;
  FUnitStarted = std::chrono::steady_clock::now();
}

void TConsoleReport::Retry(const TUnitVerdict& Failed, int Attempt) {
  const std::string line = Format("%s: attempt %d, in recovery mode, after: %s", UnitName(Failed.Unit), Attempt,
                                  Failed.Message.c_str());
  Log(line);
  if (FSettings.Quiet) return;
  if (FSettings.Json)
    FScreen.Line(JsonEvent("retry", Format("\"attempt\":%d,\"after\":%s", Attempt, JsonString(Failed.Message).c_str())));
  else
    Line(line);
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
    FScreen.Line(JsonEvent("progress", Format("\"percent\":%d", Percent)));
  } else if (FScreen.Terminal()) {
    const int filled = Percent * BarWidth / 100;
    const std::string label = FSettings.Prefixed ? Format("%-*s ", AddressWidth, FAddress.c_str()) : "";
    const std::string eta = EtaText(std::chrono::steady_clock::now() - FUnitStarted, Percent);
    FScreen.SetBar(FBarIndex, Format("%s%-6s [%s%s] %3d%% %s", label.c_str(), Unit.c_str(),
                                     std::string(filled, '#').c_str(), std::string(BarWidth - filled, '.').c_str(),
                                     Percent, eta.c_str()));
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
    FScreen.Line(JsonEvent("file", Unit, Format("\"file\":%s,\"size\":%llu,\"recordsToSend\":%zu,\"sha256\":\"%s\"",
                                          JsonString(File.FileName).c_str(),
                                          static_cast<unsigned long long>(File.Size), File.RecordsToSend.size(),
                                          File.Sha256.c_str())));
  else
    Line(line);
}

void TConsoleReport::Result(const TRunResult& Result, const std::vector<std::string>& Verdicts,
                            const std::vector<std::string>& Advice) {
  const int code = static_cast<int>(Result.Outcome);
  Log(Format("result %d: %s", code, Result.Message.c_str()));
  for (const std::string& verdict : Verdicts) Log(Format("verdict %s", verdict.c_str()));
  for (const std::string& advice : Advice) Log(advice);
  FDeviceLog.CloseDuringRun(FScreen);
  if (FSettings.Json) {
    std::string units, advice;
    for (const std::string& verdict : Verdicts) units.append(units.empty() ? "" : ",").append(verdict);
    for (const std::string& line : Advice) advice.append(advice.empty() ? "" : ",").append(JsonString(line));
    FScreen.Line(JsonEvent("result", Format("\"code\":%d,\"outcome\":%s,\"message\":%s,\"units\":[%s],\"advice\":[%s]",
                                            code, JsonString(RunOutcomeMeaning(Result.Outcome)).c_str(),
                                            JsonString(Result.Message).c_str(), units.c_str(), advice.c_str())));
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
  if (!FSettings.Prefixed)
    for (const std::string& advice : Advice) FScreen.ErrorLine(Format("zelmirt-flash: %s", advice.c_str()));
}
