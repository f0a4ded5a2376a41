#pragma once

#include <string>

// The debug-log announcement name of this test run, never the real viewer's.
const std::string& TestAnnouncementName();
