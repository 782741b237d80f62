#include "orvo/threads/kxmainthread.h"

#include "orvo/debug/kxassert.h"
#include "orvo/internal/kxglobals.h"

using orvo::globals::gThreadRegistry;

kxMainThread::kxMainThread() : kxThread(nullptr), itsRegisteredFlag(false) {
  itsThreadState = running;
  seedRandom(this);
}

kxMainThread::~kxMainThread() {
  kxStMutex hold(&gThreadRegistry.itsLock);
  itsThreadState = stopped;
  if (itsRegisteredFlag) unRegisterThread(itsThreadID.load());
}

void kxMainThread::registerMainThread() {
  kxStMutex hold(&gThreadRegistry.itsLock);
  if (itsRegisteredFlag) return;
  itsThreadID = getCurrentThreadID();
  registerThread(itsThreadID.load(), this);
  itsRegisteredFlag = true;
}

void kxMainThread::rebindMainThread() {
  kxStMutex hold(&gThreadRegistry.itsLock);
  if (!itsRegisteredFlag) {
    registerMainThread();
    return;
  }
  const uint32_t current = getCurrentThreadID();
  if (current == itsThreadID.load()) return;
  itsThreadID = current;
  registerThread(current, this);
}

void kxMainThread::run() { kxAssert(false); }
