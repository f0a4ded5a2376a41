#pragma once

#include <cstdint>
#include <string>

// The system's ids of the calling thread and process, as the log lines show them.
uint32_t GetCurrentThreadId();
uint32_t GetCurrentProcessId();
// Names the calling thread for debuggers (cut to the system's 15 characters).
void SetCurrentThreadName(const std::string& Name);
