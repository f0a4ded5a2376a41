#include "platform/BrokenPipe.h"

#include <signal.h>

void IgnoreBrokenPipes() { signal(SIGPIPE, SIG_IGN); }
