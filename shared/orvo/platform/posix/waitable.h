// How waiting works on POSIX; shared by the implementations of the wait, events, thread
// messages and threads.
//
// Each blocked wait has a Waiter of its own, which sleeps on a futex. A waitable keeps the
// waiters blocked on it under its own lock and fires them when it becomes signalled; a waiter reports the first source that fired it, which is how a wait learns
// that a pulse released it. A wait on several waitables takes their locks in address order
// (so no two waits take them in opposite orders), checks their states and registers with
// each before it lets go, so no signal can fall between the check and the registration.
//
// Lock order: a waitable's lock, or a message queue's, before a waiter's.
//
// Lifetime: a waitable is shared by its owner (the event's creator, a thread's handle and
// the running thread) and by every wait registered on it; the last to let go deletes it.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "orvo/platform/kxthreadmessages.h"
#include "orvo/platform/kxwait.h"

namespace orvo::platform::posix {

using Clock = std::chrono::steady_clock;

// The end of a wait of inTimeout milliseconds from now; none for -1.
std::optional<Clock::time_point> deadlineAfter(int32_t inTimeout);
// Milliseconds left until inDeadline for poll(): -1 without one, 0 once it has passed.
int millisecondsLeft(const std::optional<Clock::time_point>& inDeadline);

// One blocked wait, on the waiting thread's stack. A source fires it with its own lock held;
// the wait unregisters from every source under that source's lock before it returns, so a
// waiter never goes while it is being fired.
class Waiter {
 public:
  Waiter() = default;
  Waiter(const Waiter&) = delete;
  Waiter& operator=(const Waiter&) = delete;

  // The first source to fire is the one reported.
  void fire(const void* inSource);
  // Blocks until fired or past inDeadline.
  void wait(const std::optional<Clock::time_point>& inDeadline);
  const void* firedBy() const { return itsFiredBy.load(std::memory_order_acquire); }
  // A wait that includes sockets blocks in poll() instead of on the futex: firing then also
  // writes to inDescriptor (an eventfd the poll watches). Set before the waiter registers.
  // The waiting thread itself never needs the wake (it fires its own waiter when a socket
  // wait finds something).
  void wakeThrough(int inDescriptor) {
    itsWakeDescriptor = inDescriptor;
    itsWakeOwner = std::this_thread::get_id();
  }

 private:
  enum : uint32_t { kIdle, kFired, kSleeping };
  std::atomic<const void*> itsFiredBy{nullptr};
  std::atomic<uint32_t> itsState{kIdle};  // the futex word
  int itsWakeDescriptor = -1;
  std::thread::id itsWakeOwner;
};

// The wait of waitForAny() when some of its waitables are socket events (network.cpp):
// polls their sockets and inWakeDescriptor (inWaiter's) until inWaiter fires, a socket
// event is signalled or inDeadline passes; false when poll() fails.
bool waitWithSockets(Waiter& inWaiter, int inWakeDescriptor, Waitable* const* inWaitables, size_t inCount,
                     const std::optional<Clock::time_point>& inDeadline);
// The calling thread's eventfd for waitWithSockets; -1 when none can be made.
int socketWaitWakeDescriptor();

// The calling thread's message queue, made on first use (threadmessages.cpp).
class MessageQueue {
 public:
  bool post(const ThreadMessage& inMessage);
  bool take(ThreadMessage& outMessage);
  void clear();
  // Removes the messages numbered inMessage; the others stay, in their order.
  void discard(uint32_t inMessage);
  // The owning thread's wait, fired by every post while attached; fired at once when
  // messages are waiting already.
  void attach(Waiter* inWaiter);
  void detach();

 private:
  std::mutex itsLock;
  std::deque<ThreadMessage> itsMessages;
  Waiter* itsWaiter = nullptr;
};
MessageQueue& currentMessageQueue();

// Holds a suspended thread at a wait (thread.cpp); a no-op on threads not made by
// createSuspendedThread.
void parkIfSuspended();

// Parks a suspended thread on the way into a wait and again on the way out.
class SuspensionPoint {
 public:
  SuspensionPoint() { parkIfSuspended(); }
  ~SuspensionPoint() { parkIfSuspended(); }
  SuspensionPoint(const SuspensionPoint&) = delete;
  SuspensionPoint& operator=(const SuspensionPoint&) = delete;
};

}  // namespace orvo::platform::posix

namespace orvo::platform {

class Waitable {
 public:
  enum class Kind { event, threadEnd, socketEvent };

  explicit Waitable(Kind inKind) : itsKind(inKind) {}
  Waitable(const Waitable&) = delete;
  Waitable& operator=(const Waitable&) = delete;

  Kind kind() const { return itsKind; }

  // Made with one hold, its creator's; the last hold to go deletes it. Both take the lock.
  void hold();
  void release();

  bool isSignalled() const { return itsSignalled.load(std::memory_order_acquire); }
  void set();
  void reset();
  void pulse();

  // Called with mutex() held: registers inWaiter, which holds the waitable until it leaves.
  std::mutex& mutex() { return itsLock; }
  void addWaiter(posix::Waiter* inWaiter) {
    itsWaiters.push_back(inWaiter);
    ++itsHolds;
  }
  // Takes the lock itself: unregisters inWaiter and lets go of its hold.
  void leave(posix::Waiter* inWaiter);

 protected:
  // Only through release().
  virtual ~Waitable() = default;

 private:
  const Kind itsKind;
  std::mutex itsLock;
  std::atomic<bool> itsSignalled{false};
  std::vector<posix::Waiter*> itsWaiters;  // guarded by itsLock
  uint32_t itsHolds = 1;                   // guarded by itsLock
};

}  // namespace orvo::platform
