#pragma once

#include <string>

#include "platform/LocalTime.h"

// Formats a time with a date/time pattern: yyyy/yy year, mm/m month (minutes right after an
// hour), dd/d day, hh/h hour (24-hour), nn/n minute, ss/s second, zzz/z millisecond; text in
// double or single quotes is copied; every other character stands for itself.
std::string FormatDateTime(const std::string& Pattern, const TLocalTime& Time);
