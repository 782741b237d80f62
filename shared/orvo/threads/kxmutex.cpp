#include "orvo/threads/kxmutex.h"

#include "orvo/debug/kxassert.h"

kxMutex::~kxMutex() = default;

kxStMutex::kxStMutex(kxMutex* inMutex) : itsMutex(inMutex), itsLockedFlag(false) {
  kxAssert(itsMutex);
  lock();
}

kxStMutex::~kxStMutex() { unlock(); }

void kxStMutex::lock() {
  if (itsLockedFlag || itsMutex == nullptr) return;
  itsLockedFlag = itsMutex->lock();
}

void kxStMutex::unlock() {
  if (!itsLockedFlag) return;
  itsMutex->unlock();
  itsLockedFlag = false;
}
