#include "orvo/util/kxstatemachine.h"

#include <string>

#include "orvo/debug/kxassert.h"
#include "orvo/debug/kxtrace.h"

void kxStateMachine::setTable(const int8_t* theTable, const uint8_t* theInputs, const int8_t* theLegalEnds,
                              uint32_t numStates, uint32_t numTokens, uint32_t numLegalEnds) {
  kxAssert(itsTable == 0);
  kxAssert((theTable != 0) && (theInputs != 0) && (theLegalEnds != 0));
  kxAssert((numStates > 0) && (numTokens > 0) && (numLegalEnds > 0));
  itsTable = theTable;
  itsInputs = theInputs;
  itsLegalEnds = theLegalEnds;
  itsNumStates = numStates;
  itsNumTokens = numTokens;
  itsNumLegalEnds = numLegalEnds;
}

bool kxStateMachine::processChar(char inChar) {
  kxAssert(itsTable != 0);
  // Without tables there is nothing to step through: the machine takes nothing.
  if (itsTable == nullptr) return false;
  return step(inChar);
}

bool kxStateMachine::processString(const char* inText, uint32_t inLength) {
  kxAssert(itsTable != 0);
  if (itsTable == nullptr) return false;
  for (uint32_t i = 0; i < inLength; ++i)
    if (!processChar(inText[i])) return false;
  return isLegalEnd();
}

bool kxStateMachine::isLegalEnd() const {
  for (uint32_t i = 0; i < itsNumLegalEnds; ++i)
    if (itsLegalEnds[i] == itsState) return true;
  return false;
}

void kxStateMachine::dumpTable() const {
  if (itsTable == nullptr) return;
  std::string text = "XXXXXX\t";
  for (uint32_t s = 0; s < itsNumStates; ++s) text += std::to_string(s) + "\t";
  text += "\r";
  for (unsigned c = 0; c < 256; ++c) {
    const unsigned token = itsInputs[c];
    if (token == 0) continue;
    text += std::to_string(token) + " (";
    if (c < 32)
      text += std::to_string(c);
    else
      text += char(c);
    text += ")\t";
    for (uint32_t s = 0; s < itsNumStates; ++s)
      text += std::to_string(unsigned(uint8_t(itsTable[s * itsNumTokens + token]))) + "\t";
    text += "\r";
  }
  text += "Legal ends: ";
  for (uint32_t i = 0; i < itsNumLegalEnds; ++i) text += std::to_string(int(itsLegalEnds[i])) + "\t";
  text += "\r";
  KX_TRACE_LINE(1, text.c_str());
}
