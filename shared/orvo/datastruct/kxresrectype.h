// Record types and the table of the supported ones.
//
// A real type's value is its IANA type number, except DLV, which is held as 104 here and is
// 32769 only on the wire. Type 0 stands for a comment-only line; the control types carry the
// $TTL, $INCLUDE and $GENERATE directives of a master file as records.
//
// The table lists the 23 supported types sorted by mnemonic (ASCII order), so a mnemonic is
// found by binary search; a row of zeros ends it. Lookups by type go through a registry map
// that is filled once, on first use, from the table rows (the rows are never copied).
#pragma once

#include <cstdint>

enum kxResRecType : int32_t {
  kNoRecordType = 0,  // comment-only or empty disabled line
  kTypeA = 1,
  kTypeNS = 2,
  kTypeCNAME = 5,
  kTypeSOA = 6,
  kTypeWKS = 11,
  kTypePTR = 12,
  kTypeHINFO = 13,
  kTypeMX = 15,
  kTypeTXT = 16,
  kTypeRP = 17,
  kTypeAFSDB = 18,
  kTypeAAAA = 28,
  kTypeLOC = 29,
  kTypeSRV = 33,
  kTypeNAPTR = 35,
  kTypeDNAME = 39,
  kTypeDS = 43,
  kTypeRRSIG = 46,
  kTypeNSEC = 47,
  kTypeDNSKEY = 48,
  kTypeDLV = 104,
  kNumRecordTypes = 105,  // every plain type of the table is below it, except WINS and WINSR
  kAnyRecordType = 255,   // any type, in queries; never stored
  kControlTTL = 300,
  kControlInclude = 301,
  kControlGenerate = 302,
  kTypeWINS = 0xFF01,
  kTypeWINSR = 0xFF02,
};

// The DLV type number on the wire.
inline constexpr uint16_t kWireTypeDLV = 32769;

// Data format ids: how a type's data fields are read (see kxResourceRecord).
enum kxRecordDataFormat : int32_t {
  kFormatText = 1,        // TXT: one field per character-string
  kFormatName = 2,        // CNAME, DNAME, NS, PTR
  kFormatPrefName = 3,    // AFSDB, MX
  kFormatRP = 4,
  kFormatHINFO = 5,
  kFormatA = 6,
  kFormatSOA = 8,
  kFormatLOC = 9,
  kFormatSRV = 10,
  kFormatAAAA = 11,
  kFormatWKS = 12,
  kFormatNAPTR = 13,
  kFormatWINS = 14,
  kFormatWINSR = 15,
  kFormatDNSKEY = 16,
  kFormatDS = 17,         // DS and DLV
  kFormatRRSIG = 18,
  kFormatNSEC = 19,
  kFormatUnknown = 20,    // any type without a table row
  kFormatFields = 21,     // an added type whose data is read by its field layout
  kFormatGeneric = 22,    // a type nothing knows, its data in the generic form "\# length hex"
};

// The added record types (kxextendedtypes.h) and the types known only by number are held as
// kExtendedTypeBase plus their IANA number, so that none of them meets a value of the table
// above (DLV at 104, the control types at 300 to 302) and all of them sort after its types.
inline constexpr int32_t kExtendedTypeBase = 0x10000;
namespace orvo {

inline constexpr bool isExtendedRecordType(int32_t inType) {
  return inType >= kExtendedTypeBase && inType <= kExtendedTypeBase + 0xFFFF;
}

}  // namespace orvo

// Also at global scope, where code written before the namespace finds them;
// ORVO_NO_GLOBAL_NAMES leaves them out.
#ifndef ORVO_NO_GLOBAL_NAMES
using orvo::isExtendedRecordType;
#endif

struct kxResourceRecordTypeInfo {
  kxResRecType type;
  int32_t format;
  const char* name;
};

inline constexpr int32_t kNumTableTypes = 23;

namespace orvo {

// The table: kNumTableTypes rows sorted by mnemonic, then a row of zeros.
const kxResourceRecordTypeInfo* kxResourceRecordTypeTable();

// The type of a mnemonic of the table, compared without regard to case; 0 when none matches.
kxResRecType kxTableTypeFromName(const char* inName);

// The row of a type, or nullptr when the type has none.
const kxResourceRecordTypeInfo* kxFindRecordTypeInfo(kxResRecType inType);

}  // namespace orvo

// Also at global scope, where code written before the namespace finds them;
// ORVO_NO_GLOBAL_NAMES leaves them out.
#ifndef ORVO_NO_GLOBAL_NAMES
using orvo::kxResourceRecordTypeTable;
using orvo::kxTableTypeFromName;
using orvo::kxFindRecordTypeInfo;
#endif
