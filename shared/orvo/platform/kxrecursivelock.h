// A recursive lock: the thread that holds it may take it again, and it is free again when
// every take has been matched by a release. Used for the process-wide library locks.
#pragma once

#include <mutex>

namespace orvo::platform {

class RecursiveLock {
 public:
  RecursiveLock() = default;
  RecursiveLock(const RecursiveLock&) = delete;
  RecursiveLock& operator=(const RecursiveLock&) = delete;

  void lock() { itsMutex.lock(); }
  bool tryLock() { return itsMutex.try_lock(); }
  void unlock() { itsMutex.unlock(); }

  // BasicLockable spelling, so std::lock_guard and std::unique_lock work too.
  bool try_lock() { return tryLock(); }

 private:
  std::recursive_mutex itsMutex;
};

}  // namespace orvo::platform
