// kxSingleEvent: one manual-reset platform event, signalled from set() until reset().
//
// Every kxSingleEvent shares the process-wide event lock (a kxMemMutex). set() and pulse()
// count and mark themselves under it and let go before they signal the platform event and
// post their notifications; reset() holds it throughout; the waiter list and the
// notification targets are read and written under it, so a wait may switch its
// notification on and off while other threads signal the event. The signal state kept here
// is advisory: isSet() asks the platform.
//
// Platform failures (creating, signalling, clearing the event) throw kxException with
// kxErr_resFull; the object stays usable for the other operations.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "orvo/threads/kxevent.h"

class kxSingleEvent : public kxEvent {
 public:
  // With a null inHandle and inCreate true, creates a clear platform event that it owns;
  // with a handle, wraps it (and owns it when inCreate is true); with a null handle and
  // inCreate false, the object has no platform event.
  explicit kxSingleEvent(orvo::platform::Waitable* inHandle = nullptr, bool inCreate = true);
  ~kxSingleEvent() override;

  bool isSet() override;
  kxEvent* getSetEvent() override;
  void set() override;
  void reset() override;
  void pulse() override;
  uint32_t getSetCount() override;
  void getHandles(HandleList& ioHandles) override;
  void setNotifyWindow(orvo::platform::WindowHandle inWindow, uint32_t inMessage, uintptr_t inParam) override;
  void setNotifyThread(uint32_t inThreadID, uint32_t inMessage, uintptr_t inParam) override;
  void addWaiter(kxEventWaiter* inWaiter) override;
  void removeWaiter(kxEventWaiter* inWaiter) override;
  // Calls eventNotified on each waiter registered now, outside the event lock.
  virtual void notifyWaiters();

  orvo::platform::Waitable* getHandle() const { return itsHandle; }

 private:
  // Counts, marks and posts; the platform signal is inSignal.
  void signal(bool inStaysSet, bool (*inSignal)(orvo::platform::Waitable*));

  std::atomic<bool> itsIsSetFlag;
  std::atomic<uint32_t> itsSetCount;
  orvo::platform::Waitable* itsHandle;
  bool itsOwnsHandleFlag;
  orvo::platform::WindowHandle itsNotifyWindow;
  uint32_t itsNotifyThreadID;
  uint32_t itsNotifyMessage;
  uintptr_t itsNotifyParam;
  std::vector<kxEventWaiter*> itsWaiters;
};
