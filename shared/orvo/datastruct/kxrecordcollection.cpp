#include "orvo/datastruct/kxrecordcollection.h"

#include "orvo/datastruct/internal/kxrecordstore.h"

#include <algorithm>
#include <iterator>
#include <string>
#include <map>
#include <utility>

#include "orvo/debug/kxassert.h"
#include "orvo/dns/kxdnsstringutils.h"
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
      itsStore(std::make_unique<Store>()) {
  kxAssert(itsDomainName.empty() || (*itsDomainName.rbegin() == '.'));
}

kxRecordCollection::kxRecordCollection(const kxRecordCollection& inOther)
    : itsDomainName(inOther.itsDomainName),
      itsProperties(inOther.itsProperties),
      itsDefaultTTLRec(inOther.itsDefaultTTLRec),
      itsStore(std::make_unique<Store>()) {
  kxAssert(itsDomainName.empty() || (*itsDomainName.rbegin() == '.'));
  inOther.itsStore->itsOrder.forEach(
      [this](kxResourceRecord* inRec) { insertRecord(*inRec, -1, inRec->itsSection); });
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

// ---- the store ----

void kxRecordCollection::adoptRecord(kxResourceRecord& ioRec) {
  ioRec.itsCollection = this;
  if (ioRec.itsExtras && !ioRec.itsExtras->itsTTL.empty()) {
    ioRec.itsTTL = itsStore->internTTL(ioRec.itsExtras->itsTTL);
    ioRec.itsExtras->itsTTL = std::string();
    ioRec.dropEmptyExtras();
  }
  if (!itsDomainName.empty()) {
    ioRec.relativizeName();
    ioRec.relativizeData();
  }
  // A zone holds millions of records: a text that became short (relativised here, or in a
  // record built with this collection as owner and then moved in) gives its block back.
  if (ioRec.itsName.capacity() > ioRec.itsName.size()) ioRec.itsName.shrink_to_fit();
  if (ioRec.itsData.capacity() > ioRec.itsData.size()) ioRec.itsData.shrink_to_fit();
}

kxResourceRecord* kxRecordCollection::findStored(const kxResourceRecord* inRec) const {
  return itsStore->chunkOf(inRec) ? const_cast<kxResourceRecord*>(inRec) : nullptr;
}

void kxRecordCollection::setStoredTTL(kxResourceRecord* inRec, const std::string& inTTL) {
  // The new text is taken first: inTTL may be the old one.
  const uint32_t old = inRec->itsTTL;
  inRec->itsTTL = itsStore->internTTL(inTTL);
  itsStore->releaseTTL(old);
}

const std::string& kxRecordCollection::storedTTL(uint32_t inNumber) const { return itsStore->itsTTLTexts[inNumber].first; }

void kxRecordCollection::unindexName(kxResourceRecord* inRec) { itsStore->itsNames.remove(inRec); }

void kxRecordCollection::indexName(kxResourceRecord* inRec) {
  itsStore->countName(inRec, nullptr);
  itsStore->itsNames.add(inRec);
}

template <typename Record>
kxResourceRecord* kxRecordCollection::storeRecord(Record&& inRec, int32_t inBeforeRecord, int32_t inSection) {
  kxAssert(inBeforeRecord >= -1);
  kxAssert((inSection == kAnswerSection) || (inSection == kAuthoritySection) || (inSection == kAdditionalSection));
  // Only the three sections can be kept; another value is stored as the answer section.
  if (inSection != kAuthoritySection && inSection != kAdditionalSection) inSection = kAnswerSection;

  if (inRec.type() == kControlTTL) {
    setDefaultTTL(inRec);
    return nullptr;
  }

  Store& store = *itsStore;
  kxTypeArena& arena = store.arena(inRec.type());
  kxRecordChunk* chunk = nullptr;
  bool newChunk = false;
  kxResourceRecord* slot = arena.allocate(chunk, newChunk);
  if (newChunk) store.itsChunks.emplace(chunk->itsSlots, chunk);
  kxResourceRecord* rec = new (slot) kxResourceRecord(std::forward<Record>(inRec));
  rec->itsSection = static_cast<uint8_t>(inSection);
  adoptRecord(*rec);
  arena.commit(rec, chunk, inSection);
  if (inBeforeRecord >= 0) {
    store.countName(rec, nullptr);
    store.itsOrder.insert(static_cast<uint32_t>(inBeforeRecord), rec);
  } else {
    store.countName(rec, store.itsOrder.back());
    store.itsOrder.pushBack(rec);
  }
  store.itsNames.add(rec);
  rec->itsStored = true;
  store.itsAnyValid = false;
  return rec;
}

void kxRecordCollection::dropRecord(kxResourceRecord* inRec) {
  Store& store = *itsStore;
  kxRecordChunk* chunk = store.chunkOf(inRec);
  store.itsOrder.erase(inRec);
  store.itsNames.remove(inRec);
  inRec->itsStored = false;
  store.release(inRec, chunk);
}

std::vector<kxResourceRecord*> kxRecordCollection::recordsInTypeOrder(kxResRecType inType) const {
  std::vector<kxResourceRecord*> records;
  auto collect = [&records](kxResourceRecord* inRec) { records.push_back(inRec); };
  if (inType == kAnyRecordType) {
    records.reserve(itsStore->itsOrder.size());
    for (const auto& [type, arena] : itsStore->itsArenas) arena->forEach(collect);
  } else if (const kxTypeArena* arena = itsStore->findArena(inType)) {
    arena->forEach(collect);
  }
  return records;
}

// ---- storing and removing ----

kxResourceRecord* kxRecordCollection::insertRecord(const kxResourceRecord& inRec, int32_t inBeforeRecord,
                                                   int32_t inSection) {
  return storeRecord(inRec, inBeforeRecord, inSection);
}

kxResourceRecord* kxRecordCollection::insertRecord(kxResourceRecord&& inRec, int32_t inBeforeRecord,
                                                   int32_t inSection) {
  return storeRecord(std::move(inRec), inBeforeRecord, inSection);
}

kxResourceRecord* kxRecordCollection::addRecord(const std::string& inName, const std::string& inTTL,
                                                kxResRecType inType, const std::string& inData,
                                                const std::string& inComment, bool inEnabled,
                                                int32_t inBeforeRecord, int32_t inSection) {
  return insertRecord(kxResourceRecord(this, inName, inTTL, inType, inData, inComment, inEnabled), inBeforeRecord,
                      inSection);
}

void kxRecordCollection::removeRecord(const kxResourceRecord* inRec) {
  kxResourceRecord* rec = findStored(inRec);
  if (!rec) {
    kxAssert(false);
    return;
  }
  dropRecord(rec);
}

void kxRecordCollection::removeRecords(const char* inName, kxResRecType inType) {
  std::vector<kxResourceRecord*> victims;
  if (inName) {
    // The name index finds the candidates; the name must match exactly.
    for (kxResourceRecord* rec = itsStore->names().find(inName); rec; rec = rec->itsSameName[1])
      if ((inType == kAnyRecordType || rec->type() == inType) && rec->getName() == inName) victims.push_back(rec);
  } else {
    victims = recordsInTypeOrder(inType);
  }
  for (kxResourceRecord* rec : victims) dropRecord(rec);
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
  // Only a record that the collection holds may be read: any other address may be freed.
  kxResourceRecord* rec = findStored(inRec);
  if (!rec) {
    kxAssert(false);
    return inRec;
  }
  if (rec->type() == inType) return rec;

  // The record moves behind the records of its new type, at its place in the collection
  // order, with its section.
  Store& store = *itsStore;
  kxRecordChunk* oldChunk = store.chunkOf(rec);
  kxTypeArena& arena = store.arena(inType);
  kxRecordChunk* chunk = nullptr;
  bool newChunk = false;
  kxResourceRecord* slot = arena.allocate(chunk, newChunk);
  if (newChunk) store.itsChunks.emplace(chunk->itsSlots, chunk);
  store.itsNames.remove(rec);
  rec->itsStored = false;  // so that its texts move; the TTL text is handed over below
  kxResourceRecord* moved = new (slot) kxResourceRecord(std::move(*rec));
  moved->itsTTL = rec->itsTTL;
  rec->itsTTL = 0;
  moved->itsType = inType;
  moved->itsSection = rec->itsSection;
  store.itsOrder.replace(rec, moved);
  adoptRecord(*moved);
  arena.commit(moved, chunk, moved->itsSection);
  store.itsNames.add(moved);
  moved->itsStored = true;

  store.release(rec, oldChunk);
  return moved;
}

void kxRecordCollection::moveRecord(uint32_t inOldIndex, uint32_t inNewIndex) {
  kxRecordOrder& order = itsStore->itsOrder;
  // The report names the collection order as the library always has.
  kxAssertAs(inOldIndex < order.size() && inNewIndex < order.size(),
             "inOldIndex < itsRecordVector.size() && inNewIndex < itsRecordVector.size()");
  if (inOldIndex >= order.size() || inNewIndex >= order.size()) return;
  if (inOldIndex == inNewIndex) return;
  // Out at inOldIndex, in again before the record that stood at inNewIndex.
  kxResourceRecord* rec = order.at(inOldIndex);
  order.erase(rec);
  order.insert(inOldIndex < inNewIndex ? inNewIndex - 1 : inNewIndex, rec);
}

void kxRecordCollection::clear() {
  itsStore->clear();
  itsProperties.clear();
}

// ---- queries ----

uint32_t kxRecordCollection::getRecordCount(kxResRecType inRecType, int32_t inSection) const {
  if (!validQuerySection(inSection)) return 0;
  if (inRecType == kAnyRecordType) return itsStore->itsOrder.size(inSection);
  const kxTypeArena* arena = itsStore->findArena(inRecType);
  return arena ? arena->count(inSection) : 0;
}

kxResourceRecord* kxRecordCollection::getRecord(uint32_t inIndex, kxResRecType inRecType, int32_t inSection) {
  return const_cast<kxResourceRecord*>(std::as_const(*this).getRecord(inIndex, inRecType, inSection));
}

const kxResourceRecord* kxRecordCollection::getRecord(uint32_t inIndex, kxResRecType inRecType,
                                                      int32_t inSection) const {
  if (!validQuerySection(inSection)) return nullptr;
  Store& store = *itsStore;
  if (inRecType == kAnyRecordType && inSection == kAnySection) return store.itsOrder.at(inIndex);
  if (inRecType != kAnyRecordType) {
    const kxTypeArena* arena = store.findArena(inRecType);
    return arena ? arena->at(inIndex, inSection) : nullptr;
  }

  // Any type in one section: the types in ascending order, from the type the last such
  // lookup reached when the walk goes on from there.
  auto iter = store.itsArenas.begin();
  uint32_t base = 0;
  if (store.itsAnyValid && store.itsAnySection == inSection && inIndex >= store.itsAnyBase) {
    iter = store.itsArenas.find(store.itsAnyType);
    base = store.itsAnyBase;
  }
  for (; iter != store.itsArenas.end(); ++iter) {
    const uint32_t count = iter->second->count(inSection);
    if (inIndex < base + count) {
      store.itsAnyValid = true;
      store.itsAnyType = iter->first;
      store.itsAnySection = inSection;
      store.itsAnyBase = base;
      return iter->second->at(inIndex - base, inSection);
    }
    base += count;
  }
  return nullptr;
}

uint32_t kxRecordCollection::getRecordIndex(const kxResourceRecord* inRec, int32_t inSection) const {
  if (!findStored(inRec)) {
    kxAssert(false);
    return 0;
  }
  // No record lies in a section outside 0 to 3.
  return validQuerySection(inSection) ? itsStore->itsOrder.indexOf(inRec, inSection) : 0;
}

bool kxRecordCollection::containsRecord(const kxResourceRecord* inRec) const { return findStored(inRec) != nullptr; }

bool kxRecordCollection::recordExists(const std::string& inName, kxResRecType inRecType, const std::string& inData,
                                      int32_t inSection) const {
  // The added types are held above the 16-bit range.
  if (!isExtendedRecordType(inRecType) || !kxExtendedRecordTypes())
    kxAssert(inRecType < kNumRecordTypes || (inRecType >= kControlTTL && inRecType <= kControlGenerate));
  for (const kxResourceRecord* rec = itsStore->names().find(inName); rec; rec = rec->itsSameName[1])
    if (rec->type() == inRecType && sectionMatches(inSection, rec->itsSection) &&
        asciiEqualNoCase(rec->getData(), inData))
      return true;
  return false;
}

kxResourceRecord* kxRecordCollection::findRecordByID(int32_t inID) {
  for (const auto& [type, arena] : itsStore->itsArenas) {
    kxResourceRecord* found = nullptr;
    arena->forEach([&found, inID](kxResourceRecord* inRec) {
      if (!found && inRec->getID() == inID) found = inRec;
    });
    if (found) return found;
  }
  return nullptr;
}

uint32_t kxRecordCollection::findRecords(kxRecordCollection* outCollection, const char* inName,
                                         kxResRecType inType, int32_t inSection) {
  // The output may be this collection: the matches are gathered apart, then replace it.
  if (outCollection == this) {
    kxRecordCollection found(itsDomainName);
    const uint32_t count = findRecords(&found, inName, inType, inSection);
    clear();
    appendRecords(found);
    return count;
  }

  // The name may point into a record of the output, so it is read before that is cleared.
  std::vector<kxResourceRecord*> matches;
  if (inName) {
    std::string name = inName;
    if (!itsDomainName.empty()) kxResourceRecord::stripDomain(itsDomainName, name);
    for (kxResourceRecord* rec = itsStore->names().find(name); rec; rec = rec->itsSameName[1])
      if ((inType == kAnyRecordType || rec->type() == inType) && sectionMatches(inSection, rec->itsSection))
        matches.push_back(rec);
    // In type order: by type, then by chunk and slot, which is the storing order.
    const Store& store = *itsStore;
    std::sort(matches.begin(), matches.end(), [&store](const kxResourceRecord* inA, const kxResourceRecord* inB) {
      if (inA->type() != inB->type()) return inA->type() < inB->type();
      const kxRecordChunk* chunkA = store.chunkOf(inA);
      const kxRecordChunk* chunkB = store.chunkOf(inB);
      if (chunkA != chunkB) return chunkA->itsSerial < chunkB->itsSerial;
      return inA < inB;
    });
  } else {
    for (kxResourceRecord* rec : recordsInTypeOrder(inType))
      if (sectionMatches(inSection, rec->itsSection)) matches.push_back(rec);
  }
  if (!outCollection) return static_cast<uint32_t>(matches.size());

  outCollection->clear();
  // A copy into a collection of another domain carries its names in full.
  const bool sameDomain = asciiEqualNoCase(outCollection->itsDomainName, itsDomainName);
  for (const kxResourceRecord* rec : matches)
    outCollection->addRecord(portableName(*rec), rec->getTTL(), rec->type(),
                             sameDomain ? rec->getData() : portableData(*rec), rec->getComment(), rec->isEnabled(), -1,
                             rec->itsSection);
  return static_cast<uint32_t>(matches.size());
}

kxResourceRecord* kxRecordCollection::firstNamed(std::string_view inName) { return itsStore->names().find(inName); }

kxResourceRecord* kxRecordCollection::findRecordIf(RecordCallback inCallback, void* inUserValue) {
  return itsStore->itsOrder.findIf(
      [inCallback, inUserValue](kxResourceRecord* inRec) { return inCallback(inRec, inRec->itsSection, inUserValue); });
}

// ---- zone attributes ----

void kxRecordCollection::setDomainName(const std::string& inDomainName, bool inRelativize) {
  kxAssert(inDomainName.empty() || (*inDomainName.rbegin() == '.'));
  itsDomainName = inDomainName;
  if (!inRelativize) return;
  itsStore->itsOrder.forEach([](kxResourceRecord* inRec) {
    inRec->relativizeName();
    inRec->relativizeData();
  });
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
  if (asciiEqualNoCase(itsDomainName, inOther.itsDomainName)) {
    inOther.itsStore->itsOrder.forEach(
        [this](kxResourceRecord* inRec) { insertRecord(*inRec, -1, inRec->itsSection); });
  } else {
    inOther.itsStore->itsOrder.forEach([this](kxResourceRecord* inRec) {
      addRecord(portableName(*inRec), inRec->getTTL(), inRec->type(), portableData(*inRec), inRec->getComment(),
                inRec->isEnabled(), -1, inRec->itsSection);
    });
  }
  itsProperties.merge(inOther.itsProperties);
}

uint32_t kxRecordCollection::incrementSerial() {
  kxResourceRecord* soa = getRecord(0, kTypeSOA, kAnySection);
  if (!soa) return 0;
  unsigned serial = 0;
  if (!parseUnsigned(soa->getDataField(2, false), serial)) serial = 0;
  const uint32_t next = nextSerialNumber(serial);
  soa->setDataField(2, std::to_string(next));
  return next;
}
