#include "orvo/threads/kxmemmutex.h"

#include "orvo/debug/kxassert.h"

kxMemMutex::kxMemMutex() : numLocks(0), itsLockingThreadID(0) {}

kxMemMutex::~kxMemMutex() { kxAssert(!numLocks); }

bool kxMemMutex::acquire(uint32_t curThreadID) {
  kxAssert(curThreadID != 0);
  itsLock.lock();
  kxAssertAs(itsLockingThreadID.load(std::memory_order_relaxed) == 0, "itsLockingThreadID == 0");
  itsLockingThreadID.store(curThreadID, std::memory_order_relaxed);
  numLocks = 1;
  return true;
}

void kxMemMutex::release() {
  kxAssert(numLocks > 0);
  if (--numLocks != 0) return;
  itsLockingThreadID.store(0, std::memory_order_relaxed);
  itsLock.unlock();
}
