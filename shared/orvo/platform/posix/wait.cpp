#include <algorithm>
#include <cerrno>
#include <ctime>
#include <new>

#include <unistd.h>

#include "orvo/platform/kxwait.h"
#include "orvo/platform/kxwaitableevent.h"
#include "orvo/platform/posix/waitable.h"

namespace orvo::platform {
namespace posix {

std::optional<Clock::time_point> deadlineAfter(int32_t inTimeout) {
  if (inTimeout < 0) return std::nullopt;
  return Clock::now() + std::chrono::milliseconds(inTimeout);
}

int millisecondsLeft(const std::optional<Clock::time_point>& inDeadline) {
  if (!inDeadline) return -1;
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(*inDeadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

void Waiter::fire(const void* inSource) {
  std::lock_guard<std::mutex> hold(itsLock);
  if (itsFiredBy != nullptr) return;
  itsFiredBy = inSource;
  itsWake.notify_one();
}

void Waiter::wait(const std::optional<Clock::time_point>& inDeadline) {
  std::unique_lock<std::mutex> hold(itsLock);
  const auto fired = [this] { return itsFiredBy != nullptr; };
  if (inDeadline)
    itsWake.wait_until(hold, *inDeadline, fired);
  else
    itsWake.wait(hold, fired);
}

const void* Waiter::firedBy() {
  std::lock_guard<std::mutex> hold(itsLock);
  return itsFiredBy;
}

namespace {

int firstSignalled(Waitable* const* inWaitables, size_t inCount) {
  for (size_t i = 0; i < inCount; ++i)
    if (inWaitables[i]->isSignalled()) return static_cast<int>(i);
  return -1;
}

}  // namespace
}  // namespace posix

void Waitable::set() {
  std::lock_guard<std::mutex> hold(itsLock);
  itsSignalled.store(true, std::memory_order_release);
  for (posix::Waiter* waiter : itsWaiters) waiter->fire(this);
}

void Waitable::reset() {
  std::lock_guard<std::mutex> hold(itsLock);
  itsSignalled.store(false, std::memory_order_release);
}

void Waitable::pulse() {
  std::lock_guard<std::mutex> hold(itsLock);
  itsSignalled.store(false, std::memory_order_release);
  for (posix::Waiter* waiter : itsWaiters) waiter->fire(this);
}

void Waitable::removeWaiter(posix::Waiter* inWaiter) {
  std::lock_guard<std::mutex> hold(itsLock);
  const auto found = std::find(itsWaiters.begin(), itsWaiters.end(), inWaiter);
  if (found != itsWaiters.end()) itsWaiters.erase(found);
}

Waitable* createEvent() { return new (std::nothrow) Waitable(Waitable::Kind::event); }

void destroyEvent(Waitable* inEvent) {
  if (inEvent != nullptr && inEvent->kind() == Waitable::Kind::event) delete inEvent;
}

namespace {
bool isEvent(Waitable* inWaitable) { return inWaitable != nullptr && inWaitable->kind() == Waitable::Kind::event; }
}  // namespace

bool setEvent(Waitable* inWaitable) {
  if (!isEvent(inWaitable)) return false;
  inWaitable->set();
  return true;
}

bool resetEvent(Waitable* inWaitable) {
  if (!isEvent(inWaitable)) return false;
  inWaitable->reset();
  return true;
}

bool pulseEvent(Waitable* inWaitable) {
  if (!isEvent(inWaitable)) return false;
  inWaitable->pulse();
  return true;
}

bool isSignalled(Waitable* inWaitable) { return inWaitable != nullptr && inWaitable->isSignalled(); }

int waitForAny(Waitable* const* inWaitables, size_t inCount, int32_t inTimeout, bool inWithMessages) {
  if (inCount > kMaxWaitables) return kWaitFailed;
  for (size_t i = 0; i < inCount; ++i)
    if (inWaitables[i] == nullptr) return kWaitFailed;

  const posix::SuspensionPoint park;
  const auto deadline = posix::deadlineAfter(inTimeout);

  Waitable* locked[kMaxWaitables];
  std::copy(inWaitables, inWaitables + inCount, locked);
  std::sort(locked, locked + inCount);
  const size_t unique = static_cast<size_t>(std::unique(locked, locked + inCount) - locked);

  posix::Waiter waiter;
  for (size_t i = 0; i < unique; ++i) locked[i]->mutex().lock();
  const int already = posix::firstSignalled(inWaitables, inCount);
  if (already < 0)
    for (size_t i = 0; i < unique; ++i) locked[i]->addWaiter(&waiter);
  for (size_t i = unique; i-- > 0;) locked[i]->mutex().unlock();
  if (already >= 0) return already;

  posix::MessageQueue* queue = inWithMessages ? &posix::currentMessageQueue() : nullptr;
  if (queue != nullptr) queue->attach(&waiter);
  if (inTimeout != 0) waiter.wait(deadline);
  if (queue != nullptr) queue->detach();
  for (size_t i = 0; i < unique; ++i) locked[i]->removeWaiter(&waiter);

  const int now = posix::firstSignalled(inWaitables, inCount);
  if (now >= 0) return now;
  const void* firedBy = waiter.firedBy();
  if (firedBy == nullptr) return kWaitTimedOut;
  if (firedBy == queue) return kWaitMessage;
  for (size_t i = 0; i < inCount; ++i)
    if (inWaitables[i] == firedBy) return static_cast<int>(i);
  return kWaitTimedOut;
}

void sleepFor(int32_t inMilliseconds) {
  const posix::SuspensionPoint park;
  if (inMilliseconds < 0) {
    for (;;) ::pause();
  }
  timespec left{inMilliseconds / 1000, static_cast<long>(inMilliseconds % 1000) * 1000000L};
  while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

}  // namespace orvo::platform
