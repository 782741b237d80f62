// kxResourceRecord: one DNS resource record held as text fields.
//
// The owner name, the TTL, the data, the comment and the aging mark are strings; only the
// type is numeric. The data fields are separated by kDataSeperator (a tab) and quoted
// strings are stored without their quotes; the record never interprets a field beyond
// splitting the data, except where a field is a domain name (see isDomainNameField).
//
// A record is free, or owned by the record collection that stores it (itsCollection). While
// owned, its owner name and the domain-name fields of its data are kept relative to the
// collection's domain name: the suffix is removed as names are set (stripDomain), a name
// equal to the domain is stored as "", and names outside the domain stay absolute. Letter
// case is kept as name servers keep it: an owner's suffix written in other case than the
// domain's is kept beside the name, and a name in data is made relative only where its
// suffix has the domain's very case.
// getFullName() and a qualified getDataField() give the names back in full. The same class
// carries comment-only lines (type 0), disabled lines and the $TTL, $INCLUDE and $GENERATE
// directives (the control types), so that a zone read from text is written back line for
// line by writeRecordText().
//
// Records are single-thread values without locks. The record type table behind
// getDataFormat() and getTypeName() is constant, safe to read from any thread.
//
// With the option of the added types on (kxSetExtendedRecordTypes, kxresrectype.h),
// getTypeFromName, getTypeName and getDataFormat know the added types and TYPEnnn too; their records are
// ordinary records of format kFormatFields (or of a table format whose data reads alike), or
// of kFormatGeneric, whose data is the generic form "\# length hex" and is written unchanged.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>

#include "orvo/datastruct/kxresrectype.h"
#include "orvo/util/kxproperties.h"

class kxRecordCollection;

inline constexpr char kDataSeperator = '\t';

class kxResourceRecord {
 public:
  kxResourceRecord();
  kxResourceRecord(kxRecordCollection* inCollection, const std::string& inName, const std::string& inTTL,
                   kxResRecType inType, const std::string& inData, const std::string& inComment,
                   bool inEnabled = true);
  kxResourceRecord(kxRecordCollection* inCollection, const std::string& inName, const std::string& inTTL,
                   kxResRecType inType, const std::string& inData, const std::string& inComment,
                   const std::string& inAging, bool inEnabled);
  // A copy is free: it has no owning collection.
  kxResourceRecord(const kxResourceRecord& inOther);
  kxResourceRecord(kxResourceRecord&& inOther) noexcept;
  // Assignment copies every field, the owning collection included; a record stored in a
  // collection keeps its owner and its type (names are made relative to its domain).
  kxResourceRecord& operator=(const kxResourceRecord& inOther);
  kxResourceRecord& operator=(kxResourceRecord&& inOther) noexcept;
  ~kxResourceRecord();

  int32_t getID() const { return itsID; }
  void setID(int32_t inID) { itsID = inID; }

  const std::string& getName() const { return itsName; }
  void setName(const std::string& inName);

  kxResRecType type() const { return itsType; }
  // Only for records without an owner (asserted; an owned record keeps its type); a stored
  // record changes type through its collection.
  void setType(kxResRecType inType);

  const std::string& getTTL() const;
  void setTTL(const std::string& inTTL);
  // The TTL in seconds, or -1 when the text is empty or not a TTL.
  int32_t getTTLSeconds() const;

  const std::string& getData() const { return itsData; }
  void setData(const std::string& inData);

  const std::string& getComment() const;
  void setComment(const std::string& inComment);

  const std::string& getAging() const;
  void setAging(const std::string& inAging);

  bool isEnabled() const { return itsEnabled; }
  void setEnabled(bool inEnabled) { itsEnabled = inEnabled; }

  const kxProperties& getProperties() const;
  kxProperties& getProperties();
  void setProperties(const kxProperties& inProperties);

  kxRecordCollection* getCollection() const { return itsCollection; }

  uint16_t countDataFields() const;
  // Field inIndex of the data; with inQualify, a relative domain-name field comes back in full.
  std::string getDataField(uint32_t inIndex, bool inQualify = false) const;
  // Replaces field inIndex, adding empty fields up to it when the data has fewer.
  void setDataField(uint32_t inIndex, const std::string& inValue);

  // The owner name qualified with the owning collection's domain name, in the letter case in
  // which it was set.
  std::string getFullName() const;
  bool relativizeName();
  bool relativizeData();

  // True for a record without name, TTL, data and type (and comment, unless ignored).
  bool isEmpty(bool inIgnoreComment = false) const;

  // The record's text line: tab-separated, class written, names as stored (an owner whose
  // domain was written in other letter case in full, as written).
  void writeText(std::ostream& outStream) const;
  // The same with inTTL in place of the record's TTL text.
  void writeText(std::ostream& outStream, const std::string& inTTL) const;
  // The text line and " (ID)" as a trace line.
  void logRecord() const;

  static char getDataSeparator() { return kDataSeperator; }
  static kxResRecType getTypeFromName(const std::string& inName);
  static const char* getTypeName(kxResRecType inType);
  static int32_t getDataFormat(kxResRecType inType);
  // Whether field inIndex is a domain name. Where an earlier field tells the form (an
  // IPSECKEY gateway, an AMTRELAY relay, A6), inData must hold the fields before inIndex;
  // without them such a field is no name.
  static bool isDomainNameField(kxResRecType inType, uint32_t inIndex, std::string_view inData = {});
  static bool hasDomainNameFields(kxResRecType inType);
  static kxResRecType wireTypeToRecordType(uint32_t inWireType);
  static uint16_t recordTypeToWireType(kxResRecType inType);

  static std::string extractDataField(const std::string& inData, uint32_t inIndex);
  // Removes the domain as a suffix at a label boundary (or after a tab) from ioName;
  // returns whether the name changed.
  static bool stripDomain(const std::string& inDomain, std::string& ioName);
  static bool relativizeDataFields(const std::string& inDomain, kxResRecType inType, std::string& ioData);
  // Qualifies the domain-name fields with inOrigin and quotes NAPTR's text fields.
  static bool qualifyDataFields(const std::string& inOrigin, kxResRecType inType, std::string& ioData);

  // One record as a text line, its fields joined by inSeparator. inAging and inOrigin may be
  // null; with an origin the owner and the domain-name fields are written in full.
  static void writeRecordText(std::ostream& outStream, const char* inName, const char* inTTL, kxResRecType inType,
                              const char* inData, const char* inComment, const char* inAging, bool inEnabled,
                              const char* inOrigin, bool inWriteClass, char inSeparator);
  static std::string recordText(const char* inName, const char* inTTL, kxResRecType inType, const char* inData,
                                const char* inComment, const char* inAging, bool inEnabled, const char* inOrigin,
                                bool inWriteClass, char inSeparator);

  // Names, TTLs, types and data (case as asked), then the comments (never case-sensitive)
  // and the enabled flags unless ignored. ID, aging, properties and owner are not compared.
  static bool recordsEqual(const kxResourceRecord& inRecord1, const kxResourceRecord& inRecord2,
                           bool inCaseSensitive, bool inIgnoreComment, bool inIgnoreEnabled);

 private:
  friend class kxRecordCollection;
  friend class kxRecordOrder;
  friend class kxNameIndex;
  friend class kxTypeArena;

  // Whether the owning collection stores this very record.
  bool isStored() const;
  // Assignment into a stored record: keeps the owner and the type.
  void assignStored(const kxResourceRecord& inOther);
  // The owning collection's domain name, or nullptr for a free record.
  const std::string* ownerDomain() const;
  // inName in full against the owner's domain (unchanged for a free record or absolute name).
  std::string qualifyWithOwner(const std::string& inName) const;

  // What most records lack: kept apart, made when one of them is set. The TTL text of a
  // free record is kept here too; a stored record's is in its collection's pool of TTL
  // texts (itsTTL), so that records share it.
  struct Extras {
    std::string itsTTL;
    std::string itsComment;
    std::string itsAging;
    // The domain suffix removed from the owner name, when it was written in other letter
    // case than the collection's domain name.
    std::string itsDomainCase;
    kxProperties itsProperties;
  };
  Extras& extras();
  // Removes the owning collection's domain from the owner name, keeping the suffix's letter
  // case when it differs; whether the name changed.
  bool stripOwnerDomain();
  const std::string& getDomainCase() const;
  // Gives back the extras when nothing is set in them.
  void dropEmptyExtras();
  static const std::string* noText();

  std::string itsName;
  std::string itsData;
  std::unique_ptr<Extras> itsExtras;
  kxRecordCollection* itsCollection;
  // Kept by the collection that stores the record (never copied): the records of the same
  // owner name before and after this one.
  kxResourceRecord* itsSameName[2] = {nullptr, nullptr};
  int32_t itsID;
  kxResRecType itsType;
  // The stored record's TTL text in the collection's pool; 0 for none (and in free records).
  uint32_t itsTTL = 0;
  // Also kept by the collection: the block of the collection order that holds the record,
  // its section, and whether it is stored at all.
  uint32_t itsOrderBlock : 24 = 0;
  uint32_t itsSection : 2 = 0;
  uint32_t itsStored : 1 = 0;
  uint32_t itsEnabled : 1 = 1;
};
