// The stream lexer: lines and line ends, classes, quotes, escapes, comments, in-place token
// texts, expectations and the parse errors they raise.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "orvo/messages/kxexception.h"
#include "orvo/util/kxstream.h"
#include "support/kxtestsupport.h"

namespace {

struct Options {
  bool eol = false;
  bool comments = false;
  bool cComments = false;
  bool escapes = true;
  bool strip = false;
  std::vector<std::pair<char, uint8_t>> classes = {};
  char quote = '"';
};

void configure(kxCustomStreamLexer& ioLexer, const Options& inOptions) {
  ioLexer.setReturnEOL(inOptions.eol);
  ioLexer.setReturnComments(inOptions.comments);
  ioLexer.setCComments(inOptions.cComments);
  ioLexer.setInterpretEscapes(inOptions.escapes);
  ioLexer.setStripQuotes(inOptions.strip);
  ioLexer.setQuoteChar(inOptions.quote);
  for (const auto& [c, bits] : inOptions.classes) ioLexer.setCharClass(static_cast<unsigned char>(c), bits);
}

// Every token up to the end of input as "<eol>", "<eof>", "w:text", "c:text" or "k:code",
// with "@n" after each line end for the line number it reported.
std::vector<std::string> lexAll(kxCustomStreamLexer& ioLexer) {
  std::vector<std::string> out;
  for (int guard = 0; guard < 1000000; ++guard) {
    const int token = ioLexer.nextToken();
    if (token == kEOFToken) {
      out.push_back("<eof>");
      break;
    }
    if (token == kEOLToken)
      out.push_back("<eol>@" + std::to_string(ioLexer.getLineNumber()));
    else if (token == kWordToken) {
      const char* text = ioLexer.getTokenText();  // may strip quotes, so before the length
      out.push_back("w:" + std::string(text, ioLexer.getTokenLength()));
    }
    else if (token == kCommentToken)
      out.push_back("c:" + std::string(ioLexer.getTokenText()));
    else
      out.push_back("k:" + std::to_string(token));
  }
  return out;
}

std::vector<std::string> lex(const std::string& inText, const Options& inOptions = {}) {
  kxStreamLexer lexer(inText);
  configure(lexer, inOptions);
  return lexAll(lexer);
}

using Tokens = std::vector<std::string>;

TEST(StreamLexer, LineEndsAndEndOfInput) {
  const Options eol{.eol = true};
  struct Case {
    const char* name;
    std::string text;
    Options options;
    Tokens expected;
  } cases[] = {
      {"empty, no line ends", "", {}, {"<eof>"}},
      {"empty, line ends", "", eol, {"<eol>@1", "<eol>@1", "<eof>"}},
      {"one line with LF", "a b\n", eol, {"<eol>@1", "w:a", "w:b", "<eol>@1", "<eof>"}},
      {"last line without end", "a\nb", eol, {"<eol>@1", "w:a", "<eol>@2", "w:b", "<eol>@2", "<eof>"}},
      {"CR LF adds an empty line", "a\r\n", eol, {"<eol>@1", "w:a", "<eol>@2", "<eol>@2", "<eof>"}},
      {"CR, LF, CR LF, LF CR each end one line",
       "a\rb\nc\r\nd\n\re",
       eol,
       {"<eol>@1", "w:a", "<eol>@2", "w:b", "<eol>@3", "w:c", "<eol>@4", "w:d", "<eol>@5", "w:e", "<eol>@5",
        "<eof>"}},
      {"CR CR and LF LF end two lines", "a\r\rb\n\nc", eol,
       {"<eol>@1", "w:a", "<eol>@2", "<eol>@3", "w:b", "<eol>@4", "<eol>@5", "w:c", "<eol>@5", "<eof>"}},
      {"blank lines skipped without line ends", " \n\t\n x \n", {}, {"w:x", "<eof>"}},
      {"NUL ends the line's text", std::string("ab\0cd ef\ngh", 11), {}, {"w:ab", "w:gh", "<eof>"}},
  };
  for (const Case& c : cases) EXPECT_EQ(lex(c.text, c.options), c.expected) << c.name;
}

TEST(StreamLexer, ClassesQuotesEscapesAndComments) {
  struct Case {
    const char* name;
    std::string text;
    Options options;
    Tokens expected;
  } cases[] = {
      {"escape by number", "a\\065b", {}, {"w:aAb", "<eof>"}},
      {"escape by number, modulo 256", "\\321x", {}, {"w:Ax", "<eof>"}},
      {"escapes kept", "a\\065b", {.escapes = false}, {"w:a\\065b", "<eof>"}},
      {"escaped blank stays in the word", "a\\ b c", {}, {"w:a b", "w:c", "<eof>"}},
      {"escaped blank kept raw", "a\\ b c", {.escapes = false}, {"w:a\\ b", "w:c", "<eof>"}},
      {"escaped quote opens nothing", "a\\\"b c", {}, {"w:a\"b", "w:c", "<eof>"}},
      {"escaped quote kept raw", "a\\\"b c", {.escapes = false}, {"w:a\\\"b", "w:c", "<eof>"}},
      {"quotes keep blanks and classes", "\"a b;c\" d", {.classes = {{';', 2}}}, {"w:\"a b;c\"", "w:d", "<eof>"}},
      {"quotes inside a word", "x\"a b\"y z", {}, {"w:x\"a b\"y", "w:z", "<eof>"}},
      {"strip quotes", "\"a b\" \"\" c", {.strip = true}, {"w:a b", "w:", "w:c", "<eof>"}},
      {"lone quote pair not stripped when off", "\"\"", {}, {"w:\"\"", "<eof>"}},
      {"another quote character", "x\"y 'a b'c d", {.quote = '\''}, {"w:x\"y", "w:'a b'c", "w:d", "<eof>"}},
      {"comment class ends a word", "abc#def", {.comments = true, .classes = {{'#', 2}}},
       {"w:abc", "c:def", "<eof>"}},
      {"comments skipped", "abc#def\n#x\n#y\nz", {.classes = {{'#', 2}}}, {"w:abc", "w:z", "<eof>"}},
      {"single character class", "(x)", {.classes = {{'(', 4}}}, {"k:40", "w:x)", "<eof>"}},
      {"both parentheses single", "(x)", {.classes = {{'(', 4}, {')', 4}}}, {"k:40", "w:x", "k:41", "<eof>"}},
      {"C comments returned", "a /* x\n y */ b // c\nd",
       {.eol = true, .comments = true, .cComments = true},
       {"<eol>@1", "w:a", "c:", "w:b", "c: c", "<eol>@3", "w:d", "<eol>@3", "<eof>"}},
      {"C comments skipped", "a/* x */b // c\n//\nd", {.cComments = true}, {"w:a/*", "w:x", "w:*/b", "w:d", "<eof>"}},
      {"C comments at token start only", "/* x */b // c\n//\nd", {.cComments = true}, {"w:b", "w:d", "<eof>"}},
      {"slash alone is a word", "/ /x", {.cComments = true}, {"w:/", "w:/x", "<eof>"}},
  };
  for (const Case& c : cases) EXPECT_EQ(lex(c.text, c.options), c.expected) << c.name;
}

TEST(StreamLexer, LongLinesAreReadWhole) {
  std::string text;
  std::vector<std::string> expected;
  for (int i = 0; i < 30000; ++i) {
    const std::string word = "w" + std::to_string(i) + std::string(static_cast<size_t>(i % 7), 'x');
    text += word + (i % 3 == 0 ? "\t" : " ");
    expected.push_back("w:" + word);
  }
  text += "\nlast";
  expected.push_back("w:last");
  expected.push_back("<eof>");
  EXPECT_EQ(lex(text), expected);
  // One word longer than the first buffer.
  const std::string big(5000, 'q');
  EXPECT_EQ(lex(big + " z"), (Tokens{"w:" + big, "w:z", "<eof>"}));
}

TEST(StreamLexer, ManySkippedCommentLinesDoNotRecurse) {
  std::string text;
  for (int i = 0; i < 300000; ++i) text += "#\n";
  text += "end";
  EXPECT_EQ(lex(text, {.classes = {{'#', 2}}}), (Tokens{"w:end", "<eof>"}));
}

struct Failure {
  kxErr code;
  std::string text;
  std::string token;
  std::string expected;
};

template <typename Body>
Failure failureOf(Body inBody) {
  try {
    inBody();
  } catch (const kxException& e) {
    const kxErrorMessage& m = e.errorMessage;
    return {e.getErrorValue(), m.getText(), m.hasParam('t') ? m.getParam('t') : "-",
            m.hasParam('e') ? m.getParam('e') : "-"};
  }
  ADD_FAILURE() << "no exception";
  return {};
}

TEST(StreamLexer, LexicalErrors) {
  struct Case {
    const char* name;
    std::string text;
    Options options;
    Failure expected;
  } cases[] = {
      {"open quote", "x\n\"ab c", {},
       {kxErr_parserUnexpectedToken, "Error in file \"\" line 2. Expected \"\"\" got \"\"ab c\" .", "\"ab c", "\""}},
      {"backslash ends the line", "ab\\", {},
       {kxErr_parserIncorrectFormat, "Error in file \"\" line 1. Incorrect format.", "ab", "<nul>"}},
      {"backslash ends the line, escapes off", "ab\\", {.escapes = false},
       {kxErr_parserIncorrectFormat, "Error in file \"\" line 1. Incorrect format.", "ab\\", "<nul>"}},
      {"unterminated C comment", "a\n/* x\ny", {.cComments = true},
       {kxErr_parserUnterminatedComment, "Error in file \"\" line 3. Unterminated comments.", "<nul>", "<nul>"}},
  };
  for (const Case& c : cases) {
    const Failure f = failureOf([&] { lex(c.text, c.options); });
    EXPECT_EQ(f.code, c.expected.code) << c.name;
    EXPECT_EQ(f.text, c.expected.text) << c.name;
    EXPECT_EQ(f.token, c.expected.token) << c.name;
    EXPECT_EQ(f.expected, c.expected.expected) << c.name;
  }
}

TEST(StreamLexer, ExpectationsAcceptAndRaise) {
  const char* const kTemplate = "Error in file \"$f\" line $l. Expected \"$e\" got \"$t\" .";
  kxStreamLexer lexer("Alpha 0042 x7 ( \"a\tb\"  #note\n");
  lexer.setCharClass('(', 4);
  lexer.setCharClass('#', 2);
  lexer.setReturnComments(true);

  EXPECT_TRUE(lexer.nextExpectKeyword("aLPHA"));
  EXPECT_TRUE(lexer.isKeyword("alpha"));
  EXPECT_FALSE(lexer.isKeyword("alph"));
  EXPECT_EQ(lexer.expectWord(), kWordToken);
  Failure f = failureOf([&] { lexer.expectInteger(); });
  EXPECT_EQ(f.code, kxErr_parserExpectedInteger);
  EXPECT_EQ(f.text, "Error in file \"\" line 1. Expected integer value.");

  EXPECT_TRUE(lexer.nextInteger());
  EXPECT_EQ(lexer.getIntegerValue(), 42);
  f = failureOf([&] { lexer.expectKeyword("ttl"); });
  EXPECT_EQ(f.code, kxErr_parserUnexpectedToken);
  EXPECT_EQ(f.text, "Error in file \"\" line 1. Expected \"ttl\" got \"0042\" .");

  EXPECT_EQ(lexer.nextWord(), kWordToken);
  EXPECT_FALSE(lexer.isInteger());
  f = failureOf([&] { lexer.expect('(', kxErr_parserFailed, kTemplate); });
  EXPECT_EQ(f.code, kxErr_parserFailed);
  EXPECT_EQ(f.expected, "(");
  EXPECT_EQ(f.token, "x7");

  EXPECT_EQ(lexer.nextExpect('(', kxErr_parserFailed, kTemplate), '(');
  EXPECT_FALSE(lexer.isKeyword("("));
  f = failureOf([&] { lexer.expectWord(); });
  EXPECT_EQ(f.code, kxErr_parserUnexpectedToken);
  EXPECT_EQ(f.text, "Error in file \"\" line 1. Unexpected token \"(\".");

  EXPECT_EQ(lexer.nextExpectOneOf(kEOLToken, kWordToken, kxErr_parserFailed, kTemplate), kWordToken);
  f = failureOf([&] { lexer.expectOneOf(kEOLToken, kEOFToken, kxErr_parserFailed, kTemplate); });
  EXPECT_EQ(f.expected, "<nul>");
  EXPECT_EQ(f.token, "\"a.b\"") << "non-printable characters of t become dots";

  EXPECT_EQ(lexer.nextToken(), kCommentToken);
  f = failureOf([&] { lexer.expectWord(); });
  EXPECT_EQ(f.token, "<comment>");

  EXPECT_EQ(lexer.nextToken(), kEOFToken);
  f = failureOf([&] { lexer.nextWord(); });
  EXPECT_EQ(f.token, "<eof>");
}

TEST(StreamLexer, ErrorsNameTheFileAndLine) {
  orvo::test::TempDir dir;
  const std::string path = dir.file("input.txt");
  {
    std::ofstream out(path, std::ios::binary);
    out << "a\r\nb c\r\n";
  }
  kxStreamLexer lexer;
  ASSERT_TRUE(lexer.openFile(path));
  EXPECT_EQ(lexer.getFileName(), path);
  EXPECT_EQ(lexer.getStreamSize(), 8);
  lexer.nextWord();
  lexer.nextWord();
  EXPECT_EQ(lexer.getLineNumber(), 2);
  const Failure f = failureOf([&] { lexer.nextInteger(); });
  EXPECT_EQ(f.text, "Error in file \"" + path + "\" line 2. Expected integer value.");

  EXPECT_FALSE(lexer.openFile(dir.file("missing.txt")));
  EXPECT_EQ(lexer.getLineNumber(), 0);
  lexer.setReturnEOL(true);
  EXPECT_EQ(lexer.nextToken(), kEOLToken);
  EXPECT_EQ(lexer.nextToken(), kEOFToken);
  EXPECT_EQ(lexer.nextToken(), kEOFToken);
}

TEST(StreamLexer, TokenTextIsTerminatedInPlace) {
  const std::string line = "one two three four";
  kxStreamLexer lexer(line);
  lexer.setInterpretEscapes(false);
  lexer.nextToken();
  const char* first = lexer.getTokenText();
  EXPECT_STREQ(first, "one");
  EXPECT_EQ(lexer.getTokenColumn(), 0);
  lexer.nextToken();
  lexer.nextToken();
  EXPECT_STREQ(lexer.getTokenText(), "three");
  EXPECT_EQ(lexer.getTokenColumn(), 8);
  EXPECT_EQ(lexer.getCursorColumn(), 13);
  // The earlier text now runs on to the end of the last token whose text was asked for.
  EXPECT_STREQ(first, "one two three");
  lexer.nextToken();
  EXPECT_STREQ(lexer.getLineText(), line.c_str()) << "the line is restored behind each token";
  EXPECT_STREQ(lexer.getTokenText(), "four");
  EXPECT_STREQ(lexer.getTokenText(), "four") << "asking twice changes nothing";

  // Names for the kinds without text of their own.
  kxStreamLexer empty("");
  EXPECT_STREQ(empty.getTokenText(), "<nul>");
  empty.nextToken();
  EXPECT_STREQ(empty.getTokenText(), "<eof>");
}

TEST(StreamLexer, CursorMovesInsideAToken) {
  kxStreamLexer lexer("abcdef gh");
  lexer.nextToken();
  EXPECT_FALSE(lexer.setCursorInToken(10)) << "past the line's terminating NUL";
  EXPECT_STREQ(lexer.getTokenText(), "abcdef");
  EXPECT_TRUE(lexer.setCursorInToken(3));
  EXPECT_EQ(lexer.nextToken(), kWordToken);
  EXPECT_STREQ(lexer.getTokenText(), "def");
  EXPECT_TRUE(lexer.setCursorInToken(6)) << "the line's NUL itself is allowed";
  EXPECT_EQ(lexer.nextToken(), kEOFToken);
}

TEST(StreamLexer, SkipToEndOfLineAndStreamPosition) {
  std::istringstream stream("a b c\nd\n");
  kxStreamLexer lexer(stream);
  lexer.setReturnEOL(true);
  EXPECT_EQ(lexer.getStreamSize(), 8);
  lexer.skipToEndOfLine();  // reads the line end that comes before line 1
  EXPECT_EQ(lexer.getToken(), kEOLToken);
  lexer.skipToEndOfLine();
  EXPECT_EQ(lexer.getLineNumber(), 1);
  lexer.nextToken();
  lexer.skipToEndOfLine();
  EXPECT_EQ(lexer.getToken(), kEOLToken);
  EXPECT_EQ(lexer.getLineNumber(), 2);
  EXPECT_EQ(lexer.getStreamPosition(), 8);
  EXPECT_STREQ(lexer.nextToken() == kWordToken ? lexer.getTokenText() : "", "d");

  kxStreamLexer none;
  EXPECT_EQ(none.getStreamPosition(), 0);
  EXPECT_EQ(none.getStreamSize(), 0);
  EXPECT_EQ(none.nextToken(), kEOFToken);
}

TEST(StreamLexer, TokenNames) {
  kxStreamLexer lexer;
  EXPECT_STREQ(lexer.getTokenName(65), "A");
  EXPECT_STREQ(lexer.getTokenName(7), "7");
  EXPECT_STREQ(lexer.getTokenName(255), "255");
  EXPECT_STREQ(lexer.getTokenName(kNulToken), "<nul>");
  EXPECT_STREQ(lexer.getTokenName(kEOLToken), "<eol>");
  EXPECT_STREQ(lexer.getTokenName(kEOFToken), "<eof>");
  EXPECT_STREQ(lexer.getTokenName(kCommentToken), "<comment>");
}

TEST(StreamLexer, TokenNamesArePerThread) {
  auto ask = [](int inChar, bool* outOk) {
    kxStreamLexer lexer;
    const char expected[2] = {static_cast<char>(inChar), '\0'};
    for (int i = 0; i < 20000 && *outOk; ++i) {
      const char* name = lexer.getTokenName(inChar);
      for (int spin = 0; spin < 20; ++spin)
        if (std::string(name) != expected) *outOk = false;
    }
  };
  bool okA = true;
  bool okB = true;
  std::thread a(ask, 'A', &okA);
  std::thread b(ask, 'B', &okB);
  a.join();
  b.join();
  EXPECT_TRUE(okA);
  EXPECT_TRUE(okB);
}

}  // namespace
