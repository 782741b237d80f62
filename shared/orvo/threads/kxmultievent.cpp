#include "orvo/threads/kxmultievent.h"

#include <algorithm>

#include "orvo/debug/kxassert.h"

kxMultiEvent::kxMultiEvent(kxEvent* inEvent1, kxEvent* inEvent2, kxEvent* inEvent3, kxEvent* inEvent4) {
  for (kxEvent* event : {inEvent1, inEvent2, inEvent3, inEvent4}) addEvent(event);
}

kxMultiEvent::~kxMultiEvent() = default;

void kxMultiEvent::addEvent(kxEvent* inEvent) {
  if (inEvent == nullptr) return;
  kxAssert(!containsEvent(inEvent));
  itsEvents.push_back(inEvent);
}

void kxMultiEvent::removeEvent(kxEvent* inEvent) {
  if (inEvent == nullptr) return;
  kxAssert(containsEvent(inEvent));
  std::erase(itsEvents, inEvent);
}

bool kxMultiEvent::containsEvent(kxEvent* inEvent) const {
  return std::find(itsEvents.begin(), itsEvents.end(), inEvent) != itsEvents.end();
}

bool kxMultiEvent::isSet() {
  return std::any_of(itsEvents.begin(), itsEvents.end(), [](kxEvent* inEvent) { return inEvent->isSet(); });
}

kxEvent* kxMultiEvent::getSetEvent() {
  for (kxEvent* event : itsEvents)
    if (kxEvent* set = event->getSetEvent()) return set;
  return nullptr;
}

void kxMultiEvent::set() {
  for (kxEvent* event : itsEvents) event->set();
}

void kxMultiEvent::reset() {
  for (kxEvent* event : itsEvents) event->reset();
}

void kxMultiEvent::pulse() {
  for (kxEvent* event : itsEvents) event->pulse();
}

uint32_t kxMultiEvent::getNumHandles() {
  uint32_t count = 0;
  for (kxEvent* event : itsEvents) count += event->getNumHandles();
  return count;
}

uint32_t kxMultiEvent::getSetCount() {
  uint32_t count = 0;
  for (kxEvent* event : itsEvents) count += event->getSetCount();
  return count;
}

void kxMultiEvent::getHandles(HandleList& ioHandles) {
  for (kxEvent* event : itsEvents) event->getHandles(ioHandles);
}

void kxMultiEvent::setNotifyWindow(orvo::platform::WindowHandle inWindow, uint32_t inMessage, uintptr_t inParam) {
  for (kxEvent* event : itsEvents) event->setNotifyWindow(inWindow, inMessage, inParam);
}

void kxMultiEvent::setNotifyThread(uint32_t inThreadID, uint32_t inMessage, uintptr_t inParam) {
  for (kxEvent* event : itsEvents) event->setNotifyThread(inThreadID, inMessage, inParam);
}

void kxMultiEvent::addWaiter(kxEventWaiter* inWaiter) {
  for (kxEvent* event : itsEvents) event->addWaiter(inWaiter);
}

void kxMultiEvent::removeWaiter(kxEventWaiter* inWaiter) {
  for (kxEvent* event : itsEvents) event->removeWaiter(inWaiter);
}
