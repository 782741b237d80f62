// kxMemMutex: a recursive mutex that records which thread holds it and how often, over one
// non-recursive platform lock (a std::mutex, in the place of Windows' critical section) that is
// held exactly while the count is above 0. The owner takes it again without a platform
// call; a thread that does not hold it cannot release it (unlock() then does nothing).
//
// lock() and unlock() are inline: the common case, a first lock and last unlock without
// contention, costs one platform lock and unlock and a per-thread read.
//
// The owner field is read without the lock by the owner test in lock() and unlock(); that is
// sound because a thread can only find its own id there while it is the owner. It is atomic
// so the read is well-defined; the count is touched only by the owner.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "orvo/debug/kxassert.h"
#include "orvo/platform/kxplatformthread.h"
#include "orvo/threads/kxmutex.h"

class kxMemMutex : public kxMutex {
 public:
  kxMemMutex();
  // A mutex destroyed while held is reported by an assertion.
  ~kxMemMutex() override;

  // Always true: the platform acquisition blocks until it succeeds.
  bool lock() override {
    const uint32_t curThreadID = orvo::platform::currentThreadId();
    if (curThreadID == itsLockingThreadID.load(std::memory_order_relaxed) && curThreadID != 0) {
      ++numLocks;
      return true;
    }
    return acquire(curThreadID);
  }
  void unlock() override {
    if (orvo::platform::currentThreadId() != itsLockingThreadID.load(std::memory_order_relaxed)) return;
    if (numLocks > 1) {
      --numLocks;
      return;
    }
    release();
  }
  bool isLocked() override { return itsLockingThreadID.load(std::memory_order_relaxed) != 0; }

 private:
  // The first level: takes the platform lock. The last level: lets it go. Both inline: an
  // out-of-line call on each side costs a fifth of an uncontended lock and unlock.
  bool acquire(uint32_t inThreadID) {
    itsLock.lock();
    kxAssertAs(itsLockingThreadID.load(std::memory_order_relaxed) == 0, "itsLockingThreadID == 0");
    itsLockingThreadID.store(inThreadID, std::memory_order_relaxed);
    numLocks = 1;
    return true;
  }
  void release() {
    if (--numLocks != 0) return;
    itsLockingThreadID.store(0, std::memory_order_relaxed);
    itsLock.unlock();
  }

  int32_t numLocks;
  std::atomic<uint32_t> itsLockingThreadID;
  std::mutex itsLock;
};
