#pragma once

#include <QProcess>
#include <QStringList>
#include <string>

#include "platform/TcpStream.h"

// The zelmirt-sim executable run as a child process, with its output collected.
class TSimProcess {
public:
  explicit TSimProcess(const QStringList& Arguments);
  ~TSimProcess();
  TSimProcess(const TSimProcess&) = delete;
  TSimProcess& operator=(const TSimProcess&) = delete;

  // Waits until the output holds Text; answers whether it came.
  bool WaitForOutput(const std::string& Text);
  // Waits for the process to end by itself; answers its exit code, or -1.
  int WaitForExit();
  // Sends SIGTERM and waits; answers the exit code, or -1 when it did not end normally.
  int Terminate();
  std::string Output();
  std::string Errors();

private:
  QProcess FProcess;
  std::string FOutput;
};

// A client that speaks to a simulated device and waits for each reply.
class TSimClient {
public:
  bool Connect(const std::string& Address);
  // Sends Text and waits until the replies since the send end with Reply; answers what came.
  std::string Exchange(const std::string& Text, const std::string& Reply);
  // Waits for the device to close the connection; answers whether it did.
  bool WaitForClose();

private:
  TTcpStream FStream;
};
