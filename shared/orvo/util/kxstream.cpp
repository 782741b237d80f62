// Stream lexers. See kxstream.h for the design.
//
// Characters are taken straight from the stream's buffer (sbumpc/sgetc) and the stream's
// state bits are kept exactly as single-character reads would leave them: end of input sets
// eofbit and failbit, a look-ahead that meets the end sets eofbit alone. A line is read only
// while the stream is good, so a last line without a line end is still returned and input
// that ends in CR LF yields one more, empty, line than input ending in LF.
#include "orvo/util/kxstream.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <new>
#include <streambuf>
#include <string>

#include "orvo/messages/kxerrormessage.h"
#include "orvo/messages/kxexception.h"
#include "orvo/util/kxtexthelpers.h"

namespace {

constexpr uint32_t kBufferStep = 512;

constexpr bool isDigit(unsigned char inChar) { return inChar >= '0' && inChar <= '9'; }

// A read-only stream over characters the caller keeps alive; nothing is copied. Seeking is
// supported so that the lexer's stream position and size work as on a file.
class kxTextBuf : public std::streambuf {
 public:
  kxTextBuf(const char* inText, size_t inLength) {
    char* begin = const_cast<char*>(inText);
    setg(begin, begin, begin + inLength);
  }

 protected:
  pos_type seekoff(off_type inOffset, std::ios_base::seekdir inDir,
                   std::ios_base::openmode inMode) override {
    if (!(inMode & std::ios_base::in)) return pos_type(off_type(-1));
    off_type base = 0;
    if (inDir == std::ios_base::cur)
      base = gptr() - eback();
    else if (inDir == std::ios_base::end)
      base = egptr() - eback();
    const off_type target = base + inOffset;
    if (target < 0 || target > egptr() - eback()) return pos_type(off_type(-1));
    setg(eback(), eback() + target, egptr());
    return pos_type(target);
  }
  pos_type seekpos(pos_type inPosition, std::ios_base::openmode inMode) override {
    return seekoff(off_type(inPosition), std::ios_base::beg, inMode);
  }
};

class kxTextStream : public std::istream {
 public:
  kxTextStream(const char* inText, size_t inLength) : std::istream(nullptr), itsBuf(inText, inLength) {
    rdbuf(&itsBuf);
  }

 private:
  kxTextBuf itsBuf;
};

}  // namespace

kxCustomStreamLexer::kxCustomStreamLexer()
    : itsBuffer(new char[kBufferStep]), itsBufferSize(kBufferStep) {
  for (unsigned c = 0; c < 256; ++c) updateWordStop(static_cast<unsigned char>(c));
  setCharClass(' ', kWhiteSpaceClass);
  setCharClass('\t', kWhiteSpaceClass);
  reset();
}

void kxCustomStreamLexer::updateWordStop(unsigned char inChar) {
  itsWordStops[inChar] = (itsCharClass[inChar] & kWordEndClasses) != 0 || inChar == itsQuoteChar || inChar == '\\' ||
                         inChar == '\0';
}

void kxCustomStreamLexer::setCharClass(unsigned char inChar, uint8_t inClass) {
  itsCharClass[inChar] = inClass;
  updateWordStop(inChar);
}

void kxCustomStreamLexer::setQuoteChar(int inQuoteChar) {
  const int old = itsQuoteChar;
  itsQuoteChar = inQuoteChar;
  if (old >= 0 && old < 256) updateWordStop(static_cast<unsigned char>(old));
  if (inQuoteChar >= 0 && inQuoteChar < 256) updateWordStop(static_cast<unsigned char>(inQuoteChar));
}

kxCustomStreamLexer::~kxCustomStreamLexer() {
  if (itsOwnsStreamFlag) delete itsStream;
}

void kxCustomStreamLexer::setStream(std::istream* inStream, bool inOwnsStream) {
  setStream(inStream, std::string(), inOwnsStream);
}

void kxCustomStreamLexer::setStream(std::istream* inStream, const std::string& inFileName,
                                    bool inOwnsStream) {
  // Attaching the stream already held must not delete it under our feet.
  if (itsOwnsStreamFlag && itsStream != nullptr && itsStream != inStream) delete itsStream;
  itsStream = inStream;
  itsFileName = inFileName;
  itsOwnsStreamFlag = inOwnsStream;
  reset();
}

bool kxCustomStreamLexer::openFile(const std::string& inFileName) {
  auto* file = new std::ifstream(inFileName, std::ios_base::in | std::ios_base::binary);
  setStream(file, inFileName, true);
  return file->is_open();
}

void kxCustomStreamLexer::reset() {
  itsLineNumber = 0;
  itsByteOrderMarkSkippedFlag = false;
  itsEOFFlag = false;
  itsCursor = itsLineEnd = itsTokenStart = itsBuffer.get();
  itsToken = kNulToken;
  itsTokenLength = 0;
  itsSavedChar = 0;
  itsBuffer[0] = '\0';
}

void kxCustomStreamLexer::growBuffer() {
  // Steps of 512 bytes, but at least half the current size, so that a very long line
  // costs linear rather than quadratic copying.
  size_t step = kBufferStep;
  if (itsBufferSize / 2 > step) step = (itsBufferSize / 2 + kBufferStep - 1) / kBufferStep * kBufferStep;
  const size_t newSize = itsBufferSize + step;
  std::unique_ptr<char[]> bigger(new char[newSize]);
  char* const oldStart = itsBuffer.get();
  std::memcpy(bigger.get(), oldStart, static_cast<size_t>(itsLineEnd - oldStart));
  itsCursor = bigger.get() + (itsCursor - oldStart);
  itsTokenStart = bigger.get() + (itsTokenStart - oldStart);
  itsLineEnd = bigger.get() + (itsLineEnd - oldStart);
  itsBuffer = std::move(bigger);
  itsBufferSize = newSize;
}

namespace {

// Why the reading of a line stopped.
enum class kxLineStop { kLineEnd, kInputEnd, kNul, kTooLong };

static_assert(std::char_traits<char>::eof() < '\r', "readLine tests the end of input with the line ends");

}  // namespace

bool kxCustomStreamLexer::readLine() {
  itsCursor = itsTokenStart = itsLineEnd = itsBuffer.get();
  itsTokenLength = 0;
  itsToken = kNulToken;
  itsSavedChar = 0;
  std::streambuf* const source = itsStream != nullptr ? itsStream->rdbuf() : nullptr;
  if (source == nullptr || !itsStream->good()) {
    itsBuffer[0] = '\0';
    return false;
  }

  using traits = std::char_traits<char>;
  kxLineStop stop = kxLineStop::kLineEnd;
  bool readError = false;
  // A stream buffer reports a failed read (of a directory, say) by throwing; the error must
  // leave as a parse error that names the file and line.
  try {
    char* end = itsLineEnd;
    // Room for the terminating NUL, and no more than the longest line allowed.
    char* limit = itsBuffer.get() + std::min(itsBufferSize - 1, itsMaxLineLength);
    int c;
    for (;;) {
      c = source->sbumpc();
      // The end of input, CR, LF and NUL all lie at or below CR: one comparison passes every
      // other character.
      if (c <= '\r') {
        if (c == traits::eof()) {
          itsStream->setstate(std::ios_base::eofbit | std::ios_base::failbit);
          stop = kxLineStop::kInputEnd;
          break;
        }
        if (c == '\r' || c == '\n') break;
        if (c == '\0' && itsRefuseNulFlag) {
          stop = kxLineStop::kNul;
          break;
        }
      }
      if (end == limit) {
        if (static_cast<size_t>(end - itsBuffer.get()) >= itsMaxLineLength) {
          stop = kxLineStop::kTooLong;
          break;
        }
        itsLineEnd = end;
        growBuffer();
        end = itsLineEnd;
        limit = itsBuffer.get() + std::min(itsBufferSize - 1, itsMaxLineLength);
      }
      *end++ = static_cast<char>(c);
    }
    itsLineEnd = end;
    if (stop == kxLineStop::kLineEnd) {
      const int next = source->sgetc();
      if (next == traits::eof())
        itsStream->setstate(std::ios_base::eofbit);
      else if (next == (c == '\r' ? '\n' : '\r'))
        source->sbumpc();
    }
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception&) {
    readError = true;
  }
  *itsLineEnd = '\0';
  ++itsLineNumber;
  if (itsLineNumber == 1 && itsSkipByteOrderMarkFlag && itsLineEnd - itsBuffer.get() >= 3 &&
      std::memcmp(itsBuffer.get(), "\xEF\xBB\xBF", 3) == 0) {
    std::memmove(itsBuffer.get(), itsBuffer.get() + 3, static_cast<size_t>(itsLineEnd - itsBuffer.get()) - 2);
    itsLineEnd -= 3;
    itsByteOrderMarkSkippedFlag = true;
  }
  if (readError) raiseError(kxErr_parserFailed, "Error in file \"$f\" line $l. Unable to read the file.", kNulToken);
  if (stop == kxLineStop::kNul)
    raiseError(kxErr_parserIncorrectFormat, "Error in file \"$f\" line $l. NUL character in the text.", kNulToken);
  if (stop == kxLineStop::kTooLong)
    raiseError(kxErr_parserIncorrectFormat, "Error in file \"$f\" line $l. Line longer than $e characters.",
               std::to_string(itsMaxLineLength).c_str());
  return true;
}

void kxCustomStreamLexer::skipWhiteSpace() {
  char* cursor = itsCursor;
  while (itsCharClass[static_cast<unsigned char>(*cursor)] & kWhiteSpaceClass) ++cursor;
  itsCursor = cursor;
}

void kxCustomStreamLexer::takeRestOfLineAsComment(char* inStart) {
  itsTokenStart = inStart;
  itsTokenLength = static_cast<uint32_t>(itsLineEnd - inStart);
  itsCursor = itsLineEnd;
}

void kxCustomStreamLexer::skipCComment() {
  itsCursor += 2;
  for (;;) {
    char* close = std::strstr(itsCursor, "*/");
    if (close != nullptr) {
      itsCursor = close + 2;
      itsTokenStart = itsCursor;
      itsTokenLength = 0;
      return;
    }
    if (!readLine())
      raiseError(kxErr_parserUnterminatedComment, "Error in file \"$f\" line $l. Unterminated comments.",
                 kNulToken);
  }
}

bool kxCustomStreamLexer::endsInEquals(const char* inEnd) const {
  if (inEnd == itsTokenStart || inEnd[-1] != '=') return false;
  // Escapes are kept in the word: the "=" is plain when an even run of backslashes precedes it.
  size_t backslashes = 0;
  for (const char* p = inEnd - 1; p != itsTokenStart && p[-1] == '\\'; --p) ++backslashes;
  return backslashes % 2 == 0;
}

void kxCustomStreamLexer::scanWord() {
  const uint8_t* const classes = itsCharClass;
  const int quote = itsQuoteChar;
  const bool interpret = itsInterpretEscapesFlag;
  const bool separate = itsQuotesSeparateWordsFlag;
  char* cursor = itsCursor;
  char* out = cursor;
  bool inQuotes = false;
  for (;;) {
    // Plain characters, the bulk of a word, are passed over in a loop of their own while the
    // word stands where it was read (until an escape is interpreted, which shortens it).
    if (out == cursor) {
      while (!itsWordStops[static_cast<unsigned char>(*cursor)]) ++cursor;
      out = cursor;
    }
    const unsigned char c = static_cast<unsigned char>(*cursor);
    if (c == '\0' || ((classes[c] & kWordEndClasses) != 0 && !inQuotes)) break;
    if (c == quote) {
      // A quote inside an unquoted word starts the next word, unless it opens the value of
      // a key=value pair.
      if (separate && !inQuotes && out != itsTokenStart && !(itsQuotedValuePairsFlag && endsInEquals(out))) break;
      inQuotes = !inQuotes;
      *out++ = static_cast<char>(c);
      ++cursor;
      if (separate && !inQuotes) break;
    } else if (c == '\\') {
      if (!interpret) *out++ = '\\';
      ++cursor;
      if (*cursor == '\0') {
        itsCursor = cursor;
        itsTokenLength = static_cast<uint32_t>(out - itsTokenStart);
        itsToken = kWordToken;
        raiseError(kxErr_parserIncorrectFormat, "Error in file \"$f\" line $l. Incorrect format.", kNulToken);
      }
      const auto d0 = static_cast<unsigned char>(cursor[0]);
      if (isDigit(d0) && isDigit(static_cast<unsigned char>(cursor[1])) &&
          isDigit(static_cast<unsigned char>(cursor[2]))) {
        if (interpret) {
          *out++ = static_cast<char>(((d0 - '0') * 100 + (cursor[1] - '0') * 10 + (cursor[2] - '0')) % 256);
        } else {
          *out++ = cursor[0];
          *out++ = cursor[1];
          *out++ = cursor[2];
        }
        cursor += 3;
      } else {
        *out++ = *cursor++;
      }
    } else {
      *out++ = static_cast<char>(c);
      ++cursor;
    }
  }
  itsCursor = cursor;
  const size_t length = static_cast<size_t>(out - itsTokenStart);
  if (length > itsMaxTokenLength) {
    // The word itself would make an unreadable message.
    itsToken = kNulToken;
    raiseError(kxErr_parserIncorrectFormat, "Error in file \"$f\" line $l. Word longer than $e characters.",
               std::to_string(itsMaxTokenLength).c_str());
  }
  itsTokenLength = static_cast<uint32_t>(length);
  itsToken = kWordToken;
  if (inQuotes)
    raiseError(kxErr_parserUnexpectedToken, "Error in file \"$f\" line $l. Expected \"$e\" got \"$t\" .",
               quote);
}

int kxCustomStreamLexer::nextToken() {
  if (itsSavedChar != 0) {
    itsTokenStart[itsTokenLength] = static_cast<char>(itsSavedChar);
    itsSavedChar = 0;
  }
  // Skipped comments loop here rather than recursing, so a long run of comment lines cannot
  // exhaust the stack.
  for (;;) {
    skipWhiteSpace();
    itsTokenStart = itsCursor;
    itsTokenLength = 0;
    while (*itsCursor == '\0') {
      if (!readLine()) {
        if (itsEOFFlag || !itsReturnEOLFlag) {
          itsEOFFlag = true;
          return itsToken = kEOFToken;
        }
        itsEOFFlag = true;
        return itsToken = kEOLToken;
      }
      if (itsReturnEOLFlag) return itsToken = kEOLToken;
      skipWhiteSpace();
      itsTokenStart = itsCursor;
    }

    const unsigned char c = static_cast<unsigned char>(*itsCursor);
    const uint8_t charClass = itsCharClass[c];
    if (charClass & kCommentStartClass) {
      takeRestOfLineAsComment(itsCursor + 1);
      if (itsReturnCommentsFlag) return itsToken = kCommentToken;
      continue;
    }
    if (itsCCommentsFlag && c == '/' && (itsCursor[1] == '*' || itsCursor[1] == '/')) {
      if (itsCursor[1] == '*')
        skipCComment();
      else
        takeRestOfLineAsComment(itsCursor + 2);
      if (itsReturnCommentsFlag) return itsToken = kCommentToken;
      continue;
    }
    if (charClass & kSingleCharClass) {
      itsTokenLength = 1;
      ++itsCursor;
      return itsToken = c;
    }
    scanWord();
    return itsToken;
  }
}

const char* kxCustomStreamLexer::getTokenText() {
  if (itsToken == kNulToken || itsToken == kEOLToken || itsToken == kEOFToken) return getTokenName(itsToken);
  if (itsSavedChar == 0) {
    if (itsStripQuotesFlag && itsTokenLength > 1 && static_cast<unsigned char>(itsTokenStart[0]) == itsQuoteChar &&
        static_cast<unsigned char>(itsTokenStart[itsTokenLength - 1]) == itsQuoteChar) {
      ++itsTokenStart;
      itsTokenLength -= 2;
    }
    itsSavedChar = static_cast<unsigned char>(itsTokenStart[itsTokenLength]);
    itsTokenStart[itsTokenLength] = '\0';
  }
  return itsTokenStart;
}

const char* kxCustomStreamLexer::getTokenName(int inToken) {
  switch (inToken) {
    case kNulToken:
      return "<nul>";
    case kEOLToken:
      return "<eol>";
    case kEOFToken:
      return "<eof>";
    case kCommentToken:
      return "<comment>";
    case kWordToken:
      return "<word>";
    default:
      break;
  }
  // Per thread: several lexers on several threads may ask at once.
  thread_local char name[12];
  name[0] = static_cast<char>(inToken);
  name[1] = '\0';
  if (inToken <= 0 || inToken > 255 || !isPrintableText(name)) std::snprintf(name, sizeof name, "%d", inToken);
  return name;
}

void kxCustomStreamLexer::skipToEndOfLine() {
  while (itsToken != kEOLToken && itsToken != kEOFToken) nextToken();
}

bool kxCustomStreamLexer::isInteger() {
  for (const char* p = getTokenText(); *p != '\0'; ++p)
    if (!isDigit(static_cast<unsigned char>(*p))) return false;
  return true;
}

long kxCustomStreamLexer::getIntegerValue() { return std::strtol(getTokenText(), nullptr, 10); }

bool kxCustomStreamLexer::isKeyword(const char* inKeyword) {
  return itsToken == kWordToken && equalsText(getTokenText(), inKeyword, false);
}

int kxCustomStreamLexer::expect(int inToken, kxErr inError, const char* inMessage) {
  if (itsToken != inToken) raiseError(inError, inMessage, inToken);
  return inToken;
}

int kxCustomStreamLexer::nextExpect(int inToken, kxErr inError, const char* inMessage) {
  nextToken();
  return expect(inToken, inError, inMessage);
}

int kxCustomStreamLexer::expectOneOf(int inToken1, int inToken2, kxErr inError, const char* inMessage) {
  if (itsToken != inToken1 && itsToken != inToken2) raiseError(inError, inMessage, kNulToken);
  return itsToken;
}

int kxCustomStreamLexer::nextExpectOneOf(int inToken1, int inToken2, kxErr inError, const char* inMessage) {
  nextToken();
  return expectOneOf(inToken1, inToken2, inError, inMessage);
}

bool kxCustomStreamLexer::expectKeyword(const char* inKeyword) {
  if (!isKeyword(inKeyword))
    raiseError(kxErr_parserUnexpectedToken, "Error in file \"$f\" line $l. Expected \"$e\" got \"$t\" .",
               inKeyword);
  return true;
}

bool kxCustomStreamLexer::nextExpectKeyword(const char* inKeyword) {
  nextToken();
  return expectKeyword(inKeyword);
}

int kxCustomStreamLexer::expectWord() {
  if (itsToken != kWordToken)
    raiseError(kxErr_parserUnexpectedToken, "Error in file \"$f\" line $l. Unexpected token \"$t\".", kWordToken);
  return kWordToken;
}

int kxCustomStreamLexer::nextWord() {
  nextToken();
  return expectWord();
}

bool kxCustomStreamLexer::expectInteger() {
  if (itsToken != kWordToken || !isInteger())
    raiseError(kxErr_parserExpectedInteger, "Error in file \"$f\" line $l. Expected integer value.", kWordToken);
  return true;
}

bool kxCustomStreamLexer::nextInteger() {
  nextToken();
  return expectInteger();
}

void kxCustomStreamLexer::raiseError(kxErr inError, const char* inMessage, int inExpectedToken) {
  raiseError(inError, inMessage, getTokenName(inExpectedToken));
}

void kxCustomStreamLexer::raiseError(kxErr inError, const char* inMessage, const char* inExpected) {
  // The expected text may live in getTokenName's buffer; take it before naming the token.
  const std::string expected(inExpected != nullptr ? inExpected : "");
  const std::string token = itsToken == kCommentToken ? std::string("<comment>") : printableText(getTokenText());
  kxErrorMessage message(inError, inMessage);
  message.addParam('f', itsFileName);
  message.addParam('l', static_cast<uint32_t>(itsLineNumber));
  message.addParam('t', token);
  message.addParam('e', expected);
  throw kxException(message);
}

bool kxCustomStreamLexer::setCursorInToken(unsigned inOffset) {
  if (inOffset > static_cast<size_t>(itsLineEnd - itsTokenStart)) return false;
  itsCursor = itsTokenStart + inOffset;
  return true;
}

long kxCustomStreamLexer::getStreamPosition() const {
  std::streambuf* const source = itsStream != nullptr ? itsStream->rdbuf() : nullptr;
  if (source == nullptr) return 0;
  return static_cast<long>(source->pubseekoff(0, std::ios_base::cur, std::ios_base::in));
}

long kxCustomStreamLexer::getStreamSize() const {
  std::streambuf* const source = itsStream != nullptr ? itsStream->rdbuf() : nullptr;
  if (source == nullptr) return 0;
  const auto position = source->pubseekoff(0, std::ios_base::cur, std::ios_base::in);
  const auto size = source->pubseekoff(0, std::ios_base::end, std::ios_base::in);
  source->pubseekpos(position, std::ios_base::in);
  return static_cast<long>(size);
}

kxStreamLexer::kxStreamLexer(std::istream& inStream) { setStream(&inStream, false); }

kxStreamLexer::kxStreamLexer(const std::string& inText) {
  setStream(new kxTextStream(inText.data(), inText.size()), true);
}

kxStreamLexer::kxStreamLexer(const char* inText) {
  setStream(new kxTextStream(inText, inText != nullptr ? std::strlen(inText) : 0), true);
}

kxStreamLexer::~kxStreamLexer() = default;
