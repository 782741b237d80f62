// The thread registry's process-wide state. Defined with the other process-wide objects
// (see kxglobals.cpp); members are constructed in the order listed.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>

#include "orvo/threads/kxmemmutex.h"

class kxThread;

struct kxThreadRegistry {
  std::map<uint32_t, kxThread*> itsThreads;  // guarded by itsLock
  kxMemMutex itsLock;
  // Successful registrations, never decreased; written under itsLock, read without it.
  std::atomic<int32_t> itsRegistrations{0};
};
