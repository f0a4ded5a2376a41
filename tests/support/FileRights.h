#pragma once

#include <functional>

// Runs Body on a thread whose file accesses are made as the user "nobody" when the tests run
// as root (root ignores permissions; the file-system user is per thread), or as the test's
// own user otherwise. Answers false, without running Body, when the rights cannot be dropped.
bool RunWithoutFileRights(const std::function<void()>& Body);
