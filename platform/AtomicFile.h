#pragma once

#include <optional>
#include <string>

// Whether a replaced file must have reached the disk before the replacement returns.
enum class TReplaceSync { rsToDisk, rsVisibleOnly };

// Replaces the file at Path with Content: the content goes to a new file beside it, which is
// then renamed over Path, so that a reader sees the old content or the new one, whole, and
// never a part. The new file gets Mode when one is given, else the usual mode less the umask.
// Answers false when a step failed; Path is then as it was and no temporary file is left.
bool ReplaceFileContent(const std::string& Path, const std::string& Content, std::optional<unsigned> Mode,
                        TReplaceSync Sync);
