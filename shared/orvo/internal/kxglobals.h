// The library's process-wide objects, created during static initialisation in the order of
// their definitions in kxglobals.cpp, before any other static object of the program, and
// destroyed in reverse order at exit.
#pragma once

#include <atomic>
#include <cstdint>

#include "orvo/datastruct/internal/kxrectyperegistry.h"
#include "orvo/debug/internal/kxinfologstate.h"
#include "orvo/debug/kxallocguard.h"
#include "orvo/messages/kxstringserver.h"
#include "orvo/threads/internal/kxthreadregistry.h"
#include "orvo/threads/kxmainthread.h"
#include "orvo/threads/kxmemmutex.h"
#include "orvo/threads/kxtimer.h"
#include "orvo/util/internal/kxapplicationpaths.h"

namespace orvo::globals {

// Installs the allocation failure handler before anything else allocates.
extern kxAllocGuard gAllocGuard;
// Started before the other globals; the trace stamp measures from it.
extern kxTimer gProcessTimer;
extern kxInfoLogState gInfoLog;
// Message texts by reference number; filled at start-up, read-only afterwards.
extern kxStringServer gStringServer;
// Guards every kxSingleEvent's state changes and waiter list.
extern kxMemMutex gEventLock;
// Thread id -> kxThread, its lock and the registration counter.
extern kxThreadRegistry gThreadRegistry;
// Stands for the main thread; registered when the first kxThread is made.
extern kxMainThread gMainThread;
// Seeds default-constructed random generators; every generated number is folded into it.
extern std::atomic<uint32_t> gRandomSeed;
extern kxApplicationPaths gApplicationPaths;
// The option of the added record types and the names of the types known by number.
extern kxResRecTypeRegistry gRecordTypeRegistry;

}  // namespace orvo::globals
