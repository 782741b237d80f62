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
//
// A wait holds what it waits on until it has unregistered: the owner of a waitable may let
// go of it (a thread's handle closed, the thread ended) while another thread still waits on
// it. A caller that reads a waitable under a lock and waits on it after letting go of the
// lock keeps it with a HeldWaitable meanwhile.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orvo::platform {

class Waitable;

// The most waitables one wait takes (MAXIMUM_WAIT_OBJECTS on Windows); a wait that includes
// messages takes one fewer, the queue having the last place (as on Windows), on every system.
inline constexpr size_t kMaxWaitables = 64;

// Results of waitForAny() that are not an index.
inline constexpr int kWaitTimedOut = -1;
inline constexpr int kWaitMessage = -2;
inline constexpr int kWaitFailed = -3;

// Blocks until one of the inCount waitables is signalled and returns its index (the lowest
// of several), until a message is posted to the calling thread's queue when inWithMessages
// (kWaitMessage), or until inTimeout milliseconds have passed (kWaitTimedOut; -1 waits
// without a limit). A pulsed event counts as signalled for the waits it released. More than
// kMaxWaitables (kMaxWaitables - 1 with messages) or a null entry give kWaitFailed at once,
// and so does a wait the system could not make. An allocation failure inside the wait
// throws std::bad_alloc and leaves every waitable as it was (unlocked, unregistered).
int waitForAny(Waitable* const* inWaitables, size_t inCount, int32_t inTimeout, bool inWithMessages = false);

// Keeps a waitable, and every wait on it, usable until it goes, whoever else lets go of the
// waitable meanwhile (a duplicate handle on Windows). get() is null for a null waitable or
// when the system had no room for another hold.
class HeldWaitable {
 public:
  explicit HeldWaitable(Waitable* inWaitable);
  ~HeldWaitable();
  HeldWaitable(const HeldWaitable&) = delete;
  HeldWaitable& operator=(const HeldWaitable&) = delete;
  Waitable* get() const { return itsWaitable; }

 private:
  Waitable* itsWaitable;
};

// Whether inWaitable is signalled now, without waiting; false for null.
bool isSignalled(Waitable* inWaitable);

// Sleeps inMilliseconds; -1 sleeps for ever.
void sleepFor(int32_t inMilliseconds);

}  // namespace orvo::platform
