#pragma once

#include <string>

// Log files: written whole or appended in one piece, so that a failure never leaves a
// half-written file. Failures raise EFileError naming the file.

// Replaces the file's contents (or creates it) atomically.
void ReplaceFileContents(const std::string& Path, const std::string& Contents);
// Opens or creates the file with other writers locked out and appends Text, preceded by
// HeaderIfEmpty when the file is empty.
void AppendToFile(const std::string& Path, const std::string& HeaderIfEmpty, const std::string& Text);
