// Manual-reset events: signalled from set until reset; a pulse releases the waits blocked on
// the event at that moment and leaves it clear. Wait on them with waitForAny() (kxwait.h).
// CreateEvent (manual reset, initially clear), SetEvent, ResetEvent, PulseEvent and
// CloseHandle on Windows.
#pragma once

#include "orvo/platform/kxwait.h"

namespace orvo::platform {

// A new event, clear; null when the system has no room for one.
Waitable* createEvent();
// Releases an event made by createEvent(); null is ignored. No wait may be blocked on it.
void destroyEvent(Waitable* inEvent);

// Each gives false, and changes nothing, when inWaitable is not an event that callers may
// signal: null, or a thread's end (which only the thread's ending signals).
bool setEvent(Waitable* inWaitable);
bool resetEvent(Waitable* inWaitable);
bool pulseEvent(Waitable* inWaitable);

}  // namespace orvo::platform
