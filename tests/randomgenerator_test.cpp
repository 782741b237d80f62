// kxRandomGenerator against the published MT19937 outputs, and random names.
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "orvo/util/kxrandomgenerator.h"

namespace {

// The first outputs of the reference program mt19937ar.c, seeded by the array
// {0x123, 0x234, 0x345, 0x456}.
TEST(RandomGenerator, ArraySeedingMatchesReferenceOutput) {
  const uint32_t seeds[] = {0x123, 0x234, 0x345, 0x456};
  kxRandomGenerator generator(seeds, 4);
  const uint32_t expected[] = {1067595299u, 955945823u, 477289528u, 4107218783u, 4228976476u,
                               3344332714u, 3355579695u, 227628506u, 810200273u,  2591290167u};
  for (uint32_t value : expected) EXPECT_EQ(generator.nextValue(), value);
}

// The standard library's mt19937 is the same published generator with single-value seeding;
// 5489 is the reference default seed, whose 10000th output the C++ standard fixes.
TEST(RandomGenerator, SingleSeedMatchesStandardEngine) {
  for (uint32_t seed : {5489u, 0u, 19650218u, 0xFFFFFFFFu}) {
    kxRandomGenerator generator(seed);
    std::mt19937 reference(seed);
    uint32_t differences = 0;
    uint32_t last = 0;
    for (int i = 0; i < 10000; ++i) {
      last = generator.nextValue();
      differences += last != reference();
    }
    EXPECT_EQ(differences, 0u) << seed;
    if (seed == 5489u) {
      EXPECT_EQ(last, 4123659995u);
    }
  }
}

TEST(RandomGenerator, RangeAndNames) {
  kxRandomGenerator generator(42u);
  std::mt19937 reference(42u);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(generator.nextValue(7), reference() % 7);
  EXPECT_EQ(generator.nextValue(0), reference());

  std::set<char> seen;
  for (int i = 0; i < 50; ++i) {
    const std::string name = generator.randomName(40);
    ASSERT_EQ(name.size(), 40u);
    seen.insert(name.begin(), name.end());
  }
  EXPECT_EQ(seen.count('w') + seen.count('W'), 0u);
  EXPECT_EQ(seen.size(), 60u);  // 2000 draws reach every letter of the alphabet
  for (char c : seen) EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(c))) << c;
  EXPECT_EQ(generator.randomName(0), "");
}

// Every output is folded into the shared seed word, so two default-constructed generators
// made one after the other start from different states.
TEST(RandomGenerator, DefaultGeneratorsDiffer) {
  kxRandomGenerator first;
  const uint32_t a = first.nextValue();
  kxRandomGenerator second;
  EXPECT_NE(second.nextValue(), a);
}

}  // namespace
