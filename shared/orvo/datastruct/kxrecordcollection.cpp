#include "orvo/datastruct/kxrecordcollection.h"

#include <algorithm>
#include <iterator>
#include <string>
#include <unordered_set>
#include <utility>

#include "orvo/debug/kxassert.h"
#include "orvo/dns/kxdnsstringutils.h"
#include "orvo/dns/kxextendedtypes.h"
#include "orvo/util/kxstringparser.h"

namespace {

bool asciiEqualNoCase(const std::string& inText1, const std::string& inText2) {
  if (inText1.size() != inText2.size()) return false;
  for (size_t i = 0; i < inText1.size(); ++i) {
    char c1 = inText1[i];
    char c2 = inText2[i];
    if (c1 >= 'A' && c1 <= 'Z') c1 = static_cast<char>(c1 - 'A' + 'a');
    if (c2 >= 'A' && c2 <= 'Z') c2 = static_cast<char>(c2 - 'A' + 'a');
    if (c1 != c2) return false;
  }
  return true;
}

bool sectionMatches(int32_t inWanted, int32_t inSection) {
  return inWanted == kxRecordCollection::kAnySection || inWanted == inSection;
}

bool validQuerySection(int32_t inSection) {
  return inSection >= 0 && inSection < kxRecordCollection::kNumSections;
}

// The owner name of a record copied into a collection with another domain name: in full,
// except that a comment-only line keeps its empty name (it has no owner to qualify).
std::string portableName(const kxResourceRecord& inRec) {
  if (inRec.type() == kNoRecordType && inRec.getName().empty()) return std::string();
  return inRec.getFullName();
}

// The data of a record copied into a collection with another domain name: the domain-name
// fields in full, joined by tabs; other types' data as stored.
std::string portableData(const kxResourceRecord& inRec) {
  if (!kxResourceRecord::hasDomainNameFields(inRec.type())) return inRec.getData();
  std::string data;
  const uint16_t count = inRec.countDataFields();
  for (uint16_t i = 0; i < count; ++i) {
    if (i > 0) data += kDataSeperator;
    data += inRec.getDataField(i, true);
  }
  return data;
}

}  // namespace

// ---- construction and copying ----

kxRecordCollection::kxRecordCollection(const char* inDomainName)
    : kxRecordCollection(std::string(inDomainName ? inDomainName : "")) {}

kxRecordCollection::kxRecordCollection(const std::string& inDomainName)
    : itsDomainName(inDomainName),
      itsDefaultTTLRec(nullptr, std::string(), std::string(), kControlTTL, std::string(), std::string(), true),
      itsCacheType(kNoRecordType),
      itsCacheIndex(0),
      itsCacheSection(kAnySection),
      itsCacheValid(false) {
  kxAssert(itsDomainName.empty() || (*itsDomainName.rbegin() == '.'));
}

kxRecordCollection::kxRecordCollection(const kxRecordCollection& inOther)
    : itsDomainName(inOther.itsDomainName),
      itsProperties(inOther.itsProperties),
      itsDefaultTTLRec(inOther.itsDefaultTTLRec),
      itsCacheType(kNoRecordType),
      itsCacheIndex(0),
      itsCacheSection(kAnySection),
      itsCacheValid(false) {
  kxAssert(itsDomainName.empty() || (*itsDomainName.rbegin() == '.'));
  itsRecordVector.reserve(inOther.itsRecordVector.size());
  for (const RecordIterator& entry : inOther.itsRecordVector)
    insertRecord(entry->second.record, -1, entry->second.section);
}

kxRecordCollection& kxRecordCollection::operator=(const kxRecordCollection& inOther) {
  if (this == &inOther) return *this;
  clear();
  itsDomainName = inOther.itsDomainName;
  itsDefaultTTLRec = inOther.itsDefaultTTLRec;
  itsDefaultTTLRec.itsCollection = nullptr;
  appendRecords(inOther);
  return *this;
}

kxRecordCollection::~kxRecordCollection() = default;

// ---- caches ----

void kxRecordCollection::clearLookupCache() const {
  itsCacheValid = false;
  itsCacheIter = RecordIterator();
  itsCacheIndex = 0;
}

void kxRecordCollection::dropCounts(kxResRecType inType) const {
  for (CountCache& cache : itsCountCache) {
    cache.erase(inType);
    cache.erase(kAnyRecordType);
  }
}

void kxRecordCollection::adoptRecord(kxResourceRecord& ioRec) {
  ioRec.itsCollection = this;
  if (itsDomainName.empty()) return;
  // A zone holds millions of records: a text that became short gives its block back.
  if (ioRec.relativizeName()) ioRec.itsName.shrink_to_fit();
  if (ioRec.relativizeData()) ioRec.itsData.shrink_to_fit();
}

std::vector<kxRecordCollection::RecordIterator>::const_iterator kxRecordCollection::findInVector(
    const kxResourceRecord* inRec) const {
  return std::find_if(itsRecordVector.begin(), itsRecordVector.end(),
                      [inRec](const RecordIterator& inEntry) { return &inEntry->second.record == inRec; });
}

// ---- storing and removing ----

kxResourceRecord* kxRecordCollection::insertRecord(const kxResourceRecord& inRec, int32_t inBeforeRecord,
                                                   int32_t inSection) {
  kxAssert(inBeforeRecord >= -1);
  kxAssert((inSection == kAnswerSection) || (inSection == kAuthoritySection) || (inSection == kAdditionalSection));

  if (inRec.type() == kControlTTL) {
    setDefaultTTL(inRec);
    return nullptr;
  }

  const kxResRecType type = inRec.type();
  RecordIterator stored = itsRecords.emplace(type, recordData{kxResourceRecord(inRec), inSection});
  if (inBeforeRecord >= 0 && static_cast<size_t>(inBeforeRecord) < itsRecordVector.size())
    itsRecordVector.insert(itsRecordVector.begin() + inBeforeRecord, stored);
  else
    itsRecordVector.push_back(stored);

  adoptRecord(stored->second.record);
  clearLookupCache();
  dropCounts(type);
  return &stored->second.record;
}

kxResourceRecord* kxRecordCollection::addRecord(const std::string& inName, const std::string& inTTL,
                                                kxResRecType inType, const std::string& inData,
                                                const std::string& inComment, bool inEnabled,
                                                int32_t inBeforeRecord, int32_t inSection) {
  const kxResourceRecord record(this, inName, inTTL, inType, inData, inComment, inEnabled);
  return insertRecord(record, inBeforeRecord, inSection);
}

void kxRecordCollection::removeRecord(const kxResourceRecord* inRec) {
  for (auto iter = itsRecordVector.begin(); iter != itsRecordVector.end(); ++iter) {
    if (&(*iter)->second.record != inRec) continue;
    clearLookupCache();
    dropCounts(inRec->type());
    itsRecords.erase(*iter);
    itsRecordVector.erase(iter);
    return;
  }
  kxAssert(false);
}

void kxRecordCollection::removeRecords(const char* inName, kxResRecType inType) {
  RecordIterator first = itsRecords.begin();
  RecordIterator last = itsRecords.end();
  if (inType != kAnyRecordType) std::tie(first, last) = itsRecords.equal_range(inType);

  // Collect the victims first, then take them out of the collection order in one pass, so
  // that removing many records does not search the order once per record.
  std::unordered_set<const recordData*> victims;
  std::vector<RecordIterator> doomed;
  for (RecordIterator iter = first; iter != last; ++iter) {
    if (inName && iter->second.record.getName() != inName) continue;
    victims.insert(&iter->second);
    doomed.push_back(iter);
  }

  if (!doomed.empty()) {
    auto newEnd = std::remove_if(itsRecordVector.begin(), itsRecordVector.end(), [&victims](const RecordIterator& inEntry) {
      return victims.erase(&inEntry->second) > 0;
    });
    itsRecordVector.erase(newEnd, itsRecordVector.end());
    // A victim left in the set had no element in the collection order.
    for (size_t i = 0; i < victims.size(); ++i) {
      auto iter2 = itsRecordVector.end();
      kxAssert(iter2 != itsRecordVector.end());
    }
    for (RecordIterator iter : doomed) {
      dropCounts(iter->first);
      itsRecords.erase(iter);
    }
  }
  clearLookupCache();
  dropCounts(inType);
}

kxResourceRecord* kxRecordCollection::replaceRecord(uint32_t inIndex, const kxResourceRecord& inRec) {
  kxResourceRecord* theRec = getRecord(inIndex, kAnyRecordType, kAnySection);
  kxAssert(theRec != &inRec);
  if (!theRec) return nullptr;  // no record at that index
  if (theRec == &inRec) return theRec;

  // The type changes first so that the name fields of the new data are recognised by the
  // new type: relativised under the old type, a field the new type does not read as a name
  // would lose its domain.
  theRec = changeRecordType(theRec, inRec.type());
  theRec->setID(inRec.getID());
  theRec->setName(inRec.getName());
  theRec->setTTL(inRec.getTTL());
  theRec->setData(inRec.getData());
  theRec->setComment(inRec.getComment());
  theRec->setEnabled(inRec.isEnabled());
  theRec->setProperties(inRec.getProperties());
  return theRec;
}

kxResourceRecord* kxRecordCollection::changeRecordType(kxResourceRecord* inRec, kxResRecType inType) {
  if (inRec && inRec->type() == inType) return inRec;
  auto found = findInVector(inRec);
  if (found == itsRecordVector.end()) {
    kxAssert(false);
    return inRec;
  }
  dropCounts(inRec->type());
  dropCounts(inType);

  RecordIterator oldEntry = *found;
  RecordIterator newEntry = itsRecords.emplace(inType, std::move(oldEntry->second));
  itsRecords.erase(oldEntry);
  itsRecordVector[static_cast<size_t>(found - itsRecordVector.cbegin())] = newEntry;

  kxResourceRecord& record = newEntry->second.record;
  record.itsType = inType;
  adoptRecord(record);
  clearLookupCache();
  return &record;
}

void kxRecordCollection::moveRecord(uint32_t inOldIndex, uint32_t inNewIndex) {
  kxAssert(inOldIndex < itsRecordVector.size() && inNewIndex < itsRecordVector.size());
  if (inOldIndex >= itsRecordVector.size() || inNewIndex >= itsRecordVector.size()) return;
  if (inOldIndex == inNewIndex) return;
  auto base = itsRecordVector.begin();
  if (inOldIndex < inNewIndex)
    // Out at inOldIndex, in again before the element that stood at inNewIndex.
    std::rotate(base + inOldIndex, base + inOldIndex + 1, base + inNewIndex);
  else
    std::rotate(base + inNewIndex, base + inOldIndex, base + inOldIndex + 1);
}

void kxRecordCollection::clear() {
  itsRecordVector.clear();
  itsRecords.clear();
  clearLookupCache();
  for (CountCache& cache : itsCountCache) cache.clear();
  itsProperties.clear();
}

// ---- queries ----

uint32_t kxRecordCollection::getRecordCount(kxResRecType inRecType, int32_t inSection) const {
  if (inRecType == kAnyRecordType && inSection == kAnySection) return static_cast<uint32_t>(itsRecords.size());

  // Sections outside 0..3 have no cache; they are counted (as none) every time.
  const bool cached = validQuerySection(inSection);
  if (cached) {
    auto hit = itsCountCache[inSection].find(inRecType);
    if (hit != itsCountCache[inSection].end() && hit->second != 0) return hit->second - 1;
  }

  RecordStore::const_iterator first = itsRecords.begin();
  RecordStore::const_iterator last = itsRecords.end();
  if (inRecType != kAnyRecordType) std::tie(first, last) = itsRecords.equal_range(inRecType);
  uint32_t count = 0;
  for (; first != last; ++first)
    if (sectionMatches(inSection, first->second.section)) ++count;

  if (cached) itsCountCache[inSection][inRecType] = count + 1;
  return count;
}

kxResourceRecord* kxRecordCollection::lookupRecord(uint32_t inIndex, kxResRecType inRecType,
                                                   int32_t inSection) const {
  // const_cast: the store is ours; the const form hands the record out as const again.
  RecordStore& store = const_cast<RecordStore&>(itsRecords);
  RecordIterator last = inRecType == kAnyRecordType ? store.end() : store.upper_bound(inRecType);
  RecordIterator iter;
  uint32_t running = 0;
  if (inIndex != 0 && itsCacheValid && itsCacheType == inRecType && itsCacheSection == inSection &&
      inIndex >= itsCacheIndex) {
    iter = itsCacheIter;
    running = itsCacheIndex;
  } else {
    iter = inRecType == kAnyRecordType ? store.begin() : store.lower_bound(inRecType);
  }

  for (; iter != last; ++iter) {
    if (!sectionMatches(inSection, iter->second.section)) continue;
    if (running == inIndex) {
      itsCacheIter = iter;
      itsCacheIndex = running;
      itsCacheType = inRecType;
      itsCacheSection = inSection;
      itsCacheValid = true;
      return &iter->second.record;
    }
    ++running;
  }
  return nullptr;
}

kxResourceRecord* kxRecordCollection::getRecord(uint32_t inIndex, kxResRecType inRecType, int32_t inSection) {
  if (inRecType == kAnyRecordType && inSection == kAnySection)
    return inIndex < itsRecordVector.size() ? &itsRecordVector[inIndex]->second.record : nullptr;
  return lookupRecord(inIndex, inRecType, inSection);
}

const kxResourceRecord* kxRecordCollection::getRecord(uint32_t inIndex, kxResRecType inRecType,
                                                      int32_t inSection) const {
  if (inRecType == kAnyRecordType && inSection == kAnySection)
    return inIndex < itsRecordVector.size() ? &itsRecordVector[inIndex]->second.record : nullptr;
  return lookupRecord(inIndex, inRecType, inSection);
}

uint32_t kxRecordCollection::getRecordIndex(const kxResourceRecord* inRec, int32_t inSection) const {
  uint32_t index = 0;
  for (const RecordIterator& entry : itsRecordVector) {
    if (&entry->second.record == inRec) return index;
    if (sectionMatches(inSection, entry->second.section)) ++index;
  }
  kxAssert(false);
  return 0;
}

bool kxRecordCollection::containsRecord(const kxResourceRecord* inRec) const {
  return findInVector(inRec) != itsRecordVector.end();
}

bool kxRecordCollection::recordExists(const std::string& inName, kxResRecType inRecType, const std::string& inData,
                                      int32_t inSection) const {
  // The added types are held above the 16-bit range.
  if (!isExtendedRecordType(inRecType) || !kxExtendedRecordTypes())
    kxAssert(inRecType < kNumRecordTypes || (inRecType >= kControlTTL && inRecType <= kControlGenerate));
  auto range = itsRecords.equal_range(inRecType);
  for (auto iter = range.first; iter != range.second; ++iter) {
    const recordData& entry = iter->second;
    if (sectionMatches(inSection, entry.section) && asciiEqualNoCase(entry.record.getName(), inName) &&
        asciiEqualNoCase(entry.record.getData(), inData))
      return true;
  }
  return false;
}

kxResourceRecord* kxRecordCollection::findRecordByID(int32_t inID) {
  for (auto& entry : itsRecords)
    if (entry.second.record.getID() == inID) return &entry.second.record;
  return nullptr;
}

uint32_t kxRecordCollection::findRecords(kxRecordCollection* outCollection, const char* inName,
                                         kxResRecType inType, int32_t inSection) {
  if (outCollection) outCollection->clear();

  std::string name;
  if (inName) {
    name = inName;
    if (!itsDomainName.empty()) kxResourceRecord::stripDomain(itsDomainName, name);
  }
  // A copy into a collection of another domain carries its names in full.
  const bool sameDomain = outCollection && asciiEqualNoCase(outCollection->itsDomainName, itsDomainName);

  RecordIterator first = itsRecords.begin();
  RecordIterator last = itsRecords.end();
  if (inType != kAnyRecordType) std::tie(first, last) = itsRecords.equal_range(inType);
  uint32_t count = 0;
  for (; first != last; ++first) {
    const kxResourceRecord& record = first->second.record;
    if (inName && !asciiEqualNoCase(record.getName(), name)) continue;
    if (!sectionMatches(inSection, first->second.section)) continue;
    ++count;
    if (outCollection)
      outCollection->addRecord(portableName(record), record.getTTL(), record.type(),
                               sameDomain ? record.getData() : portableData(record), record.getComment(),
                               record.isEnabled(), -1, first->second.section);
  }
  return count;
}

kxResourceRecord* kxRecordCollection::findRecordIf(RecordCallback inCallback, void* inUserValue) {
  for (const RecordIterator& entry : itsRecordVector)
    if (inCallback(&entry->second.record, entry->second.section, inUserValue)) return &entry->second.record;
  return nullptr;
}

// ---- zone attributes ----

void kxRecordCollection::setDomainName(const std::string& inDomainName, bool inRelativize) {
  kxAssert(inDomainName.empty() || (*inDomainName.rbegin() == '.'));
  itsDomainName = inDomainName;
  if (!inRelativize) return;
  for (const RecordIterator& entry : itsRecordVector) {
    entry->second.record.relativizeName();
    entry->second.record.relativizeData();
  }
}

void kxRecordCollection::setDomainName(const char* inDomainName, bool inRelativize) {
  setDomainName(std::string(inDomainName ? inDomainName : ""), inRelativize);
}

void kxRecordCollection::setDefaultTTL(const std::string& inTTL) {
  kxAssert(itsDefaultTTLRec.type() == kControlTTL);
  itsDefaultTTLRec.setTTL(inTTL);
}

void kxRecordCollection::setDefaultTTL(const kxResourceRecord& inTTLRec) {
  kxAssert(inTTLRec.type() == kControlTTL);
  // Another type would leave the collection without a default TTL record.
  if (inTTLRec.type() != kControlTTL) return;
  itsDefaultTTLRec = inTTLRec;
  // The default TTL record is not a stored record; it keeps no owner that could go away.
  itsDefaultTTLRec.itsCollection = nullptr;
}

void kxRecordCollection::appendRecords(const kxRecordCollection& inOther) {
  if (this == &inOther) return;
  itsRecordVector.reserve(itsRecordVector.size() + inOther.itsRecordVector.size());
  if (asciiEqualNoCase(itsDomainName, inOther.itsDomainName)) {
    for (const RecordIterator& entry : inOther.itsRecordVector)
      insertRecord(entry->second.record, -1, entry->second.section);
  } else {
    for (const RecordIterator& entry : inOther.itsRecordVector) {
      const kxResourceRecord& record = entry->second.record;
      addRecord(portableName(record), record.getTTL(), record.type(), portableData(record), record.getComment(),
                record.isEnabled(), -1, entry->second.section);
    }
  }
  itsProperties.merge(inOther.itsProperties);
}

uint32_t kxRecordCollection::incrementSerial() {
  if (getRecordCount(kTypeSOA, kAnySection) == 0) return 0;
  kxResourceRecord* soa = getRecord(0, kTypeSOA, kAnySection);
  if (!soa) return 0;
  unsigned serial = 0;
  if (!parseUnsigned(soa->getDataField(2, false), serial)) serial = 0;
  const uint32_t next = nextSerialNumber(serial);
  soa->setDataField(2, std::to_string(next));
  return next;
}
