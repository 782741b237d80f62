#include "orvo/threads/kxmemmutex.h"

#include "orvo/debug/kxassert.h"

kxMemMutex::kxMemMutex() : numLocks(0), itsLockingThreadID(0) {}

kxMemMutex::~kxMemMutex() { kxAssert(!numLocks); }
