#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// A private folder for the files a target writes, made on first use and removed with its
// files when the process ends.
std::string FuzzFile(const std::string& Name);
// Writes the bytes to the folder's file Name and answers its path.
std::string WriteFuzzFile(const std::string& Name, const uint8_t* Data, size_t Size);

// Ends the run with a report when a property does not hold; libFuzzer saves the input.
[[noreturn]] void PropertyBroken(const std::string& What);
