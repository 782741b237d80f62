// Stream lexers: a character stream cut into tokens, one line at a time.
//
// kxCustomStreamLexer reads its stream line by line into a growable buffer of its own and
// tokenises that buffer in place: a token's text is a pointer into the line, NUL-terminated on
// demand by saving the one character behind the token and writing it back when the next token
// is read. Nothing is allocated per token and every character is copied once, from the stream
// into the line buffer. The syntax is set by a 256-entry table of character classes and a few
// flags, so one class serves several syntaxes; kxMasterFileFormatLexer adjusts the table and
// the token step, kxStreamLexer adds constructors over streams and texts.
//
// Lines end at CR, LF, CR LF or LF CR. With end-of-line tokens on, kEOLToken is reported when
// the next line has been read, before that line's first token; the input is always closed by
// one kEOLToken and then kEOFToken.
//
// Input is bounded: a line longer than getMaxLineLength() bytes or a word longer than
// getMaxTokenLength() is a parse error, so a hostile stream (a file of one endless line,
// /dev/zero) costs at most one line buffer. A read error of the stream is a parse error too;
// with setRefuseNul a NUL byte in the input is one as well, instead of ending the line's text.
//
// A lexer belongs to one thread. Parse errors are thrown as kxException carrying a
// kxErrorMessage with the parameters f (file), l (line), t (token) and e (what was expected).
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <memory>
#include <string>

#include "orvo/messages/kxerr.h"

// Token kinds. Single-character tokens are their character code, 1 to 255.
inline constexpr int kNulToken = 0;
inline constexpr int kEOLToken = 300;
inline constexpr int kEOFToken = 301;
inline constexpr int kCommentToken = 302;
inline constexpr int kWordToken = 303;

// Character class bits.
inline constexpr uint8_t kWhiteSpaceClass = 1;
inline constexpr uint8_t kCommentStartClass = 2;
inline constexpr uint8_t kSingleCharClass = 4;
inline constexpr uint8_t kWordEndClasses = 7;

// Default bounds of a line and of a word, in bytes. A record's data is at most 65535 bytes, so
// its longest single word (the hexadecimal digits of generic data) has 131070 characters.
inline constexpr size_t kDefaultMaxLineLength = size_t(1) << 20;
inline constexpr size_t kDefaultMaxTokenLength = size_t(128) << 10;

class kxCustomStreamLexer {
 public:
  kxCustomStreamLexer();
  kxCustomStreamLexer(const kxCustomStreamLexer&) = delete;
  kxCustomStreamLexer& operator=(const kxCustomStreamLexer&) = delete;
  virtual ~kxCustomStreamLexer();

  virtual void setStream(std::istream* inStream, bool inOwnsStream);
  virtual void setStream(std::istream* inStream, const std::string& inFileName, bool inOwnsStream);
  // Opens the file for reading without newline translation and attaches it, owned, whether
  // or not it opened; a file that did not open reads as an empty input.
  bool openFile(const std::string& inFileName);
  void reset();

  virtual int nextToken();
  int getToken() const { return itsToken; }
  unsigned getTokenLength() const { return itsTokenLength; }
  // For kNulToken, kEOLToken and kEOFToken the kind's name; otherwise the token's text,
  // NUL-terminated in place until the next token is read.
  virtual const char* getTokenText();
  // "<nul>", "<eol>", "<eof>", "<comment>", "<word>"; a character 1-255 as itself when
  // printable, else in decimal. The latter forms live in a per-thread buffer until that
  // thread's next such call.
  virtual const char* getTokenName(int inToken);

  void skipToEndOfLine();
  // Moves the cursor to the end of the current line: the rest of it is not lexed.
  void skipRestOfLine() { itsCursor = itsLineEnd; }
  bool isInteger();
  long getIntegerValue();
  bool isKeyword(const char* inKeyword);

  int expect(int inToken, kxErr inError, const char* inMessage);
  int nextExpect(int inToken, kxErr inError, const char* inMessage);
  int expectOneOf(int inToken1, int inToken2, kxErr inError, const char* inMessage);
  int nextExpectOneOf(int inToken1, int inToken2, kxErr inError, const char* inMessage);
  bool expectKeyword(const char* inKeyword);
  bool nextExpectKeyword(const char* inKeyword);
  int expectWord();
  int nextWord();
  bool expectInteger();
  bool nextInteger();

  [[noreturn]] void raiseError(kxErr inError, const char* inMessage, int inExpectedToken);
  [[noreturn]] void raiseError(kxErr inError, const char* inMessage, const char* inExpected);

  const std::string& getFileName() const { return itsFileName; }
  int getLineNumber() const { return itsLineNumber; }
  int getTokenColumn() const { return static_cast<int>(itsTokenStart - itsBuffer.get()); }
  int getCursorColumn() const { return static_cast<int>(itsCursor - itsBuffer.get()); }
  const char* getLineText() const { return itsBuffer.get(); }
  // Moves the cursor to the current token's start plus inOffset when that lies within the
  // current line (its terminating NUL included); the next token is read from there.
  bool setCursorInToken(unsigned inOffset);

  std::istream* getStream() const { return itsStream; }
  // The next line read is numbered inLine: a text cut from a longer input keeps its lines.
  void startAtLine(int32_t inLine) { itsLineNumber = inLine - 1; }
  long getStreamPosition() const;
  long getStreamSize() const;

  void setReturnEOL(bool inFlag) { itsReturnEOLFlag = inFlag; }
  void setReturnComments(bool inFlag) { itsReturnCommentsFlag = inFlag; }
  void setCComments(bool inFlag) { itsCCommentsFlag = inFlag; }
  void setInterpretEscapes(bool inFlag) { itsInterpretEscapesFlag = inFlag; }
  void setStripQuotes(bool inFlag) { itsStripQuotesFlag = inFlag; }
  void setQuoteChar(int inQuoteChar);
  // A quoted string is a word of its own, as in BIND's master files: a quote ends the word
  // before it, and the word ends at its closing quote ("a"b is two words, "a" and b). Off by
  // default: quotes then toggle inside one word.
  void setQuotesSeparateWords(bool inFlag) { itsQuotesSeparateWordsFlag = inFlag; }
  // With quotes separating words: a word that ends in "=" goes on with the quoted string
  // right after it (key="a b"), as BIND reads the parameters of SVCB and HTTPS records.
  void setQuotedValuePairs(bool inFlag) { itsQuotedValuePairsFlag = inFlag; }
  void setCharClass(unsigned char inChar, uint8_t inClass);
  // A NUL byte in the input raises "NUL character in the text." instead of ending the line.
  void setRefuseNul(bool inFlag) { itsRefuseNulFlag = inFlag; }
  // A UTF-8 byte-order mark at the start of the input is dropped from the first line, so
  // that it is not read as text; byteOrderMarkSkipped tells whether one was.
  void setSkipByteOrderMark(bool inFlag) { itsSkipByteOrderMarkFlag = inFlag; }
  bool byteOrderMarkSkipped() const { return itsByteOrderMarkSkippedFlag; }
  void setMaxLineLength(size_t inLength) { itsMaxLineLength = inLength; }
  void setMaxTokenLength(size_t inLength) { itsMaxTokenLength = inLength; }
  size_t getMaxLineLength() const { return itsMaxLineLength; }
  size_t getMaxTokenLength() const { return itsMaxTokenLength; }

 private:
  bool readLine();
  // Reads the rest of a line into the buffer from inEnd on; returns the line's end.
  char* readLineChars(std::streambuf& inSource, char* inEnd);
  void growBuffer();
  void skipWhiteSpace();
  void takeRestOfLineAsComment(char* inStart);
  // Scans "/*" ... "*/" from the cursor, reading further lines as needed.
  void skipCComment();
  void scanWord();
  // Whether the word scanned so far, up to inEnd, ends in an unescaped "=".
  bool endsInEquals(const char* inEnd) const;
  // Sets itsWordStops for one character from its class and the quote character.
  void updateWordStop(unsigned char inChar);

  std::string itsFileName;
  std::istream* itsStream = nullptr;
  bool itsOwnsStreamFlag = false;
  std::unique_ptr<char[]> itsBuffer;
  size_t itsBufferSize = 0;
  char* itsCursor = nullptr;
  char* itsLineEnd = nullptr;
  int32_t itsToken = kNulToken;
  char* itsTokenStart = nullptr;
  uint32_t itsTokenLength = 0;
  int32_t itsLineNumber = 0;
  bool itsEOFFlag = false;
  bool itsReturnEOLFlag = false;
  bool itsReturnCommentsFlag = false;
  bool itsCCommentsFlag = false;
  bool itsInterpretEscapesFlag = true;
  bool itsStripQuotesFlag = false;
  bool itsQuotesSeparateWordsFlag = false;
  bool itsQuotedValuePairsFlag = false;
  uint8_t itsCharClass[256] = {};
  // The characters at which scanWord leaves its loop over plain characters: those that end a
  // word, the quote, the backslash and NUL.
  bool itsWordStops[256] = {};
  int32_t itsQuoteChar = '"';
  int32_t itsSavedChar = 0;
  bool itsRefuseNulFlag = false;
  bool itsSkipByteOrderMarkFlag = false;
  bool itsByteOrderMarkSkippedFlag = false;
  size_t itsMaxLineLength = kDefaultMaxLineLength;
  size_t itsMaxTokenLength = kDefaultMaxTokenLength;
};

class kxStreamLexer : public kxCustomStreamLexer {
 public:
  kxStreamLexer() = default;
  // Lexes a stream the caller keeps open.
  explicit kxStreamLexer(std::istream& inStream);
  // Lexes a text in place: it is not copied and must outlive the lexer.
  explicit kxStreamLexer(const std::string& inText);
  explicit kxStreamLexer(const char* inText);
  ~kxStreamLexer() override;
};
