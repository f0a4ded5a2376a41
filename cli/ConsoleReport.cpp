#include "cli/ConsoleReport.h"

#include <iterator>

#include "base/Format.h"
#include "platform/LocalTime.h"
#include "platform/LogFile.h"

namespace {
constexpr int BarWidth = 40;
constexpr const char* ClearLine = "\r\033[K";

// The status line's sections: the connection, the program size, the run's status.
const char* SectionName(int Section) {
  static constexpr const char* Names[] = {"connection", "size", "status"};
  return Section >= 0 && Section < static_cast<int>(std::size(Names)) ? Names[Section] : "section";
}

std::string TimeStamp() {
  const TLocalTime now = LocalTimeNow();
  return Format("%04d-%02d-%02d %02d:%02d:%02d.%03d", now.Year, now.Month, now.Day, now.Hour, now.Minute,
                now.Second, now.Millisecond);
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

TConsoleReport::TConsoleReport(TSettings Settings, FILE* Output, FILE* Errors)
    : FSettings(std::move(Settings)), FOutput(Output), FErrors(Errors) {}

TRunEvents TConsoleReport::Events() {
  TRunEvents events;
  events.OnMemoLine = [this](const std::string& Text) { MemoLine(Text); };
  events.OnStatus = [this](int Section, const std::string& Text) { Status(Section, Text); };
  events.OnProgress = [this](const std::string& Unit, int Percent) { Progress(Unit, Percent); };
  return events;
}

void TConsoleReport::Log(const std::string& Text) {
  if (!FSettings.LogFile.empty()) AppendToFile(FSettings.LogFile, "", TimeStamp() + " " + Text + "\n");
}

void TConsoleReport::LogDuringRun(const std::string& Text) {
  // The run's events come from inside the window's logic, which must not see the failure:
  // it is reported once and the log ends there.
  try {
    Log(Text);
  } catch (const std::exception& E) {
    FSettings.LogFile.clear();
    ClearBar();
    std::fprintf(FErrors, "zelmirt-flash: %s; the log ends here\n", E.what());
    std::fflush(FErrors);
  }
}

void TConsoleReport::MemoLine(const std::string& Text) {
  LogDuringRun(Text);
  if (FSettings.Quiet) return;
  Line(FSettings.Json ? "{\"event\":\"memo\",\"text\":" + JsonString(Text) + "}" : Text);
}

void TConsoleReport::Status(int Section, const std::string& Text) {
  LogDuringRun(Format("[%s] %s", SectionName(Section), Text.c_str()));
  if (FSettings.Quiet) return;
  Line(FSettings.Json ? Format("{\"event\":\"status\",\"section\":%d,\"text\":%s}", Section, JsonString(Text).c_str())
                      : Format("[%s] %s", SectionName(Section), Text.c_str()));
}

void TConsoleReport::Progress(const std::string& Unit, int Percent) {
  if (FSettings.Quiet) return;
  if (FSettings.Json) {
    Line(Format("{\"event\":\"progress\",\"unit\":%s,\"percent\":%d}", JsonString(Unit).c_str(), Percent));
  } else if (FSettings.Terminal) {
    FBarUnit = Unit;
    FBarPercent = Percent;
    DrawBar();
  } else {
    Line(Format("%s %d%%", Unit.c_str(), Percent));
  }
}

void TConsoleReport::Result(const TRunResult& Result) {
  const int code = static_cast<int>(Result.Outcome);
  LogDuringRun(Format("result %d: %s", code, Result.Message.c_str()));
  // The bar's last state stays on the screen, above the result.
  if (FBarShown) std::fputs("\n", FOutput);
  FBarShown = false;
  if (FSettings.Json) {
    std::fprintf(FOutput, "{\"event\":\"result\",\"code\":%d,\"outcome\":%s,\"message\":%s}\n", code,
                 JsonString(RunOutcomeMeaning(Result.Outcome)).c_str(), JsonString(Result.Message).c_str());
  } else {
    std::fprintf(code == 0 ? FOutput : FErrors, "zelmirt-flash: %s\n", Result.Message.c_str());
  }
  std::fflush(FOutput);
  std::fflush(FErrors);
}

void TConsoleReport::Line(const std::string& Text) {
  // The bar stays the last line: it is taken away for the line and drawn again below it.
  const bool barShown = FBarShown;
  ClearBar();
  std::fprintf(FOutput, "%s\n", Text.c_str());
  if (barShown) DrawBar();
  std::fflush(FOutput);
}

void TConsoleReport::ClearBar() {
  if (!FBarShown) return;
  std::fputs(ClearLine, FOutput);
  FBarShown = false;
}

void TConsoleReport::DrawBar() {
  const int filled = FBarPercent * BarWidth / 100;
  std::fprintf(FOutput, "%s%-6s [%s%s] %3d%%", ClearLine, FBarUnit.c_str(), std::string(filled, '#').c_str(),
               std::string(BarWidth - filled, '.').c_str(), FBarPercent);
  std::fflush(FOutput);
  FBarShown = true;
}
