// The owned byte buffer and the process-wide allocation failure handler.
//
// This program replaces the array allocation operators so that a case can make the next
// allocations fail and can see which buffer was freed last.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "orvo/debug/kxallocguard.h"
#include "orvo/debug/kxinfolog.h"
#include "orvo/util/kxalloc.h"
#include "support/kxtestsupport.h"

namespace {
bool gFailArrayNew = false;
const void* gLastArrayDelete = nullptr;
}  // namespace

void* operator new[](std::size_t inSize) {
  void* const data = gFailArrayNew ? nullptr : std::malloc(inSize == 0 ? 1 : inSize);
  if (data == nullptr) throw std::bad_alloc();
  return data;
}
void* operator new[](std::size_t inSize, const std::nothrow_t&) noexcept {
  return gFailArrayNew ? nullptr : std::malloc(inSize == 0 ? 1 : inSize);
}
void operator delete[](void* inData) noexcept {
  if (inData != nullptr) gLastArrayDelete = inData;
  std::free(inData);
}
void operator delete[](void* inData, std::size_t) noexcept { operator delete[](inData); }

namespace {

// Makes array allocations fail while it lives.
struct FailingAllocations {
  FailingAllocations() { gFailArrayNew = true; }
  ~FailingAllocations() { gFailArrayNew = false; }
};

// What the body reported through the information log at level 5 (assertions go there).
template <typename Body>
std::string reported(Body inBody) {
  orvo::test::CaptureFd capture(2);
  const kxInfoLogLevel saved = kxGetInfoLogLevel();
  kxSetInfoLogLevel(5);
  inBody();
  kxSetInfoLogLevel(saved);
  return capture.text();
}

TEST(Alloc, GrowKeepsContentsAndNeverShrinks) {
  kxAlloc buffer(1024, true);
  ASSERT_EQ(buffer.size(), 1024u);
  for (uint32_t i = 0; i < 1024; ++i) buffer.get()[i] = static_cast<uint8_t>(i * 7);

  ASSERT_TRUE(buffer.grow(1500, true));
  EXPECT_EQ(buffer.size(), 1500u);
  for (uint32_t i = 0; i < 1024; ++i) ASSERT_EQ(buffer.get()[i], static_cast<uint8_t>(i * 7)) << i;

  uint8_t* const grown = buffer.get();
  for (uint32_t smaller : {1500u, 1024u, 1u}) {
    EXPECT_TRUE(buffer.grow(smaller, false));
    EXPECT_EQ(buffer.get(), grown);
    EXPECT_EQ(buffer.size(), 1500u);
  }
}

TEST(Alloc, FailedAllocationThrowsOrAnswersFalse) {
  for (bool throwing : {true, false}) {
    SCOPED_TRACE(throwing);
    kxAlloc buffer(16, true);
    std::memcpy(buffer.get(), "0123456789abcdef", 16);
    uint8_t* const old = buffer.get();

    {
      FailingAllocations failing;
      if (throwing)
        EXPECT_THROW(buffer.grow(32, true), std::bad_alloc);
      else
        EXPECT_FALSE(buffer.grow(32, false));
    }
    // The old buffer is untouched by a failed grow.
    EXPECT_EQ(buffer.get(), old);
    EXPECT_EQ(buffer.size(), 16u);
    EXPECT_EQ(std::memcmp(buffer.get(), "0123456789abcdef", 16), 0);

    {
      FailingAllocations failing;
      if (throwing)
        EXPECT_THROW(buffer.allocate(64, true), std::bad_alloc);
      else
        EXPECT_FALSE(buffer.allocate(64, false));
    }
    // allocate() gave up the old buffer first; the size stays what was asked for.
    EXPECT_EQ(gLastArrayDelete, old);
    EXPECT_EQ(buffer.size(), 64u);
    const std::string log = reported([&] { EXPECT_EQ(buffer.get(), nullptr); });
    EXPECT_NE(log.find("Offending command: \"itsData\""), std::string::npos) << log;

    // With no buffer behind the size, grow() must allocate instead of claiming success.
    EXPECT_TRUE(buffer.grow(32, false));
    EXPECT_NE(buffer.get(), nullptr);
    EXPECT_EQ(buffer.size(), 32u);
  }
}

TEST(Alloc, FreesWhatItOwns) {
  uint8_t* const adopted = new uint8_t[10];
  {
    kxAlloc buffer(adopted, 10);
    EXPECT_EQ(buffer.get(), adopted);
    EXPECT_EQ(buffer.size(), 10u);
  }
  EXPECT_EQ(gLastArrayDelete, adopted);

  kxAlloc buffer(8, false);
  uint8_t* const first = buffer.get();
  uint8_t* const second = new uint8_t[4];
  buffer.adopt(second, 4);
  EXPECT_EQ(gLastArrayDelete, first);
  EXPECT_EQ(buffer.get(), second);
  EXPECT_EQ(buffer.size(), 4u);

  buffer.release();
  EXPECT_EQ(gLastArrayDelete, second);
  EXPECT_EQ(buffer.size(), 0u);
}

TEST(Alloc, ZeroSizeIsReported) {
  kxAlloc buffer;
  const std::string log = reported([&] { buffer.allocate(0, false); });
  EXPECT_NE(log.find("File: kxalloc.cpp"), std::string::npos) << log;
  EXPECT_NE(log.find("Offending command: \"inSize\""), std::string::npos) << log;
}

void customHandler() { std::abort(); }

TEST(AllocGuard, RaisesBadAllocAndRestoresThePreviousHandler) {
  // The process-wide guard is in place before main().
  const std::new_handler installed = std::get_new_handler();
  ASSERT_EQ(installed, &kxAllocGuard::failAllocation);
  EXPECT_THROW(installed(), std::bad_alloc);

  std::set_new_handler(&customHandler);
  {
    kxAllocGuard guard;
    EXPECT_EQ(std::get_new_handler(), &kxAllocGuard::failAllocation);
  }
  EXPECT_EQ(std::get_new_handler(), &customHandler);
  std::set_new_handler(installed);
}

}  // namespace
