#include "orvo/util/kxrandomgenerator.h"

#include "orvo/internal/kxglobals.h"

namespace {

constexpr size_t kN = kxRandomGenerator::kStateSize;
constexpr size_t kM = 397;
constexpr uint32_t kMatrixA = 0x9908B0DFu;
constexpr uint32_t kUpperMask = 0x80000000u;
constexpr uint32_t kLowerMask = 0x7FFFFFFFu;

constexpr char kNameAlphabet[] = "abcdefghijklmnopqrstuvxyzABCDEFGHIJKLMNOPQRSTUVXYZ0123456789";
static_assert(sizeof kNameAlphabet - 1 == 60);

}  // namespace

kxRandomGenerator::kxRandomGenerator() { seed(orvo::globals::gRandomSeed.load(std::memory_order_relaxed)); }

kxRandomGenerator::kxRandomGenerator(uint32_t inSeed) { seed(inSeed); }

kxRandomGenerator::kxRandomGenerator(const uint32_t* inSeeds, size_t inCount) { seed(inSeeds, inCount); }

void kxRandomGenerator::seed(uint32_t inSeed) {
  itsState[0] = inSeed;
  for (size_t i = 1; i < kN; ++i)
    itsState[i] = 1812433253u * (itsState[i - 1] ^ (itsState[i - 1] >> 30)) + static_cast<uint32_t>(i);
  itsIndex = kN;
}

void kxRandomGenerator::seed(const uint32_t* inSeeds, size_t inCount) {
  seed(19650218u);
  size_t i = 1, j = 0;
  for (size_t k = (kN > inCount ? kN : inCount); k != 0; --k) {
    itsState[i] = (itsState[i] ^ ((itsState[i - 1] ^ (itsState[i - 1] >> 30)) * 1664525u)) + inSeeds[j] +
                  static_cast<uint32_t>(j);
    ++i, ++j;
    if (i >= kN) {
      itsState[0] = itsState[kN - 1];
      i = 1;
    }
    if (j >= inCount) j = 0;
  }
  for (size_t k = kN - 1; k != 0; --k) {
    itsState[i] = (itsState[i] ^ ((itsState[i - 1] ^ (itsState[i - 1] >> 30)) * 1566083941u)) - static_cast<uint32_t>(i);
    if (++i >= kN) {
      itsState[0] = itsState[kN - 1];
      i = 1;
    }
  }
  itsState[0] = 0x80000000u;  // the most significant bit is 1: the state is never all zero
}

void kxRandomGenerator::twist() {
  for (size_t k = 0; k < kN; ++k) {
    const uint32_t y = (itsState[k] & kUpperMask) | (itsState[(k + 1) % kN] & kLowerMask);
    itsState[k] = itsState[(k + kM) % kN] ^ (y >> 1) ^ ((y & 1u) ? kMatrixA : 0u);
  }
  itsIndex = 0;
}

uint32_t kxRandomGenerator::nextValue() {
  if (itsIndex >= kN) twist();
  uint32_t y = itsState[itsIndex++];
  y ^= y >> 11;
  y ^= (y << 7) & 0x9D2C5680u;
  y ^= (y << 15) & 0xEFC60000u;
  y ^= y >> 18;
  orvo::globals::gRandomSeed.fetch_xor(y >> 1, std::memory_order_relaxed);
  return y;
}

std::string kxRandomGenerator::randomName(size_t inCount) {
  std::string name(inCount, ' ');
  for (char& c : name) c = kNameAlphabet[nextValue(60)];
  return name;
}
