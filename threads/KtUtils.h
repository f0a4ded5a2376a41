#pragma once

// Unit start and end of the parameter lists and the timer; both idempotent. The start
// logs "initialization: KtUtils"; the end logs "finalization: KtUtils" and the number of
// parameter lists still alive.
void KtUtilsStart();
void KtUtilsFinish();
