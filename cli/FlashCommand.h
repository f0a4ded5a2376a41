#pragma once

#include <string>
#include <vector>

class TTerminationSignal;

// zelmirt-flash with its arguments (without the program name): checks them and the program
// files, runs the programming run and answers the exit code. Runs the calling thread's
// message loop; Termination ends a run as the close question answered Yes does.
int RunFlashCommand(const std::vector<std::string>& Arguments, TTerminationSignal& Termination);
