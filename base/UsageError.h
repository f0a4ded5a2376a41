#pragma once

#include "base/Exception.h"

// A command line that cannot be used; the message names the offending argument.
class EUsageError : public Exception {
public:
  using Exception::Exception;
};
