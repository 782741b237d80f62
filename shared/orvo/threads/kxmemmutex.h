// kxMemMutex: a recursive mutex that records which thread holds it and how often, over one
// non-recursive platform lock (a critical section on Windows, a std::mutex here) that is
// held exactly while the count is above 0. The owner takes it again without a platform
// call; a thread that does not hold it cannot release it (unlock() then does nothing).
//
// The owner field is read without the lock by the owner test in lock() and unlock(); that is
// sound because a thread can only find its own id there while it is the owner. It is atomic
// so the read is well-defined; the count is touched only by the owner.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "orvo/threads/kxmutex.h"

class kxMemMutex : public kxMutex {
 public:
  kxMemMutex();
  // A mutex destroyed while held is reported by an assertion.
  ~kxMemMutex() override;

  // Always true: the platform acquisition blocks until it succeeds.
  bool lock() override;
  void unlock() override;
  bool isLocked() override;

 private:
  int32_t numLocks;
  std::atomic<uint32_t> itsLockingThreadID;
  std::mutex itsLock;
};
