// kxIPAddressStateMachine: dotted quads with leading zeros, the wildcard and reverse forms,
// the dot-count end conditions and the partial-address test.
#include <gtest/gtest.h>

#include <string>

#include "orvo/util/kxipaddressstatemachine.h"
#include "support/kxassertcapture.h"

namespace {

bool recognise(const std::string& inText, bool inArpa, bool inWildcard) {
  kxIPAddressStateMachine machine(inArpa, inWildcard);
  return machine.processString(inText.data(), uint32_t(inText.size()));
}

TEST(IPAddressStateMachine, Shapes) {
  struct Case {
    const char* text;
    bool plain, wildcard, arpa;
  } cases[] = {
      {"1.2.3.4", true, true, true},
      {"255.255.255.255", true, true, true},
      {"099.1.1.1", true, true, true},
      {"000.0.0.0", true, true, true},
      {"199.200.249.250", true, true, true},
      {"0999.1.1.1", false, false, false},
      {"256.1.1.1", false, false, false},
      {"1.2.3.260", false, false, false},
      {"1.2.3", false, false, false},
      {"1.2.3.4.", false, false, false},
      {"1.2.3.4.5", false, false, false},
      {"", false, false, false},
      {"1..2.3", false, false, false},
      {" 1.2.3.4", false, false, false},
      {"*", false, true, false},
      {"1.*", false, true, false},
      {"1.2.3.*", false, true, false},
      {"1.2.3.4.*", false, false, false},
      {"1.2*", false, false, false},
      {"1.*.3", false, false, false},
      {"4.3.2.1.in-addr.arpa.", false, false, true},
      {"3.2.1.in-addr.arpa.", false, false, false},
      {"4.3.2.1.in-addr.arpa", false, false, false},
      {"4.3.2.1.IN-ADDR.ARPA.", false, false, false},
      {"4.3.2.1.in-addr.arpa.x", false, false, false},
      {"in-addr.arpa.", false, false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(recognise(c.text, false, false), c.plain) << c.text;
    EXPECT_EQ(recognise(c.text, false, true), c.wildcard) << c.text;
    EXPECT_EQ(recognise(c.text, true, false), c.arpa) << c.text;
  }
}

TEST(IPAddressStateMachine, DiesAtTheFirstImpossibleCharacter) {
  kxIPAddressStateMachine machine(false, false);
  EXPECT_FALSE(machine.processString("256.1.1.1", 9));
  EXPECT_EQ(machine.getCharCount(), 3u);
}

TEST(IPAddressStateMachine, PartialAddress) {
  struct Case {
    const char* text;
    bool partial;
  } cases[] = {
      {"10", true},     {"10.1", true}, {"10.1.2", true}, {"10.1.2.3", true}, {"10.", false},
      {"", false},      {"1.2.3.4.5", false},
      {"1.*", true},  // judged by the table alone, whatever the flags
  };
  for (const Case& c : cases) {
    kxIPAddressStateMachine machine(false, false);
    machine.processString(c.text, uint32_t(std::string(c.text).size()));
    EXPECT_EQ(machine.isPartialAddress(), c.partial) << c.text;
  }
}

TEST(IPAddressStateMachine, FormQueriesFollowTheEndTest) {
  kxIPAddressStateMachine plain(false, false);
  plain.processString("1.2.3.*", 7);
  EXPECT_FALSE(plain.isWildcard());
  kxIPAddressStateMachine wild(false, true);
  EXPECT_TRUE(wild.processString("1.2.3.*", 7));
  EXPECT_TRUE(wild.isWildcard());
  EXPECT_FALSE(wild.isArpaFormat());
  kxIPAddressStateMachine arpa(true, false);
  EXPECT_TRUE(arpa.processString("4.3.2.1.in-addr.arpa.", 21));
  EXPECT_TRUE(arpa.isArpaFormat());
  EXPECT_FALSE(arpa.isWildcard());
}

TEST(IPAddressStateMachine, BothFormsTogetherAreReported) {
  EXPECT_EQ(orvo::test::failedAssertions([] { kxIPAddressStateMachine machine(true, true); }),
            std::vector<std::string>{"!itsUnderstandArpaFormatFlag || !itsAllowWildcardFlag"});
}

}  // namespace
