#pragma once

#include <string>
#include <vector>

class TConsoleScreen;

// zelmirt-flash check: each file checked as a run checks it, nothing connected. Prints per
// file what a run would send of it (one JSON object a file with Json), a refusal with its
// file and line on the error stream; answers 0 when every file would be accepted, else the
// bad-program-file code.
int RunCheckCommand(const std::vector<std::string>& Files, bool Json, TConsoleScreen& Screen);
