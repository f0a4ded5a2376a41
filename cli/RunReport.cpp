#include "cli/RunReport.h"

#include <chrono>

#include "base/Format.h"
#include "base/ProgramOptions.h"
#include "cli/ConsoleReport.h"
#include "platform/HostName.h"
#include "platform/LogFile.h"

namespace {
// The fields of a record, in the order both forms give them.
struct TField {
  const char* Name;
  std::string Text;
  bool Quoted;
};

std::vector<TField> Fields(const TRunReport::TRecord& Record) {
  const TUnitVerdict& unit = Record.Verdict;
  const double seconds = std::chrono::duration<double>(unit.Ended - unit.Started).count();
  const bool failed = unit.Outcome != TRunOutcome::Programmed;
  return {
      {"tool", "zelmirt-flash " + ProgramVersion(), true},
      {"station", HostName(), true},
      {"address", Record.Address, true},
      {"unit", Record.Unit, true},
      {"file", unit.FileName, true},
      {"file_size", Format("%llu", static_cast<unsigned long long>(unit.FileSize)), false},
      {"sha256", unit.FileSha256, true},
      {"records_to_send", Format("%d", unit.RecordsToSend), false},
      {"records_acknowledged", Format("%d", unit.RecordsAcknowledged), false},
      {"bootloader_version", unit.Version, true},
      {"start", Iso8601Utc(unit.Started), true},
      {"end", Iso8601Utc(unit.Ended), true},
      {"seconds", Format("%.3f", seconds), false},
      {"attempt", Format("%d", unit.Attempt), false},
      {"outcome", RunOutcomeMeaning(unit.Outcome), true},
      {"unit_code", Format("%d", static_cast<int>(unit.Outcome)), false},
      {"exit_code", Format("%d", Record.ExitCode), false},
      {"record_index", failed && unit.RecordIndex >= 0 ? Format("%d", unit.RecordIndex) : std::string(), false},
      {"reply", failed ? unit.Reply : std::string(), true},
  };
}

std::string CsvText(const std::string& Text) {
  std::string quoted = "\"";
  for (const char c : Text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

bool EndsWithCsv(const std::string& Name) { return Name.size() >= 4 && Name.compare(Name.size() - 4, 4, ".csv") == 0; }
}  // namespace

std::string Iso8601Utc(std::chrono::system_clock::time_point Time) {
  using namespace std::chrono;
  const auto milliseconds = floor<std::chrono::milliseconds>(Time);
  const auto days = floor<std::chrono::days>(milliseconds);
  const year_month_day date(days);
  const hh_mm_ss clock(milliseconds - days);
  return Format("%04d-%02u-%02uT%02lld:%02lld:%02lld.%03lldZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<long long>(clock.hours().count()), static_cast<long long>(clock.minutes().count()),
                static_cast<long long>(clock.seconds().count()), static_cast<long long>(clock.subseconds().count()));
}

TRunReport::TRunReport(std::string FileName) : FFileName(std::move(FileName)), FCsv(EndsWithCsv(FFileName)) {}

std::string TRunReport::JsonLine(const TRecord& Record) {
  std::string line = "{";
  for (const TField& field : Fields(Record)) {
    if (line.size() > 1) line += ",";
    const bool empty = field.Text.empty();
    line += JsonString(field.Name) + ":" + (empty && !field.Quoted ? "null" : field.Quoted ? JsonString(field.Text) : field.Text);
  }
  return line + "}";
}

std::string TRunReport::CsvHeader() {
  std::string line;
  for (const TField& field : Fields({})) {
    if (!line.empty()) line += ',';
    line += field.Name;
  }
  return line;
}

std::string TRunReport::CsvLine(const TRecord& Record) {
  std::string line;
  bool first = true;
  for (const TField& field : Fields(Record)) {
    if (!first) line += ",";
    first = false;
    line += field.Quoted ? CsvText(field.Text) : field.Text;
  }
  return line;
}

void TRunReport::CheckWritable() const {
  if (!FFileName.empty()) AppendToFile(FFileName, "", "");
}

std::vector<TRunReport::TRecord> TRunReport::Records(const TProgrammingRun& Run) {
  const std::string& Address = Run.Request().Address;
  const TRunRequest& Request = Run.Request();
  const TRunResult& Result = Run.Result();
  std::vector<TRecord> records;
  if (Result.Verdict)
    for (const TUnitVerdict& unit : Result.Verdict->Units)
      records.push_back({Address, UnitName(unit.Unit), unit, static_cast<int>(Result.Outcome)});
  // A run that never reached a unit (no connection, stopped while connecting) still leaves
  // a record of each unit it was to program.
  if (records.empty()) {
    for (const uint8_t unit : {MasterTarget, SlaveTarget}) {
      if (unit == MasterTarget ? !Request.Master : !Request.Slave) continue;
      TUnitVerdict verdict(unit, Result.Outcome, Result.Message);
      verdict.FileName = unit == MasterTarget ? Request.MasterFile : Request.SlaveFile;
      for (const TSharedFileCheck& file : Run.CheckedFiles()) {
        if (file->FileName != verdict.FileName) continue;
        verdict.FileSize = file->Size;
        verdict.FileSha256 = file->Sha256;
        verdict.RecordsToSend = static_cast<int32_t>(file->RecordsToSend.size());
      }
      verdict.Started = verdict.Ended = std::chrono::system_clock::now();
      records.push_back({Address, UnitName(unit), verdict, static_cast<int>(Result.Outcome)});
    }
  }
  return records;
}

void TRunReport::Append(const TProgrammingRun& Run) const {
  if (FFileName.empty()) return;
  std::string text;
  for (const TRecord& record : Records(Run)) text += (FCsv ? CsvLine(record) : JsonLine(record)) + "\n";
  // All of a device's records in one append, so that a crash leaves none of them half.
  AppendToFile(FFileName, FCsv ? CsvHeader() + "\n" : std::string(), text);
}
