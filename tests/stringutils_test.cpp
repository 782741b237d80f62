// Block, C string, length-prefixed and std::string replacement; $ parameters; line ends.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "orvo/util/kxstringutils.h"
#include "support/kxassertcapture.h"

namespace {

using orvo::test::failedAssertions;
using Strings = std::vector<std::string>;

TEST(SearchBlock, Positions) {
  const char block[] = "ab-ab";
  const struct {
    const char* find;
    uint32_t start;
    int32_t expected;
  } cases[] = {
      {"ab", 0, 0}, {"ab", 1, 3}, {"ab", 3, 3}, {"ab", 4, -1}, {"ab", 5, -1}, {"ab", 9, -1},
      {"b", 4, 4},  {"", 0, -1},  {"ab-ab", 0, 0}, {"ab-abc", 0, -1}, {"ba", 0, -1},
  };
  for (const auto& c : cases)
    EXPECT_EQ(searchBlock(block, 5, c.find, static_cast<uint32_t>(std::strlen(c.find)), c.start), c.expected)
        << c.find << " from " << c.start;
}

TEST(ReplaceInBlock, CapacityRules) {
  const struct {
    const char* block;
    uint32_t capacity;
    const char* find;
    const char* replace;
    bool all;
    const char* expected;
    bool terminated;  // whether the terminator behind the text is still directly behind it
  } cases[] = {
      {"ab-ab", 7, "ab", "xyz", true, "xyz-xyz", true},
      {"ab-ab", 6, "ab", "xyz", true, "xyz-xy", true},  // the second replacement is cut
      {"ab-ab", 5, "ab", "xyz", true, "xyz-a", false},  // the tail is pushed out
      {"xyz-xyz", 7, "xyz", "a", true, "a-a", true},
      {"ab-ab", 7, "ab", "xyz", false, "xyz-ab", true},
      {"xyz-xyz", 7, "xyz", "a", false, "a-xyz", true},
      {"aaa", 10, "a", "aa", true, "aaaaaa", true},  // an inserted value is not searched again
      {"abcd", 5, "a", "xyz", true, "xyzbc", false},
      {"abc", 3, "abc", "wxyz", true, "wxy", true},
      {"ab-ab", 7, "ab", "", true, "-", true},
      {"ab-ab", 7, "ab", "cd", true, "cd-cd", true},
      {"ab-ab", 7, "q", "xyz", true, "ab-ab", true},
      {"ab-ab", 7, "", "xyz", true, "ab-ab", true},
      {"", 4, "a", "b", true, "", true},
  };
  constexpr size_t kGuard = 8;
  for (const auto& c : cases) {
    const uint32_t size = static_cast<uint32_t>(std::strlen(c.block));
    std::vector<char> buffer(c.capacity + 1 + kGuard, '~');
    std::memcpy(buffer.data(), c.block, size);
    buffer[size] = '\0';
    const uint32_t result =
        replaceInBlock(buffer.data(), size, c.capacity, c.find, static_cast<uint32_t>(std::strlen(c.find)), c.replace,
                       static_cast<uint32_t>(std::strlen(c.replace)), c.all);
    EXPECT_EQ(std::string(buffer.data(), result), c.expected) << c.block << " / " << c.find << " -> " << c.replace;
    EXPECT_LE(result, c.capacity);
    if (c.terminated) {
      EXPECT_EQ(buffer[result], '\0') << c.block << " / " << c.find;
    }
    EXPECT_EQ(std::string(buffer.end() - kGuard, buffer.end()), std::string(kGuard, '~')) << "written beyond the block";
  }
}

TEST(ReplaceInBlock, BrokenPreconditionsAreReportedAndTouchNothing) {
  char block[8] = "ab-ab";
  uint32_t result = 0;
  EXPECT_EQ(failedAssertions([&] { result = replaceInBlock(block, 5, 4, "ab", 2, "x", 1, true); }),
            Strings{"blockSize <= maxBlockSize"});
  EXPECT_EQ(result, 5u);
  EXPECT_STREQ(block, "ab-ab");
  EXPECT_EQ(failedAssertions([&] { result = replaceInBlock(block, 5, 7, nullptr, 2, "x", 1, true); }),
            Strings{"blockPtr && findPtr && replacePtr"});
  EXPECT_EQ(result, 5u);
  EXPECT_STREQ(block, "ab-ab");
  EXPECT_EQ(failedAssertions([&] { result = replaceInBlock(nullptr, 0, 7, "ab", 2, "x", 1, true); }),
            Strings{"blockPtr && findPtr && replacePtr"});
}

TEST(ReplaceInCString, KeepsTheTextTerminatedInsideTheBuffer) {
  char buffer[8] = "ab-ab";
  EXPECT_EQ(replaceInCString(buffer, "ab", "xyz", true, sizeof buffer), buffer);
  EXPECT_STREQ(buffer, "xyz-xyz");

  char small[7] = "ab-ab";
  replaceInCString(small, "ab", "xyz", true, sizeof small);
  EXPECT_STREQ(small, "xyz-xy");

  char pushed[6] = "abcd";
  pushed[5] = '~';
  replaceInCString(pushed, "a", "xyz", true, 6);
  EXPECT_STREQ(pushed, "xyzbc");

  char once[16] = "a.b.c";
  replaceInCString(once, ".", "::", false, sizeof once);
  EXPECT_STREQ(once, "a::b.c");

  char none[4] = "abc";
  EXPECT_EQ(replaceInCString(none, "b", "x", true, 0), none);
  EXPECT_STREQ(none, "abc");
}

TEST(ReplaceInPString, LengthByteFollowsTheText) {
  unsigned char text[16] = "\x05" "ab-ab";
  EXPECT_EQ(replaceInPString(text, "ab", "xyz", true, 7), text);
  EXPECT_EQ(text[0], 7);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(text + 1), 7), "xyz-xyz");
  replaceInPString(text, "-", "", true, 7);
  EXPECT_EQ(text[0], 6);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(text + 1), 6), "xyzxyz");

  // A capacity the length byte cannot count is reported and held to 255 characters.
  std::vector<unsigned char> big(300, 'a');
  big[0] = 255;
  EXPECT_EQ(failedAssertions([&] { replaceInPString(big.data(), "a", "bb", false, 299); }),
            Strings{"maxStringSize < 256"});
  EXPECT_EQ(big[0], 255);
  EXPECT_EQ(big[1], 'b');
  EXPECT_EQ(big[256], 'a');  // nothing written behind the 255 characters
}

TEST(ReplaceInString, ReplacesFirstOrEvery) {
  const struct {
    const char* source;
    const char* find;
    const char* replace;
    bool all;
    const char* expected;
  } cases[] = {
      {"aaa", "a", "aa", true, "aaaaaa"}, {"aaa", "a", "aa", false, "aaaa"}, {"abcabc", "bc", "", true, "aa"},
      {"abc", "x", "y", true, "abc"},      {"abc", "", "y", true, "abc"},     {"", "a", "b", true, ""},
      {"a.b.c", ".", "\\.", true, "a\\.b\\.c"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(replaceInString(c.source, c.find, c.replace, c.all), c.expected) << c.source << " / " << c.find;
}

TEST(ReplaceParam, FillsEveryPlaceholderOnce) {
  std::string empty;
  EXPECT_EQ(replaceParam(empty, 'e', "value"), "");
  std::string text = "$e, $E, $e$e, $$e";
  EXPECT_EQ(&replaceParam(text, 'e', "$e"), &text);
  EXPECT_EQ(text, "$e, $E, $e$e, $$e");
  text = "$e, $f, $e";
  replaceParam(text, 'e', "x");
  EXPECT_EQ(text, "x, $f, x");
  const std::string source = "<$t>";
  EXPECT_EQ(replaceParamCopy(source, 't', "tok"), "<tok>");
  EXPECT_EQ(source, "<$t>");
}

TEST(ConvertLineEnds, EveryFormat) {
  const struct {
    const char* text;
    int32_t format;
    bool ensure;
    const char* expected;
  } cases[] = {
      {"a\r\nb\nc\r", kLineEndLF, false, "a\nb\nc\n"},
      {"a\r\nb\nc\r", kLineEndCRLF, false, "a\r\nb\r\nc\r\n"},
      {"a\r\nb\nc\r", kLineEndDefault, false, "a\r\nb\r\nc\r\n"},
      {"a\r\nb\nc\r", kLineEndCR, false, "a\rb\rc\r"},
      {"a\r\nb\nc\r", kLineEndBlank, false, "a b c "},
      {"x", kLineEndLF, true, "x\n"},
      {"x", kLineEndCRLF, true, "x\r\n"},
      {"x", kLineEndCR, true, "x\r"},
      {"x", kLineEndBlank, true, "x "},
      {"x\n", kLineEndCRLF, true, "x\r\n"},
      {"", kLineEndCRLF, true, "\r\n"},
      {"", kLineEndCRLF, false, ""},
      {"x", kLineEndCRLF, false, "x"},
      // Blank lines stay lines in every format.
      {"a\n\nb", kLineEndCR, false, "a\r\rb"},
      {"a\n\nb", kLineEndCRLF, false, "a\r\n\r\nb"},
      {"a\r\rb", kLineEndLF, false, "a\n\nb"},
      {"a\r\rb", kLineEndCRLF, false, "a\r\n\r\nb"},
      {"a\r\n\r\nb", kLineEndCR, false, "a\r\rb"},
      {"a\r\n\r\nb", kLineEndBlank, false, "a  b"},
      {"\n\r", kLineEndCRLF, false, "\r\n\r\n"},
      {"\n\r", kLineEndCR, false, "\r\r"},
  };
  for (const auto& c : cases) {
    std::string text = c.text;
    EXPECT_EQ(&convertLineEnds(text, c.format, c.ensure), &text);
    EXPECT_EQ(text, c.expected) << "format " << c.format << " of " << testing::PrintToString(std::string(c.text));
  }
}

TEST(ConvertLineEnds, UnknownFormatIsReportedAndLeavesLineEnds) {
  std::string text = "a\nb";
  EXPECT_EQ(failedAssertions([&] { convertLineEnds(text, 5, true); }), Strings{"inFormat > 0 && inFormat < 5"});
  EXPECT_EQ(text, "a\nb\r");
  EXPECT_EQ(failedAssertions([&] { convertLineEnds(text, -1, false); }), Strings{"inFormat > 0 && inFormat < 5"});
  EXPECT_EQ(text, "a\nb\r");
}

}  // namespace
