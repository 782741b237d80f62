// kxMutex: the interface a lock guard talks to; kxStMutex: the scope guard that holds one
// level of a mutex from its construction to its end, or until it is released early.
#pragma once

#include <cstdint>

class kxMutex {
 public:
  kxMutex() = default;
  kxMutex(const kxMutex&) = delete;
  kxMutex& operator=(const kxMutex&) = delete;
  virtual ~kxMutex();

  virtual bool lock() = 0;
  virtual void unlock() = 0;
  // Whether any thread holds the mutex.
  virtual bool isLocked() = 0;
};

class kxStMutex {
 public:
  // Takes one level of inMutex (not null; reported by an assertion).
  explicit kxStMutex(kxMutex* inMutex);
  kxStMutex(const kxStMutex&) = delete;
  kxStMutex& operator=(const kxStMutex&) = delete;
  virtual ~kxStMutex();

  // Takes the level again after an early unlock(); nothing while it is held.
  void lock();
  // Gives the level back before the guard ends; nothing when it is not held.
  void unlock();

 private:
  kxMutex* itsMutex;
  int32_t itsLockedFlag;
};
