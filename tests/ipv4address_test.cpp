// kxIPv4Address: the strict parser, text forms, octet access, prefix arithmetic and ranges.
#include <gtest/gtest.h>

#include <string>

#include "orvo/util/kxipv4address.h"

namespace {

std::string parsed(const std::string& inText, bool* outOk = nullptr) {
  kxIPv4Address address(9, 9, 9, 9);
  const bool ok = address.parse(inText.data(), uint32_t(inText.size()));
  if (outOk != nullptr) *outOk = ok;
  return ok ? address.toString() : (address.isLegal() ? "dirty" : "-");
}

TEST(IPv4Address, Parse) {
  struct Case {
    const char* text;
    const char* value;  // "-" when refused (the value is then 0.0.0.0)
  } cases[] = {
      {"1.2.3.4", "1.2.3.4"},
      {"255.255.255.255", "255.255.255.255"},
      {"0.0.0.0", "0.0.0.0"},
      {"10.0.200.249", "10.0.200.249"},
      {"4.3.2.1.in-addr.arpa.", "1.2.3.4"},
      {"0.10.168.192.in-addr.arpa.", "192.168.10.0"},
      {"01.2.3.4", "-"},
      {"1.2.3.256", "-"},
      {"1.2.3.300", "-"},
      {"1.2.3", "-"},
      {"1.2.3.4.", "-"},
      {"1.2.3.4.5", "-"},
      {"4.3.2.1.in-addr.arpa", "-"},
      {"4.3.2.1.IN-ADDR.ARPA.", "-"},
      {"3.2.1.in-addr.arpa.", "-"},
      {"1.2.3.4.5.in-addr.arpa.", "-"},
      {"", "-"},
      {" 1.2.3.4", "-"},
      {"1.2.3.4 ", "-"},
      {"1.2.3.-4", "-"},
      {"1.2.3.4x", "-"},
  };
  for (const Case& c : cases) {
    bool ok = false;
    EXPECT_EQ(parsed(c.text, &ok), c.value) << c.text;
    EXPECT_EQ(ok, std::string(c.value) != "-") << c.text;
  }
  EXPECT_FALSE(kxIPv4Address("0.0.0.0").isLegal());
  EXPECT_EQ(kxIPv4Address(std::string("1.2.3.4\0", 8)).getAddress(), 0u) << "a NUL is no part of an address";
  EXPECT_EQ(kxIPv4Address(std::string("192.0.2.1")), kxIPv4Address(192, 0, 2, 1));
}

TEST(IPv4Address, TextFormsAndOctets) {
  kxIPv4Address address(192, 0, 2, 10);
  EXPECT_EQ(address.toString(), "192.0.2.10");
  EXPECT_EQ(address.getReverseName(), "10.2.0.192.in-addr.arpa.");
  EXPECT_EQ(address.getReverseZoneName(), "2.0.192.in-addr.arpa.");
  char text[kxIPv4Address::kReverseNameSize];
  EXPECT_STREQ(kxIPv4Address(255, 255, 255, 255).getReverseName(text), "255.255.255.255.in-addr.arpa.");
  EXPECT_STREQ(kxIPv4Address().toString(text), "0.0.0.0");

  EXPECT_EQ(address.getOctet(1), 192);
  EXPECT_EQ(address.getOctet(4), 10);
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&address);
  EXPECT_EQ(bytes[0], 192) << "network byte order: octet 1 first in memory";
  address.setOctet(5, 7);
  EXPECT_EQ(address.toString(), "7.0.2.10");
  address.setOctet(4, 1);
  EXPECT_EQ(address.toString(), "7.0.2.1");
}

TEST(IPv4Address, CompareAndPrefixArithmetic) {
  const kxIPv4Address low(10, 0, 0, 255);
  const kxIPv4Address high(10, 0, 1, 0);
  EXPECT_EQ(low.compare(high), -1);
  EXPECT_EQ(high.compare(low), 1);
  EXPECT_EQ(low.compare(low), 0);
  EXPECT_TRUE(kxIPv4Address(128, 0, 0, 0) > kxIPv4Address(127, 255, 255, 255));

  const kxIPv4Address a(10, 20, 30, 40);
  struct Case {
    uint16_t prefix;
    const char *network, *broadcast, *mask;
  } cases[] = {
      {0, "0.0.0.0", "255.255.255.255", "0.0.0.0"},
      {1, "0.0.0.0", "127.255.255.255", "128.0.0.0"},
      {8, "10.0.0.0", "10.255.255.255", "255.0.0.0"},
      {21, "10.20.24.0", "10.20.31.255", "255.255.248.0"},
      {31, "10.20.30.40", "10.20.30.41", "255.255.255.254"},
      {32, "10.20.30.40", "10.20.30.40", "255.255.255.255"},
      {40, "10.20.30.40", "10.20.30.40", "255.255.255.255"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(kxIPv4Address::networkAddress(a, c.prefix).toString(), c.network) << c.prefix;
    EXPECT_EQ(kxIPv4Address::broadcastAddress(a, c.prefix).toString(), c.broadcast) << c.prefix;
    EXPECT_EQ(kxIPv4Address::maskFromPrefix(c.prefix).toString(), c.mask) << c.prefix;
    if (c.prefix <= 32) {
      EXPECT_EQ(kxIPv4Address::maskPrefixLength(kxIPv4Address(c.mask)), c.prefix);
    }
  }
  EXPECT_EQ(kxIPv4Address::maskPrefixLength(kxIPv4Address(255, 0, 255, 0)), 24) << "contiguity is not tested";

  struct Range {
    const char *from, *to;
    uint16_t prefix;
  } ranges[] = {
      {"10.0.0.0", "10.0.0.255", 24}, {"10.0.0.1", "10.0.0.255", 33}, {"10.0.0.7", "10.0.0.7", 32},
      {"0.0.0.0", "255.255.255.255", 0}, {"10.0.0.0", "10.0.1.254", 33}, {"10.0.0.4", "10.0.0.7", 30},
      {"10.0.0.8", "10.0.0.7", 33},
  };
  for (const Range& r : ranges)
    EXPECT_EQ(kxIPv4Address::rangePrefixLength(kxIPv4Address(r.from), kxIPv4Address(r.to)), r.prefix)
        << r.from << "-" << r.to;
}

TEST(IPv4Address, ParseRange) {
  struct Case {
    const char* text;
    bool allowRange;
    const char* from;  // nullptr when refused
    const char* to;
  } cases[] = {
      {"10/8", false, "10.0.0.0", "10.255.255.255"},
      {"10.1.2.3/24", false, "10.1.2.0", "10.1.2.255"},
      {" 10.1.2.3 / 32 ", false, "10.1.2.3", "10.1.2.3"},
      {"10.1.2.3", false, "10.1.2.3", "10.1.2.3"},
      {"0.0.0.0", false, "0.0.0.0", "0.0.0.0"},
      {"0/0", false, "0.0.0.0", "255.255.255.255"},
      {"10.0.0.0/33", false, nullptr, nullptr},
      {"10.0.0.0/x", false, nullptr, nullptr},
      {"10.1", false, nullptr, nullptr},
      {"0.0.0.0.in-addr.arpa.", false, nullptr, nullptr},
      {"1.2.3.1 - 1.2.3.4", true, "1.2.3.1", "1.2.3.4"},
      {"0.0.0.0-1.2.3.4", true, "0.0.0.0", "1.2.3.4"},
      {"1.2.3.4-1.2.3.1", true, nullptr, nullptr},
      {"1.2.3.1-1.2.3.4", false, nullptr, nullptr},
      {"1.2.3.1-1.2.3", true, nullptr, nullptr},
  };
  for (const Case& c : cases) {
    kxIPv4Address from(1, 1, 1, 1);
    kxIPv4Address to(1, 1, 1, 1);
    const bool ok = kxIPv4Address::parseRange(c.text, from, to, c.allowRange);
    EXPECT_EQ(ok, c.from != nullptr) << c.text;
    if (ok && c.from != nullptr) {
      EXPECT_EQ(from.toString(), c.from) << c.text;
      EXPECT_EQ(to.toString(), c.to) << c.text;
    }
  }
}

}  // namespace
