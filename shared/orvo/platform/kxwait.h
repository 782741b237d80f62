// Waiting for any of several things at once, with a time-out: manual-reset events
// (kxwaitableevent.h), the end of a platform thread (kxplatformthread.h) and socket events
// (kxnetwork.h), optionally together with the calling thread's message queue
// (kxthreadmessages.h).
//
// A Waitable is opaque to callers. On Windows it is the kernel object's HANDLE and
// waitForAny() is WaitForMultipleObjects, or MsgWaitForMultipleObjects with
// QS_ALLPOSTMESSAGE when messages count. Here every waitable keeps the list of the waits
// blocked on it and wakes them itself, so a wait on any number of them blocks in one futex
// or poll() call.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orvo::platform {

class Waitable;

// The most waitables one wait takes (MAXIMUM_WAIT_OBJECTS on Windows).
inline constexpr size_t kMaxWaitables = 64;

// Results of waitForAny() that are not an index.
inline constexpr int kWaitTimedOut = -1;
inline constexpr int kWaitMessage = -2;
inline constexpr int kWaitFailed = -3;

// Blocks until one of the inCount waitables is signalled and returns its index (the lowest
// of several), until a message is posted to the calling thread's queue when inWithMessages
// (kWaitMessage), or until inTimeout milliseconds have passed (kWaitTimedOut; -1 waits
// without a limit). A pulsed event counts as signalled for the waits it released. More than
// kMaxWaitables or a null entry give kWaitFailed at once.
int waitForAny(Waitable* const* inWaitables, size_t inCount, int32_t inTimeout, bool inWithMessages = false);

// Whether inWaitable is signalled now, without waiting; false for null.
bool isSignalled(Waitable* inWaitable);

// Sleeps inMilliseconds; -1 sleeps for ever.
void sleepFor(int32_t inMilliseconds);

}  // namespace orvo::platform
