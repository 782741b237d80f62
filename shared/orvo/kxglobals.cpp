// The library's process-wide objects, in the one place where their order can be read.
//
// They are created during static initialisation, before the static objects of any other
// unit of the program (init_priority), in the order of the definitions below, and destroyed
// in reverse order at process exit:
//   1. the allocation failure guard, so every later allocation fails the same way;
//   2. the process timer, started, so the trace stamp counts from here;
//   3. the information log's prefix, sink list, log file name and lock;
//   4. the message text registry, empty until modules register their texts;
//   5. the event lock, the thread registry (its map, lock and counter) and the object that
//      stands for the main thread;
//   6. the tick count that seeds the random generators;
//   7. the application path, directory and name, empty until first asked for;
//   8. the empty resource-record type registry.
// Later areas add theirs below in the order they must be created.
#include "orvo/internal/kxglobals.h"

#define KX_PROCESS_WIDE __attribute__((init_priority(200)))

namespace orvo::globals {

KX_PROCESS_WIDE kxAllocGuard gAllocGuard;
KX_PROCESS_WIDE kxTimer gProcessTimer(1);
KX_PROCESS_WIDE kxInfoLogState gInfoLog;
KX_PROCESS_WIDE kxStringServer gStringServer;
KX_PROCESS_WIDE kxMemMutex gEventLock;
KX_PROCESS_WIDE kxThreadRegistry gThreadRegistry;
KX_PROCESS_WIDE kxMainThread gMainThread;
KX_PROCESS_WIDE std::atomic<uint32_t> gRandomSeed{kxTimer::getTickCount()};
KX_PROCESS_WIDE kxApplicationPaths gApplicationPaths;
KX_PROCESS_WIDE kxResRecTypeRegistry gRecordTypeRegistry;

}  // namespace orvo::globals
