// kxDNSStateMachine and the domain-name helpers: the options, independence of machines
// with different options, label counting and extraction, common labels and the wire form.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "orvo/dns/kxdnsstatemachine.h"
#include "support/kxassertcapture.h"

namespace {

bool recognise(const std::string& inText, bool inUnderscore, bool inRelaxed, bool inMayStart) {
  kxDNSStateMachine machine(inUnderscore, inRelaxed, inMayStart);
  return machine.processString(inText.data(), uint32_t(inText.size()));
}

TEST(DNSStateMachine, Options) {
  struct Case {
    const char* text;
    bool standard;    // (true, false, false)
    bool noUnderscore;  // (false, false, false)
    bool relaxed;     // (true, true, false)
    bool mayStart;    // (true, false, true)
  } cases[] = {
      {"host", true, true, true, true},
      {"host.zone.test.", true, true, true, true},
      {"a-b.c", true, true, true, true},
      {"a/b.c", true, true, true, true},
      {"x_y.test", true, false, true, true},
      {"*.zone.test.", true, true, true, true},
      {"*", true, true, true, true},
      {"0.1", true, true, true, true},
      {"", false, false, false, false},
      {".", false, false, false, false},
      {"-host", false, false, true, true},
      {"host-", false, false, true, false},
      {"a/b_", false, false, true, false},
      {"a..b", false, false, false, false},
      {"a*", false, false, false, false},
      {"a.*b", false, false, false, false},
      {"**", false, false, false, false},
      {"a b", false, false, false, false},
      {"_sip._tcp.zone.test.", false, false, true, true},
      {"-a", false, false, true, true},
      {"caf\xC3\xA9.test", false, false, false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(recognise(c.text, true, false, false), c.standard) << c.text;
    EXPECT_EQ(recognise(c.text, false, false, false), c.noUnderscore) << c.text;
    EXPECT_EQ(recognise(c.text, true, true, false), c.relaxed) << c.text;
    EXPECT_EQ(recognise(c.text, true, false, true), c.mayStart) << c.text;
    EXPECT_EQ(isValidDomainName(c.text, false), c.standard) << c.text;
    EXPECT_EQ(isValidDomainName(std::string(c.text), false), c.standard) << c.text;
  }
  EXPECT_FALSE(recognise(std::string("a\0b", 3), true, false, false)) << "a NUL inside a counted text rejects";
  EXPECT_TRUE(isValidDomainName(".", true));
  EXPECT_FALSE(isValidDomainName("..", true));
  EXPECT_EQ(orvo::test::failedAssertions([] { kxDNSStateMachine machine(false, false, true); }),
            std::vector<std::string>{"allowUnderscore || ! mayStartWithUnderscore"});
}

TEST(DNSStateMachine, FastFeedMatchesCharacterSteps) {
  for (const char* text : {"host.zone.test.", "a-b--c.d", "a.-b", "abc def", "*.x", "a..b", "x_y"}) {
    kxDNSStateMachine stepped(true, false, false);
    kxDNSStateMachine fast(true, false, false);
    const uint32_t length = uint32_t(std::strlen(text));
    EXPECT_EQ(fast.recognise(text, length), stepped.processString(text, length)) << text;
    EXPECT_EQ(fast.getCharCount(), stepped.getCharCount()) << text;
  }
}

// A machine keeps the options it was built with, whatever machines are built later or in
// other threads.
TEST(DNSStateMachine, MachinesWithDifferentOptionsAreIndependent) {
  kxDNSStateMachine strict(false, false, false);
  kxDNSStateMachine relaxed(true, true, false);
  EXPECT_TRUE(strict.processChar('a'));
  EXPECT_TRUE(relaxed.processChar('a'));
  EXPECT_FALSE(strict.processString("_-", 2));
  EXPECT_TRUE(relaxed.processString("_-", 2));

  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &failures] {
      const bool relaxedOptions = (t % 2) != 0;
      for (int i = 0; i < 2000; ++i) {
        kxDNSStateMachine machine(true, relaxedOptions, false);
        if (machine.processString("host-", 5) != relaxedOptions) ++failures[size_t(t)];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures, std::vector<int>(4, 0));
}

TEST(DNSLabels, PrintableWord) {
  EXPECT_TRUE(isPrintableWord("a!~\x7F"));
  for (const char* bad : {"", "a b", "a\tb", "caf\xC3\xA9"}) EXPECT_FALSE(isPrintableWord(bad)) << bad;
  EXPECT_FALSE(isPrintableWord(std::string("a\0b", 3)));
}

TEST(DNSLabels, CountAndExtract) {
  struct Case {
    const char* text;
    int count;
  } counts[] = {{"", 0}, {".", 1}, {"host.zone.test.", 4}, {"host.zone.test", 3}, {"a..b", 3}};
  for (const Case& c : counts) EXPECT_EQ(countLabels(c.text), c.count) << c.text;
  EXPECT_EQ(countLabels("a,b", ','), 2);

  char label[64];
  EXPECT_STREQ(getLabel("a.b.c", 1, label), "b");
  EXPECT_STREQ(getLabel("a.b.c", 0, label), "a");
  EXPECT_STREQ(getLabel("a.b.c", 2, label), "c");
  EXPECT_STREQ(getLabel("a.b.c", 5, label), "");
  EXPECT_STREQ(getLabel("a;bc", 1, label, ';'), "bc");

  struct Last {
    const char* text;
    int n;
    const char* last;
  } lasts[] = {
      {"host.zone.test.", 0, ""},          {"host.zone.test.", 1, "."},
      {"host.zone.test.", 2, "test."},     {"host.zone.test.", 3, "zone.test."},
      {"host.zone.test", 2, "zone.test"},  {"host.zone.test.", 9, "host.zone.test."},
      {"", 1, ""},
  };
  for (const Last& l : lasts) {
    char out[64];
    EXPECT_STREQ(getLastLabels(l.text, l.n, out), l.last) << l.text << " " << l.n;
    std::string text;
    EXPECT_EQ(getLastLabels(std::string(l.text), l.n, text), l.last);
  }
}

TEST(DNSLabels, CommonLabels) {
  struct Case {
    const char *a, *b;
    int common;
  } cases[] = {
      {"HOST.ZONE.TEST.", "host.zone.test.", 4},
      {"a.zone.test.", "b.zone.test.", 3},
      {"zone.test.", "host.zone.test.", 3},
      {"host.zone.test.", "zone.test.", 3},
      {"one.test.", "zone.test.", 2},
      {"zone.test.", "one.test.", 2},
      {"a.", "b.", 1},
      {"a", "b", 0},
      {"", "", 0},
      {"", "abc", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(countCommonLabels(c.a, c.b), c.common) << c.a << " / " << c.b;
}

TEST(DNSLabels, WireForm) {
  char buffer[64];
  std::strcpy(buffer, "host.zone.test.");
  dottedToWireName(buffer);
  EXPECT_EQ(std::string(buffer, 16), std::string("\4host\4zone\4test\0", 16));
  wireToDottedName(buffer);
  EXPECT_STREQ(buffer, "host.zone.test.");

  std::strcpy(buffer, ".");
  dottedToWireName(buffer);
  EXPECT_EQ(buffer[0], '\0');

  std::memcpy(buffer, "\0\xAA", 2);
  EXPECT_STREQ(wireToDottedName(buffer), "") << "the root alone gives the empty text";

  // Without the trailing dot there is no room for the terminating zero length.
  std::strcpy(buffer, "host.zone");
  EXPECT_EQ(orvo::test::failedAssertions([&] { dottedToWireName(buffer); }).size(), 1u);
  EXPECT_STREQ(buffer, "host.zone");
}

}  // namespace
