// kxCustomParser: the base of the parsers.
//
// A derived parser embeds its lexer and points itsLexerPtr at it in its constructor; the base
// forwards token, position and error operations to that lexer and runs the reset hook
// whenever new input is attached. Parse errors are composed and thrown by the lexer; the
// parser only chooses the code, the message template and what was expected.
//
// Operations that need the lexer assert "itsLexerPtr". Without a lexer they then act as on an
// empty input (nextToken gives kEOFToken) and the expectations and raiseError throw the code
// and template they were given, without parameters.
//
// Keyword tables for findKeyword are arrays sorted by the ASCII upper-case form of the names.
#pragma once

#include <cstdint>
#include <istream>
#include <string>

#include "orvo/debug/kxassert.h"
#include "orvo/messages/kxerr.h"
#include "orvo/util/kxstream.h"

struct kxKeyword {
  const char* name;
  int32_t value;  // 0 is not used: a derived parser reads a missing keyword as 0
};

class kxCustomParser {
 public:
  kxCustomParser() = default;
  kxCustomParser(const kxCustomParser&) = delete;
  kxCustomParser& operator=(const kxCustomParser&) = delete;

  virtual const std::string& getFileName();
  virtual int getLineNumber();
  virtual int getCursorColumn();
  // Runs after new input is attached.
  virtual void reset();
  [[noreturn]] virtual void raiseError(kxErr inError, const char* inMessage, int inExpectedToken);
  [[noreturn]] virtual void raiseError(kxErr inError, const char* inMessage, const char* inExpected);
  // Reads through the lexer's nextToken and remembers the kind for getToken.
  virtual int nextToken();
  virtual const char* getTokenText();

  // The lexer's openFile, then reset; the hook runs even when the file did not open.
  bool openFile(const std::string& inFileName);
  // Attaches a stream the caller keeps, named inStreamName in error messages, then reset.
  void setStream(std::istream* inStream, const std::string& inStreamName);

  // The kind last read through this parser's nextToken (the forwarders below do not change it).
  int getToken() const { return itsToken; }
  long getStreamPosition();
  long getStreamSize();

  int expect(int inToken, kxErr inError, const char* inMessage);
  int nextExpect(int inToken, kxErr inError, const char* inMessage);
  int expectWord();
  int nextWord();
  bool nextInteger();

  // Bisection over a table sorted by upper-case name; null when not found.
  static const kxKeyword* findKeyword(const char* inText, const kxKeyword* inTable, int inCount);
  // Compares after mapping ASCII a-z to A-Z; the difference of the first differing characters.
  static int compareNoCase(const char* inText1, const char* inText2);

 protected:
  // Not virtual: derived parsers are not deleted through the base.
  ~kxCustomParser() = default;

  kxCustomStreamLexer* itsLexerPtr = nullptr;
  int32_t itsToken = kNulToken;
};
