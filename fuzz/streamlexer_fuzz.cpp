// The stream lexers over arbitrary bytes. The first byte picks the options (line ends,
// comments, C comments, escapes, quote stripping, master-file lexer), the second a character
// given the single-character class; the rest is the input. Every token's text is read, and
// the position and name operations are exercised along the way.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>

#include "orvo/messages/kxexception.h"
#include "orvo/util/kxmasterfileparser.h"
#include "orvo/util/kxstream.h"

namespace {

void drain(kxCustomStreamLexer& ioLexer) {
  for (int count = 0; count < 1000000; ++count) {
    const int token = ioLexer.nextToken();
    const char* text = ioLexer.getTokenText();
    if (token == kWordToken || token == kCommentToken) {
      // The text is terminated within the line buffer.
      if (std::strlen(text) > ioLexer.getTokenLength()) __builtin_trap();
    }
    (void)ioLexer.getTokenName(token);
    if (token == kWordToken && ioLexer.isInteger()) (void)ioLexer.getIntegerValue();
    if (ioLexer.getTokenColumn() > ioLexer.getCursorColumn()) __builtin_trap();
    if (token == kWordToken && (count & 7) == 0) ioLexer.setCursorInToken(1);
    if (token == kEOFToken) break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize) {
  if (inSize < 2) return 0;
  const uint8_t options = inData[0];
  const unsigned char single = inData[1];
  const std::string text(reinterpret_cast<const char*>(inData + 2), inSize - 2);
  std::istringstream input(text);
  try {
    if (options & 0x20) {
      kxMasterFileFormatLexer lexer;
      lexer.setInterpretEscapes((options & 0x08) != 0);
      lexer.setStream(&input, "fuzz", false);
      lexer.setReturnEOL(true);
      drain(lexer);
    } else {
      kxStreamLexer lexer(input);
      lexer.setReturnEOL((options & 0x01) != 0);
      lexer.setReturnComments((options & 0x02) != 0);
      lexer.setCComments((options & 0x04) != 0);
      lexer.setInterpretEscapes((options & 0x08) != 0);
      lexer.setStripQuotes((options & 0x10) != 0);
      lexer.setCharClass('#', kCommentStartClass);
      lexer.setCharClass(single, kSingleCharClass);
      if (options & 0x40) lexer.setQuoteChar('\'');
      drain(lexer);
      (void)lexer.getStreamPosition();
      (void)lexer.getStreamSize();
    }
  } catch (const kxException& e) {
    (void)e.errorMessage.getText();
  }
  return 0;
}
