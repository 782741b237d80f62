#include "orvo/threads/kxsingleevent.h"

#include <algorithm>

#include "orvo/internal/kxglobals.h"
#include "orvo/messages/kxexception.h"
#include "orvo/platform/kxwaitableevent.h"

using orvo::globals::gEventLock;

kxSingleEvent::kxSingleEvent(orvo::platform::Waitable* inHandle, bool inCreate)
    : itsIsSetFlag(false),
      itsSetCount(0),
      itsHandle(inHandle),
      itsOwnsHandleFlag(inCreate),
      itsNotifyWindow(nullptr),
      itsNotifyThreadID(0),
      itsNotifyMessage(0),
      itsNotifyParam(0) {
  if (itsHandle == nullptr && inCreate) {
    itsHandle = orvo::platform::createEvent();
    if (itsHandle == nullptr) throw kxException(kxErr_resFull);
  }
}

kxSingleEvent::~kxSingleEvent() {
  if (itsOwnsHandleFlag && itsHandle != nullptr) orvo::platform::destroyEvent(itsHandle);
}

bool kxSingleEvent::isSet() {
  const bool set = orvo::platform::isSignalled(itsHandle);
  itsIsSetFlag.store(set, std::memory_order_relaxed);
  return set;
}

kxEvent* kxSingleEvent::getSetEvent() { return isSet() ? this : nullptr; }

void kxSingleEvent::signal(bool inStaysSet, bool (*inSignal)(orvo::platform::Waitable*)) {
  orvo::platform::WindowHandle window;
  uint32_t threadID;
  orvo::platform::ThreadMessage message;
  {
    kxStMutex hold(&gEventLock);
    itsIsSetFlag.store(inStaysSet, std::memory_order_relaxed);
    itsSetCount.fetch_add(1, std::memory_order_relaxed);
    window = itsNotifyWindow;
    threadID = itsNotifyThreadID;
    message = {itsNotifyMessage, reinterpret_cast<uintptr_t>(this), itsNotifyParam};
  }
  if (!inSignal(itsHandle)) throw kxException(kxErr_resFull);
  // Best effort: a target that cannot take the message does not fail the signal.
  if (window != nullptr) orvo::platform::postWindowMessage(window, message);
  if (threadID != 0) orvo::platform::postThreadMessage(threadID, message);
}

void kxSingleEvent::set() { signal(true, orvo::platform::setEvent); }

void kxSingleEvent::pulse() { signal(false, orvo::platform::pulseEvent); }

void kxSingleEvent::reset() {
  kxStMutex hold(&gEventLock);
  itsIsSetFlag.store(false, std::memory_order_relaxed);
  if (!orvo::platform::resetEvent(itsHandle)) throw kxException(kxErr_resFull);
}

uint32_t kxSingleEvent::getSetCount() { return itsSetCount.load(std::memory_order_acquire); }

void kxSingleEvent::getHandles(HandleList& ioHandles) { ioHandles.push_back(itsHandle); }

void kxSingleEvent::setNotifyWindow(orvo::platform::WindowHandle inWindow, uint32_t inMessage, uintptr_t inParam) {
  kxStMutex hold(&gEventLock);
  itsNotifyWindow = inWindow;
  itsNotifyMessage = inMessage;
  itsNotifyParam = inParam;
}

void kxSingleEvent::setNotifyThread(uint32_t inThreadID, uint32_t inMessage, uintptr_t inParam) {
  kxStMutex hold(&gEventLock);
  itsNotifyThreadID = inThreadID;
  itsNotifyMessage = inMessage;
  itsNotifyParam = inParam;
}

void kxSingleEvent::addWaiter(kxEventWaiter* inWaiter) {
  kxStMutex hold(&gEventLock);
  itsWaiters.push_back(inWaiter);
}

void kxSingleEvent::removeWaiter(kxEventWaiter* inWaiter) {
  kxStMutex hold(&gEventLock);
  const auto found = std::find(itsWaiters.begin(), itsWaiters.end(), inWaiter);
  if (found != itsWaiters.end()) itsWaiters.erase(found);
}

void kxSingleEvent::notifyWaiters() {
  std::vector<kxEventWaiter*> waiters;
  {
    kxStMutex hold(&gEventLock);
    waiters = itsWaiters;
  }
  for (kxEventWaiter* waiter : waiters) waiter->eventNotified(this);
}
