// Ordering, comparison and text output of kxRecordCollection.
//
// Sorting reorders only the collection order: the record storage, and with it
// every record address, stays as it is. The comparison keeps the sections apart, puts SOA
// records first and blank lines last, and then applies the keys of the sort order: the owner
// name, the rank of the type and the data, field by field.
//
// The type ranks are a table built at compile time, so any number of threads may sort their
// own collections at once without a first-use race. Types that have no entry of their own
// share the last rank; ties between different types are broken by the type number, so that
// the data of two records is only ever compared within one type.
//
// std::sort needs a strict weak ordering, or it may run off the ends of the range. Every key
// below is therefore a total order: numbers compare as unsigned values, and data with fewer
// fields than the other compares as if padded with empty fields.
//
// A zone has up to millions of records, and a comparison that follows two store iterators,
// finds the type's format and parses numbers again misses the cache and repeats work.
// sortRecords therefore first writes each record's keys once, as bytes that compare in the
// order of compareRecords, into one buffer, and sorts small entries that point into it.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <ostream>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "orvo/datastruct/kxrecordcollection.h"
#include "orvo/datastruct/internal/kxrecordstore.h"
#include "orvo/debug/kxassert.h"
#include "orvo/debug/kxtrace.h"
#include "orvo/util/kxipv4address.h"
#include "orvo/util/kxstringparser.h"

namespace {

// The rank of every type without an entry of its own.
constexpr int32_t kUnrankedType = 106;

struct TypeRankTable {
  int32_t itsRanks[kNumRecordTypes];
};

constexpr TypeRankTable makeTypeRankTable() {
  TypeRankTable table{};
  for (int32_t type = 1; type < kNumRecordTypes; ++type) table.itsRanks[type] = kUnrankedType;
  table.itsRanks[kTypeSOA] = 0;
  table.itsRanks[kTypeNS] = 1;
  table.itsRanks[kTypeMX] = 2;
  table.itsRanks[kTypePTR] = 3;
  table.itsRanks[kTypeA] = 4;
  table.itsRanks[kTypeHINFO] = 5;
  table.itsRanks[kTypeAAAA] = 6;
  table.itsRanks[kTypeCNAME] = 7;
  table.itsRanks[kTypeRP] = 8;
  table.itsRanks[kTypeLOC] = 9;
  table.itsRanks[kTypeSRV] = 10;
  table.itsRanks[kTypeTXT] = 11;
  table.itsRanks[kTypeWKS] = 12;
  table.itsRanks[kTypeAFSDB] = 13;
  table.itsRanks[kTypeNAPTR] = 13;  // shares its rank with AFSDB
  return table;
}

constexpr TypeRankTable kTypeRanks = makeTypeRankTable();

int sign(int inValue) { return (inValue > 0) - (inValue < 0); }

char upperAscii(char inChar) { return (inChar >= 'a' && inChar <= 'z') ? char(inChar - 'a' + 'A') : inChar; }

// Texts compared as NUL-terminated strings of signed characters with a-z taken as A-Z; the
// terminator takes part, so a proper prefix comes first. A NUL inside a text ends it.
int compareSortTexts(std::string_view inText1, std::string_view inText2) {
  for (size_t i = 0;; ++i) {
    const signed char c1 = static_cast<signed char>(i < inText1.size() ? upperAscii(inText1[i]) : '\0');
    const signed char c2 = static_cast<signed char>(i < inText2.size() ? upperAscii(inText2[i]) : '\0');
    if (c1 != c2) return c1 < c2 ? -1 : 1;
    if (c1 == '\0') return 0;
  }
}

// The field that starts at ioPos of inData; ioPos moves behind its separator, or to npos
// after the last field. A data text of n separators has n + 1 fields; past them, "".
std::string_view nextField(std::string_view inData, size_t& ioPos) {
  if (ioPos == std::string_view::npos) return {};
  const size_t tab = inData.find(kDataSeperator, ioPos);
  const std::string_view field = inData.substr(ioPos, tab == std::string_view::npos ? tab : tab - ioPos);
  ioPos = tab == std::string_view::npos ? tab : tab + 1;
  return field;
}

// An unsigned decimal field; 0 when it is not a number.
unsigned fieldNumber(std::string_view inField) {
  char text[24];
  unsigned value = 0;
  if (inField.size() >= sizeof text) {
    // Longer than any number: parseUnsigned refuses it, but gets the same text to decide.
    if (!parseUnsigned(std::string(inField), value)) value = 0;
    return value;
  }
  std::memcpy(text, inField.data(), inField.size());
  text[inField.size()] = '\0';
  if (!parseUnsigned(text, value)) value = 0;
  return value;
}

enum class FieldKind { kText, kNumber, kAddress };

FieldKind fieldKind(int32_t inFormat, size_t inIndex) {
  if ((inFormat == kFormatPrefName && inIndex == 0) || (inFormat == kFormatSRV && inIndex <= 2))
    return FieldKind::kNumber;
  if (inFormat == kFormatA && inIndex == 0) return FieldKind::kAddress;
  return FieldKind::kText;
}

int compareFields(FieldKind inKind, std::string_view inField1, std::string_view inField2) {
  switch (inKind) {
    case FieldKind::kNumber: {
      const unsigned n1 = fieldNumber(inField1);
      const unsigned n2 = fieldNumber(inField2);
      return (n1 > n2) - (n1 < n2);
    }
    case FieldKind::kAddress: {
      kxIPv4Address a1;
      kxIPv4Address a2;
      a1.parse(inField1.data(), static_cast<uint32_t>(inField1.size()));
      a2.parse(inField2.data(), static_cast<uint32_t>(inField2.size()));
      return sign(a1.compare(a2));
    }
    case FieldKind::kText:
      break;
  }
  return compareSortTexts(inField1, inField2);
}

// The data of two records, field by field in the format of inType, unqualified, until a
// field differs or both records have run out of fields.
int compareDataFields(kxResRecType inType, const std::string& inData1, const std::string& inData2) {
  const int32_t format = kxResourceRecord::getDataFormat(inType);
  size_t pos1 = 0;
  size_t pos2 = 0;
  for (size_t index = 0; pos1 != std::string_view::npos || pos2 != std::string_view::npos; ++index) {
    const std::string_view field1 = nextField(inData1, pos1);
    const std::string_view field2 = nextField(inData2, pos2);
    const int result = compareFields(fieldKind(format, index), field1, field2);
    if (result != 0) return result;
  }
  return 0;
}

// The rank key: the rank of the type, then the type number between types of one rank.
int compareTypeRanks(kxResRecType inType1, kxResRecType inType2) {
  const int32_t rank1 = kxRecordCollection::getRecordTypeSortOrder(inType1);
  const int32_t rank2 = kxRecordCollection::getRecordTypeSortOrder(inType2);
  if (rank1 != rank2) return rank1 < rank2 ? -1 : 1;
  return (inType1 > inType2) - (inType1 < inType2);
}

// An empty or comment-only line.
bool isBlankRecord(const kxResourceRecord& inRec) {
  return inRec.type() == kNoRecordType && inRec.getName().empty();
}

// What the sort keys need to know of a type: its data format and the largest number of data
// fields among the records of that type being sorted.
struct TypeLayout {
  int32_t itsFormat = kFormatUnknown;
  size_t itsFields = 0;
};

// A text as compareSortTexts sees it: each character upper-cased and shifted from signed to
// unsigned order, then the terminator 0x80 (the signed 0 shifted alike), so that a shorter
// text orders before or after a longer one exactly as its terminator would.
void appendText(std::string& ioKey, std::string_view inText) {
  for (const char c : inText) {
    if (c == '\0') break;
    ioKey.push_back(static_cast<char>(static_cast<signed char>(upperAscii(c)) + 128));
  }
  ioKey.push_back(static_cast<char>(0x80));
}

void appendBigEndian(std::string& ioKey, uint64_t inValue, int inBytes) {
  for (int shift = 8 * (inBytes - 1); shift >= 0; shift -= 8) ioKey.push_back(static_cast<char>(inValue >> shift));
}

// The rank key: the rank, then the type number (sign bit flipped to keep signed order).
void appendTypeRank(std::string& ioKey, kxResRecType inType) {
  appendBigEndian(ioKey, static_cast<uint32_t>(kxRecordCollection::getRecordTypeSortOrder(inType)), 4);
  appendBigEndian(ioKey, static_cast<uint32_t>(inType) ^ 0x80000000u, 4);
}

// Every data field up to the type's field count, each in the form that compareFields
// orders by; missing fields are empty, as compareDataFields takes them.
void appendData(std::string& ioKey, const std::string& inData, const TypeLayout& inLayout) {
  size_t pos = 0;
  for (size_t index = 0; index < inLayout.itsFields; ++index) {
    const std::string_view field = nextField(inData, pos);
    switch (fieldKind(inLayout.itsFormat, index)) {
      case FieldKind::kNumber:
        appendBigEndian(ioKey, fieldNumber(field), 4);
        break;
      case FieldKind::kAddress: {
        kxIPv4Address address;
        address.parse(field.data(), static_cast<uint32_t>(field.size()));
        appendBigEndian(ioKey, address.hostOrder(), 4);
        break;
      }
      case FieldKind::kText:
        appendText(ioKey, field);
        break;
    }
  }
}

// One record in the array that sortRecords sorts. The key bytes after rules 1 and 2 hold
// the keys of the sort order one after the other; as every field in them ends itself and
// records of one type have the same number of data fields, comparing the bytes gives the
// result of compareRecords. itsHead holds the first kHeadSize bytes, so that most comparisons
// stay within the entries.
constexpr size_t kHeadSize = 16;

struct SortEntry {
  uint32_t itsSection;  // the section with its sign bit flipped, so signed order is kept
  uint32_t itsPlace;    // 0 SOA, 1 any other record, 2 blank line
  uint64_t itsHead[2];
  size_t itsKeyOffset;
  size_t itsKeyLength;
  kxResourceRecord* itsRecord;
};

// A record of the collection order and its section.
using SortItem = std::pair<kxResourceRecord*, int32_t>;

// The entries of a collection order with their keys in one buffer.
class SortKeys {
 public:
  SortKeys(const std::vector<SortItem>& inOrder, int32_t inSortKey, bool inDescending) : itsDescending(inDescending) {
    std::map<kxResRecType, TypeLayout> layouts;
    for (const auto& [record, section] : inOrder) {
      const std::string& data = record->getData();
      TypeLayout& layout = layouts[record->type()];
      layout.itsFields = std::max(layout.itsFields, size_t(std::count(data.begin(), data.end(), kDataSeperator)) + 1);
    }
    for (auto& [type, layout] : layouts) layout.itsFormat = kxResourceRecord::getDataFormat(type);

    itsEntries.reserve(inOrder.size());
    for (const auto& [record, section] : inOrder) {
      const kxResourceRecord& rec = *record;
      const TypeLayout& layout = layouts[rec.type()];
      const size_t offset = itsKeys.size();
      if (inSortKey == kxRecordCollection::kSortByName) {
        appendText(itsKeys, rec.getName());
        appendTypeRank(itsKeys, rec.type());
        appendData(itsKeys, rec.getData(), layout);
      } else {
        appendTypeRank(itsKeys, rec.type());
        if (inDescending) {
          appendText(itsKeys, rec.getName());
          appendData(itsKeys, rec.getData(), layout);
        } else {
          appendData(itsKeys, rec.getData(), layout);
          appendText(itsKeys, rec.getName());
        }
      }
      SortEntry sortEntry{};
      sortEntry.itsSection = static_cast<uint32_t>(section) ^ 0x80000000u;
      sortEntry.itsPlace = rec.type() == kTypeSOA ? 0 : (isBlankRecord(rec) ? 2 : 1);
      sortEntry.itsKeyOffset = offset;
      sortEntry.itsKeyLength = itsKeys.size() - offset;
      for (size_t i = 0; i < kHeadSize; ++i)
        sortEntry.itsHead[i / 8] =
            sortEntry.itsHead[i / 8] << 8 | (i < sortEntry.itsKeyLength ? uint8_t(itsKeys[offset + i]) : 0);
      sortEntry.itsRecord = record;
      itsEntries.push_back(sortEntry);
    }
  }

  void sort() {
    std::sort(itsEntries.begin(), itsEntries.end(), [this](const SortEntry& inA, const SortEntry& inB) {
      // Sections, SOA records and blank lines are never reversed.
      if (inA.itsSection != inB.itsSection) return inA.itsSection < inB.itsSection;
      if (inA.itsPlace != inB.itsPlace) return inA.itsPlace < inB.itsPlace;
      return itsDescending ? keyLess(inB, inA) : keyLess(inA, inB);
    });
  }

  const std::vector<SortEntry>& entries() const { return itsEntries; }

 private:
  bool keyLess(const SortEntry& inA, const SortEntry& inB) const {
    if (inA.itsHead[0] != inB.itsHead[0]) return inA.itsHead[0] < inB.itsHead[0];
    if (inA.itsHead[1] != inB.itsHead[1]) return inA.itsHead[1] < inB.itsHead[1];
    const size_t common = std::min(inA.itsKeyLength, inB.itsKeyLength);
    const int bytes = std::memcmp(itsKeys.data() + inA.itsKeyOffset, itsKeys.data() + inB.itsKeyOffset, common);
    if (bytes != 0) return bytes < 0;
    return inA.itsKeyLength < inB.itsKeyLength;
  }

  bool itsDescending;
  std::string itsKeys;
  std::vector<SortEntry> itsEntries;
};


// An RRset: the records of one owner name (ASCII letter case aside) and type, an RRSIG's
// also of one type covered.
struct RRsetKey {
  std::string_view itsName;
  std::string_view itsCovered;
};

char foldAscii(char inChar) { return inChar >= 'a' && inChar <= 'z' ? char(inChar - 'a' + 'A') : inChar; }

// 64-bit FNV-1a, computed at 64 bits also where size_t is 32 bits wide.
struct RRsetHash {
  size_t operator()(const RRsetKey& inKey) const {
    uint64_t hash = 14695981039346656037ull;
    for (const std::string_view text : {inKey.itsName, inKey.itsCovered}) {
      for (const char c : text) hash = (hash ^ static_cast<unsigned char>(foldAscii(c))) * 1099511628211ull;
      hash = (hash ^ 0xFF) * 1099511628211ull;
    }
    return static_cast<size_t>(hash);
  }
};

struct RRsetEqual {
  bool operator()(const RRsetKey& inKey1, const RRsetKey& inKey2) const {
    const auto same = [](std::string_view inText1, std::string_view inText2) {
      if (inText1.size() != inText2.size()) return false;
      for (size_t i = 0; i < inText1.size(); ++i)
        if (foldAscii(inText1[i]) != foldAscii(inText2[i])) return false;
      return true;
    };
    return same(inKey1.itsName, inKey2.itsName) && same(inKey1.itsCovered, inKey2.itsCovered);
  }
};

// A live record's TTL in seconds, its own or the zone's default; false when neither is a TTL.
bool ttlSeconds(const kxResourceRecord& inRec, const std::string& inDefaultTTL, uint32_t& outSeconds) {
  const std::string& ttl = inRec.getTTL().empty() ? inDefaultTTL : inRec.getTTL();
  return parseTTLValue(ttl.data(), ttl.size(), outSeconds);
}

}  // namespace

// A name server gives the records of an RRset the TTL of the first one it reads, and the
// records are stored in the order they were read. A record whose TTL is not its RRset's
// first is written with that one, so that the text reads as the zone did, in any order.
std::unordered_map<const kxResourceRecord*, const kxResourceRecord*> kxRecordCollection::firstsOfRRsets() const {
  std::unordered_map<const kxResourceRecord*, const kxResourceRecord*> firsts;
  const std::string& defaultTTL = getDefaultTTL();
  std::unordered_map<RRsetKey, const kxResourceRecord*, RRsetHash, RRsetEqual> seen;
  for (const auto& [type, arena] : itsStore->itsArenas) {
    if (type == kNoRecordType || type == kControlTTL || type == kControlInclude || type == kControlGenerate) continue;
    seen.clear();
    arena->forEach([&, type = type](const kxResourceRecord* inRec) {
      if (!inRec->isEnabled()) return;
      RRsetKey key{inRec->getName(), {}};
      if (type == kTypeRRSIG) {
        const std::string& data = inRec->getData();
        key.itsCovered = std::string_view(data).substr(0, data.find(kDataSeperator));
      }
      const auto [first, inserted] = seen.emplace(key, inRec);
      uint32_t seconds = 0;
      uint32_t firstSeconds = 0;
      if (!inserted && ttlSeconds(*inRec, defaultTTL, seconds) &&
          ttlSeconds(*first->second, defaultTTL, firstSeconds) && seconds != firstSeconds)
        firsts.emplace(inRec, first->second);
    });
  }
  return firsts;
}

bool kxRecordCollection::isRecordTypeSortOrderInited() { return kTypeRanks.itsRanks[kTypeA] != 0; }

// The table is complete from the start; there is nothing left to fill.
void kxRecordCollection::initRecordTypeSortOrder() {}

int32_t kxRecordCollection::getRecordTypeSortOrder(kxResRecType inType) {
  if (inType >= 0 && inType < kNumRecordTypes) return kTypeRanks.itsRanks[inType];
  return kUnrankedType;
}

int kxRecordCollection::compareSortNames(const char* inName1, const char* inName2) {
  return compareSortTexts(inName1 ? std::string_view(inName1) : std::string_view(),
                          inName2 ? std::string_view(inName2) : std::string_view());
}

int kxRecordCollection::compareRecordData(const kxResourceRecord& inRec1, const kxResourceRecord& inRec2) {
  kxAssert(inRec1.type() == inRec2.type());
  const uint16_t numFields = inRec1.countDataFields();
  kxAssert(numFields == inRec2.countDataFields());
  return compareDataFields(inRec1.type(), inRec1.getData(), inRec2.getData());
}

int kxRecordCollection::compareRecords(const recordData& inData1, const recordData& inData2, int32_t inSortKey,
                                       bool inDescending) {
  // Sections, SOA records and blank lines keep their places in every order.
  if (inData1.section != inData2.section) return inData1.section < inData2.section ? -1 : 1;
  const kxResourceRecord& rec1 = inData1.record;
  const kxResourceRecord& rec2 = inData2.record;
  const bool soa1 = rec1.type() == kTypeSOA;
  const bool soa2 = rec2.type() == kTypeSOA;
  if (soa1 != soa2) return soa1 ? -1 : 1;
  if (!soa1) {
    const bool blank1 = isBlankRecord(rec1);
    const bool blank2 = isBlankRecord(rec2);
    if (blank1 != blank2) return blank1 ? 1 : -1;
  }

  const auto names = [&] { return compareSortTexts(rec1.getName(), rec2.getName()); };
  const auto ranks = [&] { return compareTypeRanks(rec1.type(), rec2.type()); };
  // Reached only when the rank key found the same type.
  const auto data = [&] { return compareDataFields(rec1.type(), rec1.getData(), rec2.getData()); };

  int result = 0;
  if (inSortKey == kSortByName) {
    result = names();
    if (result == 0) result = ranks();
    if (result == 0) result = data();
  } else if (inSortKey == kSortByType) {
    // Ascending compares the data before the name, descending the name before the data.
    result = ranks();
    if (result == 0) result = inDescending ? names() : data();
    if (result == 0) result = inDescending ? data() : names();
  } else {
    kxAssert(false);
  }
  return inDescending ? -result : result;
}

void kxRecordCollection::sortRecords(int32_t inSortKey, bool inDescending) {
  if (inSortKey != kSortByName && inSortKey != kSortByType) {
    kxAssert(false);
    return;
  }
  std::vector<SortItem> items;
  items.reserve(itsStore->itsOrder.size());
  itsStore->itsOrder.forEach([&items](kxResourceRecord* inRec) { items.emplace_back(inRec, int32_t(inRec->itsSection)); });
  SortKeys keys(items, inSortKey, inDescending);
  keys.sort();
  std::vector<kxResourceRecord*> sorted;
  sorted.reserve(items.size());
  for (const SortEntry& entry : keys.entries()) sorted.push_back(entry.itsRecord);
  itsStore->itsOrder.assign(sorted);
}

void kxRecordCollection::writeMasterFile(std::ostream& outStream, bool inWriteTTL) {
  const std::string defaultTTL = getDefaultTTL().empty() ? std::string("86400") : getDefaultTTL();
  if (inWriteTTL) outStream << "$TTL " << defaultTTL << '\n';
  const auto firsts = firstsOfRRsets();
  // One master-file line; every record written must lie in the answer section. A kept
  // directive names the origin and the TTL that were in force where it was read when they
  // are not the zone's (its owner and TTL): they are set around it, so that the included
  // file and the generated records are read as they were.
  const auto writeLine = [&](const kxResourceRecord* inRec, int32_t inSection) {
    kxAssert(inSection == kxRecordCollection::kAnswerSection);
    const bool directive = inRec->type() == kControlInclude || inRec->type() == kControlGenerate;
    const bool ownOrigin = directive && !inRec->getName().empty();
    const bool ownTTL = directive && !inRec->getTTL().empty();
    if (ownOrigin) outStream << "$ORIGIN " << inRec->getFullName() << '\n';
    if (ownTTL) outStream << "$TTL " << inRec->getTTL() << '\n';
    const auto first = firsts.find(inRec);
    inRec->writeText(outStream, first != firsts.end() ? first->second->getTTL() : inRec->getTTL());
    outStream << '\n';
    if (ownTTL && inWriteTTL) outStream << "$TTL " << defaultTTL << '\n';
    if (ownOrigin && !itsDomainName.empty()) outStream << "$ORIGIN " << itsDomainName << '\n';
  };

  // Comment lines and directives that stand before the first record.
  const std::vector<kxResourceRecord*> records = itsStore->itsOrder.toVector();
  auto iter = records.cbegin();
  for (; iter != records.cend(); ++iter) {
    const kxResRecType type = (*iter)->type();
    // The added types are records like any other, whatever their number.
    if (type != kNoRecordType && (type < kNumRecordTypes || (isExtendedRecordType(type) && kxExtendedRecordTypes())))
      break;
    writeLine(*iter, (*iter)->itsSection);
  }
  if (iter == records.cend()) return;

  // Then the SOA record: the one at this place, or else the first in type order. Any other
  // SOA record is written in its place: a zone with two is faulty, and dropping one would
  // hide that.
  const kxResourceRecord* soa = (*iter)->type() == kTypeSOA ? *iter : getRecord(0, kTypeSOA, kAnySection);
  if (soa != nullptr) writeLine(soa, soa->itsSection);
  for (; iter != records.cend(); ++iter)
    if (*iter != soa) writeLine(*iter, (*iter)->itsSection);
}

void kxRecordCollection::dumpToLog() {
  kxTrace(1, __FILE__, __LINE__, "Domain name: %s", itsDomainName.c_str());
  const std::string& ttl = getDefaultTTL();
  if (!ttl.empty())
    kxTrace(1, __FILE__, __LINE__, "$TTL %s", ttl.c_str());
  else
    kxTraceLine(1, __FILE__, __LINE__, "; No $TTL");

  static constexpr const char* kSectionHeadings[kNumSections] = {
      "Any section(ERROR!):", "Answer section:", "Authority section:", "Additional section:"};
  int32_t currentSection = kAnySection;
  itsStore->itsOrder.forEach([&currentSection](const kxResourceRecord* inRec) {
    const int32_t section = inRec->itsSection;
    if (section != currentSection) {
      // A section outside 1 to 3 has no place in a collection; it is shown as the error it is.
      const bool known = section > kAnySection && section < kNumSections;
      kxTraceLine(1, __FILE__, __LINE__, kSectionHeadings[known ? section : kAnySection]);
      currentSection = section;
    }
    if (kxGetTraceLevel() != 0) inRec->logRecord();
  });
}
