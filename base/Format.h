#pragma once

#include <cstdarg>
#include <string>
#include <string_view>

// printf-style message patterns ("%d", "%s", "%4.4x", "%07.7d", "%.2f", ...).
// Strings are passed as const char* (std::string::c_str()).
[[gnu::format(printf, 1, 2)]] std::string Format(const char* Pattern, ...);
std::string FormatV(const char* Pattern, va_list Args);
// Text with every byte that is not printable ASCII (control bytes, NUL, DEL, and 0x80 and
// above) as "\xHH", so that a message that quotes untrusted input stays one readable line
// whatever the terminal's encoding.
std::string VisibleText(std::string_view Text);
