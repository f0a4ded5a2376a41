#include "platform/MessageLoop.h"

#include "platform/MessageQueue.h"

void WaitAndDeliverMessages(int LongestWaitMs) { TMessageQueue::ForCurrentThread()->WaitAndDeliver(LongestWaitMs); }
