#pragma once

#include <string>

#include "base/StringList.h"

// Replaces Lines with the lines of the program file FileName (CR, LF or CR LF), after a
// UTF-8 byte-order mark if the file begins with one.
void LoadProgramLines(TStringList& Lines, const std::string& FileName);
// Drops the records that are never sent: those at F800 and above, and all-FF data records of
// up to 32 bytes; every other line is kept as it is. Raises EConvertError naming a malformed
// line.
void FilterProgramLines(TStringList& Lines);
