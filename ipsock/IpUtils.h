#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// Small text and byte helpers of the socket engine. Positions are 1-based, 0 meaning none.

// Text without leading and trailing blanks (only the character 32 counts).
std::string TrimSpaces(const std::string& Text);
int CharPos(char Character, const std::string& Text);
// 0 when the first Count bytes are equal; else 1 or -1 as A's first differing byte is
// greater or smaller (unsigned).
int CompareBytes(const void* A, const void* B, size_t Count);
// Occurrences of Character among the first Count bytes of Text (at most its length).
int CharCount(const std::string& Text, size_t Count, char Character);
int32_t MinInt(int32_t A, int32_t B);
// The engine's version text, v1.15.
std::string EngineVersion();

// Clears the reference first, then frees what it held, so the object is never reachable
// through the reference while it is being destroyed.
template <class T, class Deleter>
void FreeAndClear(std::unique_ptr<T, Deleter>& Reference) {
  std::unique_ptr<T, Deleter> held = std::move(Reference);
  held.reset();
}
