// kxTimer: the wrap rule, ordering by start sequence, differences and the elapsed text.
#include <gtest/gtest.h>

#include <cstdint>

#include "orvo/threads/kxtimer.h"

namespace {

kxTimer at(uint32_t inSequence, uint32_t inTicks) {
  kxTimer timer(0);
  timer.setFields(inSequence, inTicks);
  return timer;
}

TEST(Timer, ElapsedBetweenWrapRule) {
  struct Case {
    uint32_t earlier, later, expected;
  } cases[] = {
      {0xFFFFFFF0u, 0x10u, 0x1Fu},  // the cycle is 0xFFFFFFFF long
      {100, 100, 0},
      {100, 250, 150},
      {0, 0xFFFFFFFEu, 0xFFFFFFFEu},
      {0xFFFFFFFFu, 0, 0},
      {1, 0, 0xFFFFFFFEu},
  };
  for (const Case& c : cases)
    EXPECT_EQ(kxTimer::elapsedBetween(at(0, c.earlier), at(1, c.later)), c.expected) << c.earlier << " " << c.later;
}

TEST(Timer, DifferenceFollowsStartSequence) {
  struct Case {
    uint32_t seqA, ticksA, seqB, ticksB;
    int32_t expected;
  } cases[] = {
      {1, 500, 2, 500, 0},           // same tick, a before b
      {2, 500, 1, 500, 0},           // same tick, b before a: negated 0
      {1, 500, 2, 800, 300},
      {2, 800, 1, 500, -300},
      {1, 0xFFFFFFF0u, 2, 0x10u, 0x1F},  // across the wrap
      {1, 0, 2, 0xFFFFFFFEu, 0x7FFFFFFF},  // limited
      {2, 0xFFFFFFFEu, 1, 0, INT32_MIN},
      {2, 0x7FFFFFFFu, 1, 0, INT32_MIN},
      {2, 0x7FFFFFFEu, 1, 0, -0x7FFFFFFE},
  };
  for (const Case& c : cases) {
    const kxTimer a = at(c.seqA, c.ticksA), b = at(c.seqB, c.ticksB);
    EXPECT_EQ(a.isBefore(b), c.seqA < c.seqB);
    EXPECT_EQ(a.difference(b), c.expected) << c.seqA << "/" << c.ticksA << " -> " << c.seqB << "/" << c.ticksB;
  }
}

TEST(Timer, StartsTakeIncreasingSequenceNumbers) {
  kxTimer first(1), second(1);
  EXPECT_TRUE(first.isBefore(second));
  EXPECT_FALSE(second.isBefore(first));
  EXPECT_GE(first.difference(second), 0);
  kxTimer copy(first);
  EXPECT_EQ(copy.getSequence(), first.getSequence());
  EXPECT_EQ(copy.getStartTicks(), first.getStartTicks());
  copy.clear();
  EXPECT_EQ(copy.getSequence(), 0u);
  EXPECT_EQ(copy.getStartTicks(), 0u);
}

TEST(Timer, UnstartedTimerMeasuresFromTickZero) {
  kxTimer zero(0);
  EXPECT_EQ(zero.getSequence(), 0u);
  EXPECT_EQ(zero.getStartTicks(), 0u);
  const uint32_t before = kxTimer::getTickCount();
  const uint32_t elapsed = zero.elapsed();
  const uint32_t after = kxTimer::getTickCount();
  EXPECT_LE(before, elapsed);
  EXPECT_LE(elapsed, after);
}

TEST(Timer, ElapsedText) {
  struct Case {
    uint32_t ms;
    const char* text;
  } cases[] = {
      {3723045, "01:02:03:45"}, {0, "00:00:00:00"},   {5, "00:00:00:05"},
      {123, "00:00:00:123"},    {360000000, "100:00:00:00"}, {59999, "00:00:59:999"},
      {0xFFFFFFFFu, "1193:02:47:295"},
  };
  char buffer[kxTimer::kTextSize];
  for (const Case& c : cases) EXPECT_STREQ(kxTimer::formatMilliseconds(c.ms, buffer), c.text) << c.ms;
  kxTimer now(1);
  EXPECT_EQ(now.toString().substr(0, 9), "00:00:00:");
}

}  // namespace
