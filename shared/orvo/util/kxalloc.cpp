#include "orvo/util/kxalloc.h"

#include <cstring>
#include <new>

#include "orvo/debug/kxassert.h"

namespace {

uint8_t* newBuffer(uint32_t inSize, bool inThrow) {
  return inThrow ? new uint8_t[inSize] : new (std::nothrow) uint8_t[inSize];
}

}  // namespace

kxAlloc::~kxAlloc() { delete[] itsData; }

bool kxAlloc::allocate(uint32_t inSize, bool inThrow) {
  kxAssert(inSize);
  release();
  itsSize = inSize;
  itsData = newBuffer(inSize, inThrow);
  return itsData != nullptr;
}

bool kxAlloc::grow(uint32_t inNewSize, bool inThrow) {
  // Only a buffer that exists is big enough: after a failed allocate() the size is set
  // while there is no buffer.
  if (itsData != nullptr && itsSize >= inNewSize) return true;
  uint8_t* const bigger = newBuffer(inNewSize, inThrow);
  if (bigger == nullptr) return false;
  if (itsData != nullptr) std::memcpy(bigger, itsData, itsSize);
  delete[] itsData;
  itsData = bigger;
  itsSize = inNewSize;
  return true;
}

void kxAlloc::adopt(uint8_t* inData, uint32_t inSize) {
  delete[] itsData;
  itsData = inData;
  itsSize = inSize;
}

void kxAlloc::release() {
  delete[] itsData;
  itsData = nullptr;
  itsSize = 0;
}

uint8_t* kxAlloc::get() const {
  kxAssert(itsData);
  return itsData;
}
