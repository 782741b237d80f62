// The library's process-wide objects, in the one place where their order can be read.
//
// They are created during static initialisation, before the static objects of any other
// unit of the program (init_priority), in the order of the definitions below:
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
//
// Only the allocation guard is destroyed at exit (it puts the previous failure handler
// back). The others are never destroyed: a thread that kill() gave up on may still trace,
// signal events or leave the registry while the process exits, after every static object of
// the program is gone, and the system releases their memory with the process. (The
// recogniser and type tables built on first use are kept for ever likewise.)
#include <new>
#include <utility>

#include "orvo/internal/kxglobals.h"

#define KX_PROCESS_WIDE __attribute__((init_priority(200)))

namespace orvo::globals {
namespace {

// Room for one object, made in place and never destroyed.
template <typename Object>
union Lasting {
  template <typename... Arguments>
  explicit Lasting(Arguments&&... inArguments) : itsObject(std::forward<Arguments>(inArguments)...) {}
  ~Lasting() {}
  Object itsObject;
};

}  // namespace

KX_PROCESS_WIDE kxAllocGuard gAllocGuard;
KX_PROCESS_WIDE Lasting<kxTimer> gProcessTimerRoom(1);
KX_PROCESS_WIDE Lasting<kxInfoLogState> gInfoLogRoom;
KX_PROCESS_WIDE Lasting<kxStringServer> gStringServerRoom;
KX_PROCESS_WIDE Lasting<kxMemMutex> gEventLockRoom;
KX_PROCESS_WIDE Lasting<kxThreadRegistry> gThreadRegistryRoom;
KX_PROCESS_WIDE Lasting<kxMainThread> gMainThreadRoom;
KX_PROCESS_WIDE std::atomic<uint32_t> gRandomSeed{kxTimer::getTickCount()};
KX_PROCESS_WIDE Lasting<kxApplicationPaths> gApplicationPathsRoom;
KX_PROCESS_WIDE Lasting<kxResRecTypeRegistry> gRecordTypeRegistryRoom;

// Bound at load time (constant initialisation), before any constructor can use them.
kxTimer& gProcessTimer = gProcessTimerRoom.itsObject;
kxInfoLogState& gInfoLog = gInfoLogRoom.itsObject;
kxStringServer& gStringServer = gStringServerRoom.itsObject;
kxMemMutex& gEventLock = gEventLockRoom.itsObject;
kxThreadRegistry& gThreadRegistry = gThreadRegistryRoom.itsObject;
kxMainThread& gMainThread = gMainThreadRoom.itsObject;
kxApplicationPaths& gApplicationPaths = gApplicationPathsRoom.itsObject;
kxResRecTypeRegistry& gRecordTypeRegistry = gRecordTypeRegistryRoom.itsObject;

}  // namespace orvo::globals
