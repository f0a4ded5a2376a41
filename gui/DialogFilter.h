#pragma once

#include <string>

// "Caption|pattern;pattern|Caption|pattern" as the toolkit's name filters
// "Caption (pattern pattern);;Caption (pattern)"; "*.*" becomes "*" so that it also matches
// names without a dot.
std::string TranslateDialogFilter(const std::string& Filter);
