#include "cli/FlashSummary.h"

#include <algorithm>

#include "base/Format.h"
#include "cli/ConsoleReport.h"

namespace {
bool Failed(const TDeviceOutcome& Outcome) { return Outcome.Result.Outcome != TRunOutcome::Programmed; }

const TDeviceOutcome* FirstFailure(const std::vector<TDeviceOutcome>& Outcomes) {
  const auto failed = std::find_if(Outcomes.begin(), Outcomes.end(), Failed);
  return failed == Outcomes.end() ? nullptr : &*failed;
}

std::string ResultText(const TDeviceOutcome& Outcome) {
  if (!Failed(Outcome)) return "programmed";
  return Format("%d %s", static_cast<int>(Outcome.Result.Outcome), Outcome.Result.Message.c_str());
}
}  // namespace

std::string UnitsText(const TRunRequest& Request) {
  if (Request.Master && Request.Slave) return "Master+Slave";
  return Request.Master ? "Master" : "Slave";
}

int SummaryExitCode(const std::vector<TDeviceOutcome>& Outcomes) {
  const TDeviceOutcome* failure = FirstFailure(Outcomes);
  return failure == nullptr ? 0 : static_cast<int>(failure->Result.Outcome);
}

std::vector<std::string> SummaryTable(const std::vector<TDeviceOutcome>& Outcomes) {
  size_t addressWidth = std::string("ADDRESS").size();
  for (const TDeviceOutcome& outcome : Outcomes) addressWidth = std::max(addressWidth, outcome.Address.size());
  const int width = static_cast<int>(addressWidth);
  std::vector<std::string> table{Format("%-*s  %-12s  %7s  %7s  %s", width, "ADDRESS", "UNITS", "RECORDS",
                                        "SECONDS", "RESULT")};
  for (const TDeviceOutcome& outcome : Outcomes)
    table.push_back(Format("%-*s  %-12s  %7d  %7.1f  %s", width, outcome.Address.c_str(), outcome.Units.c_str(),
                           outcome.Records, outcome.Seconds, ResultText(outcome).c_str()));
  return table;
}

std::string SummaryLine(const std::vector<TDeviceOutcome>& Outcomes) {
  const size_t programmed = static_cast<size_t>(std::count_if(Outcomes.begin(), Outcomes.end(),
                                                              [](const TDeviceOutcome& O) { return !Failed(O); }));
  const TDeviceOutcome* failure = FirstFailure(Outcomes);
  if (failure == nullptr) return Format("zelmirt-flash: all %zu devices programmed", Outcomes.size());
  return Format("zelmirt-flash: %zu of %zu devices programmed; first failure %s: %s", programmed, Outcomes.size(),
                failure->Address.c_str(), failure->Result.Message.c_str());
}

std::string SummaryJson(const std::vector<TDeviceOutcome>& Outcomes) {
  std::string devices;
  for (const TDeviceOutcome& outcome : Outcomes)
    devices += Format("%s{\"address\":%s,\"units\":%s,\"code\":%d,\"message\":%s,\"records\":%d,\"seconds\":%.3f}",
                      devices.empty() ? "" : ",", JsonString(outcome.Address).c_str(),
                      JsonString(outcome.Units).c_str(), static_cast<int>(outcome.Result.Outcome),
                      JsonString(outcome.Result.Message).c_str(), outcome.Records, outcome.Seconds);
  return Format("{\"event\":\"summary\",\"code\":%d,\"devices\":[%s]}", SummaryExitCode(Outcomes), devices.c_str());
}
