// kxIPv6: text parsing (also against inet_pton over a generated corpus), the text forms,
// range arithmetic and address classes.
#ifndef _WIN32
#include <arpa/inet.h>
#endif
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "orvo/util/kxipv6.h"
#include "support/kxassertcapture.h"

namespace {

std::string hexBytes(const uint8_t* inBytes, size_t inCount) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  for (size_t i = 0; i < inCount; ++i) {
    text += digits[inBytes[i] >> 4];
    text += digits[inBytes[i] & 0xF];
  }
  return text;
}

// The 32 hex digits of a parse, or "-" when refused.
std::string parsed6(const std::string& inText) {
  uint8_t bytes[16];
  std::memset(bytes, 0xAA, 16);
  if (!parseIPv6Text(inText.data(), inText.size(), bytes)) return "-";
  return hexBytes(bytes, 16);
}

kxIPv6 v6(const char* inText) {
  uint8_t bytes[16];
  EXPECT_TRUE(parseIPv6Text(inText, std::strlen(inText), bytes)) << inText;
  return kxIPv6(bytes);
}

TEST(IPv6, ParseText) {
  struct Case {
    const char* text;
    const char* bytes;
  } cases[] = {
      {"::", "00000000000000000000000000000000"},
      {"::1", "00000000000000000000000000000001"},
      {"1::", "00010000000000000000000000000000"},
      {"2001:DB8::Ab:1", "20010db8000000000000000000ab0001"},
      {"1:2:3:4:5:6:7:8", "00010002000300040005000600070008"},
      {"1:2:3:4:5:6:7::", "00010002000300040005000600070000"},
      {"::2:3:4:5:6:7:8", "00000002000300040005000600070008"},
      {"::ffff:192.0.2.1", "00000000000000000000ffffc0000201"},
      {"1:2:3:4:5:6:1.2.3.4", "00010002000300040005000601020304"},
      {"00001::", "00010000000000000000000000000000"},
      {":1::", "-"},
      {"1:::2", "-"},
      {"1::2::3", "-"},
      {"12345::", "-"},
      {"1:", "-"},
      {"1:2:3:4:5:6:7:8:", "-"},
      {"1:2:3:4:5:6:7:8:9", "-"},
      {"1:2:3:4:5:6:7:8::", "-"},
      {"1:2:3:4:5:6:7", "-"},
      {"::1.2.3", "-"},
      {"::01.2.3.4", "-"},
      {"::1.2.3.4.5", "-"},
      {"::1.2.3.4:5", "-"},
      {"1:2:3:4:5:6:7:1.2.3.4", "-"},
      {"::g", "-"},
      {"", "-"},
      {":", "-"},
      {"1.2.3.4", "-"},
  };
  for (const Case& c : cases) EXPECT_EQ(parsed6(c.text), c.bytes) << c.text;
}

TEST(IPv6, FromText) {
  const kxIPv6 mapped("::ffff:192.0.2.1");
  EXPECT_TRUE(mapped.isIPv4());
  EXPECT_EQ(mapped.toString(), "192.0.2.1");
  EXPECT_EQ(mapped.toText(true, true), "::ffff:c000:201");
  EXPECT_EQ(mapped.getIPv4(), kxIPv4Address(192, 0, 2, 1));
  EXPECT_EQ(kxIPv6("192.0.2.1"), mapped);
  EXPECT_EQ(kxIPv6(std::string("1.2.0.192.in-addr.arpa.")), mapped);
  EXPECT_EQ(kxIPv6(kxIPv4Address(192, 0, 2, 1)), mapped);

  const kxIPv6 zero;
  for (const char* none : {"0.0.0.0", "::", "01.2.3.4", "1::2::3", "", "host", "abc", "1.2.3.4::", "1.2.3.4:5", "g:1::"})
    EXPECT_EQ(kxIPv6(none), zero) << none;
  EXPECT_EQ(kxIPv6(static_cast<const char*>(nullptr)), zero);
  EXPECT_FALSE(kxIPv6("0.0.0.0").isIPv4()) << "0.0.0.0 is no address, not ::ffff:0.0.0.0";
}

TEST(IPv6, TextForms) {
  struct Case {
    const char* address;
    bool compress, suppress;
    const char* text;
  } cases[] = {
      {"::1", true, true, "::1"},
      {"::", true, true, "::0"},
      {"1:2:3:4:5:0:0:0", true, true, "1:2:3:4:5::0"},
      {"1:0:0:0:2:0:0:3", true, true, "1:0:0:0:2::3"},
      {"1:0:0:2:0:0:0:3", true, true, "1:0:0:2::3"},
      {"1:0:2:0:3:0:4:0", true, true, "1:0:2:0:3:0:4:0"},
      {"1:0:0:0:0:0:0:0", true, true, "1::0"},
      {"2001:db8::1", true, true, "2001:db8::1"},
      {"2001:db8::1", true, false, "2001:0db8::0001"},
      {"2001:db8::1", false, true, "2001:db8:0:0:0:0:0:1"},
      {"2001:db8::1", false, false, "2001:0db8:0000:0000:0000:0000:0000:0001"},
      {"ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff", true, true, "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(v6(c.address).toText(c.compress, c.suppress), c.text) << c.address;
    // The compressed text reads back as the same address.
    EXPECT_EQ(parsed6(v6(c.address).toText(c.compress, c.suppress)), parsed6(c.address)) << c.address;
  }
  EXPECT_EQ(v6("2001:db8::1").toString(), "2001:db8::1");
  EXPECT_EQ(v6("2001:db8::1").toString(false), "2001:db8:0:0:0:0:0:1");
  EXPECT_EQ(v6("2001:db8::567:89ab").getReverseName(),
            "b.a.9.8.7.6.5.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.8.b.d.0.1.0.0.2.ip6.arpa.");
  EXPECT_EQ(kxIPv6("10.1.2.3").getReverseName(), "3.2.1.10.in-addr.arpa.");
}

TEST(IPv6, Classes) {
  struct Case {
    const char* address;
    int type;
    bool legal, loopback;
  } cases[] = {
      {"::", 0, false, false},          {"::1", 1, true, true},        {"ff00::1", 2, true, false},
      {"fe80::1", 3, true, false},      {"2001:db8::", 4, true, false}, {"::2", 4, true, false},
      {"::1:0:0:1", 4, true, false},    {"::ffff:127.0.0.1", 4, true, true},
      {"::ffff:127.0.0.2", 4, true, false}, {"::ffff:0.0.0.0", 4, false, false},
  };
  for (const Case& c : cases) {
    const kxIPv6 a = v6(c.address);
    EXPECT_EQ(a.addressType(), c.type) << c.address;
    EXPECT_EQ(a.isLegal(), c.legal) << c.address;
    EXPECT_EQ(a.isLoopback(), c.loopback) << c.address;
  }
  EXPECT_EQ(orvo::test::failedAssertions([] { v6("::1").getIPv4(); }), std::vector<std::string>{"isIPv4()"});
}

TEST(IPv6, Arithmetic) {
  EXPECT_EQ(kxIPv6::countBetween(v6("::5"), v6("::4")), 0u);
  EXPECT_EQ(kxIPv6::countBetween(v6("::5"), v6("::5")), 1u);
  EXPECT_EQ(kxIPv6::countBetween(v6("1::ffff"), v6("1::1:0")), 2u);
  EXPECT_EQ(kxIPv6::countBetween(v6("::"), v6("1::")), ~uint64_t(0));
  EXPECT_EQ(kxIPv6::countBetween(v6("::"), v6("::ffff:ffff:ffff:ffff")), ~uint64_t(0))
      << "2^64 addresses do not fit and must not wrap to 0";

  kxIPv6 a = v6("ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff");
  a.add(1);
  EXPECT_EQ(a, kxIPv6());
  a.subtract(1);
  EXPECT_EQ(a, v6("ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff"));
  kxIPv6 b = v6("1::1:0");
  b.subtract(1);
  EXPECT_EQ(b, v6("1::ffff"));
  b.add(-0x10000);
  EXPECT_EQ(b, v6("0:ffff:ffff:ffff:ffff:ffff:ffff:ffff"));
  kxIPv6 c = v6("::");
  c.subtract(INT32_MIN);
  EXPECT_EQ(c, v6("::8000:0")) << "the smallest count is subtracted, not added";
  c.add(INT32_MIN);
  EXPECT_EQ(c, kxIPv6());
}

TEST(IPv6, Blocks) {
  struct Case {
    const char* address;
    uint16_t prefix;
    const char *network, *last;
  } cases[] = {
      {"2001:db8:1234::5", 32, "2001:db8::", "2001:db8:ffff:ffff:ffff:ffff:ffff:ffff"},
      {"2001:db8:1234::5", 36, "2001:db8:1000::", "2001:db8:1fff:ffff:ffff:ffff:ffff:ffff"},
      {"2001:db8:1234::5", 0, "::", "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff"},
      {"2001:db8:1234::5", 127, "2001:db8:1234::4", "2001:db8:1234::5"},
      {"2001:db8:1234::5", 128, "2001:db8:1234::5", "2001:db8:1234::5"},
      {"2001:db8:1234::5", 200, "2001:db8:1234::5", "2001:db8:1234::5"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(kxIPv6::networkAddress(v6(c.address), c.prefix), v6(c.network)) << c.prefix;
    EXPECT_EQ(kxIPv6::lastAddress(v6(c.address), c.prefix), v6(c.last)) << c.prefix;
    if (c.prefix <= 128) {
      EXPECT_EQ(kxIPv6::rangePrefixLength(v6(c.network), v6(c.last)), c.prefix);
    }
  }
  EXPECT_EQ(kxIPv6::rangePrefixLength(v6("::1"), v6("::1")), 128);
  EXPECT_EQ(kxIPv6::rangePrefixLength(v6("::1"), v6("::ff")), 129);
  EXPECT_EQ(kxIPv6::rangePrefixLength(v6("::"), v6("::fe")), 129);
  EXPECT_EQ(kxIPv6::rangePrefixLength(v6("::100"), v6("::1ff")), 120);
  EXPECT_EQ(kxIPv6::rangePrefixLength(v6("::200"), v6("::1ff")), 129);
}

// The peer is glibc's inet_pton; Windows (and Wine) read some texts otherwise.
#ifndef _WIN32
// Texts for the comparison with inet_pton: well-formed addresses in many spellings, then
// the same with one random edit (a character changed, inserted, removed or duplicated).
std::vector<std::string> addressCorpus(size_t inCount) {
  std::mt19937 random(20261210);
  auto pick = [&](uint32_t inRange) { return uint32_t(random() % inRange); };
  auto octet = [&] {
    switch (pick(4)) {
      case 0: return std::to_string(pick(10));
      case 1: return std::to_string(pick(256));
      case 2: return std::to_string(250 + pick(10));  // around the 255 limit
      default: return (pick(2) != 0 ? "0" : "00") + std::to_string(pick(100));  // leading zeros
    }
  };
  auto quad = [&] { return octet() + "." + octet() + "." + octet() + "." + octet(); };
  auto group = [&] {
    static const char digits[] = "0123456789abcdefABCDEF";
    std::string g;
    const uint32_t length = 1 + pick(pick(8) == 0 ? 6 : 4);  // now and then five or six digits
    for (uint32_t i = 0; i < length; ++i) g += digits[pick(22)];
    return g;
  };
  auto ipv6 = [&] {
    uint32_t groups = pick(4) == 0 ? 6 : 8;
    std::vector<std::string> parts;
    for (uint32_t i = 0; i < groups; ++i) parts.push_back(pick(3) == 0 ? "0" : group());
    const uint32_t gapAt = pick(3) == 0 ? groups + 1 : pick(groups + 1);
    const uint32_t gapLength = gapAt <= groups ? pick(groups - gapAt + 1) : 0;
    std::string text;
    for (uint32_t i = 0; i < groups; ++i) {
      if (i == gapAt) {
        text += "::";
        i += gapLength;
        if (i >= groups) break;
      } else if (i > 0) {
        text += ":";
      }
      text += parts[i];
    }
    if (gapAt == groups) text += "::";
    if (groups == 6) text += (text.empty() || text.back() == ':' ? "" : ":") + quad();
    return text;
  };
  std::vector<std::string> texts;
  static const char noise[] = "0123456789abcdefABCDEFx.:- /%*gG";
  while (texts.size() < inCount) {
    std::string text = pick(2) == 0 ? quad() : ipv6();
    if (pick(2) == 0 && !text.empty()) {
      const uint32_t at = pick(uint32_t(text.size()));
      switch (pick(4)) {
        case 0: text[at] = noise[pick(sizeof noise - 1)]; break;
        case 1: text.insert(text.begin() + at, noise[pick(sizeof noise - 1)]); break;
        case 2: text.erase(at, 1); break;
        default: text.insert(text.begin() + at, text[at]); break;
      }
    }
    texts.push_back(text);
  }
  return texts;
}

// Agrees with inet_pton except where documented: a group may have more than four digits
// (00001), and texts without ":" are read as IPv4 (also the reverse-lookup name).
TEST(IPv6, AgreesWithInetPton) {
  const std::vector<std::string> corpus = addressCorpus(6000);
  size_t accepted4 = 0;
  size_t accepted6 = 0;
  size_t longGroups = 0;
  for (const std::string& text : corpus) {
    uint8_t peer[16];
    if (text.find(':') == std::string::npos) {
      const bool peerOk = inet_pton(AF_INET, text.c_str(), peer) == 1;
      kxIPv4Address mine;
      const bool ok = mine.parse(text.data(), uint32_t(text.size()));
      ASSERT_EQ(ok, peerOk) << text;
      if (ok) {
        ++accepted4;
        const uint32_t address = mine.getAddress();
        EXPECT_EQ(std::memcmp(&address, peer, 4), 0) << text;
        if (mine.isLegal()) {
          EXPECT_EQ(kxIPv6(text), kxIPv6(mine)) << text;
        }
      }
      continue;
    }
    const bool peerOk = inet_pton(AF_INET6, text.c_str(), peer) == 1;
    uint8_t mine[16];
    const bool ok = parseIPv6Text(text.data(), text.size(), mine);
    if (ok && !peerOk) {
      // The one intended difference: a group of more than four digits with a small value.
      std::string shortened = text;
      bool changed = false;
      for (size_t at = 0; (at = shortened.find_first_of("0123456789abcdefABCDEF", at)) != std::string::npos;) {
        size_t end = shortened.find_first_not_of("0123456789abcdefABCDEF", at);
        if (end == std::string::npos) end = shortened.size();
        while (end - at > 4 && shortened[at] == '0') {
          shortened.erase(at, 1);
          --end;
          changed = true;
        }
        at = end;
      }
      ASSERT_TRUE(changed) << text;
      ASSERT_EQ(inet_pton(AF_INET6, shortened.c_str(), peer), 1) << text;
      ++longGroups;
    } else {
      ASSERT_EQ(ok, peerOk) << text;
    }
    if (ok) {
      ++accepted6;
      EXPECT_EQ(hexBytes(mine, 16), hexBytes(peer, 16)) << text;
      // Our text form reads back through the peer to the same address.
      uint8_t again[16];
      ASSERT_EQ(inet_pton(AF_INET6, kxIPv6(mine).toText(true, true).c_str(), again), 1) << text;
      EXPECT_EQ(std::memcmp(again, mine, 16), 0) << text;
    }
  }
  // The corpus must exercise both sides of every decision.
  EXPECT_GT(accepted4, 300u);
  EXPECT_GT(accepted6, 500u);
  EXPECT_GT(longGroups, 5u);
  EXPECT_LT(accepted4 + accepted6, corpus.size() - 1000);
}

TEST(IPv6, IntendedDifferencesFromInetPton) {
  uint8_t peer[16];
  uint8_t mine[16];
  // Leading zeros beyond four digits.
  EXPECT_EQ(inet_pton(AF_INET6, "00001::", peer), 0);
  EXPECT_TRUE(parseIPv6Text("00001::", 7, mine));
  // The reverse-lookup name and text without ":" as IPv4.
  EXPECT_EQ(inet_pton(AF_INET, "4.3.2.1.in-addr.arpa.", peer), 0);
  EXPECT_EQ(kxIPv4Address("4.3.2.1.in-addr.arpa."), kxIPv4Address(1, 2, 3, 4));
  EXPECT_EQ(inet_pton(AF_INET6, "1.2.3.4", peer), 0);
  EXPECT_TRUE(kxIPv6("1.2.3.4").isIPv4());
  // 0.0.0.0 parses but gives no address.
  EXPECT_EQ(inet_pton(AF_INET, "0.0.0.0", peer), 1);
  EXPECT_FALSE(kxIPv4Address("0.0.0.0").isLegal());
}
#endif  // _WIN32

}  // namespace
