// Value parsing from text: numbers, booleans, TTLs, lists and the value validators.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <list>
#include <set>
#include <string>
#include <vector>

#include "orvo/util/kxstringparser.h"
#include "support/kxassertcapture.h"

namespace {

TEST(StringParser, ParseInt) {
  struct Case {
    const char* text;
    bool ok;
    int value;
  } cases[] = {
      {"-12", true, -12},         {"+7", true, 7},         {"0", true, 0},
      {"2147483646", true, 2147483646}, {"-2147483647", true, -2147483647},
      {"12a", false, 12},         {"", false, 0},          {" 1", false, 0},
      {"2147483647", false, INT_MAX}, {"2147483648", false, INT_MAX},
      {"-2147483648", false, INT_MIN}, {"99999999999999999999", false, INT_MAX},
      {"-", false, 0},            {"+-1", false, 0},       {"1 ", false, 1},
  };
  for (const Case& c : cases) {
    int value = 0;
    EXPECT_EQ(parseInt(c.text, value), c.ok) << c.text;
    EXPECT_EQ(value, c.value) << c.text;
    int fromString = 0;
    EXPECT_EQ(parseInt(std::string(c.text), fromString), c.ok) << c.text;
  }
}

TEST(StringParser, ParseUnsignedAndUnsigned16) {
  struct Case {
    const char* text;
    bool ok;
    unsigned value;
  } cases[] = {
      {"4294967295", true, 4294967295u}, {"+4294967295", true, 4294967295u}, {"0", true, 0},
      {"4294967296", false, 4294967295u}, {"04294967295", false, 4294967295u},
      {"-1", false, 0},  {"", false, 0}, {" 1", false, 0}, {"12x", false, 12},
      {"18446744073709551617", false, 4294967295u},
  };
  for (const Case& c : cases) {
    unsigned value = 0;
    EXPECT_EQ(parseUnsigned(c.text, value), c.ok) << c.text;
    EXPECT_EQ(value, c.value) << c.text;
  }
  uint16_t small = 0;
  EXPECT_TRUE(parseUnsigned16("65535", small));
  EXPECT_EQ(small, 65535);
  EXPECT_FALSE(parseUnsigned16("65536", small));
  EXPECT_EQ(small, 0) << "the low 16 bits reach out even when the value is too large";
  EXPECT_FALSE(parseUnsigned16("65537", small));
  EXPECT_EQ(small, 1);
}

TEST(StringParser, ParseBoolean) {
  struct Case {
    const char* text;
    bool ok;
    bool value;
  } cases[] = {
      {"2", true, true}, {"0", true, false}, {"YES", true, true}, {"F", true, false},
      {"t", true, true}, {"No", true, false}, {"true", true, true}, {"false", true, false},
  };
  for (const Case& c : cases) {
    bool value = !c.value;
    EXPECT_TRUE(parseBoolean(c.text, value)) << c.text;
    EXPECT_EQ(value, c.value) << c.text;
  }
  for (const char* bad : {"maybe", "", "2x", "yess", "2147483647"}) {
    bool value = true;
    EXPECT_FALSE(parseBoolean(bad, value)) << bad;
    EXPECT_TRUE(value) << bad;
  }
}

TEST(StringParser, NumberTexts) {
  EXPECT_EQ(intToText(-42), "-42");
  EXPECT_EQ(unsignedToText(4294967295u), "4294967295");
  EXPECT_EQ(int64ToText(-9223372036854775807LL - 1), "-9223372036854775808");
  EXPECT_EQ(hexNumberText(0), "0");
  EXPECT_EQ(hexNumberText(0xBEEF), "BEEF");
  EXPECT_EQ(hexNumberText(-1), "FFFFFFFF");
}

TEST(StringParser, HexBytes) {
  const uint8_t bytes[] = {0x00, 0xAB, 0x7f};
  std::string text = "x";
  bytesToHex(text, bytes, 3, ":", true);
  EXPECT_EQ(text, "x:00:AB:7F");
  text.clear();
  bytesToHex(text, bytes, 3, "", false);
  EXPECT_EQ(text, "00ab7f");

  uint8_t out[4] = {};
  size_t count = 99;
  EXPECT_TRUE(hexToBytes(out, count, "00aB7"));
  ASSERT_EQ(count, 3u);
  EXPECT_EQ(out[1], 0xAB);
  EXPECT_EQ(out[2], 0x70);
  EXPECT_TRUE(hexToBytes(out, count, ""));
  EXPECT_EQ(count, 0u);
  EXPECT_FALSE(hexToBytes(out, count, "12g4"));
  EXPECT_EQ(count, 1u);

  unsigned digit = 0;
  EXPECT_TRUE(hexDigitValue('f', digit));
  EXPECT_EQ(digit, 15u);
  EXPECT_FALSE(hexDigitValue('G', digit));
}

TEST(StringParser, SizeText) {
  for (const char* good : {"0", "10k", "10K", "3m", "5G", "+4"}) EXPECT_TRUE(isSizeText(good)) << good;
  for (const char* bad : {"", "k", "10kb", "1.5m", "-1k", "10t"}) EXPECT_FALSE(isSizeText(bad)) << bad;
}

TEST(StringParser, ParseTTL) {
  struct Case {
    const char* text;
    bool ok;
    int seconds;
  } cases[] = {
      {"0", true, 0},          {"3600", true, 3600},     {"1W", true, 604800},    {"1h1m1s", true, 3661},
      {"1H30M", true, 5400},   {"2w1d", true, 1296000},  {"1d12h", true, 129600}, {"2147483647", true, INT_MAX},
      {"h", false, -1},        {"1h30", false, -1},      {"1x", false, -1},       {"1.5h", false, -1},
      {"-5", false, -1},       {"2147483648", false, -1}, {"3551w", false, -1},   {"2147483647s1s", false, -1},
  };
  for (const Case& c : cases) {
    int seconds = 12345;
    EXPECT_EQ(parseTTL(std::string(c.text), seconds), c.ok) << c.text;
    EXPECT_EQ(seconds, c.seconds) << c.text;
    EXPECT_EQ(isTTLText(c.text), c.ok) << c.text;
  }
  int untouched = 7;
  EXPECT_FALSE(parseTTL("", 0, untouched));
  EXPECT_EQ(untouched, 7);
  EXPECT_TRUE(parseTTL("1h30", 2, untouched)) << "only the counted characters are read";
  EXPECT_EQ(untouched, 3600);
}

// The master-file form takes every 32-bit value; the text rules are parseTTL's.
TEST(StringParser, ParseTTLValue) {
  struct Case {
    const char* text;
    bool ok;
    uint32_t seconds;
  } cases[] = {
      {"2147483648", true, 2147483648u}, {"4294967295", true, 4294967295u}, {"7101w", true, 4294684800u},
      {"1h1s", true, 3601},              {"4294967296", false, 0},          {"7102w", false, 0},
      {"4294967295s1s", false, 0},       {"99999999999999999999", false, 0}, {"1h30", false, 0},
      {"", false, 0},
  };
  for (const Case& c : cases) {
    uint32_t seconds = 0;
    EXPECT_EQ(parseTTLValue(c.text, std::strlen(c.text), seconds), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(seconds, c.seconds) << c.text;
    }
  }
}

TEST(StringParser, SplitAndJoin) {
  struct Case {
    const char* text;
    std::vector<std::string> pieces;
  } cases[] = {
      {"", {}},          {",", {"", ""}},      {"a,b", {"a", "b"}},  {"a,", {"a", ""}},
      {",a", {"", "a"}}, {"a,,b", {"a", "", "b"}}, {"abc", {"abc"}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> vec{"stale"};
    splitText(c.text, ',', vec);
    EXPECT_EQ(vec, c.pieces) << c.text;
    std::list<std::string> lst{"stale"};
    splitText(std::string(c.text), ',', lst);
    EXPECT_EQ(std::vector<std::string>(lst.begin(), lst.end()), c.pieces) << c.text;
    if (!c.pieces.empty()) {
      EXPECT_EQ(joinTexts(vec, ','), c.text);
    }
  }
  std::set<std::string> set;
  splitText("b;a;b", ';', set);
  EXPECT_EQ(set, (std::set<std::string>{"a", "b"}));
  EXPECT_EQ(joinTexts(set, ';'), "a;b");
  EXPECT_EQ(joinTexts(std::list<std::string>{}, ','), "");
}

TEST(StringParser, NumberLists) {
  std::vector<unsigned> values;
  EXPECT_TRUE(parseNumberList(" 1, 2 ,\t3 ", ',', values));
  EXPECT_EQ(values, (std::vector<unsigned>{1, 2, 3}));
  EXPECT_FALSE(parseNumberList("1,,3", ',', values));
  EXPECT_EQ(values, (std::vector<unsigned>{1}));
  EXPECT_FALSE(parseNumberList("1,-2", ',', values));
  EXPECT_TRUE(parseNumberList("", ',', values));
  EXPECT_TRUE(values.empty());

  std::vector<int> signedValues;
  EXPECT_TRUE(parseNumberList("-1;+2;3", ';', signedValues));
  EXPECT_EQ(signedValues, (std::vector<int>{-1, 2, 3}));
  EXPECT_EQ(joinNumbers(signedValues, ' '), "-1 2 3");
  EXPECT_FALSE(parseNumberList("1; ", ';', signedValues)) << "a piece of blanks only is no number";

  std::set<unsigned> unique;
  EXPECT_TRUE(parseNumberList("5,1,5", ',', unique));
  EXPECT_EQ(joinNumbers(unique, ','), "1,5");
}

TEST(StringParser, FindInList) {
  const std::list<std::string> names{"alpha", "Beta", "beta"};
  EXPECT_EQ(findInList(names, "BETA", false), std::next(names.begin()));
  EXPECT_EQ(findInList(names, "beta", true), std::next(names.begin(), 2));
  EXPECT_EQ(findInList(names, "BETA", true), names.end());
  EXPECT_EQ(findInList(names, "alph", false), names.end());
}

}  // namespace

namespace {

TEST(StringParser, NameAndAddressValidators) {
  struct Case {
    const char* text;
    bool domain, relaxed, ip, ipOrWildcard;
  } cases[] = {
      {"host.zone.test.", true, true, false, false},
      {"x_y.test", true, true, false, false},
      {"_srv.test", false, true, false, false},
      {"host-", false, true, false, false},
      {"", false, false, false, false},
      {"1.2.3.4", true, true, true, true},
      {"010.1.1.1", true, true, true, true},
      {"1.2.3.*", true, true, false, true},
      {"*", true, true, false, true},
      {"1.2.3", true, true, false, false},
  };
  for (const Case& c : cases) {
    const std::string text = c.text;
    EXPECT_EQ(isDomainNameText(text), c.domain) << text;
    EXPECT_EQ(isDomainNameText(text.data(), text.size()), c.domain) << text;
    EXPECT_EQ(isRelaxedDomainNameText(text), c.relaxed) << text;
    EXPECT_EQ(isIPAddressText(text), c.ip) << text;
    EXPECT_EQ(isIPAddressOrWildcardText(text.data(), text.size()), c.ipOrWildcard) << text;
  }
  EXPECT_TRUE(isDomainNameText("host.zone", 4)) << "only the counted characters";

  for (const char* good : {"a", "0a:1:ff", "A:bC"}) EXPECT_TRUE(isHexColonText(good)) << good;
  for (const char* bad : {"", ":a", "a:", "a::b", "abc", "g1"}) EXPECT_FALSE(isHexColonText(bad)) << bad;
}

TEST(StringParser, LOCFields) {
  struct Case {
    unsigned kind;
    const char* text;
    bool ok;
  } cases[] = {
      {0, "52 22 23.000 N", true}, {0, "52 22 23 S", true},  {0, "52 22 N", true},      {0, "52 N", true},
      {0, "90 S", true},           {0, " 52 n ", true},      {0, "91 N", false},        {0, "52 60 N", false},
      {0, "52N", false},           {0, "52 22 60 N", false}, {0, "52 E", false},        {0, "52 22 23.5N", false},
      {0, "52 N x", false},        {0, "", false},           {0, "-1 N", false},
      {1, "13 24 5 E", true},      {1, "180 W", true},       {1, "181 W", false},       {1, "13 N", false},
      {2, "-100m", true},          {2, "42849672.95", true}, {2, "42849673", false},    {2, "-100001", false},
      {2, "10M", true},             {2, "10 m", false}, {2, "10mm", false},       {2, "", false},            {2, "x", false},
      {3, "1m", true},             {3, ".5", true},          {3, "90000001", false},    {3, "", true},
      {4, "10000", true},          {5, "10 ", true},          {5, "x", false},           {6, "1", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(isLOCField(c.kind, c.text, std::strlen(c.text), false), c.ok) << c.kind << " '" << c.text << "'";
  EXPECT_TRUE(isLOCField(0, "", 0, true));
  EXPECT_TRUE(isLOCField(1, std::string("13 24 5 E"), false));
  EXPECT_FALSE(isLOCField(0, "91 N", 4, true));
  EXPECT_TRUE(isLOCField(0, "52 N trailing", 4, false)) << "only the counted characters";
}

TEST(StringParser, MACAddresses) {
  struct Case {
    const char* text;
    const char* normalized;  // nullptr when refused
  } cases[] = {
      {"aa-bb-cc-dd-ee-ff", "AA:BB:CC:DD:EE:FF"},
      {"0011.2233.4455", nullptr},  // "." is no separator here
      {"00 11\t22:33-44 55", "00:11:22:33:44:55"},
      {"001122334455", "00:11:22:33:44:55"},
      {"00112233445", nullptr},
      {"0011223344556", nullptr},
      {"00112233445g", nullptr},
      {"", nullptr},
  };
  for (const Case& c : cases) {
    std::string out = "untouched";
    EXPECT_EQ(normalizeMACAddress(c.text, out), c.normalized != nullptr) << c.text;
    EXPECT_EQ(out, c.normalized != nullptr ? c.normalized : "untouched") << c.text;
    EXPECT_EQ(macAddressText(c.text), c.normalized != nullptr ? c.normalized : c.text);
  }
  EXPECT_EQ(compactMACAddress("AA:bb-CC.dd"), "aabbccdd");
}

TEST(StringParser, Subnets) {
  struct Case {
    const char* text;
    bool ok;
    const char* address;
    uint16_t prefix;
    const char* normalized;  // nullptr when normalizeSubnet refuses
  } cases[] = {
      {"192.168.1.0/24", true, "192.168.1.0", 24, "192.168.1.0/24"},
      {"192.168.1.77", true, "192.168.1.77", 32, "192.168.1.77"},
      {"192.168.1.77/24", true, "192.168.1.77", 24, "192.168.1.0/24"},
      {"10.1.2.3/0", true, "10.1.2.3", 0, "0.0.0.0/0"},
      {"10/8", true, "10", 8, "10.0.0.0/8"},
      {"10.1/16", true, "10.1", 16, "10.1.0.0/16"},
      {"10/16", true, "10", 16, "10.255.0.0/16"},
      {"10.1.2/24", true, "10.1.2", 24, "10.1.2.0/24"},
      {"10.1.2.3/32", true, "10.1.2.3", 32, "10.1.2.3"},
      {"10.1.2.3/33", false, "10.1.2.3", 0, nullptr},
      {"10./8", false, "10.", 8, nullptr},
      {"10.1.2.3/x", false, "10.1.2.3", 0, nullptr},
      {"10.1.2", false, "10.1.2", 32, nullptr},
      // The recogniser takes these, but they name no address value.
      {"010.1.2.3/24", true, "010.1.2.3", 24, nullptr},
      {"1.*/8", true, "1.*", 8, nullptr},
  };
  for (const Case& c : cases) {
    std::string address;
    uint16_t prefix = 999;
    EXPECT_EQ(parseSubnet(c.text, address, prefix), c.ok) << c.text;
    EXPECT_EQ(address, c.address) << c.text;
    EXPECT_EQ(prefix, c.prefix) << c.text;
    EXPECT_EQ(isSubnetText(c.text), c.ok) << c.text;
    std::string normalized = "untouched";
    EXPECT_EQ(normalizeSubnet(c.text, normalized), c.normalized != nullptr) << c.text;
    EXPECT_EQ(normalized, c.normalized != nullptr ? c.normalized : "untouched") << c.text;
  }
}

TEST(StringParser, RangeTexts) {
  std::string text;
  EXPECT_TRUE(ipv4RangeText(kxIPv4Address("10.0.0.0"), kxIPv4Address("10.0.0.255"), text));
  EXPECT_EQ(text, "10.0.0.0/24");
  EXPECT_FALSE(ipv4RangeText(kxIPv4Address("10.0.0.1"), kxIPv4Address("10.0.0.255"), text));
  EXPECT_EQ(text, "10.0.0.1-10.0.0.255");
  EXPECT_TRUE(ipv4RangeText(kxIPv4Address("10.0.0.1"), kxIPv4Address("10.0.0.1"), text));
  EXPECT_EQ(text, "10.0.0.1/32");
  EXPECT_FALSE(ipv4RangeText(kxIPv4Address("10.0.0.2"), kxIPv4Address("10.0.0.1"), text));

  EXPECT_TRUE(rangeSubnetText(kxIPv6("2001:db8::"), kxIPv6("2001:db8::ffff"), text));
  EXPECT_EQ(text, "2001:db8::0/112");
  EXPECT_EQ(subnetText(kxIPv6("2001:db8::"), 32), "2001:db8::0/32");
  EXPECT_FALSE(rangeSubnetText(kxIPv6("2001:db8::1"), kxIPv6("2001:db8::1"), text)) << "a single address";
  EXPECT_FALSE(rangeSubnetText(kxIPv6("2001:db8::1"), kxIPv6("2001:db8::2"), text));

  EXPECT_EQ(rangeText(kxIPv6("10.0.0.0"), kxIPv6("10.0.0.255")), "10.0.0.0/24");
  EXPECT_EQ(rangeText(kxIPv6("10.0.0.1"), kxIPv6("10.0.0.255")), "10.0.0.1-10.0.0.255");
  EXPECT_EQ(rangeText(kxIPv6("2001:db8::"), kxIPv6("2001:db8::ff")), "2001:db8::0/120");
  std::string none = "x";
  EXPECT_EQ(orvo::test::failedAssertions([&] { none = rangeText(kxIPv6("2001:db8::1"), kxIPv6("2001:db8::2")); }),
            std::vector<std::string>{"isSubnet || (inFrom.isIPv4() && inTo.isIPv4())"});
  EXPECT_EQ(none, "");
}

TEST(StringParser, ParseIPv4Range) {
  struct Case {
    const char* text;
    const char* from;  // nullptr when refused
    const char* to;
    uint16_t prefix;
  } cases[] = {
      {"10.0.0.0/255.255.255.0", "10.0.0.0", "10.0.0.255", 24},
      {"10.0.0.5 - 10.0.0.9", "10.0.0.5", "10.0.0.9", 33},
      {"0.0.0.0-0.0.0.9", "0.0.0.0", "0.0.0.9", 33},
      {"10.0.0.9-10.0.0.5", nullptr, nullptr, 0},
      {"10.1.2.3", "10.1.2.3", "10.1.2.3", 32},
      {" 10.1.2.3 / 16 ", "10.1.0.0", "10.1.255.255", 16},
      {"10.1/16", "10.1.0.0", "10.1.255.255", 16},
      {"10.1", nullptr, nullptr, 0},
      {"10.1.2.3/33", nullptr, nullptr, 0},
      {"10.1.2.3/0.0.0.0", nullptr, nullptr, 0},
      {"10.1.2.3/65536", nullptr, nullptr, 0},
      {"0.0.0.0/0", "0.0.0.0", "255.255.255.255", 0},
      {"01.1.2.3", nullptr, nullptr, 0},
  };
  for (const Case& c : cases) {
    kxIPv4Address from;
    kxIPv4Address to;
    uint16_t prefix = 0;
    const bool ok = parseIPv4Range(c.text, from, to, prefix);
    EXPECT_EQ(ok, c.from != nullptr) << c.text;
    if (ok && c.from != nullptr) {
      EXPECT_EQ(from.toString(), c.from) << c.text;
      EXPECT_EQ(to.toString(), c.to) << c.text;
      EXPECT_EQ(prefix, c.prefix) << c.text;
    }
    EXPECT_EQ(parseIPv4Range(c.text, from, to), ok) << c.text;
  }
}

TEST(StringParser, ParseIPRange) {
  struct Case {
    const char* text;
    const char* from;  // nullptr when refused
    const char* to;
    uint16_t prefix;
  } cases[] = {
      {"2001:db8::0/32", "2001:db8::", "2001:db8:ffff:ffff:ffff:ffff:ffff:ffff", 32},
      {"2001:db8::5", "2001:db8::5", "2001:db8::5", 128},
      {"::0", "::", "::", 128},
      {"::", nullptr, nullptr, 0},
      {"2001:db8::/x", nullptr, nullptr, 0},
      {"2001:db8::1-2001:db8::2", nullptr, nullptr, 0},
      {"10.0.0.0/8", "::ffff:10.0.0.0", "::ffff:10.255.255.255", 104},
      {"10.0.0.1-10.0.0.2", "::ffff:10.0.0.1", "::ffff:10.0.0.2", 129},
  };
  for (const Case& c : cases) {
    kxIPv6 from;
    kxIPv6 to;
    uint16_t prefix = 0;
    const bool ok = parseIPRange(c.text, from, to, prefix);
    EXPECT_EQ(ok, c.from != nullptr) << c.text;
    if (ok && c.from != nullptr) {
      uint8_t bytes[16];
      ASSERT_TRUE(parseIPv6Text(c.from, std::strlen(c.from), bytes));
      EXPECT_EQ(from, kxIPv6(bytes)) << c.text;
      ASSERT_TRUE(parseIPv6Text(c.to, std::strlen(c.to), bytes));
      EXPECT_EQ(to, kxIPv6(bytes)) << c.text;
      EXPECT_EQ(prefix, c.prefix) << c.text;
    }
  }
}

}  // namespace
