#include "orvo/threads/kxmemmutex.h"

#include "orvo/debug/kxassert.h"
#include "orvo/platform/kxplatformthread.h"

kxMemMutex::kxMemMutex() : numLocks(0), itsLockingThreadID(0) {}

kxMemMutex::~kxMemMutex() { kxAssert(!numLocks); }

bool kxMemMutex::lock() {
  const uint32_t curThreadID = orvo::platform::currentThreadId();
  kxAssert(curThreadID != 0);
  if (curThreadID == itsLockingThreadID.load(std::memory_order_relaxed)) {
    ++numLocks;
    return true;
  }
  itsLock.lock();
  kxAssertAs(itsLockingThreadID.load(std::memory_order_relaxed) == 0, "itsLockingThreadID == 0");
  itsLockingThreadID.store(curThreadID, std::memory_order_relaxed);
  numLocks = 1;
  return true;
}

void kxMemMutex::unlock() {
  if (orvo::platform::currentThreadId() != itsLockingThreadID.load(std::memory_order_relaxed)) return;
  kxAssert(numLocks > 0);
  if (--numLocks > 0) return;
  itsLockingThreadID.store(0, std::memory_order_relaxed);
  itsLock.unlock();
}

bool kxMemMutex::isLocked() { return itsLockingThreadID.load(std::memory_order_relaxed) != 0; }
