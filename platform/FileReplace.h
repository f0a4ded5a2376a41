#pragma once

#include <string>

// Gives the file at Path the new Content so that it is never left half-written where that
// can be avoided: the content goes to a new file beside it, which then takes the old file's
// place with its mode and owner. A symbolic link keeps pointing at its target, which gets the
// content. Where the folder takes no new file, or the replacement could not keep the owner,
// a file that may be written is rewritten where it stands, its space claimed first and its
// old content put back when the write fails. A missing file is created (mode by the umask).
// Raises EFileError naming Path and the reason.
//
// rsVisibleOnly leaves out the syncs of a replacement to disk, for a file whose readers
// need it whole but not surviving a power cut, written often (the simulator's record of
// flashed records); a file rewritten in place is synced all the same.
enum class TReplaceSync { rsToDisk, rsVisibleOnly };
void ReplaceFileContent(const std::string& Path, const std::string& Content,
                        TReplaceSync Sync = TReplaceSync::rsToDisk);

// Removes the new files earlier replacements of Path left beside it when their process died
// before they took its place, and only those: names of the replacements' own pattern for
// Path that no replacement in progress holds (one holds its file locked throughout). What
// cannot be removed stays for a later call; the leftovers harm nothing but the folder.
void RemoveStaleReplacements(const std::string& Path);
