// kxAlloc: one owned heap byte buffer and its size.
//
// Used for temporary buffers whose size the operating system reports first (two-pass
// interfaces) and for formatting buffers. The buffer comes from new[] and goes back with
// delete[]; a buffer given to adopt() must come from new[] as well. Not copyable: two copies
// would free the same buffer.
#pragma once

#include <cstdint>

class kxAlloc {
 public:
  kxAlloc() = default;
  // Takes inData (from new[]) without copying it.
  kxAlloc(uint8_t* inData, uint32_t inSize) : itsData(inData), itsSize(inSize) {}
  kxAlloc(uint32_t inSize, bool inThrow) { allocate(inSize, inThrow); }
  virtual ~kxAlloc();

  kxAlloc(const kxAlloc&) = delete;
  kxAlloc& operator=(const kxAlloc&) = delete;

  // Replaces the buffer by a fresh one of inSize bytes (inSize must not be 0). A failure
  // raises std::bad_alloc with inThrow, otherwise leaves no buffer. size() is inSize either
  // way; the result says whether there is a buffer now.
  bool allocate(uint32_t inSize, bool inThrow);

  // Makes the buffer at least inNewSize bytes long, keeping its contents. On failure (false,
  // or std::bad_alloc with inThrow) the old buffer stays as it was.
  bool grow(uint32_t inNewSize, bool inThrow);

  // Frees the buffer and takes inData and inSize instead.
  void adopt(uint8_t* inData, uint32_t inSize);

  // Frees the buffer; afterwards there is none and the size is 0.
  void release();

  // The buffer; asserts that there is one.
  uint8_t* get() const;
  uint32_t size() const { return itsSize; }

 private:
  uint8_t* itsData = nullptr;
  uint32_t itsSize = 0;
};
