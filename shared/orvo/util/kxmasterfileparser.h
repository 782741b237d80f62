// Zone master files: the lexer of the master-file syntax.
//
// kxMasterFileFormatLexer is a stream lexer in which ";" starts a comment that runs to the end
// of the line and is reported as a token, and "(" ... ")" lets one record continue over
// several lines. Parentheses never reach the parser: the lexer counts them and, while a group
// is open, suppresses end-of-line tokens and drops comments, so the group's words arrive as
// if they stood on one line. Only the outermost pair switches end-of-line tokens; the end of
// input inside a group is an error.
#pragma once

#include <cstdint>

#include "orvo/util/kxstream.h"

class kxMasterFileFormatLexer : public kxCustomStreamLexer {
 public:
  kxMasterFileFormatLexer();
  ~kxMasterFileFormatLexer() override;

  int nextToken() override;

  // Number of "(" not yet closed. Not cleared by reset: a parse that failed inside a group
  // leaves it above 0.
  int32_t getParenDepth() const { return itsParenDepth; }

 private:
  int32_t itsParenDepth = 0;
};
