#include "orvo/threads/kxevent.h"

kxEventWaiter::~kxEventWaiter() = default;

void kxEventWaiter::eventNotified(kxEvent*) {}

kxEvent::~kxEvent() = default;

uint32_t kxEvent::getNumHandles() { return 1; }
