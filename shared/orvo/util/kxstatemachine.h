// kxStateMachine: a deterministic recogniser over 8-bit characters driven by three tables.
//
// A subclass owns the tables (a row-major transition table of numStates x numTokens next
// states, a 256-entry character-to-token map and the list of states a text may end in) and
// installs them once with setTable; the machine only points at them. State 1 is the start,
// state 0 is dead: once there the machine consumes nothing more. A machine is built on the
// stack, fed one text and discarded; there is no reset. Subclasses refine processChar (to
// observe characters) and isLegalEnd (to add end conditions) and call the base versions.
//
// Tables are immutable once built (at static initialisation), so machines in different
// threads may share them. A machine itself belongs to one thread.
#pragma once

#include <cstdint>

class kxStateMachine {
 public:
  kxStateMachine() = default;
  virtual ~kxStateMachine() = default;

  kxStateMachine(const kxStateMachine&) = delete;
  kxStateMachine& operator=(const kxStateMachine&) = delete;

  // Installs the tables; allowed once, with non-null tables and non-zero sizes.
  void setTable(const int8_t* theTable, const uint8_t* theInputs, const int8_t* theLegalEnds, uint32_t numStates,
                uint32_t numTokens, uint32_t numLegalEnds);

  // Consumes one character; false once the machine is dead. The character that kills the
  // machine is counted, later ones are not.
  virtual bool processChar(char inChar);
  // Offers every byte of the counted text (NUL included) to processChar and stops at the
  // first rejected one; true when all were taken and isLegalEnd holds.
  virtual bool processString(const char* inText, uint32_t inLength);
  virtual bool isLegalEnd() const;
  virtual uint32_t getCharCount() const { return itsCharCount; }

  // Writes the three tables to the trace as one line (rows separated by "\r").
  void dumpTable() const;

 protected:
  int8_t getState() const { return itsState; }
  bool hasTable() const { return itsTable != nullptr; }
  const uint8_t* getInputs() const { return itsInputs; }
  // Points the machine at other tables of the same shape; for subclasses whose options
  // select one of several constant table sets.
  void replaceTables(const int8_t* inTable, const uint8_t* inInputs) {
    itsTable = inTable;
    itsInputs = inInputs;
  }

  // The table step of processChar without the virtual dispatch, for subclasses that feed
  // whole texts themselves. Same effect as the base processChar.
  bool step(char inChar) {
    if (itsState == 0) return false;
    ++itsCharCount;
    itsState = itsTable[uint32_t(itsState) * itsNumTokens + itsInputs[uint8_t(inChar)]];
    return itsState != 0;
  }
  // Consumes a run of characters already known to leave the state unchanged.
  void skipUnchanged(uint32_t inCount) { itsCharCount += inCount; }

 private:
  const int8_t* itsTable = nullptr;
  const uint8_t* itsInputs = nullptr;
  const int8_t* itsLegalEnds = nullptr;
  uint32_t itsNumStates = 0;
  uint32_t itsNumTokens = 0;
  uint32_t itsNumLegalEnds = 0;
  uint32_t itsCharCount = 0;
  int8_t itsState = 1;
};
