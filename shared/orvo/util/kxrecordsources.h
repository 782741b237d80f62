// kxRecordSources: where the records of a parse were read, a file and a line for each, kept
// beside the records rather than in them.
//
// Only a few records ever need their line (those a check finds fault with), so a record does
// not carry it: a zone of millions of records would pay for it in every one. The lines are
// kept here in the order the records were read, as differences from the line before (one
// byte for most records, a LEB128 number of a zigzag difference), with the line reached every
// kCheckpoint records, so finding the line of any record decodes at most that many numbers.
// The files come as runs: the number of the file, and the first record read from it.
//
// kxMasterFileParser::parseZone fills one as it stores records, so that the index of a record
// in the collection's order (kxRecordCollection::getRecordIndex) is its index here for as
// long as that order is the one the parse left.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class kxRecordSources {
 public:
  struct Source {
    const std::string* itsFile;  // the file's name
    uint32_t itsLine;
  };

  // Appends the source of the next record read.
  void add(const std::string& inFile, uint32_t inLine);
  size_t size() const { return itsCount; }
  // The source of the record read at inIndex (< size()).
  Source at(size_t inIndex) const;
  // The files in the order they were first read from.
  const std::vector<std::string>& files() const { return itsFiles; }
  void clear();

 private:
  static constexpr size_t kCheckpoint = 64;

  std::vector<std::string> itsFiles;
  // (first record, file number) of each run of records read from one file.
  std::vector<std::pair<size_t, uint32_t>> itsRuns;
  std::vector<uint8_t> itsDeltas;
  // For every kCheckpoint-th record: where its difference starts, and the line before it.
  std::vector<std::pair<size_t, uint32_t>> itsCheckpoints;
  size_t itsCount = 0;
  uint32_t itsLastLine = 0;
};
