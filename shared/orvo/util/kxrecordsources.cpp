#include "orvo/util/kxrecordsources.h"

#include <algorithm>

void kxRecordSources::add(const std::string& inFile, uint32_t inLine) {
  if (itsRuns.empty() || itsFiles[itsRuns.back().second] != inFile) {
    const auto known = std::find(itsFiles.begin(), itsFiles.end(), inFile);
    const auto number = static_cast<uint32_t>(known - itsFiles.begin());
    if (known == itsFiles.end()) itsFiles.push_back(inFile);
    itsRuns.emplace_back(itsCount, number);
  }
  if (itsCount % kCheckpoint == 0) itsCheckpoints.emplace_back(itsDeltas.size(), itsLastLine);
  // Zigzag: small differences of either sign become small numbers.
  const int64_t delta = static_cast<int64_t>(inLine) - static_cast<int64_t>(itsLastLine);
  uint64_t value = delta < 0 ? (static_cast<uint64_t>(-delta) << 1) - 1 : static_cast<uint64_t>(delta) << 1;
  do {
    const auto low = static_cast<uint8_t>(value & 0x7F);
    value >>= 7;
    itsDeltas.push_back(value != 0 ? static_cast<uint8_t>(low | 0x80) : low);
  } while (value != 0);
  itsLastLine = inLine;
  ++itsCount;
}

kxRecordSources::Source kxRecordSources::at(size_t inIndex) const {
  const auto run = std::upper_bound(itsRuns.begin(), itsRuns.end(), inIndex,
                                    [](size_t inKey, const std::pair<size_t, uint32_t>& inRun) {
                                      return inKey < inRun.first;
                                    }) -
                   1;
  auto [pos, line] = itsCheckpoints[inIndex / kCheckpoint];
  for (size_t record = inIndex - inIndex % kCheckpoint; record <= inIndex; ++record) {
    uint64_t value = 0;
    for (int shift = 0;; shift += 7) {
      const uint8_t byte = itsDeltas[pos++];
      value |= static_cast<uint64_t>(byte & 0x7F) << shift;
      if ((byte & 0x80) == 0) break;
    }
    const int64_t delta = (value & 1) != 0 ? -static_cast<int64_t>((value + 1) >> 1) : static_cast<int64_t>(value >> 1);
    line = static_cast<uint32_t>(static_cast<int64_t>(line) + delta);
  }
  return {&itsFiles[run->second], line};
}

void kxRecordSources::clear() { *this = kxRecordSources(); }
