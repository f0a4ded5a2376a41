#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "base/Format.h"
#include "platform/Files.h"

namespace {
// Writes Content to a new file beside FileName and renames it over FileName, so that the
// old file stays whole until the new one is complete.
class TAtomicFileWriter {
public:
  TAtomicFileWriter(const std::string& FileName, TReplaceSync Sync) : FFileName(FileName), FSync(Sync) {}
  ~TAtomicFileWriter() {
    if (FDescriptor >= 0) close(FDescriptor);
    if (!FTempName.empty()) unlink(FTempName.c_str());
  }
  TAtomicFileWriter(const TAtomicFileWriter&) = delete;
  TAtomicFileWriter& operator=(const TAtomicFileWriter&) = delete;

  bool Replace(const std::string& Content, std::optional<unsigned> Mode) {
    if (!CreateTemporary()) return false;
    if (Mode && fchmod(FDescriptor, static_cast<mode_t>(*Mode)) != 0) return false;
    if (!WriteAll(Content)) return false;
    if (FSync == TReplaceSync::rsToDisk && fsync(FDescriptor) != 0) return false;
    const int descriptor = FDescriptor;
    FDescriptor = -1;
    if (close(descriptor) != 0) return false;
    if (rename(FTempName.c_str(), FFileName.c_str()) != 0) return false;
    FTempName.clear();
    if (FSync == TReplaceSync::rsToDisk) SyncFolder();
    return true;
  }

private:
  // Not mkstemp: its 0600 would need the umask to be changed and restored to find the mode
  // a new file should have, and the umask belongs to the whole process.
  bool CreateTemporary() {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
      const std::string name = Format("%s.%s.%d.%u.tmp", ExtractFilePath(FFileName).c_str(),
                                      ExtractFileName(FFileName).c_str(), static_cast<int>(getpid()), ++counter);
      FDescriptor = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (FDescriptor >= 0) {
        FTempName = name;
        return true;
      }
      if (errno != EEXIST) return false;
    }
    return false;
  }

  bool WriteAll(const std::string& Content) {
    size_t done = 0;
    while (done < Content.size()) {
      const ssize_t written = write(FDescriptor, Content.data() + done, Content.size() - done);
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) return false;
      done += static_cast<size_t>(written);
    }
    return true;
  }

  // Makes the rename itself durable; the file is already whole either way.
  void SyncFolder() const {
    const std::string folder = ExtractFilePath(FFileName);
    const int descriptor = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0) return;
    fsync(descriptor);
    close(descriptor);
  }

  const std::string& FFileName;
  const TReplaceSync FSync;
  int FDescriptor = -1;
  std::string FTempName;
};
}  // namespace

bool ReplaceFileContent(const std::string& Path, const std::string& Content, std::optional<unsigned> Mode,
                        TReplaceSync Sync) {
  TAtomicFileWriter writer(Path, Sync);
  return writer.Replace(Content, Mode);
}
