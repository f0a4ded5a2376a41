#pragma once

#include <cstdint>

// The framework's elapsed-time timer in milliseconds; safe from any thread.
int64_t KtElapsedMilliseconds();
