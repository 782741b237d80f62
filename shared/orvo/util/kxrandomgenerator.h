// kxRandomGenerator: the MT19937 Mersenne Twister of Matsumoto and Nishimura (624-word
// state, the published tempering, seeding by one value and by an array), plus random names.
//
// A process-wide seed word, taken from the millisecond tick count at start-up, seeds every
// default-constructed generator; every number any generator produces is folded back into
// that word (word ^= number >> 1), so generators made later start differently. The word is
// updated atomically; a generator itself belongs to one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class kxRandomGenerator {
 public:
  static constexpr size_t kStateSize = 624;

  // Seeded with the process-wide seed word.
  kxRandomGenerator();
  explicit kxRandomGenerator(uint32_t inSeed);
  kxRandomGenerator(const uint32_t* inSeeds, size_t inCount);

  // The next tempered output.
  uint32_t nextValue();
  // The next output modulo inRange; a range of 0 gives the whole output rather than a
  // division by zero.
  uint32_t nextValue(uint32_t inRange) {
    const uint32_t value = nextValue();
    return inRange != 0 ? value % inRange : value;
  }

  // inCount characters from a 60-letter alphabet of ASCII letters and digits (no "w", no "W").
  std::string randomName(size_t inCount);

 private:
  void seed(uint32_t inSeed);
  void seed(const uint32_t* inSeeds, size_t inCount);
  void twist();

  uint32_t itsState[kStateSize];
  size_t itsIndex;
};
