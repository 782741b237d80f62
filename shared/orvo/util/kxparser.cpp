// kxCustomParser. See kxparser.h.
#include "orvo/util/kxparser.h"

#include "orvo/messages/kxexception.h"
#include "orvo/util/kxtexthelpers.h"

namespace {

[[noreturn]] void raiseWithoutLexer(kxErr inError, const char* inMessage) {
  throw kxException(inError, inMessage != nullptr ? inMessage : "");
}

const char kUnexpectedToken[] = "Error in file \"$f\" line $l. Unexpected token \"$t\".";
const char kExpectedInteger[] = "Error in file \"$f\" line $l. Expected integer value.";

}  // namespace

const std::string& kxCustomParser::getFileName() {
  kxAssert(itsLexerPtr);
  static const std::string noName;
  return itsLexerPtr != nullptr ? itsLexerPtr->getFileName() : noName;
}

int kxCustomParser::getLineNumber() {
  kxAssert(itsLexerPtr);
  return itsLexerPtr != nullptr ? itsLexerPtr->getLineNumber() : 0;
}

int kxCustomParser::getCursorColumn() {
  kxAssert(itsLexerPtr);
  return itsLexerPtr != nullptr ? itsLexerPtr->getCursorColumn() : 0;
}

void kxCustomParser::reset() {}

void kxCustomParser::raiseError(kxErr inError, const char* inMessage, int inExpectedToken) {
  kxAssert(itsLexerPtr);
  if (itsLexerPtr == nullptr) raiseWithoutLexer(inError, inMessage);
  itsLexerPtr->raiseError(inError, inMessage, inExpectedToken);
}

void kxCustomParser::raiseError(kxErr inError, const char* inMessage, const char* inExpected) {
  kxAssert(itsLexerPtr);
  if (itsLexerPtr == nullptr) raiseWithoutLexer(inError, inMessage);
  itsLexerPtr->raiseError(inError, inMessage, inExpected);
}

int kxCustomParser::nextToken() {
  kxAssert(itsLexerPtr);
  return itsToken = itsLexerPtr != nullptr ? itsLexerPtr->nextToken() : kEOFToken;
}

const char* kxCustomParser::getTokenText() {
  kxAssert(itsLexerPtr);
  return itsLexerPtr != nullptr ? itsLexerPtr->getTokenText() : "";
}

bool kxCustomParser::openFile(const std::string& inFileName) {
  kxAssert(itsLexerPtr);
  const bool opened = itsLexerPtr != nullptr && itsLexerPtr->openFile(inFileName);
  reset();
  return opened;
}

void kxCustomParser::setStream(std::istream* inStream, const std::string& inStreamName) {
  kxAssert(itsLexerPtr);
  if (itsLexerPtr != nullptr) itsLexerPtr->setStream(inStream, inStreamName, false);
  reset();
}

long kxCustomParser::getStreamPosition() {
  kxAssert(itsLexerPtr);
  return itsLexerPtr != nullptr ? itsLexerPtr->getStreamPosition() : 0;
}

long kxCustomParser::getStreamSize() {
  kxAssert(itsLexerPtr);
  return itsLexerPtr != nullptr ? itsLexerPtr->getStreamSize() : 0;
}

int kxCustomParser::expect(int inToken, kxErr inError, const char* inMessage) {
  kxAssert(itsLexerPtr);
  if (itsLexerPtr == nullptr) raiseWithoutLexer(inError, inMessage);
  return itsLexerPtr->expect(inToken, inError, inMessage);
}

int kxCustomParser::nextExpect(int inToken, kxErr inError, const char* inMessage) {
  kxAssert(itsLexerPtr);
  if (itsLexerPtr == nullptr) raiseWithoutLexer(inError, inMessage);
  return itsLexerPtr->nextExpect(inToken, inError, inMessage);
}

int kxCustomParser::expectWord() {
  kxAssert(itsLexerPtr);
  if (itsLexerPtr == nullptr) raiseWithoutLexer(kxErr_parserUnexpectedToken, kUnexpectedToken);
  return itsLexerPtr->expectWord();
}

int kxCustomParser::nextWord() {
  kxAssert(itsLexerPtr);
  if (itsLexerPtr == nullptr) raiseWithoutLexer(kxErr_parserUnexpectedToken, kUnexpectedToken);
  return itsLexerPtr->nextWord();
}

bool kxCustomParser::nextInteger() {
  kxAssert(itsLexerPtr);
  if (itsLexerPtr == nullptr) raiseWithoutLexer(kxErr_parserExpectedInteger, kExpectedInteger);
  return itsLexerPtr->nextInteger();
}

const kxKeyword* kxCustomParser::findKeyword(const char* inText, const kxKeyword* inTable, int inCount) {
  if (inText == nullptr || inTable == nullptr) return nullptr;
  int low = 0;
  int high = inCount - 1;
  while (low <= high) {
    const int middle = low + (high - low) / 2;
    const int order = compareNoCase(inText, inTable[middle].name);
    if (order == 0) return &inTable[middle];
    if (order < 0)
      high = middle - 1;
    else
      low = middle + 1;
  }
  return nullptr;
}

int kxCustomParser::compareNoCase(const char* inText1, const char* inText2) {
  return compareText(inText1, inText2, false);
}
