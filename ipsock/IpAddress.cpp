#include "ipsock/IpAddress.h"

#include "ipsock/IpUtils.h"

namespace {
enum TParseState {
  psStart,
  psFailed,
  psLeadingBlanks,
  psWord,
  psWordAfterColon,
  psAfterScheme,
  psPathAfterDrive,
  psHost,
  psCredentials,
  psPassword,
  psPort,
  psPath,
  psFragment,
  psQuery,
  psTrailingBlanks
};

bool IsBlank(unsigned char C) { return C == ' '; }
bool IsLetter(unsigned char C) { return (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z'); }
bool IsDigit(unsigned char C) { return C >= '0' && C <= '9'; }
bool IsWordChar(unsigned char C) { return IsLetter(C) || IsDigit(C) || C == '-' || C == '.' || C == '_'; }
bool IsSlash(unsigned char C) { return C == '/' || C == '\\'; }
bool IsQueryStart(unsigned char C) { return C == '?' || C == '&'; }
bool IsDriveSeparator(unsigned char C) { return C == ':' || C == '|'; }
bool HasDot(const std::string& Text) { return Text.find('.') != std::string::npos; }

class TAddressParser {
public:
  TAddressParser(const std::string& Text, TIpAddrRec& Rec)
      : FRec(Rec), FTextHasAt(Text.find('@') != std::string::npos) {}

  void Feed(unsigned char C);
  bool Finish();
  bool Failed() const { return FState == psFailed; }

private:
  // Takes the word into Field and empties it.
  void Move(std::string& Field) {
    Field = FWord;
    FWord.clear();
  }
  // The path as collected so far, once a fragment or query begins.
  void EndPath(bool ClearCollector) {
    if (FCollector.empty()) return;
    FRec.Path = TrimSpaces(FCollector);
    if (ClearCollector) FCollector.clear();
  }
  void BeginQuery(unsigned char C, bool ClearCollector) {
    EndPath(ClearCollector);
    FRec.QueryDelimiter = static_cast<char>(C);
    FState = psQuery;
  }
  // A one-letter word before ':' or '|' is a drive letter: the path has begun.
  bool TakeDrive(unsigned char C) {
    if (FWord.size() != 1) return false;
    FCollector += FWord;
    FCollector += static_cast<char>(C);
    FWord.clear();
    FState = psPathAfterDrive;
    return true;
  }

  TIpAddrRec& FRec;
  const bool FTextHasAt;
  TParseState FState = psStart;
  std::string FWord;
  std::string FCollector;
  bool FSchemeSeen = false;
};

void TAddressParser::Feed(unsigned char C) {
  const char c = static_cast<char>(C);
  switch (FState) {
    case psStart:
    case psLeadingBlanks:
      if (IsBlank(C)) {
        FState = psLeadingBlanks;
      } else if (C == '.' || IsSlash(C)) {
        FCollector += c;
        FState = psPath;
      } else if (IsDigit(C)) {
        FRec.Host += c;
        FState = psHost;
      } else if (IsLetter(C) || (FState == psLeadingBlanks && (C == '-' || C == '_'))) {
        FWord += c;
        FState = psWord;
      } else {
        FState = psFailed;
      }
      break;
    case psWord:
      if (IsWordChar(C)) {
        FWord += c;
      } else if (IsSlash(C)) {
        if (FSchemeSeen || HasDot(FWord))
          FRec.Host = FWord;
        else
          FCollector = FWord;
        FWord.clear();
        FCollector += c;
        FState = psPath;
      } else if (IsDriveSeparator(C)) {
        if (TakeDrive(C)) break;
        if (HasDot(FWord)) {
          // A dotted word before the colon is a host; the port follows.
          FRec.Host = FWord;
          FState = psPort;
        } else if (!FRec.Scheme.empty()) {
          FState = psWordAfterColon;
        } else {
          Move(FRec.Scheme);
          FSchemeSeen = true;
          FState = psAfterScheme;
        }
      } else if (C == '@') {
        Move(FRec.UserName);
        FState = psHost;
      } else {
        Move(FRec.Host);
        FState = psHost;
      }
      break;
    case psWordAfterColon:
      if (IsSlash(C)) {
        Move(FRec.Scheme);
        FSchemeSeen = true;
        FState = psAfterScheme;
      } else if (IsDigit(C)) {
        Move(FRec.Host);
        FRec.Port += c;
        FState = psPort;
      } else if (C == ':') {
        Move(FRec.UserName);
        FState = psPassword;
      } else if (C == '@') {
        Move(FRec.UserName);
        FState = psHost;
      } else if (IsLetter(C)) {
        Move(FRec.UserName);
        FRec.Password += c;
        FState = psPassword;
      }
      break;
    case psAfterScheme:
      if (C == '.' || C == '\\') {
        FCollector += c;
        FState = psPathAfterDrive;
      } else if (C != '/') {
        FWord.assign(1, c);
        FState = FTextHasAt ? psCredentials : psWord;
      }
      break;
    case psPathAfterDrive:
      if (C == '#') {
        EndPath(false);
        FState = psFragment;
      } else if (IsQueryStart(C)) {
        BeginQuery(C, false);
      } else {
        FCollector += c;
      }
      break;
    case psHost:
      if (IsBlank(C)) {
        FState = psTrailingBlanks;
      } else if (IsWordChar(C)) {
        FRec.Host += c;
      } else if (IsSlash(C)) {
        FCollector += c;
        FState = psPath;
      } else if (C == ':') {
        FState = psPort;
      }
      break;
    case psCredentials:
      if (IsDriveSeparator(C)) {
        if (TakeDrive(C)) break;
        Move(FRec.UserName);
        FState = psPassword;
      } else if (C == '@') {
        Move(FRec.UserName);
        FState = psHost;
      } else {
        FWord += c;
      }
      break;
    case psPassword:
      if (C == '@')
        FState = psHost;
      else
        FRec.Password += c;
      break;
    case psPort:
      if (IsBlank(C)) {
        FState = psTrailingBlanks;
      } else if (IsSlash(C)) {
        FCollector += c;
        FState = psPath;
      } else if (IsDigit(C)) {
        FRec.Port += c;
      } else {
        FState = psFailed;
      }
      break;
    case psPath:
      if (IsBlank(C)) {
        FState = psTrailingBlanks;
      } else if (C == '#') {
        EndPath(true);
        FState = psFragment;
      } else if (IsQueryStart(C)) {
        BeginQuery(C, true);
      } else {
        FCollector += c;
      }
      break;
    case psFragment:
      if (IsQueryStart(C))
        BeginQuery(C, true);
      else
        FRec.Fragment += c;
      break;
    case psQuery:
      if (IsBlank(C))
        FState = psTrailingBlanks;
      else
        FRec.Query += c;
      break;
    case psTrailingBlanks:
      if (!IsBlank(C)) FState = psFailed;
      break;
    case psFailed:
      break;
  }
}

bool TAddressParser::Finish() {
  if (!FWord.empty()) FRec.Host = FWord;
  if (FRec.Path.empty()) FRec.Path = TrimSpaces(FCollector);
  if (FRec.Path.empty()) FRec.Path.assign(1, '/');
  switch (FState) {
    case psPathAfterDrive:
    case psHost:
    case psPort:
    case psPath:
    case psFragment:
    case psQuery:
    case psTrailingBlanks:
      return true;
    default:
      return false;
  }
}
}  // namespace

bool ParseAddress(const std::string& Text, TIpAddrRec& Rec) {
  // A reused record must not keep parts of an earlier text.
  Rec = TIpAddrRec{};
  TAddressParser parser(Text, Rec);
  for (const char c : Text) {
    parser.Feed(static_cast<unsigned char>(c));
    if (parser.Failed()) break;
  }
  return parser.Finish();
}
