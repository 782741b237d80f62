// Events and waits on kernel objects: a Waitable is the object's HANDLE, an event is a
// manual-reset event made by CreateEventA, and waitForAny() is WaitForMultipleObjects, or
// MsgWaitForMultipleObjectsEx for posted messages.
#include <algorithm>

#include "orvo/platform/kxwait.h"
#include "orvo/platform/kxwaitableevent.h"
#include "orvo/platform/windows/win32.h"

namespace orvo::platform {
namespace {

HANDLE handleOf(Waitable* inWaitable) { return reinterpret_cast<HANDLE>(inWaitable); }

DWORD milliseconds(int32_t inTimeout) { return inTimeout < 0 ? INFINITE : static_cast<DWORD>(inTimeout); }

}  // namespace

Waitable* createEvent() { return reinterpret_cast<Waitable*>(CreateEventA(nullptr, TRUE, FALSE, nullptr)); }

void destroyEvent(Waitable* inEvent) {
  if (inEvent != nullptr) CloseHandle(handleOf(inEvent));
}

// A thread's handle is no event: SetEvent and the others fail on it and change nothing.
bool setEvent(Waitable* inWaitable) { return inWaitable != nullptr && SetEvent(handleOf(inWaitable)) != FALSE; }
bool resetEvent(Waitable* inWaitable) { return inWaitable != nullptr && ResetEvent(handleOf(inWaitable)) != FALSE; }
bool pulseEvent(Waitable* inWaitable) { return inWaitable != nullptr && PulseEvent(handleOf(inWaitable)) != FALSE; }

bool isSignalled(Waitable* inWaitable) {
  return inWaitable != nullptr && WaitForSingleObject(handleOf(inWaitable), 0) == WAIT_OBJECT_0;
}

HeldWaitable::HeldWaitable(Waitable* inWaitable) : itsWaitable(nullptr) {
  HANDLE copy = nullptr;
  if (inWaitable != nullptr && DuplicateHandle(GetCurrentProcess(), handleOf(inWaitable), GetCurrentProcess(), &copy, 0,
                                               FALSE, DUPLICATE_SAME_ACCESS))
    itsWaitable = reinterpret_cast<Waitable*>(copy);
}

HeldWaitable::~HeldWaitable() {
  if (itsWaitable != nullptr) CloseHandle(handleOf(itsWaitable));
}

int waitForAny(Waitable* const* inWaitables, size_t inCount, int32_t inTimeout, bool inWithMessages) {
  if (inCount > kMaxWaitables - (inWithMessages ? 1 : 0)) return kWaitFailed;
  // The system takes each handle once; a repeated one answers for its first place, which
  // is also the lowest index the caller can be given for it.
  HANDLE handles[kMaxWaitables];
  size_t firstPlace[kMaxWaitables];
  DWORD count = 0;
  for (size_t i = 0; i < inCount; ++i) {
    if (inWaitables[i] == nullptr) return kWaitFailed;
    const HANDLE handle = handleOf(inWaitables[i]);
    if (std::find(handles, handles + count, handle) != handles + count) continue;
    firstPlace[count] = i;
    handles[count++] = handle;
  }

  DWORD result;
  if (inWithMessages) {
    // MWMO_INPUTAVAILABLE: messages already waiting end the wait too, not only new ones.
    result = MsgWaitForMultipleObjectsEx(count, handles, milliseconds(inTimeout), QS_ALLPOSTMESSAGE,
                                         MWMO_INPUTAVAILABLE);
    if (result == WAIT_OBJECT_0 + count) return kWaitMessage;
  } else if (count == 0) {
    Sleep(milliseconds(inTimeout));
    return kWaitTimedOut;
  } else {
    result = WaitForMultipleObjects(count, handles, FALSE, milliseconds(inTimeout));
  }
  if (result == WAIT_TIMEOUT) return kWaitTimedOut;
  if (result < WAIT_OBJECT_0 + count) return static_cast<int>(firstPlace[result - WAIT_OBJECT_0]);
  return kWaitFailed;
}

void sleepFor(int32_t inMilliseconds) { Sleep(milliseconds(inMilliseconds)); }

}  // namespace orvo::platform
