#include "orvo/util/kxipaddressstatemachine.h"

#include <array>

#include "orvo/debug/kxassert.h"

namespace {

constexpr uint32_t kNumStates = 21;
constexpr uint32_t kNumTokens = 20;
constexpr uint32_t kNumLegalEnds = 7;
constexpr int8_t kArpaDone = 19;
constexpr int8_t kWildcardDone = 20;

constexpr uint8_t kDigitToken = 10;  // '0' is token 10, '9' token 19

constexpr std::array<uint8_t, 256> makeInputs() {
  std::array<uint8_t, 256> inputs{};
  inputs['i'] = 1;
  inputs['n'] = 2;
  inputs['-'] = 3;
  inputs['.'] = 4;
  inputs['*'] = 5;
  inputs['a'] = 6;
  inputs['d'] = 7;
  inputs['r'] = 8;
  inputs['p'] = 9;
  for (int d = 0; d < 10; ++d) inputs['0' + d] = uint8_t(kDigitToken + d);
  return inputs;
}

constexpr std::array<int8_t, kNumStates * kNumTokens> makeTable() {
  std::array<int8_t, kNumStates * kNumTokens> table{};
  const std::array<uint8_t, 256> inputs = makeInputs();
  auto set = [&](int inState, char inChar, int inNext) {
    table[uint32_t(inState) * kNumTokens + inputs[uint8_t(inChar)]] = int8_t(inNext);
  };
  auto setDigits = [&](int inState, char inFirst, char inLast, int inNext) {
    for (char c = inFirst; c <= inLast; ++c) set(inState, c, inNext);
  };
  // Octets: at most three digits, never above 255; leading zeros allowed.
  setDigits(1, '0', '1', 3);
  set(1, '2', 2);
  setDigits(1, '3', '9', 4);
  set(1, 'i', 7);
  set(1, '*', kWildcardDone);
  setDigits(2, '0', '4', 4);
  set(2, '5', 5);
  setDigits(2, '6', '9', 6);
  setDigits(3, '0', '9', 4);
  setDigits(4, '0', '9', 6);
  setDigits(5, '0', '5', 6);
  for (int s = 2; s <= 6; ++s) set(s, '.', 1);
  // The suffix in-addr.arpa. after the "i" that state 1 took.
  const char suffix[] = "n-addr.arpa.";
  for (int i = 0; suffix[i] != '\0'; ++i) set(7 + i, suffix[i], 8 + i);
  return table;
}

constexpr std::array<uint8_t, 256> kInputs = makeInputs();
constexpr std::array<int8_t, kNumStates * kNumTokens> kTable = makeTable();
constexpr int8_t kLegalEnds[kNumLegalEnds] = {2, 3, 4, 5, 6, kArpaDone, kWildcardDone};

}  // namespace

kxIPAddressStateMachine::kxIPAddressStateMachine(bool inUnderstandArpaFormat, bool inAllowWildcard)
    : itsUnderstandArpaFormatFlag(inUnderstandArpaFormat), itsAllowWildcardFlag(inAllowWildcard) {
  kxAssert(!itsUnderstandArpaFormatFlag || !itsAllowWildcardFlag);
  setTable(kTable.data(), kInputs.data(), kLegalEnds, kNumStates, kNumTokens, kNumLegalEnds);
}

bool kxIPAddressStateMachine::processChar(char inChar) {
  if (inChar == '.') ++itsNumDots;
  return kxStateMachine::processChar(inChar);
}

bool kxIPAddressStateMachine::isLegalEnd() const {
  switch (getState()) {
    case kArpaDone:
      return itsUnderstandArpaFormatFlag && kxStateMachine::isLegalEnd() && itsNumDots == 6;
    case kWildcardDone:
      return itsAllowWildcardFlag && kxStateMachine::isLegalEnd() && itsNumDots < 4;
    default:
      return kxStateMachine::isLegalEnd() && itsNumDots == 3;
  }
}

bool kxIPAddressStateMachine::isPartialAddress() const {
  return getCharCount() > 0 && kxStateMachine::isLegalEnd() && itsNumDots < 4;
}

bool kxIPAddressStateMachine::isArpaFormat() const { return isLegalEnd() && getState() == kArpaDone; }

bool kxIPAddressStateMachine::isWildcard() const { return isLegalEnd() && getState() == kWildcardDone; }
