// kxRecordCollection: the records of one zone, or of one DNS answer, with the zone's domain
// name, its default TTL and a property tree.
//
// The collection owns a copy of every record handed to it and hands out pointers to its
// copies. Each stored record lies in one section (answer, authority or additional), so a
// zone read from a master file (all answer) and a message split into its sections share the
// class. Two orders are kept at once:
//   - the type order: ascending by type number, records of one type in the order in which
//     they were stored;
//   - the collection order: the order of the lines of a master file, which callers change
//     (insert before an index, move, sort).
// Stored records are owned by the collection: their names are kept relative to its domain
// name (see kxResourceRecord).
//
// Zones hold millions of records, so no operation on one record walks the collection: the
// records of each type lie in their own chunked storage in type order, the collection order
// is kept in blocks with counts per section, and an index, built on the first lookup by
// name, finds the records of an owner name (see internal/kxrecordstore.h). Counts are kept exact as records come and go, and a
// walk by index (getRecord (0), (1), ... or backwards, per type and section) costs one step
// per record. A stored record that is renamed (setName, assignment) is filed again.
//
// Addresses of stored records stay valid until the record is removed or retyped
// (removeRecord, removeRecords, changeRecordType, replaceRecord when the type changes),
// or the collection is cleared, assigned to or destroyed. Moving and sorting keep them. An
// address is only read after it was found to be one of the collection's stored records.
//
// Preconditions are checked with kxAssert; no operation throws or returns an error value.
// A collection is a single-thread value: even the queries write to the walk positions.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
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
  // The same, taking the texts of inRec instead of copying them.
  kxResourceRecord* insertRecord(kxResourceRecord&& inRec, int32_t inBeforeRecord = -1,
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
  // The records whose stored owner name is inName without regard to case (a name as stored:
  // relative to the domain name, "" for the domain itself): the first, then nextNamed of
  // each until null, in no set order. Looks the name up in the name index (built on the
  // first lookup), so a walk over the names of a zone makes no copy of it.
  kxResourceRecord* firstNamed(std::string_view inName);
  static kxResourceRecord* nextNamed(const kxResourceRecord* inRec) { return inRec->itsSameName[1]; }
  // Whether a stored record is the one firstNamed gives for its name, so that a walk over
  // every record can take each name once. Meaningful once the name index is built, which
  // the first firstNamed call does.
  static bool isFirstNamed(const kxResourceRecord* inRec) { return inRec->itsSameName[0] == nullptr; }

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
  // first when inWriteTTL. Written so that a name server reads what was read: every record
  // of an RRset with the TTL of its first, and kept directives in their origin and TTL.
  void writeMasterFile(std::ostream& outStream, bool inWriteTTL);
  // The collection as trace lines.
  void dumpToLog();

 private:
  friend class kxResourceRecord;
  struct Store;

  template <typename Record>
  kxResourceRecord* storeRecord(Record&& inRec, int32_t inBeforeRecord, int32_t inSection);
  // Makes a stored copy owned by this collection and relative to its domain name.
  void adoptRecord(kxResourceRecord& ioRec);
  // The stored record at inRec, or null when inRec is not one (never reads *inRec then).
  kxResourceRecord* findStored(const kxResourceRecord* inRec) const;
  // Takes a stored record out of the collection and destroys it.
  void dropRecord(kxResourceRecord* inRec);
  // A stored record's TTL text, from the collection's pool of TTL texts.
  void setStoredTTL(kxResourceRecord* inRec, const std::string& inTTL);
  const std::string& storedTTL(uint32_t inNumber) const;
  // A stored record's name is about to change, or has changed.
  void unindexName(kxResourceRecord* inRec);
  void indexName(kxResourceRecord* inRec);
  // The records of inType (any for kAnyRecordType) in type order.
  std::vector<kxResourceRecord*> recordsInTypeOrder(kxResRecType inType) const;
  // Each live record whose TTL differs from that of its RRset's first record, with that first
  // record (kxrecordcollectionorder.cpp).
  std::unordered_map<const kxResourceRecord*, const kxResourceRecord*> firstsOfRRsets() const;

  std::string itsDomainName;
  kxProperties itsProperties;
  kxResourceRecord itsDefaultTTLRec;
  std::unique_ptr<Store> itsStore;
};
