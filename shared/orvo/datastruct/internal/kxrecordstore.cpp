#include "orvo/datastruct/internal/kxrecordstore.h"

#include <algorithm>
#include <new>
#include <random>

#include "orvo/debug/kxassert.h"

// ---- kxBucketCounts ----

void kxBucketCounts::add(size_t inBucket, int32_t inSection, int inDelta) {
  const auto delta = static_cast<uint32_t>(inDelta);
  const auto section = static_cast<size_t>(inSection);
  itsRaw[inBucket][0] += delta;
  itsRaw[inBucket][section] += delta;
  itsTotal[0] += delta;
  itsTotal[section] += delta;
  for (size_t i = inBucket + 1; i <= itsTree.size(); i += i & (~i + 1)) {
    itsTree[i - 1][0] += delta;
    itsTree[i - 1][section] += delta;
  }
}

uint32_t kxBucketCounts::before(size_t inBucket, int32_t inSection) const {
  uint32_t sum = 0;
  for (size_t i = inBucket; i > 0; i -= i & (~i + 1)) sum += itsTree[i - 1][static_cast<size_t>(inSection)];
  return sum;
}

size_t kxBucketCounts::find(uint32_t& ioIndex, int32_t inSection) const {
  const auto section = static_cast<size_t>(inSection);
  size_t position = 0;
  size_t step = 1;
  while (step * 2 <= itsTree.size()) step *= 2;
  for (; step != 0; step /= 2) {
    const size_t next = position + step;
    if (next <= itsTree.size() && itsTree[next - 1][section] <= ioIndex) {
      position = next;
      ioIndex -= itsTree[next - 1][section];
    }
  }
  return position;
}

void kxBucketCounts::insertBucket(size_t inBucket, const Counts& inCounts) {
  itsRaw.insert(itsRaw.begin() + static_cast<std::ptrdiff_t>(inBucket), inCounts);
  for (size_t s = 0; s < 4; ++s) itsTotal[s] += inCounts[s];
  if (inBucket + 1 < itsRaw.size()) {
    rebuild();
    return;
  }
  // A bucket at the end (a collection growing) renumbers none: its node of the tree is its
  // own counts and those of the nodes below it, so the tree grows without being built again.
  const size_t node = itsRaw.size();
  Counts sum = inCounts;
  for (size_t child = node - 1; child > node - (node & (~node + 1)); child -= child & (~child + 1))
    for (size_t s = 0; s < 4; ++s) sum[s] += itsTree[child - 1][s];
  itsTree.push_back(sum);
}

void kxBucketCounts::eraseBucket(size_t inBucket) {
  for (size_t s = 0; s < 4; ++s) itsTotal[s] -= itsRaw[inBucket][s];
  itsRaw.erase(itsRaw.begin() + static_cast<std::ptrdiff_t>(inBucket));
  rebuild();
}

void kxBucketCounts::assign(std::vector<Counts> inCounts) {
  itsRaw = std::move(inCounts);
  itsTotal = Counts{};
  for (const Counts& counts : itsRaw)
    for (size_t s = 0; s < 4; ++s) itsTotal[s] += counts[s];
  rebuild();
}

void kxBucketCounts::clear() {
  itsRaw.clear();
  itsTree.clear();
  itsTotal = Counts{};
}

void kxBucketCounts::rebuild() {
  itsTree = itsRaw;
  for (size_t i = 1; i <= itsTree.size(); ++i) {
    const size_t parent = i + (i & (~i + 1));
    if (parent <= itsTree.size())
      for (size_t s = 0; s < 4; ++s) itsTree[parent - 1][s] += itsTree[i - 1][s];
  }
}

// ---- kxRecordChunk and kxTypeArena ----

kxRecordChunk::kxRecordChunk(kxTypeArena* inArena, uint32_t inCapacity, uint64_t inSerial)
    : itsArena(inArena),
      itsSlots(static_cast<kxResourceRecord*>(::operator new(sizeof(kxResourceRecord) * inCapacity))),
      itsSections(new uint8_t[inCapacity]()),
      itsCapacity(inCapacity),
      itsSerial(inSerial) {}

kxRecordChunk::~kxRecordChunk() {
  for (uint32_t slot = 0; slot < itsUsed; ++slot)
    if (itsSections[slot] != 0) itsSlots[slot].~kxResourceRecord();
  ::operator delete(itsSlots);
  delete[] itsSections;
}

namespace {

// Chunks grow from a few slots (a collection of one answer stays small) to this many.
constexpr uint32_t kFirstChunk = 4;
constexpr uint32_t kLargestChunk = 256;

}  // namespace

kxTypeArena::~kxTypeArena() = default;

kxResourceRecord* kxTypeArena::allocate(kxRecordChunk*& outChunk, bool& outNewChunk) {
  outNewChunk = itsChunks.empty() || itsChunks.back()->itsUsed == itsChunks.back()->itsCapacity;
  if (outNewChunk) {
    const uint32_t capacity =
        itsChunks.empty() ? kFirstChunk : std::min(kLargestChunk, itsChunks.back()->itsCapacity * 2);
    auto chunk = std::make_unique<kxRecordChunk>(this, capacity, itsNextSerial++);
    chunk->itsPosition = static_cast<uint32_t>(itsChunks.size());
    itsChunks.push_back(std::move(chunk));
    itsCounts.insertBucket(itsChunks.size() - 1, kxBucketCounts::Counts{});
  }
  outChunk = itsChunks.back().get();
  return &outChunk->itsSlots[outChunk->itsUsed++];
}

void kxTypeArena::commit(kxResourceRecord* inRec, kxRecordChunk* inChunk, int32_t inSection) {
  inChunk->itsSections[inChunk->slotOf(inRec)] = static_cast<uint8_t>(inSection);
  ++inChunk->itsLive;
  itsCounts.add(inChunk->itsPosition, inSection, 1);
  itsCacheValid = false;
}

const void* kxTypeArena::release(kxResourceRecord* inRec, kxRecordChunk* inChunk) {
  const uint32_t slot = inChunk->slotOf(inRec);
  itsCounts.add(inChunk->itsPosition, inChunk->itsSections[slot], -1);
  inChunk->itsSections[slot] = 0;
  inRec->~kxResourceRecord();
  itsCacheValid = false;
  if (--inChunk->itsLive != 0) return nullptr;

  // An empty chunk gives its memory back; the chunks after it move up one place.
  const void* start = inChunk->itsSlots;
  const uint32_t position = inChunk->itsPosition;
  itsChunks.erase(itsChunks.begin() + position);
  itsCounts.eraseBucket(position);
  for (uint32_t i = position; i < itsChunks.size(); ++i) itsChunks[i]->itsPosition = i;
  return start;
}

kxResourceRecord* kxTypeArena::at(uint32_t inIndex, int32_t inSection) const {
  if (inIndex >= itsCounts.total(inSection)) return nullptr;
  // A step of one from the last position (either way) stays in or next to its chunk.
  if (itsCacheValid && itsCacheSection == inSection && (inIndex == itsCacheIndex + 1 || inIndex + 1 == itsCacheIndex ||
                                                        inIndex == itsCacheIndex)) {
    uint32_t chunk = itsCacheChunk;
    int64_t slot = itsCacheSlot;
    const int step = inIndex > itsCacheIndex ? 1 : (inIndex < itsCacheIndex ? -1 : 0);
    if (step != 0) {
      for (;;) {
        slot += step;
        if (slot < 0) {
          --chunk;
          slot = itsChunks[chunk]->itsUsed - 1;
        } else if (slot >= itsChunks[chunk]->itsUsed) {
          ++chunk;
          slot = 0;
        }
        const uint8_t section = itsChunks[chunk]->itsSections[slot];
        if (section != 0 && (inSection == 0 || section == inSection)) break;
      }
    }
    itsCacheIndex = inIndex;
    itsCacheChunk = chunk;
    itsCacheSlot = static_cast<uint32_t>(slot);
    return &itsChunks[chunk]->itsSlots[slot];
  }

  uint32_t within = inIndex;
  const size_t chunkIndex = itsCounts.find(within, inSection);
  const kxRecordChunk& chunk = *itsChunks[chunkIndex];
  uint32_t slot = 0;
  for (;; ++slot) {
    const uint8_t section = chunk.itsSections[slot];
    if (section != 0 && (inSection == 0 || section == inSection) && within-- == 0) break;
  }
  itsCacheValid = true;
  itsCacheIndex = inIndex;
  itsCacheSection = inSection;
  itsCacheChunk = static_cast<uint32_t>(chunkIndex);
  itsCacheSlot = slot;
  return &chunk.itsSlots[slot];
}

// ---- kxRecordOrder ----

kxBucketCounts::Counts kxRecordOrder::countsOf(const Block* inBlock) {
  kxBucketCounts::Counts counts{};
  for (const kxResourceRecord* rec : inBlock->itsItems) {
    ++counts[0];
    ++counts[rec->itsSection];
  }
  return counts;
}

kxRecordOrder::Block* kxRecordOrder::newBlock(size_t inPosition) {
  uint32_t id;
  if (itsFreeIds.empty()) {
    id = static_cast<uint32_t>(itsById.size());
    itsById.emplace_back();
  } else {
    id = itsFreeIds.back();
    itsFreeIds.pop_back();
  }
  // A record keeps its block's id in 24 bits; blocks hold up to kMaxBlock records each and
  // are made full or by halves, so no real collection has that many at once.
  kxAssert(id < (1u << 24));
  itsById[id] = std::make_unique<Block>();
  Block* block = itsById[id].get();
  block->itsId = id;
  itsBlocks.insert(itsBlocks.begin() + static_cast<std::ptrdiff_t>(inPosition), block);
  for (size_t i = inPosition; i < itsBlocks.size(); ++i) itsBlocks[i]->itsPosition = static_cast<uint32_t>(i);
  itsCounts.insertBucket(inPosition, kxBucketCounts::Counts{});
  return block;
}

void kxRecordOrder::dropBlock(Block* inBlock) {
  const size_t position = inBlock->itsPosition;
  itsBlocks.erase(itsBlocks.begin() + static_cast<std::ptrdiff_t>(position));
  for (size_t i = position; i < itsBlocks.size(); ++i) itsBlocks[i]->itsPosition = static_cast<uint32_t>(i);
  itsCounts.eraseBucket(position);
  itsFreeIds.push_back(inBlock->itsId);
  itsById[inBlock->itsId].reset();
}

// A full block hands its second half to a new block behind it.
void kxRecordOrder::splitBlock(Block* inBlock) {
  Block* next = newBlock(inBlock->itsPosition + 1);
  const size_t half = inBlock->itsItems.size() / 2;
  next->itsItems.assign(inBlock->itsItems.begin() + static_cast<std::ptrdiff_t>(half), inBlock->itsItems.end());
  inBlock->itsItems.resize(half);
  for (kxResourceRecord* rec : next->itsItems) {
    rec->itsOrderBlock = next->itsId;
    itsCounts.add(inBlock->itsPosition, rec->itsSection, -1);
    itsCounts.add(next->itsPosition, rec->itsSection, 1);
  }
}

size_t kxRecordOrder::offsetIn(const Block* inBlock, const kxResourceRecord* inRec) const {
  return static_cast<size_t>(std::find(inBlock->itsItems.begin(), inBlock->itsItems.end(), inRec) -
                             inBlock->itsItems.begin());
}

void kxRecordOrder::pushBack(kxResourceRecord* inRec) {
  if (itsBlocks.empty() || itsBlocks.back()->itsItems.size() >= kMaxBlock) newBlock(itsBlocks.size());
  Block* block = itsBlocks.back();
  block->itsItems.push_back(inRec);
  inRec->itsOrderBlock = block->itsId;
  itsCounts.add(block->itsPosition, inRec->itsSection, 1);
  itsCacheValid = false;
}

void kxRecordOrder::insert(uint32_t inIndex, kxResourceRecord* inRec) {
  if (inIndex >= size()) {
    pushBack(inRec);
    return;
  }
  uint32_t offset = inIndex;
  Block* block = itsBlocks[itsCounts.find(offset, 0)];
  block->itsItems.insert(block->itsItems.begin() + offset, inRec);
  inRec->itsOrderBlock = block->itsId;
  itsCounts.add(block->itsPosition, inRec->itsSection, 1);
  if (block->itsItems.size() > kMaxBlock) splitBlock(block);
  itsCacheValid = false;
}

void kxRecordOrder::erase(kxResourceRecord* inRec) {
  Block* block = itsById[inRec->itsOrderBlock].get();
  block->itsItems.erase(block->itsItems.begin() + static_cast<std::ptrdiff_t>(offsetIn(block, inRec)));
  itsCounts.add(block->itsPosition, inRec->itsSection, -1);
  if (block->itsItems.empty()) dropBlock(block);
  itsCacheValid = false;
}

void kxRecordOrder::replace(kxResourceRecord* inOld, kxResourceRecord* inNew) {
  Block* block = itsById[inOld->itsOrderBlock].get();
  block->itsItems[offsetIn(block, inOld)] = inNew;
  inNew->itsOrderBlock = block->itsId;
  itsCacheValid = false;
}

kxResourceRecord* kxRecordOrder::at(uint32_t inIndex, int32_t inSection) const {
  if (inIndex >= itsCounts.total(inSection)) return nullptr;
  if (itsCacheValid && itsCacheSection == inSection && (inIndex == itsCacheIndex + 1 || inIndex + 1 == itsCacheIndex ||
                                                        inIndex == itsCacheIndex)) {
    uint32_t block = itsCacheBlock;
    int64_t offset = itsCacheOffset;
    const int step = inIndex > itsCacheIndex ? 1 : (inIndex < itsCacheIndex ? -1 : 0);
    if (step != 0) {
      for (;;) {
        offset += step;
        if (offset < 0) {
          --block;
          offset = static_cast<int64_t>(itsBlocks[block]->itsItems.size()) - 1;
        } else if (offset >= static_cast<int64_t>(itsBlocks[block]->itsItems.size())) {
          ++block;
          offset = 0;
        }
        if (inSection == 0 || itsBlocks[block]->itsItems[static_cast<size_t>(offset)]->itsSection == inSection) break;
      }
    }
    itsCacheIndex = inIndex;
    itsCacheBlock = block;
    itsCacheOffset = static_cast<uint32_t>(offset);
    return itsBlocks[block]->itsItems[static_cast<size_t>(offset)];
  }

  uint32_t within = inIndex;
  const size_t blockIndex = itsCounts.find(within, inSection);
  const Block& block = *itsBlocks[blockIndex];
  size_t offset = within;
  if (inSection != 0 && itsCounts.bucket(blockIndex, inSection) != block.itsItems.size()) {
    for (offset = 0;; ++offset)
      if (block.itsItems[offset]->itsSection == inSection && within-- == 0) break;
  }
  itsCacheValid = true;
  itsCacheIndex = inIndex;
  itsCacheSection = inSection;
  itsCacheBlock = static_cast<uint32_t>(blockIndex);
  itsCacheOffset = static_cast<uint32_t>(offset);
  return block.itsItems[offset];
}

uint32_t kxRecordOrder::indexOf(const kxResourceRecord* inRec, int32_t inSection) const {
  const Block* block = itsById[inRec->itsOrderBlock].get();
  uint32_t index = itsCounts.before(block->itsPosition, inSection);
  // A block of one section (a zone's are all answers) needs no look at the records.
  if (inSection == 0 || itsCounts.bucket(block->itsPosition, inSection) == block->itsItems.size())
    return index + static_cast<uint32_t>(offsetIn(block, inRec));
  for (const kxResourceRecord* rec : block->itsItems) {
    if (rec == inRec) break;
    if (inSection == 0 || rec->itsSection == inSection) ++index;
  }
  return index;
}

std::vector<kxResourceRecord*> kxRecordOrder::toVector() const {
  std::vector<kxResourceRecord*> records;
  records.reserve(size());
  forEach([&records](kxResourceRecord* inRec) { records.push_back(inRec); });
  return records;
}

void kxRecordOrder::assign(const std::vector<kxResourceRecord*>& inRecords) {
  clear();
  // Blocks filled to half leave room for insertions before a split.
  const size_t fill = kMaxBlock / 2;
  for (size_t first = 0; first < inRecords.size(); first += fill) {
    auto block = std::make_unique<Block>();
    block->itsId = static_cast<uint32_t>(itsById.size());
    block->itsPosition = static_cast<uint32_t>(itsBlocks.size());
    block->itsItems.assign(inRecords.begin() + static_cast<std::ptrdiff_t>(first),
                           inRecords.begin() + static_cast<std::ptrdiff_t>(std::min(inRecords.size(), first + fill)));
    for (kxResourceRecord* rec : block->itsItems) rec->itsOrderBlock = block->itsId;
    itsBlocks.push_back(block.get());
    itsById.push_back(std::move(block));
  }
  std::vector<kxBucketCounts::Counts> counts;
  counts.reserve(itsBlocks.size());
  for (const Block* block : itsBlocks) counts.push_back(countsOf(block));
  itsCounts.assign(std::move(counts));
}

void kxRecordOrder::clear() {
  itsBlocks.clear();
  itsById.clear();
  itsFreeIds.clear();
  itsCounts.clear();
  itsCacheValid = false;
}

// ---- kxNameIndex ----

namespace {

char foldChar(char inChar) { return (inChar >= 'a' && inChar <= 'z') ? static_cast<char>(inChar - 'a' + 'A') : inChar; }

bool equalFolded(std::string_view inName1, std::string_view inName2) {
  if (inName1.size() != inName2.size()) return false;
  for (size_t i = 0; i < inName1.size(); ++i)
    if (foldChar(inName1[i]) != foldChar(inName2[i])) return false;
  return true;
}

// Seeded per process, so that names chosen to collide in one run do not in the next.
uint64_t hashSeed() {
  static const uint64_t seed = (uint64_t(std::random_device()()) << 32) ^ std::random_device()();
  return seed;
}

}  // namespace

uint32_t kxNameIndex::foldedHash(std::string_view inName) {
  uint64_t hash = 0xcbf29ce484222325ull ^ hashSeed();
  for (const char c : inName) {
    hash ^= static_cast<unsigned char>(foldChar(c));
    hash *= 0x100000001b3ull;
  }
  // The high half of a multiply by the golden ratio spreads all the bits over the top ones,
  // which homeOf takes: names that differ in their last letter are far apart in the table.
  return static_cast<uint32_t>((hash * 0x9e3779b97f4a7c15ull) >> 32);
}

// The table may have any size, not only a power of two: the hash scaled to it by a multiply
// rather than a division.
size_t kxNameIndex::homeOf(uint32_t inHash) const {
  return static_cast<size_t>((uint64_t(inHash) * itsHeads.size()) >> 32);
}

size_t kxNameIndex::slotOf(std::string_view inName, uint32_t inHash) const {
  // A record is looked at only when the hash of its slot matches.
  for (size_t slot = homeOf(inHash);; slot = slot + 1 == itsHeads.size() ? 0 : slot + 1)
    if (!itsHeads[slot] || (itsHashes[slot] == inHash && equalFolded(itsHeads[slot]->getName(), inName))) return slot;
}

void kxNameIndex::grow() {
  const size_t size = std::max<size_t>(16, itsHeads.size() + itsHeads.size() / 2);
  std::vector<kxResourceRecord*> heads(size, nullptr);
  std::vector<uint32_t> hashes(size, 0);
  heads.swap(itsHeads);
  hashes.swap(itsHashes);
  // The names are distinct: each takes the first free slot from its home.
  for (size_t i = 0; i < heads.size(); ++i) {
    if (!heads[i]) continue;
    size_t slot = homeOf(hashes[i]);
    while (itsHeads[slot]) slot = slot + 1 == size ? 0 : slot + 1;
    itsHeads[slot] = heads[i];
    itsHashes[slot] = hashes[i];
  }
}

void kxNameIndex::add(kxResourceRecord* inRec) {
  if (!itsBuilt) return;
  addHashed(inRec, foldedHash(inRec->getName()));
}

void kxNameIndex::link(kxResourceRecord* inRec, kxResourceRecord* inHead) {
  inRec->itsSameName[0] = nullptr;
  inRec->itsSameName[1] = inHead;
  if (inHead) inHead->itsSameName[0] = inRec;
}

size_t kxNameIndex::addHashed(kxResourceRecord* inRec, uint32_t inHash) {
  // Linear probing stays short up to four fifths full; growing by half keeps the table
  // from being more than half empty.
  if ((itsUsed + 1) * 5 > itsHeads.size() * 4) grow();
  const size_t slot = slotOf(inRec->getName(), inHash);
  kxResourceRecord*& head = itsHeads[slot];
  link(inRec, head);
  if (!head) {
    ++itsUsed;
    itsHashes[slot] = inHash;
  }
  head = inRec;
  return slot;
}

// The records, their names and the table are larger than the caches, and the order walks the
// records of all types at once. So the work on each record is spread over a pipeline, kAhead
// records apart: the record is fetched, then the text of its name (a long name lives apart
// from it), then the name is hashed and its slot in the table fetched, then it is inserted;
// the misses of several records overlap rather than come one after the other. A record of the
// name added just before is put at the head of its list in the slot found then (nothing has
// moved since: only a new name grows the table).
void kxNameIndex::build(const kxRecordOrder& inOrder, size_t inNames) {
  itsBuilt = true;
  const size_t size = std::max<size_t>(16, inNames + inNames / 4 + 1);
  itsHeads.assign(size, nullptr);
  itsHashes.assign(size, 0);

  constexpr size_t kAhead = 8;
  kxResourceRecord* last = nullptr;
  size_t lastSlot = 0;
  inOrder.forEachBlock([&](std::span<kxResourceRecord* const> inRecs) {
    const size_t count = inRecs.size();
    uint32_t hashes[kAhead];
    const auto fetchName = [&](size_t inIndex) { __builtin_prefetch(inRecs[inIndex]->getName().data()); };
    const auto hashName = [&](size_t inIndex) {
      hashes[inIndex % kAhead] = foldedHash(inRecs[inIndex]->getName());
      const size_t home = homeOf(hashes[inIndex % kAhead]);
      __builtin_prefetch(&itsHeads[home]);
      __builtin_prefetch(&itsHashes[home]);
    };
    for (size_t i = 0; i < std::min(count, 3 * kAhead); ++i) __builtin_prefetch(inRecs[i]);
    for (size_t i = 0; i < std::min(count, 2 * kAhead); ++i) fetchName(i);
    for (size_t i = 0; i < std::min(count, kAhead); ++i) hashName(i);
    for (size_t i = 0; i < count; ++i) {
      if (i + 3 * kAhead < count) __builtin_prefetch(inRecs[i + 3 * kAhead]);
      if (i + 2 * kAhead < count) fetchName(i + 2 * kAhead);
      const uint32_t hash = hashes[i % kAhead];
      if (i + kAhead < count) hashName(i + kAhead);
      kxResourceRecord* rec = inRecs[i];
      if (last != nullptr && sameName(last->getName(), rec->getName())) {
        link(rec, last);
        itsHeads[lastSlot] = rec;
      } else {
        lastSlot = addHashed(rec, hash);
      }
      last = rec;
    }
  });
}

void kxNameIndex::remove(kxResourceRecord* inRec) {
  if (!itsBuilt) return;
  kxResourceRecord* previous = inRec->itsSameName[0];
  kxResourceRecord* next = inRec->itsSameName[1];
  if (next) next->itsSameName[0] = previous;
  inRec->itsSameName[0] = inRec->itsSameName[1] = nullptr;
  if (previous) {
    previous->itsSameName[1] = next;
    return;
  }
  size_t slot = slotOf(inRec->getName(), foldedHash(inRec->getName()));
  if (next) {
    itsHeads[slot] = next;
    return;
  }
  // The name's last record: the slot is emptied, and the entries after it in its probe run
  // move up where their own probe would find them (deletion without tombstones).
  const size_t size = itsHeads.size();
  itsHeads[slot] = nullptr;
  --itsUsed;
  for (size_t probe = slot + 1 == size ? 0 : slot + 1; itsHeads[probe]; probe = probe + 1 == size ? 0 : probe + 1) {
    const size_t home = homeOf(itsHashes[probe]);
    // The entry stays when its home lies cyclically in (slot, probe].
    const bool stays = slot <= probe ? (slot < home && home <= probe) : (slot < home || home <= probe);
    if (stays) continue;
    itsHeads[slot] = itsHeads[probe];
    itsHashes[slot] = itsHashes[probe];
    itsHeads[probe] = nullptr;
    slot = probe;
  }
}

bool kxNameIndex::sameName(std::string_view inName1, std::string_view inName2) {
  return equalFolded(inName1, inName2);
}

kxResourceRecord* kxNameIndex::find(std::string_view inName) const {
  if (itsHeads.empty()) return nullptr;
  return itsHeads[slotOf(inName, foldedHash(inName))];
}

void kxNameIndex::clear() {
  itsHeads = std::vector<kxResourceRecord*>();
  itsHashes = std::vector<uint32_t>();
  itsBuilt = false;
  itsUsed = 0;
}
