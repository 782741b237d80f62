// Case mapping, comparison, search, matching, replacement, quoting, names and fields.
#include <gtest/gtest.h>

#include <string>

#include "orvo/util/kxtexthelpers.h"

namespace {

TEST(TextHelpers, CaseMappingTouchesOnlyAsciiLetters) {
  EXPECT_EQ(toUpperText("abz-AZ09\xe4{`"), "ABZ-AZ09\xe4{`");
  EXPECT_EQ(toLowerText("ABZ-az09\xc4[@"), "abz-az09\xc4[@");
  EXPECT_EQ(toUpperChar('q'), 'Q');
  EXPECT_EQ(toLowerChar('\xc4'), '\xc4');
}

TEST(TextHelpers, CompareAndEquals) {
  const struct {
    const char* a;
    const char* b;
    bool caseSensitive;
    int sign;
  } cases[] = {
      {"abc", "ABC", false, 0}, {"abc", "ABC", true, 1},   {"abc", "abd", false, -1}, {"ab", "abc", false, -1},
      {"abc", "ab", false, 1},  {"", "", true, 0},         {nullptr, "", true, 0},    {"a[", "A{", false, -1},
      {"\xe4", "a", true, 1},   {"_", "a", true, -1},      {"_", "a", false, 1},  // "_" lies between "A" and "a"
  };
  for (const auto& c : cases) {
    const int result = compareText(c.a, c.b, c.caseSensitive);
    EXPECT_EQ((result > 0) - (result < 0), c.sign) << (c.a ? c.a : "null") << " / " << c.b;
    EXPECT_EQ(equalsText(c.a, c.b, c.caseSensitive), c.sign == 0);
    if (c.a != nullptr) {
      EXPECT_EQ(equalsText(std::string(c.a), std::string(c.b), c.caseSensitive), c.sign == 0);
    }
  }
  EXPECT_EQ(compareText("abc", "ABC", true), 'a' - 'A');
  EXPECT_EQ(compareText(std::string("x"), std::string("X"), false), 0);
}

TEST(TextHelpers, FindStartsEndsContains) {
  const struct {
    const char* text;
    const char* needle;
    int start;
    bool caseSensitive;
    int expected;
  } finds[] = {
      {"example.com.", "COM", 0, false, 8}, {"example.com.", "COM", 0, true, -1}, {"abcabc", "bc", 2, true, 4},
      {"abcabc", "bc", 4, true, 4},         {"abcabc", "bc", 5, true, -1},       {"abc", "", 0, true, -1},
      {"abc", "abcd", 0, true, -1},         {"abc", "c", 3, true, -1},           {"abc", "c", 9, true, -1},
      {"abc", "a", -1, true, -1},           {nullptr, "a", 0, true, -1},         {"abc", nullptr, 0, true, -1},
  };
  for (const auto& c : finds) {
    EXPECT_EQ(findText(c.text, c.needle, c.start, c.caseSensitive), c.expected)
        << (c.text ? c.text : "null") << " / " << (c.needle ? c.needle : "null") << " from " << c.start;
    if (c.text != nullptr && c.needle != nullptr) {
      EXPECT_EQ(findText(std::string(c.text), std::string(c.needle), c.start, c.caseSensitive), c.expected);
    }
  }

  EXPECT_TRUE(startsWith("Hostname", "host", false));
  EXPECT_FALSE(startsWith("Hostname", "host", true));
  EXPECT_FALSE(startsWith("Hostname", "", false));
  EXPECT_FALSE(startsWith(std::string("abc"), std::string(), false));
  EXPECT_TRUE(endsWith("example.com.", ".COM.", false));
  EXPECT_TRUE(endsWith(std::string("example.com."), std::string(".COM."), false));
  EXPECT_FALSE(endsWith("example.com.", ".COM.", true));
  EXPECT_FALSE(endsWith("om.", "example.com.", false));
  EXPECT_FALSE(endsWith("abc", "", false));
  EXPECT_TRUE(endsWith("abab", "ab", true));  // the last occurrence, not the first
  EXPECT_TRUE(containsText("a.B.c", ".b.", false));
  EXPECT_FALSE(containsText(std::string("a.B.c"), std::string(".b."), true));
}

TEST(TextHelpers, MatchAndReplaceByMode) {
  const struct {
    const char* text;
    const char* pattern;
    int mode;
    bool matches;
  } matches[] = {
      {"anything", "zzz", kMatchAny, true}, {"", "", kMatchAny, true},          {"Mail.example", "MAIL", kMatchPrefix, true},
      {"mail", "mail.", kMatchPrefix, false}, {"a.COM", ".com", kMatchSuffix, true}, {"abc", "B", kMatchContains, true},
      {"abc", "ABC", kMatchEquals, true},   {"abc", "AB", kMatchEquals, false},   {"abc", "abc", 7, false},
      {"abc", "abc", -1, false},
  };
  for (const auto& c : matches) {
    EXPECT_EQ(matchText(c.text, c.pattern, c.mode), c.matches) << c.text << " / " << c.pattern << " mode " << c.mode;
    EXPECT_EQ(matchText(std::string(c.text), std::string(c.pattern), c.mode), c.matches);
  }

  const struct {
    const char* text;
    const char* pattern;
    const char* replacement;
    int mode;
    bool all;
    const char* expected;
  } replacements[] = {
      {"aXbXc", "x", "-", kMatchContains, false, "a-bXc"},
      {"aXbXc", "x", "-", kMatchContains, true, "a-b-c"},
      {"aXbXc", "x", "xx", kMatchContains, true, "axxbxxc"},  // inserted text is not searched again
      {"aXbXc", "q", "-", kMatchContains, true, "aXbXc"},
      {"abc", "ABC", "new", kMatchEquals, false, "new"},
      {"abc", "zzz", "new", kMatchAny, false, "new"},
      {"www.Example", "WWW.", "", kMatchPrefix, false, "Example"},
      {"host.EXAMPLE", ".example", ".test", kMatchSuffix, false, "host.test"},
      {"host", ".example", ".test", kMatchSuffix, false, "host"},
      {"abc", "abc", "x", 9, true, "abc"},
  };
  for (const auto& c : replacements)
    EXPECT_EQ(replaceText(c.text, c.pattern, c.replacement, c.mode, c.all), c.expected)
        << c.text << " / " << c.pattern << " mode " << c.mode;
}

TEST(TextHelpers, TrimReplaceCharAndQuotes) {
  const struct {
    const char* text;
    const char* left;
    const char* right;
    const char* both;
  } trims[] = {
      {"..a.b..", "a.b..", "..a.b", "a.b"}, {"....", "", "", ""}, {"", "", "", ""}, {"a", "a", "a", "a"},
  };
  for (const auto& c : trims) {
    std::string left = c.text, right = c.text, both = c.text;
    EXPECT_EQ(trimLeft(left, '.'), c.left);
    EXPECT_EQ(trimRight(right, '.'), c.right);
    EXPECT_EQ(trimText(both, '.'), c.both);
  }
  std::string path = "a\\b\\c";
  EXPECT_EQ(replaceChar(path, '\\', '/'), "a/b/c");

  const struct {
    const char* text;
    const char* unquoted;
    const char* quoted;
  } quotes[] = {
      {"\"", "\"", "\"\"\""}, {"\"\"", "", "\"\""}, {"\"a b\"", "a b", "\"a b\""}, {"ab", "ab", "\"ab\""},
      {"", "", "\"\""},       {"\"a", "\"a", "\"\"a\""},
  };
  for (const auto& c : quotes) {
    EXPECT_EQ(unquote(c.text), c.unquoted) << c.text;
    EXPECT_EQ(quote(c.text), c.quoted) << c.text;
  }
}

TEST(TextHelpers, NamesAndFields) {
  EXPECT_EQ(qualifyName("host", "example.com."), "host.example.com.");
  EXPECT_EQ(qualifyName("mail.", "example.com."), "mail.");
  EXPECT_EQ(qualifyName("", "example.com."), "example.com.");
  // A final dot escaped by a backslash belongs to the last label; an escaped backslash does not.
  EXPECT_EQ(qualifyName("dot\\.", "example.com."), "dot\\..example.com.");
  EXPECT_EQ(qualifyName("dot\\\\.", "example.com."), "dot\\\\.");
  EXPECT_FALSE(isAbsoluteName(""));
  EXPECT_TRUE(isAbsoluteName("."));

  const struct {
    const char* name;
    const char* parent;
  } parents[] = {{"a.b.c.", "b.c."}, {"a.b", "b"}, {"a", ""}, {"", ""}, {"a.", ""}, {".", ""}, {".a", "a"}};
  for (const auto& c : parents) EXPECT_EQ(parentName(c.name), c.parent) << c.name;

  const struct {
    const char* text;
    int index;
    const char* field;
  } fields[] = {{"a;b;c", 0, "a"}, {"a;b;c", 1, "b"}, {"a;b;c", 2, "c"}, {"a;b;c", 5, ""},
                {"a;;c", 1, ""},   {"a;", 1, ""},     {"", 0, ""},      {"a;b", -1, ""}};
  for (const auto& c : fields) EXPECT_EQ(getField(c.text, c.index, ';'), c.field) << c.text << " #" << c.index;
}

TEST(TextHelpers, SplitAtAnOccurrence) {
  const struct {
    const char* text;
    char separator;
    bool requireBoth;
    int occurrence;
    bool result;
    const char* left;
    const char* right;
  } cases[] = {
      {"user:host", ':', false, 0, true, "user", "host"},
      {"user:host", ':', true, 0, true, "user", "host"},
      {"user:", ':', true, 0, false, "<", ">"},
      {"user:", ':', false, 0, true, "user", ""},
      {":host", ':', true, 0, false, "<", ">"},
      {"a,b,c", ',', false, 1, true, "a,b", "c"},
      {"a,b,c", ',', false, 2, true, "a,b,c", ""},  // the text ends after exactly two separators
      {"a,b,c", ',', true, 2, false, "<", ">"},
      {"a,b,c", ',', false, 3, false, "<", ">"},
      {"plain", ':', false, 0, true, "plain", ""},
      {"", ':', false, 0, true, "", ""},
  };
  for (const auto& c : cases) {
    std::string left = "<", right = ">";
    EXPECT_EQ(splitAt(c.text, left, right, c.separator, c.requireBoth, c.occurrence), c.result)
        << c.text << " #" << c.occurrence;
    EXPECT_EQ(left, c.left) << c.text;
    EXPECT_EQ(right, c.right) << c.text;
  }
}

TEST(TextHelpers, CharacterClassTests) {
  EXPECT_TRUE(isDigitChar('0'));
  EXPECT_FALSE(isDigitChar('a'));
  EXPECT_TRUE(isDigitsText("0123456789"));
  EXPECT_FALSE(isDigitsText(""));
  EXPECT_FALSE(isDigitsText(nullptr));
  EXPECT_FALSE(isDigitsText("12a"));
  EXPECT_TRUE(isPrintableText(""));
  EXPECT_TRUE(isPrintableText("a b~"));
  EXPECT_FALSE(isPrintableText("a\tb"));
  EXPECT_FALSE(isPrintableText("\x7f"));
  EXPECT_TRUE(hasNoControlChars("a b\xe4"));
  EXPECT_FALSE(hasNoControlChars("a\nb"));
  EXPECT_TRUE(isAlphanumericText("abc123"));
  EXPECT_TRUE(isAlphanumericText(""));
  EXPECT_FALSE(isAlphanumericText("abc-1"));
  EXPECT_FALSE(isAlphanumericText("\xe4"));
  EXPECT_EQ(printableText("a\tb\x01\xe4" "c"), "a.b..c");
  EXPECT_EQ(printableText(nullptr), "");
}

}  // namespace
