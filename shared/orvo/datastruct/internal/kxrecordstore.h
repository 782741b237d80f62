// The storage behind kxRecordCollection. Three structures hold the records of a collection,
// each with the cost of its operations independent of the size of the collection (or
// logarithmic in it):
//
//   - kxTypeArena, one per record type: the records themselves, in chunks of slots that are
//     never moved, so record addresses stay valid. A record takes the next free slot at the
//     end, so the slot order is the storing order of the type (the type order). A removed
//     record leaves a dead slot; a chunk whose slots are all dead is freed. Counts per
//     section and chunk, summed in a kxBucketCounts, give counts and the n-th record of a
//     section in logarithmic time, and a walk by index steps from the last position.
//   - kxRecordOrder: the collection order, record pointers in blocks of at most
//     kMaxBlock; each record keeps the id of its block, so its position is found by a scan
//     of one block and the counts of the blocks before it.
//   - kxNameIndex: the records of each owner name, compared without regard to case, on a
//     list through the records (kxResourceRecord::itsSameName), the lists' heads in an open
//     addressing hash table keyed by the folded name of the head. It is built when a name is
//     first looked up and kept from then on.
//
// Every record's section (1 to 3) is kept in the record and in its chunk (0 marks a dead
// slot there). A collection is a single-thread object; so is its store.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "orvo/datastruct/kxrecordcollection.h"
#include "orvo/datastruct/kxresourcerecord.h"

// Counts per section (index 0: all sections) of a list of buckets, with a Fenwick tree for
// the counts before a bucket and for the bucket that holds the n-th counted item.
class kxBucketCounts {
 public:
  using Counts = std::array<uint32_t, 4>;

  size_t buckets() const { return itsRaw.size(); }
  uint32_t total(int32_t inSection) const { return itsTotal[static_cast<size_t>(inSection)]; }
  uint32_t bucket(size_t inBucket, int32_t inSection) const { return itsRaw[inBucket][static_cast<size_t>(inSection)]; }
  // One item of inSection more (inDelta 1) or less (-1) in bucket inBucket.
  void add(size_t inBucket, int32_t inSection, int inDelta);
  // The items of inSection in the buckets before inBucket.
  uint32_t before(size_t inBucket, int32_t inSection) const;
  // The bucket of the ioIndex-th item of inSection (ioIndex < total); ioIndex becomes the
  // index of the item among those of the bucket.
  size_t find(uint32_t& ioIndex, int32_t inSection) const;
  // Bucket changes renumber the buckets after inBucket; the tree is built again.
  void insertBucket(size_t inBucket, const Counts& inCounts);
  void eraseBucket(size_t inBucket);
  void assign(std::vector<Counts> inCounts);
  void clear();

 private:
  void rebuild();

  std::vector<Counts> itsRaw;
  std::vector<Counts> itsTree;  // Fenwick tree, 1-based
  Counts itsTotal{};
};

class kxTypeArena;

// A chunk of record slots of one type.
struct kxRecordChunk {
  kxTypeArena* itsArena;
  kxResourceRecord* itsSlots;  // raw storage for itsCapacity records
  uint8_t* itsSections;        // per slot: the record's section, 0 for a slot without one
  uint32_t itsCapacity;
  uint32_t itsUsed = 0;        // slots handed out, from the start
  uint32_t itsLive = 0;
  uint32_t itsPosition = 0;    // index in the arena's chunk list
  uint64_t itsSerial = 0;      // grows with the chunks of the arena: the type order of chunks

  kxRecordChunk(kxTypeArena* inArena, uint32_t inCapacity, uint64_t inSerial);
  ~kxRecordChunk();
  kxRecordChunk(const kxRecordChunk&) = delete;
  kxRecordChunk& operator=(const kxRecordChunk&) = delete;
  uint32_t slotOf(const kxResourceRecord* inRec) const { return static_cast<uint32_t>(inRec - itsSlots); }
};

// The records of one type in storing order.
class kxTypeArena {
 public:
  explicit kxTypeArena(kxResRecType inType) : itsType(inType) {}
  ~kxTypeArena();
  kxTypeArena(const kxTypeArena&) = delete;
  kxTypeArena& operator=(const kxTypeArena&) = delete;

  kxResRecType type() const { return itsType; }
  uint32_t count(int32_t inSection) const { return itsCounts.total(inSection); }
  // Raw memory for a record behind the others; the caller constructs the record there and
  // then commits it. outNewChunk tells that a chunk was made for it.
  kxResourceRecord* allocate(kxRecordChunk*& outChunk, bool& outNewChunk);
  void commit(kxResourceRecord* inRec, kxRecordChunk* inChunk, int32_t inSection);
  // Destroys a committed record in its slot. Returns the storage of its chunk when that was
  // freed with it, otherwise null.
  const void* release(kxResourceRecord* inRec, kxRecordChunk* inChunk);
  // The inIndex-th record of inSection in storing order, or null.
  kxResourceRecord* at(uint32_t inIndex, int32_t inSection) const;

  const std::vector<std::unique_ptr<kxRecordChunk>>& chunks() const { return itsChunks; }

  template <typename Visit>
  void forEach(Visit inVisit) const {
    for (const auto& chunk : itsChunks)
      for (uint32_t slot = 0; slot < chunk->itsUsed; ++slot)
        if (chunk->itsSections[slot] != 0) inVisit(&chunk->itsSlots[slot]);
  }

 private:
  kxResRecType itsType;
  std::vector<std::unique_ptr<kxRecordChunk>> itsChunks;
  kxBucketCounts itsCounts;
  uint64_t itsNextSerial = 0;

  // The last position found by at(), so that a walk by index steps from it.
  mutable bool itsCacheValid = false;
  mutable uint32_t itsCacheIndex = 0;
  mutable int32_t itsCacheSection = 0;
  mutable uint32_t itsCacheChunk = 0;
  mutable uint32_t itsCacheSlot = 0;
};

// The collection order.
class kxRecordOrder {
 public:
  kxRecordOrder() = default;
  kxRecordOrder(const kxRecordOrder&) = delete;
  kxRecordOrder& operator=(const kxRecordOrder&) = delete;

  uint32_t size(int32_t inSection = 0) const { return itsCounts.total(inSection); }
  // Before the record at inIndex (all sections counted); at the end past the last one.
  void insert(uint32_t inIndex, kxResourceRecord* inRec);
  void pushBack(kxResourceRecord* inRec);
  // The last record, or null.
  const kxResourceRecord* back() const { return itsBlocks.empty() ? nullptr : itsBlocks.back()->itsItems.back(); }
  void erase(kxResourceRecord* inRec);
  // inNew takes the place of inOld (which leaves the order).
  void replace(kxResourceRecord* inOld, kxResourceRecord* inNew);
  // The inIndex-th record of inSection, or null.
  kxResourceRecord* at(uint32_t inIndex, int32_t inSection = 0) const;
  // The position of inRec among the records of inSection before it.
  uint32_t indexOf(const kxResourceRecord* inRec, int32_t inSection) const;
  std::vector<kxResourceRecord*> toVector() const;
  void assign(const std::vector<kxResourceRecord*>& inRecords);
  void clear();

  template <typename Visit>
  void forEach(Visit inVisit) const {
    for (const Block* block : itsBlocks)
      for (kxResourceRecord* rec : block->itsItems) inVisit(rec);
  }
  // The records in order, a block at a time.
  template <typename Visit>
  void forEachBlock(Visit inVisit) const {
    for (const Block* block : itsBlocks) inVisit(std::span<kxResourceRecord* const>(block->itsItems));
  }
  // The first record in order for which inTest answers true, or null.
  template <typename Test>
  kxResourceRecord* findIf(Test inTest) const {
    for (const Block* block : itsBlocks)
      for (kxResourceRecord* rec : block->itsItems)
        if (inTest(rec)) return rec;
    return nullptr;
  }

 private:
  static constexpr size_t kMaxBlock = 512;

  struct Block {
    std::vector<kxResourceRecord*> itsItems;
    uint32_t itsId = 0;
    uint32_t itsPosition = 0;
  };

  Block* newBlock(size_t inPosition);
  void dropBlock(Block* inBlock);
  void splitBlock(Block* inBlock);
  size_t offsetIn(const Block* inBlock, const kxResourceRecord* inRec) const;
  static kxBucketCounts::Counts countsOf(const Block* inBlock);

  std::vector<Block*> itsBlocks;                   // in order
  std::vector<std::unique_ptr<Block>> itsById;     // by id; null for a free id
  std::vector<uint32_t> itsFreeIds;
  kxBucketCounts itsCounts;

  mutable bool itsCacheValid = false;
  mutable uint32_t itsCacheIndex = 0;
  mutable int32_t itsCacheSection = 0;
  mutable uint32_t itsCacheBlock = 0;
  mutable uint32_t itsCacheOffset = 0;
};

// The records of each owner name, compared without regard to case.
class kxNameIndex {
 public:
  kxNameIndex() = default;
  kxNameIndex(const kxNameIndex&) = delete;
  kxNameIndex& operator=(const kxNameIndex&) = delete;

  // Until it is built, the index holds nothing and add and remove do nothing: a collection
  // that is never asked for a name (a zone being checked) does not pay for it.
  bool isBuilt() const { return itsBuilt; }
  // Built with the records of inOrder, as add would add them one by one in that order, for
  // at most inNames names (more grow it): the table is made once at its size, instead of
  // growing through sizes whose memory would stay with the process.
  void build(const kxRecordOrder& inOrder, size_t inNames);
  void add(kxResourceRecord* inRec);
  void remove(kxResourceRecord* inRec);
  // The first record of the names equal to inName without regard to case, or null; the
  // others follow on itsSameName[1].
  kxResourceRecord* find(std::string_view inName) const;
  // Empty and not built.
  void clear();
  // Whether two names are one name to the index (equal without regard to ASCII case).
  static bool sameName(std::string_view inName1, std::string_view inName2);

 private:
  static uint32_t foldedHash(std::string_view inName);
  size_t homeOf(uint32_t inHash) const;
  // The slot of the name's list, or the empty one where it would go.
  size_t slotOf(std::string_view inName, uint32_t inHash) const;
  void grow();
  // add with the name's hash known; the slot of the name's list.
  size_t addHashed(kxResourceRecord* inRec, uint32_t inHash);
  // inRec goes before inHead (or null) at the head of a list.
  static void link(kxResourceRecord* inRec, kxResourceRecord* inHead);

  // Open addressing with linear probing: the head of each name's list (null: empty slot)
  // and the hash of its folded name, so that probes and growth need not read the records.
  std::vector<kxResourceRecord*> itsHeads;
  std::vector<uint32_t> itsHashes;
  size_t itsUsed = 0;
  bool itsBuilt = false;
};

// The storage of a collection and the position of a walk over all types.
struct kxRecordCollection::Store {
  std::map<kxResRecType, std::unique_ptr<kxTypeArena>> itsArenas;
  // The arenas found last, by a hash of their type (findArena); an empty entry has no arena.
  struct RecentArena {
    kxResRecType itsType = kNoRecordType;
    kxTypeArena* itsArena = nullptr;
  };
  mutable std::array<RecentArena, 64> itsRecentArenas{};
  static size_t recentSlot(kxResRecType inType) {
    const auto value = static_cast<uint32_t>(inType);
    return (value ^ (value >> 16)) % 64;
  }
  std::map<const void*, kxRecordChunk*, std::less<>> itsChunks;  // by the start of their storage
  kxRecordOrder itsOrder;
  kxNameIndex itsNames;
  // The TTL texts of the stored records by number (0: none), each with the number of
  // records that use it; a deque, so that a text stays where it is while others come.
  std::deque<std::pair<std::string, uint32_t>> itsTTLTexts{{std::string(), 0}};
  std::unordered_map<std::string_view, uint32_t> itsTTLNumbers;
  std::vector<uint32_t> itsFreeTTLNumbers;

  // getRecord with any type and a section: the type reached and the records before it.
  bool itsAnyValid = false;
  kxResRecType itsAnyType = kNoRecordType;
  int32_t itsAnySection = 0;
  uint32_t itsAnyBase = 0;

  // At least as many as the owner names of the stored records, counted as records come
  // rather than in a pass over all of them when the name index is built: a record stored
  // behind a record of its name adds none (a zone's records of one name mostly stand
  // together), any other stored or renamed record one. Whenever a name comes into the
  // collection, one of these counts it.
  size_t itsNameBound = 0;
  void countName(const kxResourceRecord* inRec, const kxResourceRecord* inBefore) {
    if (inBefore == nullptr || !kxNameIndex::sameName(inBefore->getName(), inRec->getName())) ++itsNameBound;
  }

  // The name index, built from the collection order when it is first needed.
  const kxNameIndex& names() {
    if (!itsNames.isBuilt()) itsNames.build(itsOrder, std::min<size_t>(itsNameBound, itsOrder.size()));
    return itsNames;
  }
  kxTypeArena& arena(kxResRecType inType) {
    if (kxTypeArena* known = findArena(inType)) return *known;
    std::unique_ptr<kxTypeArena>& arena = itsArenas[inType];
    arena = std::make_unique<kxTypeArena>(inType);
    return *arena;
  }
  // Every record stored and every walk by type asks for its type's arena: the arenas found
  // last are kept by a hash of their type, so that most are found without a look at the map.
  kxTypeArena* findArena(kxResRecType inType) const {
    RecentArena& recent = itsRecentArenas[recentSlot(inType)];
    if (recent.itsArena != nullptr && recent.itsType == inType) return recent.itsArena;
    const auto found = itsArenas.find(inType);
    if (found == itsArenas.end()) return nullptr;
    recent = {inType, found->second.get()};
    return recent.itsArena;
  }
  // The chunk of a stored record, or null for any other address.
  kxRecordChunk* chunkOf(const kxResourceRecord* inRec) const {
    const auto address = reinterpret_cast<uintptr_t>(inRec);
    auto found = itsChunks.upper_bound(static_cast<const void*>(inRec));
    if (found == itsChunks.begin()) return nullptr;
    kxRecordChunk* chunk = (--found)->second;
    const auto start = reinterpret_cast<uintptr_t>(chunk->itsSlots);
    const uintptr_t offset = address - start;
    if (offset % sizeof(kxResourceRecord) != 0) return nullptr;
    const uintptr_t slot = offset / sizeof(kxResourceRecord);
    if (slot >= chunk->itsUsed || chunk->itsSections[slot] == 0) return nullptr;
    return chunk;
  }
  uint32_t internTTL(const std::string& inTTL) {
    if (inTTL.empty()) return 0;
    const auto found = itsTTLNumbers.find(inTTL);
    if (found != itsTTLNumbers.end()) {
      ++itsTTLTexts[found->second].second;
      return found->second;
    }
    uint32_t number;
    if (itsFreeTTLNumbers.empty()) {
      number = static_cast<uint32_t>(itsTTLTexts.size());
      itsTTLTexts.emplace_back(inTTL, 1);
    } else {
      number = itsFreeTTLNumbers.back();
      itsFreeTTLNumbers.pop_back();
      itsTTLTexts[number] = {inTTL, 1};
    }
    itsTTLNumbers.emplace(itsTTLTexts[number].first, number);
    return number;
  }
  void releaseTTL(uint32_t inNumber) {
    if (inNumber == 0 || --itsTTLTexts[inNumber].second != 0) return;
    itsTTLNumbers.erase(itsTTLTexts[inNumber].first);
    itsTTLTexts[inNumber].first = std::string();
    itsFreeTTLNumbers.push_back(inNumber);
  }
  // Destroys a record that has left the order and the name index.
  void release(kxResourceRecord* inRec, kxRecordChunk* inChunk) {
    releaseTTL(inRec->itsTTL);
    inRec->itsTTL = 0;
    kxTypeArena* arena = inChunk->itsArena;
    if (const void* freed = arena->release(inRec, inChunk)) itsChunks.erase(freed);
    // An arena without records goes, so that a long run of types leaves nothing behind,
    // with the chunks it still holds (slots whose record was never made).
    if (arena->count(kxRecordCollection::kAnySection) == 0) {
      for (const auto& chunk : arena->chunks()) itsChunks.erase(chunk->itsSlots);
      itsRecentArenas[recentSlot(arena->type())] = {};
      itsArenas.erase(arena->type());
    }
    itsAnyValid = false;
  }
  void clear() {
    itsRecentArenas.fill({});
    itsArenas.clear();
    itsChunks.clear();
    itsOrder.clear();
    itsNames.clear();
    itsNameBound = 0;
    itsTTLTexts.resize(1);
    itsTTLNumbers.clear();
    itsFreeTTLNumbers.clear();
    itsAnyValid = false;
  }
};

