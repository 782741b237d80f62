// kxMultiEvent: a group of events (not owned) that one wait covers and one call sets,
// resets or configures. Members keep their insertion order; the group reports the first
// member that is signalled. The member list is not locked: build the group before other
// threads use it.
#pragma once

#include <vector>

#include "orvo/threads/kxevent.h"

class kxMultiEvent : public kxEvent {
 public:
  // Adds each non-null argument, in order.
  explicit kxMultiEvent(kxEvent* inEvent1 = nullptr, kxEvent* inEvent2 = nullptr, kxEvent* inEvent3 = nullptr,
                        kxEvent* inEvent4 = nullptr);
  ~kxMultiEvent() override;

  // Null is ignored; adding a member twice, or removing one that is not a member, is
  // reported by an assertion.
  void addEvent(kxEvent* inEvent);
  // Removes every entry equal to inEvent.
  void removeEvent(kxEvent* inEvent);
  bool containsEvent(kxEvent* inEvent) const;

  bool isSet() override;
  kxEvent* getSetEvent() override;
  void set() override;
  void reset() override;
  void pulse() override;
  uint32_t getNumHandles() override;
  uint32_t getSetCount() override;
  void getHandles(HandleList& ioHandles) override;
  void setNotifyWindow(orvo::platform::WindowHandle inWindow, uint32_t inMessage, uintptr_t inParam) override;
  void setNotifyThread(uint32_t inThreadID, uint32_t inMessage, uintptr_t inParam) override;
  void addWaiter(kxEventWaiter* inWaiter) override;
  void removeWaiter(kxEventWaiter* inWaiter) override;

 private:
  std::vector<kxEvent*> itsEvents;
};
