// The process-wide allocation failure policy.
//
// One kxAllocGuard is created before every other process-wide object of the library (see
// kxglobals.cpp). It installs a new-handler that raises std::bad_alloc, so every failed
// allocation through the C++ allocation operators ends the same way whatever handler was
// installed before, and puts the previous handler back when the process ends.
//
// The runtime on Linux has no switch that routes failures of malloc/calloc/realloc through
// the new-handler (the Windows runtime's _set_new_mode(1) does that); those functions keep
// answering a null pointer, so the guard only manages the new-handler here.
#pragma once

#include <new>

class kxAllocGuard {
 public:
  kxAllocGuard();
  ~kxAllocGuard();
  kxAllocGuard(const kxAllocGuard&) = delete;
  kxAllocGuard& operator=(const kxAllocGuard&) = delete;

  // The handler the guard installs: it raises std::bad_alloc.
  static void failAllocation();

 private:
  std::new_handler itsPreviousHandler;
};
