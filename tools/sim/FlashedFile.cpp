#include "tools/sim/FlashedFile.h"

#include "base/Format.h"
#include "platform/FileReplace.h"
#include "platform/Files.h"

TFlashedFile::TFlashedFile(std::string Path) : FPath(std::move(Path)) {}

std::string TFlashedFile::Content(const TSimDevice& Device) {
  std::string content;
  for (const auto& [unit, tag] : {std::pair{TSimUnit::suMaster, "MASTER "}, std::pair{TSimUnit::suSlave, "SLAVE "}})
    for (const std::string& record : Device.Flashed(unit)) content.append(tag).append(record).append("\n");
  return content;
}

void TFlashedFile::Update(const TSimDevice& Device) {
  if (FWrittenRevision == Device.FlashedRevision()) return;
  // Only visibility matters to a reader of this file, not surviving a power cut; skipping the
  // disk sync keeps a write per record cheap.
  try {
    ReplaceFileContent(FPath, Content(Device), TReplaceSync::rsVisibleOnly);
  } catch (const EFileError&) {
    throw ESimRecordError(Format("Cannot write the flashed records to \"%s\"", FPath.c_str()));
  }
  FWrittenRevision = Device.FlashedRevision();
}
