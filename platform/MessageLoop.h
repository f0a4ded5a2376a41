#pragma once

// One round of a thread that serves only its own message queue, without a Qt event loop:
// waits until the queue has input (a message, a ready socket of its windows, a due timer)
// or LongestWaitMs have passed, then delivers what is pending. A reply to a socket costs one
// wait and the queue's own work, where a Qt loop adds its polling and dispatch.
void WaitAndDeliverMessages(int LongestWaitMs);
