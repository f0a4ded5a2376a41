#pragma once

#include <cstdarg>
#include <string>
#include <string_view>

// printf-style message patterns ("%d", "%s", "%4.4x", "%07.7d", "%.2f", ...).
// Strings are passed as const char* (std::string::c_str()).
[[gnu::format(printf, 1, 2)]] std::string Format(const char* Pattern, ...);
std::string FormatV(const char* Pattern, va_list Args);
// Text with its control bytes (NUL among them) and DEL as "\xHH", so that a message that
// quotes untrusted input stays one readable line.
std::string VisibleText(std::string_view Text);
