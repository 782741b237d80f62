// Counts the heap allocations of a benchmark program: include it in exactly one unit of the
// program, which then replaces the global operator new/delete. gAllocations is the running
// count.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

inline std::atomic<size_t> gAllocations{0};

void* operator new(size_t inSize) {
  gAllocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(inSize != 0 ? inSize : 1)) return p;
  throw std::bad_alloc();
}
void* operator new(size_t inSize, const std::nothrow_t&) noexcept {
  gAllocations.fetch_add(1, std::memory_order_relaxed);
  return std::malloc(inSize != 0 ? inSize : 1);
}
// GCC cannot see that the replaced operator new above pairs with these.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpragmas"
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* inPointer) noexcept { std::free(inPointer); }
void operator delete(void* inPointer, size_t) noexcept { std::free(inPointer); }
void operator delete(void* inPointer, const std::nothrow_t&) noexcept { std::free(inPointer); }
#pragma GCC diagnostic pop
