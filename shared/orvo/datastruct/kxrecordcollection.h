// kxRecordCollection: the records of one zone, or of one DNS answer, with the zone's domain
// name, its default TTL and a property tree.
//
// The collection owns a copy of every record handed to it and hands out pointers to its
// copies. Each stored record lies in one section (answer, authority or additional), so a
// zone read from a master file (all answer) and a message split into its sections share the
// class. Two orders are kept at once:
//   - the type order: the record store, a multimap from type to record, ascending by type
//     number, records of one type in the order in which they were stored;
//   - the collection order: itsRecordVector, one iterator into the store per record, the
//     order of the lines of a master file, which callers change (insert before an index,
//     move, sort).
// Stored records are owned by the collection: their names are kept relative to its domain
// name (see kxResourceRecord).
//
// Callers walk the records of one type by index, so two caches keep that cheap: per section
// (0 = any, 1 to 3) and per type the number of matching records plus one (0 or no entry:
// not known), and the position of the last record found by a filtered getRecord. Every
// operation that stores, removes or retypes records drops the counts it can change and the
// lookup position, so neither ever refers to a removed record.
//
// Addresses of stored records stay valid until the record is removed or retyped
// (removeRecord, removeRecords, changeRecordType, replaceRecord when the type changes),
// or the collection is cleared, assigned to or destroyed. Moving and sorting keep them.
//
// Preconditions are checked with kxAssert; no operation throws or returns an error value.
// A collection is a single-thread value: even the queries write to the caches.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <map>
#include <string>
#include <vector>

#include "orvo/datastruct/kxresourcerecord.h"
#include "orvo/datastruct/kxresrectype.h"
#include "orvo/util/kxproperties.h"

class kxRecordCollection {
 public:
  // Sections; kAnySection only as a query argument.
  static constexpr int32_t kAnySection = 0;
  static constexpr int32_t kAnswerSection = 1;
  static constexpr int32_t kAuthoritySection = 2;
  static constexpr int32_t kAdditionalSection = 3;
  static constexpr int32_t kNumSections = 4;

  // Sort keys of sortRecords.
  static constexpr int32_t kSortByName = 0;
  static constexpr int32_t kSortByType = 1;

  // A stored record and its section.
  struct recordData {
    kxResourceRecord record;
    int32_t section;
  };

  using RecordStore = std::multimap<kxResRecType, recordData>;
  using RecordIterator = RecordStore::iterator;

  // findRecordIf's test: (record, its section, the caller's value) -> stop here.
  using RecordCallback = bool (*)(kxResourceRecord* inRecord, int32_t inSection, void* inUserValue);

  // inDomainName may be null (domain name ""); it must be empty or end in ".".
  explicit kxRecordCollection(const char* inDomainName = nullptr);
  explicit kxRecordCollection(const std::string& inDomainName);
  kxRecordCollection(const kxRecordCollection& inOther);
  kxRecordCollection& operator=(const kxRecordCollection& inOther);
  virtual ~kxRecordCollection();

  // ---- storing and removing (indices are positions in the collection order) ----

  // Stores a copy of inRec in inSection, before the record at index inBeforeRecord (at the
  // end for -1 or an index past the end). A kControlTTL record is not stored: it becomes the
  // default TTL record and the result is null.
  kxResourceRecord* insertRecord(const kxResourceRecord& inRec, int32_t inBeforeRecord = -1,
                                 int32_t inSection = kAnswerSection);
  kxResourceRecord* addRecord(const std::string& inName, const std::string& inTTL, kxResRecType inType,
                              const std::string& inData, const std::string& inComment = std::string(),
                              bool inEnabled = true, int32_t inBeforeRecord = -1,
                              int32_t inSection = kAnswerSection);
  void removeRecord(const kxResourceRecord* inRec);
  // Removes the records of inType (any type for kAnyRecordType) whose stored name is exactly
  // inName; every record of the type when inName is null.
  void removeRecords(const char* inName, kxResRecType inType);
  // Copies the fields of inRec (not the aging text) into the record at inIndex of the
  // collection order and gives it inRec's type; the result is its (possibly new) address.
  kxResourceRecord* replaceRecord(uint32_t inIndex, const kxResourceRecord& inRec);
  // The result is the record's new address; inRec is invalid afterwards unless the type
  // was already inType.
  kxResourceRecord* changeRecordType(kxResourceRecord* inRec, kxResRecType inType);
  // Moves the record at inOldIndex just before the record that stood at inNewIndex.
  void moveRecord(uint32_t inOldIndex, uint32_t inNewIndex);
  // Removes every record and the properties; keeps the domain name and the default TTL.
  void clear();

  // ---- queries (kAnyRecordType: any type; kAnySection: any section) ----

  uint32_t getRecordCount(kxResRecType inRecType = kAnyRecordType, int32_t inSection = kAnySection) const;
  // The record at inIndex among the matching records: in collection order when neither type
  // nor section is given, otherwise in type order. Null past the end.
  kxResourceRecord* getRecord(uint32_t inIndex, kxResRecType inRecType = kAnyRecordType,
                              int32_t inSection = kAnySection);
  const kxResourceRecord* getRecord(uint32_t inIndex, kxResRecType inRecType = kAnyRecordType,
                                    int32_t inSection = kAnySection) const;
  // Position of a stored record among the records of inSection, in collection order.
  uint32_t getRecordIndex(const kxResourceRecord* inRec, int32_t inSection = kAnySection) const;
  bool containsRecord(const kxResourceRecord* inRec) const;
  // Name and data are compared without regard to case with the stored (relative) texts.
  bool recordExists(const std::string& inName, kxResRecType inRecType, const std::string& inData,
                    int32_t inSection = kAnySection) const;
  kxResourceRecord* findRecordByID(int32_t inID);
  // Counts the records of inType and inSection named inName (null: any name; the domain
  // suffix is removed first, case does not matter). With outCollection, which is cleared
  // first, a copy of each with its full name is added to it.
  uint32_t findRecords(kxRecordCollection* outCollection, const char* inName, kxResRecType inType,
                       int32_t inSection = kAnySection);
  // The first record, in collection order, for which inCallback answers true.
  kxResourceRecord* findRecordIf(RecordCallback inCallback, void* inUserValue);

  // ---- zone attributes ----

  const std::string& getDomainName() const { return itsDomainName; }
  // With inRelativize, every stored record's name and data are made relative to the new name.
  void setDomainName(const std::string& inDomainName, bool inRelativize = false);
  void setDomainName(const char* inDomainName, bool inRelativize = false);
  const std::string& getDefaultTTL() const { return itsDefaultTTLRec.getTTL(); }
  void setDefaultTTL(const std::string& inTTL);
  void setDefaultTTL(const kxResourceRecord& inTTLRec);
  const kxResourceRecord& getDefaultTTLRecord() const { return itsDefaultTTLRec; }

  const kxProperties& getProperties() const { return itsProperties; }
  kxProperties& getProperties() { return itsProperties; }

  // Stores copies of inOther's records (names made absolute where the domains differ) and
  // merges its properties.
  void appendRecords(const kxRecordCollection& inOther);
  // Advances the serial number of the first SOA record; 0 when there is none.
  uint32_t incrementSerial();

  // ---- ordering and text output (kxrecordcollectionorder.cpp) ----

  // Reorders the collection order by kSortByName or kSortByType. The sections stay apart,
  // SOA records come first and blank lines last in each section. Addresses do not change.
  void sortRecords(int32_t inSortKey, bool inDescending = false);
  static bool isRecordTypeSortOrderInited();
  static void initRecordTypeSortOrder();
  // The rank of a type in the sort orders (smaller first).
  static int32_t getRecordTypeSortOrder(kxResRecType inType);
  // Field-wise comparison of the data of two records of one type: -1, 0 or 1.
  static int compareRecordData(const kxResourceRecord& inRec1, const kxResourceRecord& inRec2);
  // Names as the sort orders compare them: signed characters, a-z taken as A-Z; -1, 0 or 1.
  static int compareSortNames(const char* inName1, const char* inName2);
  // The whole comparison of two stored records for inSortKey and direction: -1, 0 or 1.
  static int compareRecords(const recordData& inData1, const recordData& inData2, int32_t inSortKey,
                            bool inDescending);
  // The records as master-file lines (all must be in the answer section), with a $TTL line
  // first when inWriteTTL.
  void writeMasterFile(std::ostream& outStream, bool inWriteTTL);
  // The collection as trace lines.
  void dumpToLog();

 private:
  // Counts are kept per section value 0 to 3.
  using CountCache = std::map<kxResRecType, uint32_t>;

  // Forgets the last indexed lookup.
  void clearLookupCache() const;
  // Drops the cached counts of inType and of kAnyRecordType in every section.
  void dropCounts(kxResRecType inType) const;
  // Makes a stored copy owned by this collection and relative to its domain name.
  void adoptRecord(kxResourceRecord& ioRec);
  // The position of inRec in itsRecordVector, or itsRecordVector.end().
  std::vector<RecordIterator>::const_iterator findInVector(const kxResourceRecord* inRec) const;
  // The filtered walk of getRecord.
  kxResourceRecord* lookupRecord(uint32_t inIndex, kxResRecType inRecType, int32_t inSection) const;

  std::string itsDomainName;
  RecordStore itsRecords;
  std::vector<RecordIterator> itsRecordVector;
  kxProperties itsProperties;
  kxResourceRecord itsDefaultTTLRec;

  // Lookup cache of getRecord; itsCacheValid false when empty.
  mutable RecordIterator itsCacheIter;
  mutable kxResRecType itsCacheType;
  mutable uint32_t itsCacheIndex;
  mutable int32_t itsCacheSection;
  mutable bool itsCacheValid;

  mutable CountCache itsCountCache[kNumSections];
};
