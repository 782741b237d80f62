// The master-file lexer: comments, parenthesised groups over several lines, and its errors,
// configured as the master-file parser uses it (escapes kept, line ends reported).
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "orvo/messages/kxexception.h"
#include "orvo/util/kxmasterfileparser.h"

namespace {

using Tokens = std::vector<std::string>;

// Tokens as "<eol>", "<eof>", "c:text" or the word's text.
Tokens lex(const std::string& inText, bool inEscapes = false) {
  std::istringstream input(inText);
  kxMasterFileFormatLexer lexer;
  lexer.setInterpretEscapes(inEscapes);
  lexer.setStream(&input, "db.test", false);
  lexer.setReturnEOL(true);
  Tokens out;
  for (;;) {
    const int token = lexer.nextToken();
    if (token == kEOFToken) break;
    if (token == kEOLToken)
      out.push_back("<eol>");
    else if (token == kCommentToken)
      out.push_back("c:" + std::string(lexer.getTokenText()));
    else
      out.push_back(lexer.getTokenText());
  }
  out.push_back("<eof>");
  return out;
}

TEST(MasterFileLexer, GroupsCommentsAndQuotes) {
  struct Case {
    const char* name;
    const char* text;
    Tokens expected;
  } cases[] = {
      {"group over two lines", "a ( b\nc ) d", {"<eol>", "a", "b", "c", "d", "<eol>", "<eof>"}},
      {"comment inside a group is dropped", "( x ;note\n)", {"<eol>", "x", "<eol>", "<eof>"}},
      {"comment after the group is kept", "soa ( 1 ; serial\n 2 ) ; tail\nnext",
       {"<eol>", "soa", "1", "2", "c: tail", "<eol>", "next", "<eol>", "<eof>"}},
      {"comment text keeps its leading blank", "x ; y", {"<eol>", "x", "c: y", "<eol>", "<eof>"}},
      {"nested groups switch line ends once", "a (b (c\n) d\n) e\nf",
       {"<eol>", "a", "b", "c", "d", "e", "<eol>", "f", "<eol>", "<eof>"}},
      {"parentheses end words", "a(b)c", {"<eol>", "a", "b", "c", "<eol>", "<eof>"}},
      {"semicolon inside quotes", "txt \"a;b\" c", {"<eol>", "txt", "\"a;b\"", "c", "<eol>", "<eof>"}},
      {"escaped semicolon stays in the word", "a\\;b c", {"<eol>", "a\\;b", "c", "<eol>", "<eof>"}},
      {"escaped parenthesis stays in the word", "a\\(b c", {"<eol>", "a\\(b", "c", "<eol>", "<eof>"}},
      {"escaped quote opens nothing", "a\\\"b c", {"<eol>", "a\\\"b", "c", "<eol>", "<eof>"}},
      {"line ends after a group close", "a (\n)\nb", {"<eol>", "a", "<eol>", "b", "<eol>", "<eof>"}},
      // Quotes glued to other text: each quoted string is a word of its own.
      {"quoted strings glued together", "\"a\"b\"c\" \"d\"\"e\" \"f\"\"\"",
       {"<eol>", "\"a\"", "b", "\"c\"", "\"d\"", "\"e\"", "\"f\"", "\"\"", "<eol>", "<eof>"}},
      {"a quote inside a word starts the next", "a\"b c\" x\"y\"", {"<eol>", "a", "\"b c\"", "x", "\"y\"", "<eol>", "<eof>"}},
      {"escaped text after a quoted string", "\"a\"\\; b", {"<eol>", "\"a\"", "\\;", "b", "<eol>", "<eof>"}},
      {"empty string, then a tab and a semicolon quoted", "\"\"\"\t\t; '\"' char",
       {"<eol>", "\"\"", "\"\t\t; '\"", "'", "char", "<eol>", "<eof>"}},
  };
  for (const Case& c : cases) EXPECT_EQ(lex(c.text), c.expected) << c.name;
}

// SVCB and HTTPS parameters: a quoted value glued to its key stays in the key's word.
TEST(MasterFileLexer, QuotedValuePairs) {
  std::istringstream input("alpn=\"h2,h3\" port=443 a= \"b\" c\\=\"d\"");
  kxMasterFileFormatLexer lexer;
  lexer.setInterpretEscapes(false);
  lexer.setStream(&input, "db.test", false);
  lexer.setQuotedValuePairs(true);
  Tokens words;
  while (lexer.nextToken() == kWordToken) words.push_back(lexer.getTokenText());
  EXPECT_EQ(words, (Tokens{"alpn=\"h2,h3\"", "port=443", "a=", "\"b\"", "c\\=", "\"d\""}));
}

TEST(MasterFileLexer, DeepAndLongGroupsDoNotRecurse) {
  std::string text = "a " + std::string(200000, '(') + " b\n";
  for (int i = 0; i < 100000; ++i) text += "; comment\n";
  text += std::string(200000, ')') + " c";
  EXPECT_EQ(lex(text), (Tokens{"<eol>", "a", "b", "c", "<eol>", "<eof>"}));
}

TEST(MasterFileLexer, Errors) {
  struct Case {
    const char* name;
    const char* text;
    const char* message;
    const char* token;
  } cases[] = {
      {"close without open", "))", "Error in file \"db.test\" line 1. Unexpected token \")\".", ")"},
      {"close after a balanced group", "a (b)\nc )", "Error in file \"db.test\" line 2. Unexpected token \")\".", ")"},
      {"end of input in a group", "a ( b\nc",
       "Error in file \"db.test\" line 2. Expected \")\" got \"<eof>\" .", "<eof>"},
      {"unclosed quote", "a \"b c", "Error in file \"db.test\" line 1. Expected \"\"\" got \"\"b c\" .", "\"b c"},
  };
  for (const Case& c : cases) {
    try {
      lex(c.text);
      ADD_FAILURE() << c.name << ": no exception";
    } catch (const kxException& e) {
      EXPECT_EQ(e.getErrorValue(), kxErr_parserUnexpectedToken) << c.name;
      EXPECT_EQ(e.errorMessage.getText(), c.message) << c.name;
      EXPECT_EQ(e.errorMessage.getParam('t'), c.token) << c.name;
    }
  }
}

TEST(MasterFileLexer, DepthSurvivesReset) {
  std::istringstream input("a ( b");
  kxMasterFileFormatLexer lexer;
  lexer.setStream(&input, false);
  EXPECT_THROW(
      for (;;) lexer.nextToken(), kxException);
  EXPECT_EQ(lexer.getParenDepth(), 1);
  lexer.reset();
  EXPECT_EQ(lexer.getParenDepth(), 1);
}

}  // namespace
