// Value parsing from text: numbers, booleans, TTLs, lists and the value validators.
#include <gtest/gtest.h>

#include <climits>
#include <list>
#include <set>
#include <string>
#include <vector>

#include "orvo/util/kxstringparser.h"

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
