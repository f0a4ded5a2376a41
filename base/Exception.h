#pragma once

#include <exception>
#include <string>

// Root of every error the system raises: one class per failure kind, each carrying
// the text that is shown to the operator or written to a log.
class Exception : public std::exception {
public:
  explicit Exception(std::string Message) : FMessage(std::move(Message)) {}

  const std::string& Message() const noexcept { return FMessage; }
  void SetMessage(std::string Message) { FMessage = std::move(Message); }
  const char* what() const noexcept override { return FMessage.c_str(); }

private:
  std::string FMessage;
};

// Raised for bad text that was to be read as a number or similar value.
class EConvertError : public Exception {
public:
  using Exception::Exception;
};

// Raised by lists for bad indices, duplicates and forbidden operations.
class EListError : public Exception {
public:
  using Exception::Exception;
};

// Raised by streams that cannot read or write what was asked.
class EStreamError : public Exception {
public:
  using Exception::Exception;
};

// Raised when a thread cannot be created or joined.
class EThread : public Exception {
public:
  using Exception::Exception;
};
