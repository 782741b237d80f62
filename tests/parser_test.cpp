// The parser base: forwarding to the lexer, the reset hook, keyword lookup and the
// behaviour without a lexer.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "orvo/messages/kxexception.h"
#include "orvo/util/kxparser.h"
#include "orvo/util/kxstream.h"
#include "support/kxtestsupport.h"

namespace {

class TestParser : public kxCustomParser {
 public:
  explicit TestParser(bool inWithLexer = true) {
    if (inWithLexer) itsLexerPtr = &itsLexer;
  }
  void reset() override {
    ++resets;
    itsLexer.setReturnEOL(true);
  }
  kxStreamLexer& lexer() { return itsLexer; }
  int resets = 0;

 private:
  kxStreamLexer itsLexer;
};

const kxKeyword kTable[] = {{"$GENERATE", 1}, {"$INCLUDE", 2}, {"$ORIGIN", 3}, {"$TTL", 4},
                            {"CH", 5},        {"IN", 6},       {"[A", 7}};

TEST(Parser, FindKeywordIgnoresLetterCase) {
  const int count = static_cast<int>(std::size(kTable));
  struct Case {
    const char* text;
    int value;  // 0: not found
  } cases[] = {{"in", 6}, {"In", 6}, {"$ttl", 4}, {"$generate", 1}, {"$Origin", 3}, {"[a", 7},
               {"", 0},   {"I", 0},  {"INX", 0}, {"$TTL ", 0},     {"zz", 0}};
  for (const Case& c : cases) {
    const kxKeyword* found = kxCustomParser::findKeyword(c.text, kTable, count);
    EXPECT_EQ(found != nullptr ? found->value : 0, c.value) << c.text;
  }
  EXPECT_EQ(kxCustomParser::findKeyword("in", kTable, 0), nullptr);
}

TEST(Parser, CompareNoCaseMapsOnlyLetters) {
  EXPECT_LT(kxCustomParser::compareNoCase("abc", "ABD"), 0);
  EXPECT_EQ(kxCustomParser::compareNoCase("abc", "ABC"), 0);
  EXPECT_EQ(kxCustomParser::compareNoCase("a[", "A{"), '[' - '{');
  EXPECT_EQ(kxCustomParser::compareNoCase("ab", "a"), 'B');
  EXPECT_GT(kxCustomParser::compareNoCase("\xE9", "z"), 0) << "bytes above 127 compare unsigned";
}

TEST(Parser, ForwardsToTheLexer) {
  std::istringstream input("first second 12\nx");
  TestParser parser;
  parser.setStream(&input, "zone.txt");
  EXPECT_EQ(parser.resets, 1);
  EXPECT_EQ(parser.getFileName(), "zone.txt");
  EXPECT_EQ(parser.getStreamSize(), 17);

  EXPECT_EQ(parser.nextToken(), kEOLToken);
  EXPECT_EQ(parser.nextWord(), kWordToken);
  EXPECT_EQ(parser.getToken(), kEOLToken) << "the forwarders leave the parser's kind alone";
  EXPECT_STREQ(parser.getTokenText(), "first");
  EXPECT_EQ(parser.nextWord(), kWordToken);
  EXPECT_STREQ(parser.getTokenText(), "second");
  EXPECT_EQ(parser.getCursorColumn(), 12);
  EXPECT_TRUE(parser.nextInteger());
  EXPECT_EQ(parser.nextExpect(kEOLToken, kxErr_parserExpectedEndOfLine, "eol"), kEOLToken);
  EXPECT_EQ(parser.getLineNumber(), 2);
  EXPECT_EQ(parser.expect(kEOLToken, kxErr_parserExpectedEndOfLine, "eol"), kEOLToken);

  try {
    parser.nextWord();
    parser.nextWord();
    ADD_FAILURE() << "no exception";
  } catch (const kxException& e) {
    EXPECT_EQ(e.getErrorValue(), kxErr_parserUnexpectedToken);
    EXPECT_EQ(e.errorMessage.getText(), "Error in file \"zone.txt\" line 2. Unexpected token \"<eol>\".");
  }
  try {
    parser.raiseError(kxErr_parserExpectedName, "Error in file \"$f\" line $l. Expected \"$e\" got \"$t\" .", "name");
  } catch (const kxException& e) {
    EXPECT_EQ(e.getErrorValue(), kxErr_parserExpectedName);
    EXPECT_EQ(e.errorMessage.getText(), "Error in file \"zone.txt\" line 2. Expected \"name\" got \"<eol>\" .");
  }
  try {
    parser.raiseError(kxErr_parserFailed, "e=$e", '(');
  } catch (const kxException& e) {
    EXPECT_EQ(e.errorMessage.getText(), "e=(");
  }
}

TEST(Parser, OpenFileRunsTheHookEvenWhenTheFileIsMissing) {
  orvo::test::TempDir dir;
  TestParser parser;
  EXPECT_FALSE(parser.openFile(dir.file("missing.zone")));
  EXPECT_EQ(parser.resets, 1);
  EXPECT_EQ(parser.nextToken(), kEOLToken);
  EXPECT_EQ(parser.nextToken(), kEOFToken);
}

TEST(Parser, WithoutALexerReadsEmptyAndRaisesPlainErrors) {
  TestParser parser(false);
  EXPECT_FALSE(parser.openFile("anything"));
  EXPECT_EQ(parser.resets, 1);
  EXPECT_EQ(parser.nextToken(), kEOFToken);
  EXPECT_EQ(parser.getFileName(), "");
  EXPECT_EQ(parser.getLineNumber(), 0);
  EXPECT_STREQ(parser.getTokenText(), "");
  try {
    parser.nextWord();
    ADD_FAILURE() << "no exception";
  } catch (const kxException& e) {
    EXPECT_EQ(e.getErrorValue(), kxErr_parserUnexpectedToken);
    EXPECT_EQ(e.errorMessage.getParamCount(), 0u);
  }
  EXPECT_THROW(parser.raiseError(kxErr_parserFailed, "x", kEOFToken), kxException);
}

}  // namespace
