#pragma once

#include <string>

// An address text split into its parts.
struct TIpAddrRec {
  std::string Scheme;
  std::string UserName;
  std::string Password;
  std::string Host;
  std::string Port;      // digits, not converted
  std::string Path;      // "/" when none was found
  std::string Fragment;
  std::string Query;
  char QueryDelimiter = 0;  // the '?' or '&' that opened the query, 0 when none
};

// Splits Text in one left-to-right pass of a character-driven state machine (a bare dotted
// address, a host name, host:port or a full locator). Answers whether the text ended in an
// accepting state; the fields are filled either way.
bool ParseAddress(const std::string& Text, TIpAddrRec& Rec);
