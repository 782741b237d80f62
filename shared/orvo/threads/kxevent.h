// kxEvent: the interface of the system's signalling objects, a single manual-reset event
// (kxsingleevent.h) or a group of events that one wait or one call covers (kxmultievent.h).
//
// The platform handles behind an event (getHandles) are what a wait blocks on
// (kxThread::waitForEvent, the endpoints' network waits): a group contributes its members'.
#pragma once

#include <cstdint>
#include <vector>

#include "orvo/platform/kxthreadmessages.h"
#include "orvo/platform/kxwait.h"

class kxEvent;

// Registered with events through addWaiter; kxSingleEvent::notifyWaiters() calls
// eventNotified on each waiter. The base does nothing there.
class kxEventWaiter {
 public:
  virtual ~kxEventWaiter();
  virtual void eventNotified(kxEvent* inEvent);
};

class kxEvent {
 public:
  using HandleList = std::vector<orvo::platform::Waitable*>;

  kxEvent() = default;
  kxEvent(const kxEvent&) = delete;
  kxEvent& operator=(const kxEvent&) = delete;
  virtual ~kxEvent();

  // Signalled now.
  virtual bool isSet() = 0;
  // The event that is signalled, or null.
  virtual kxEvent* getSetEvent() = 0;
  // Signal, count and post the notification messages.
  virtual void set() = 0;
  // Clear the signal.
  virtual void reset() = 0;
  // Release the waits blocked now and leave the event clear; counts and posts like set().
  virtual void pulse() = 0;
  // Platform handles behind this object.
  virtual uint32_t getNumHandles();
  // How often set() or pulse() was called.
  virtual uint32_t getSetCount() = 0;
  // Appends the platform handles to ioHandles.
  virtual void getHandles(HandleList& ioHandles) = 0;
  // Every set() and pulse() posts inMessage to the window or the thread, with the signalled
  // event's address and inParam; (0, 0, 0) switches that target off. Both targets share
  // one message number and parameter.
  virtual void setNotifyWindow(orvo::platform::WindowHandle inWindow, uint32_t inMessage, uintptr_t inParam) = 0;
  virtual void setNotifyThread(uint32_t inThreadID, uint32_t inMessage, uintptr_t inParam) = 0;
  virtual void addWaiter(kxEventWaiter* inWaiter) = 0;
  virtual void removeWaiter(kxEventWaiter* inWaiter) = 0;
};
