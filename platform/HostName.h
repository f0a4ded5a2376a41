#pragma once

#include <string>

// This machine's host name, as the station a record names; "unknown" when it has none.
std::string HostName();
