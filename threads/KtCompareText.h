#pragma once

#include <string>

// Whether A and B are equal when ASCII letters are compared without regard to case.
bool SameText(const std::string& A, const std::string& B);
