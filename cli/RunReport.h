#pragma once

#include <string>
#include <vector>

#include "app/ProgrammingRun.h"

// The --report file: one record per device and unit attempt, appended as a whole line when
// the device's run ends (a JSON object a line, or CSV with a header when the name ends in
// ".csv"), for a quality engineer to file. None when the name is empty.
class TRunReport {
public:
  explicit TRunReport(std::string FileName);

  // Raises EFileError when the records cannot be appended.
  void Append(const TProgrammingRun& Run) const;
  // Raises EFileError when the file cannot be appended to; for a check before any run.
  void CheckWritable() const;

  // The record of one unit's attempt, in either form.
  struct TRecord;
  // The records of a run that ended: one per unit and attempt.
  static std::vector<TRecord> Records(const TProgrammingRun& Run);
  static std::string JsonLine(const TRecord& Record);
  static std::string CsvLine(const TRecord& Record);
  static std::string CsvHeader();

private:
  std::string FFileName;
  bool FCsv;
};

struct TRunReport::TRecord {
  std::string Address;
  std::string Unit;
  TUnitVerdict Verdict;
  // The run's exit code, for every record of it.
  int ExitCode = 0;
};

// A UTC time as ISO 8601 with milliseconds, e.g. "2026-12-09T11:49:32.120Z".
std::string Iso8601Utc(std::chrono::system_clock::time_point Time);
