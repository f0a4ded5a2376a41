#pragma once

#include "app/ProgramEntry.h"

// The window program on the Qt toolkit: the framework's units, the program's steps and the
// window shown until it is closed. Answers the process's exit code.
int RunWindowProgram(int argc, char** argv, const TWindowOptions& Options);
