// Zone master files. See kxmasterfileparser.h.
#include "orvo/util/kxmasterfileparser.h"

#include "orvo/messages/kxerr.h"

kxMasterFileFormatLexer::kxMasterFileFormatLexer() {
  setCharClass('(', kSingleCharClass);
  setCharClass(')', kSingleCharClass);
  setCharClass(';', kCommentStartClass);
  setReturnComments(true);
}

kxMasterFileFormatLexer::~kxMasterFileFormatLexer() = default;

int kxMasterFileFormatLexer::nextToken() {
  // Parentheses and comments inside a group are consumed in a loop rather than by calling
  // nextToken again, so that deep or long groups cannot exhaust the stack.
  for (;;) {
    const int token = kxCustomStreamLexer::nextToken();
    switch (token) {
      case '(':
        if (itsParenDepth == 0) setReturnEOL(false);
        ++itsParenDepth;
        continue;
      case ')':
        if (itsParenDepth <= 0)
          raiseError(kxErr_parserUnexpectedToken, "Error in file \"$f\" line $l. Unexpected token \"$t\".",
                     kNulToken);
        if (--itsParenDepth == 0) setReturnEOL(true);
        continue;
      case kCommentToken:
        if (itsParenDepth > 0) continue;
        return token;
      case kEOFToken:
        if (itsParenDepth > 0)
          raiseError(kxErr_parserUnexpectedToken, "Error in file \"$f\" line $l. Expected \"$e\" got \"$t\" .", ')');
        return token;
      default:
        return token;
    }
  }
}
