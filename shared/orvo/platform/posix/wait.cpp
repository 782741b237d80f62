#include <algorithm>
#include <cerrno>
#include <ctime>
#include <new>

#include <linux/futex.h>
#include <sys/syscall.h>
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

namespace {
long futex(std::atomic<uint32_t>& inWord, int inOperation, uint32_t inValue, const timespec* inDeadline) {
  static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t) && std::atomic<uint32_t>::is_always_lock_free);
  return ::syscall(SYS_futex, reinterpret_cast<uint32_t*>(&inWord), inOperation, inValue, inDeadline, nullptr,
                   FUTEX_BITSET_MATCH_ANY);
}
}  // namespace

void Waiter::fire(const void* inSource) {
  const void* none = nullptr;
  if (!itsFiredBy.compare_exchange_strong(none, inSource, std::memory_order_acq_rel)) return;
  if (itsState.exchange(kFired, std::memory_order_acq_rel) == kSleeping)
    futex(itsState, FUTEX_WAKE_PRIVATE, 1, nullptr);
  if (itsWakeDescriptor >= 0 && std::this_thread::get_id() != itsWakeOwner) {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(itsWakeDescriptor, &one, sizeof one);
  }
}

void Waiter::wait(const std::optional<Clock::time_point>& inDeadline) {
  timespec deadline{};
  if (inDeadline) {
    // steady_clock is CLOCK_MONOTONIC, the clock of FUTEX_WAIT_BITSET's absolute time-out.
    const auto since = inDeadline->time_since_epoch();
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(since);
    deadline.tv_sec = static_cast<time_t>(seconds.count());
    deadline.tv_nsec = static_cast<long>(std::chrono::duration_cast<std::chrono::nanoseconds>(since - seconds).count());
  }
  for (;;) {
    uint32_t state = kIdle;
    if (!itsState.compare_exchange_strong(state, kSleeping, std::memory_order_acq_rel) && state == kFired) return;
    const long result = futex(itsState, FUTEX_WAIT_BITSET_PRIVATE, kSleeping, inDeadline ? &deadline : nullptr);
    if (result != 0 && errno == ETIMEDOUT) return;
    if (itsState.load(std::memory_order_acquire) == kFired) return;
  }
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

void Waitable::hold() {
  std::lock_guard<std::mutex> locked(itsLock);
  ++itsHolds;
}

void Waitable::release() {
  bool last;
  {
    std::lock_guard<std::mutex> hold(itsLock);
    last = --itsHolds == 0;
  }
  if (last) delete this;
}

void Waitable::leave(posix::Waiter* inWaiter) {
  bool last;
  {
    std::lock_guard<std::mutex> hold(itsLock);
    const auto found = std::find(itsWaiters.begin(), itsWaiters.end(), inWaiter);
    if (found != itsWaiters.end()) itsWaiters.erase(found);
    last = --itsHolds == 0;
  }
  if (last) delete this;
}

Waitable* createEvent() { return new (std::nothrow) Waitable(Waitable::Kind::event); }

void destroyEvent(Waitable* inEvent) {
  if (inEvent != nullptr && inEvent->kind() == Waitable::Kind::event) inEvent->release();
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

HeldWaitable::HeldWaitable(Waitable* inWaitable) : itsWaitable(inWaitable) {
  if (itsWaitable != nullptr) itsWaitable->hold();
}

HeldWaitable::~HeldWaitable() {
  if (itsWaitable != nullptr) itsWaitable->release();
}

namespace {

// The locks of a wait's waitables, taken in address order and let go on every way out.
class AllLocked {
 public:
  AllLocked(Waitable* const* inSorted, size_t inCount) : itsWaitables(inSorted) {
    for (; itsLocked < inCount; ++itsLocked) itsWaitables[itsLocked]->mutex().lock();
  }
  ~AllLocked() {
    while (itsLocked > 0) itsWaitables[--itsLocked]->mutex().unlock();
  }
  AllLocked(const AllLocked&) = delete;
  AllLocked& operator=(const AllLocked&) = delete;

 private:
  Waitable* const* const itsWaitables;
  size_t itsLocked = 0;
};

// A wait's registration with its waitables and its thread's queue. Each waitable holds
// itself for the wait until the wait leaves it, so that an owner who lets go meanwhile takes
// nothing from under the wait; the wait always leaves, also when it ends by an exception.
class Registration {
 public:
  explicit Registration(posix::Waiter& inWaiter) : itsWaiter(inWaiter) {}
  ~Registration() {
    if (itsQueue != nullptr) itsQueue->detach();
    for (size_t i = 0; i < itsCount; ++i) itsWaitables[i]->leave(&itsWaiter);
  }
  Registration(const Registration&) = delete;
  Registration& operator=(const Registration&) = delete;

  // Called with inWaitable's lock held.
  void add(Waitable* inWaitable) {
    inWaitable->addWaiter(&itsWaiter);
    itsWaitables[itsCount++] = inWaitable;
  }
  void attach(posix::MessageQueue* inQueue) {
    itsQueue = inQueue;
    itsQueue->attach(&itsWaiter);
  }

 private:
  posix::Waiter& itsWaiter;
  Waitable* itsWaitables[kMaxWaitables];
  size_t itsCount = 0;
  posix::MessageQueue* itsQueue = nullptr;
};

// What a wait that has ended reports: the first waitable signalled now, else what fired it.
int outcome(Waitable* const* inWaitables, size_t inCount, const posix::Waiter& inWaiter,
            const posix::MessageQueue* inQueue) {
  const int now = posix::firstSignalled(inWaitables, inCount);
  if (now >= 0) return now;
  const void* firedBy = inWaiter.firedBy();
  if (firedBy == nullptr) return kWaitTimedOut;
  if (firedBy == inQueue) return kWaitMessage;
  for (size_t i = 0; i < inCount; ++i)
    if (inWaitables[i] == firedBy) return static_cast<int>(i);
  return kWaitTimedOut;
}

}  // namespace

int waitForAny(Waitable* const* inWaitables, size_t inCount, int32_t inTimeout, bool inWithMessages) {
  if (inCount > kMaxWaitables - (inWithMessages ? 1 : 0)) return kWaitFailed;
  for (size_t i = 0; i < inCount; ++i)
    if (inWaitables[i] == nullptr) return kWaitFailed;

  const posix::SuspensionPoint park;
  const auto deadline = posix::deadlineAfter(inTimeout);

  Waitable* sorted[kMaxWaitables];
  std::copy(inWaitables, inWaitables + inCount, sorted);
  std::sort(sorted, sorted + inCount);
  const size_t unique = static_cast<size_t>(std::unique(sorted, sorted + inCount) - sorted);

  posix::Waiter waiter;
  const bool withSockets = std::any_of(inWaitables, inWaitables + inCount, [](Waitable* inWaitable) {
    return inWaitable->kind() == Waitable::Kind::socketEvent;
  });
  const int wakeDescriptor = withSockets ? posix::socketWaitWakeDescriptor() : -1;
  if (withSockets && wakeDescriptor < 0) return kWaitFailed;
  waiter.wakeThrough(wakeDescriptor);
  // Made (it may allocate) before anything is registered.
  posix::MessageQueue* const queue = inWithMessages ? &posix::currentMessageQueue() : nullptr;

  Registration registration(waiter);
  {
    const AllLocked hold(sorted, unique);
    const int already = posix::firstSignalled(inWaitables, inCount);
    if (already >= 0) return already;
    for (size_t i = 0; i < unique; ++i) registration.add(sorted[i]);
  }
  if (queue != nullptr) registration.attach(queue);
  if (withSockets) {
    if (!posix::waitWithSockets(waiter, wakeDescriptor, inWaitables, inCount, deadline)) return kWaitFailed;
  } else if (inTimeout != 0) {
    waiter.wait(deadline);
  }
  // Taken while the registration still holds the waitables; it leaves them on the way out.
  return outcome(inWaitables, inCount, waiter, queue);
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
