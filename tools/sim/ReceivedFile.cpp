#include "tools/sim/ReceivedFile.h"

#include "base/Format.h"
#include "platform/FileReplace.h"
#include "platform/Files.h"
#include "platform/LogFile.h"
#include "tools/sim/FlashedFile.h"

TReceivedFile::TReceivedFile(std::string Path) : FPath(std::move(Path)) {
  try {
    ReplaceFileContent(FPath, "", TReplaceSync::rsVisibleOnly);
  } catch (const EFileError&) {
    Fail();
  }
}

void TReceivedFile::Append(const std::string& Bytes) {
  if (Bytes.empty()) return;
  try {
    AppendToFile(FPath, "", Bytes);
  } catch (const EFileError&) {
    Fail();
  }
}

void TReceivedFile::Fail() const {
  throw ESimRecordError(Format("Cannot write the received bytes to \"%s\"", FPath.c_str()));
}
