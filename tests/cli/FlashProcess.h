#pragma once

#include <csignal>

#include <QProcess>
#include <QStringList>
#include <string>
#include <vector>

// The zelmirt-flash executable run as a child process, with its output collected.
class TFlashProcess {
public:
  explicit TFlashProcess(const QStringList& Arguments);
  ~TFlashProcess();
  TFlashProcess(const TFlashProcess&) = delete;
  TFlashProcess& operator=(const TFlashProcess&) = delete;

  // Waits until the standard output holds Text; answers whether it came.
  bool WaitForOutput(const std::string& Text);
  // Sends Signal: SIGINT as Ctrl-C on a terminal does, SIGHUP as a closed terminal, SIGTERM.
  void Interrupt(int Signal = SIGINT);
  // Waits for the process to end; answers its exit code, or -1 when it did not end normally.
  int WaitForExit();
  std::string Output();
  std::string Errors();
  // The output's lines that are neither progress nor status: the window's log and the result.
  std::vector<std::string> LogLines();

private:
  QProcess FProcess;
  std::string FOutput;
  std::string FErrors;
};

// Runs zelmirt-flash to its end.
struct TFlashRun {
  int ExitCode;
  std::string Output;
  std::string Errors;
};
TFlashRun RunFlash(const QStringList& Arguments);
