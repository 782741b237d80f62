// kxStateMachine: the table step, counting, stopping at the dead state, the end test, the
// precondition reports and the table dump, on a small machine that accepts "a" "b"+,
// optionally after one NUL or 0xE9 byte.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>

#include "orvo/debug/kxinfolog.h"
#include "orvo/util/kxstatemachine.h"
#include "support/kxassertcapture.h"
#include "support/kxtestsupport.h"

namespace {

using orvo::test::failedAssertions;
using Strings = std::vector<std::string>;

constexpr uint32_t kStates = 5;
constexpr uint32_t kTokens = 4;
// Tokens: 1 'a', 2 'b', 3 NUL and 0xE9.
const int8_t kTable[kStates * kTokens] = {
    0, 0, 0, 0,  // dead
    0, 2, 0, 4,  // start
    0, 0, 3, 0,  // after a
    0, 0, 3, 0,  // after b
    0, 2, 0, 0,  // after the prefix byte
};
const std::array<uint8_t, 256> kInputs = [] {
  std::array<uint8_t, 256> map{};
  map['a'] = 1;
  map['b'] = 2;
  map[0] = 3;
  map[0xE9] = 3;
  return map;
}();
const uint8_t* inputs() { return kInputs.data(); }
const int8_t kEnds[] = {3};
const int8_t kEndsWithStart[] = {1, 3};

class TinyMachine : public kxStateMachine {
 public:
  explicit TinyMachine(const int8_t* inEnds = kEnds, uint32_t inCount = 1) {
    setTable(kTable, inputs(), inEnds, kStates, kTokens, inCount);
  }
};

TEST(StateMachine, AcceptsAndRejectsCountedTexts) {
  struct Case {
    std::string text;
    bool accepted;
    uint32_t count;
  } cases[] = {
      {"ab", true, 2},
      {"abbb", true, 4},
      {"a", false, 1},                    // consumed, but state 2 is no legal end
      {std::string("\0ab", 3), true, 3},  // NUL is an ordinary byte of a counted text
      {"\xE9" "ab", true, 3},             // bytes above 127 index the map unsigned
      {"axbb", false, 2},                 // stops at the rejected byte, which is counted
      {"xab", false, 1},
      {"ba", false, 1},
  };
  for (const Case& c : cases) {
    TinyMachine machine;
    EXPECT_EQ(machine.processString(c.text.data(), uint32_t(c.text.size())), c.accepted) << c.text;
    EXPECT_EQ(machine.getCharCount(), c.count) << c.text;
  }
}

TEST(StateMachine, EmptyTextIsTheEndTestOfTheStartState) {
  TinyMachine plain;
  EXPECT_FALSE(plain.processString("", 0));
  TinyMachine startIsEnd(kEndsWithStart, 2);
  EXPECT_TRUE(startIsEnd.processString("", 0));
  EXPECT_EQ(startIsEnd.getCharCount(), 0u);
}

TEST(StateMachine, DeadMachineTakesNothingMore) {
  TinyMachine machine;
  EXPECT_TRUE(machine.processChar('a'));
  EXPECT_FALSE(machine.processChar('a'));
  EXPECT_EQ(machine.getCharCount(), 2u);
  EXPECT_FALSE(machine.processChar('b'));
  EXPECT_FALSE(machine.processString("b", 1));
  EXPECT_EQ(machine.getCharCount(), 2u);
  EXPECT_FALSE(machine.isLegalEnd());
}

TEST(StateMachine, PreconditionsAreReported) {
  EXPECT_EQ(failedAssertions([] {
              TinyMachine machine;
              machine.setTable(kTable, inputs(), kEnds, kStates, kTokens, 1);
            }),
            Strings{"itsTable == 0"});
  EXPECT_EQ(failedAssertions([] {
              struct Bare : kxStateMachine {
                void install() { setTable(nullptr, inputs(), kEnds, 0, kTokens, 1); }
              } machine;
              machine.install();
            }),
            (Strings{"(theTable != 0) && (theInputs != 0) && (theLegalEnds != 0)",
                     "(numStates > 0) && (numTokens > 0) && (numLegalEnds > 0)"}));
  // A machine without tables reports and takes nothing (rather than reading through null).
  struct Bare : kxStateMachine {};
  Bare bare;
  EXPECT_EQ(failedAssertions([&] { EXPECT_FALSE(bare.processChar('a')); }), Strings{"itsTable != 0"});
  EXPECT_EQ(failedAssertions([&] { EXPECT_FALSE(bare.processString("a", 1)); }), Strings{"itsTable != 0"});
  EXPECT_EQ(bare.getCharCount(), 0u);
}

TEST(StateMachine, DumpListsEveryMappedCharacterInOrder) {
  std::string err;
  {
    orvo::test::CaptureFd capture(2);
    const kxInfoLogLevel saved = kxGetInfoLogLevel();
    kxSetInfoLogLevel(5);
    TinyMachine().dumpTable();
    kxSetInfoLogLevel(saved);
    err = capture.text();
  }
  const std::string expected =
      "XXXXXX\t0\t1\t2\t3\t4\t\r"
      "3 (0)\t0\t4\t0\t0\t0\t\r"
      "1 (a)\t0\t2\t0\t0\t2\t\r"
      "2 (b)\t0\t0\t3\t3\t0\t\r"
      "3 (\xE9)\t0\t4\t0\t0\t0\t\r"
      "Legal ends: 3\t\r";
  EXPECT_NE(err.find(expected), std::string::npos) << err;
}

}  // namespace
