// Record types and the one table of the types the library knows.
//
// A real type's value is its IANA type number, except DLV, which is held as 104 here and is
// 32769 only on the wire. Type 0 stands for a comment-only line; the control types carry the
// $TTL, $INCLUDE and $GENERATE directives of a master file as records.
//
// The table holds one row per type: its value, wire number, mnemonic, data format and field
// layout. Its rows are the library's 23 types (A to WKS, with WINS and WINSR) and the added
// types zones hold today (CAA, TLSA, HTTPS, ...), sorted by mnemonic. A mnemonic is found
// through a hash table and a type through an index by value, both made at compile time, so
// that neither costs more than a few steps: a zone's reading asks them for every record.
// Everything that asks a question about a type (the record, the collection, the master-file
// reader, the data check, generic data) asks this table.
//
// The added types and the types known only by number ("TYPE65534", RFC 3597) are an option
// of the process, off by default: while it is off, kxResourceRecord knows the 23 types only,
// exactly as before. They are held as kExtendedTypeBase plus their IANA number, so that none
// of them meets a value of the 23 (DLV at 104, the control types at 300 to 302) and all of
// them sort after those; their wire number is the low 16 bits of the value.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "orvo/datastruct/kxfieldlayout.h"

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

inline constexpr int32_t kExtendedTypeBase = 0x10000;
namespace orvo {

inline constexpr bool isExtendedRecordType(int32_t inType) {
  return inType >= kExtendedTypeBase && inType <= kExtendedTypeBase + 0xFFFF;
}
inline constexpr kxResRecType kxExtendedType(uint16_t inNumber) {
  return static_cast<kxResRecType>(kExtendedTypeBase + inNumber);
}

}  // namespace orvo

// Also at global scope, where code written before the namespace finds them;
// ORVO_NO_GLOBAL_NAMES leaves them out.
#ifndef ORVO_NO_GLOBAL_NAMES
using orvo::isExtendedRecordType;
using orvo::kxExtendedType;
#endif

// One row of the table.
struct kxResourceRecordTypeInfo {
  kxResRecType itsType;  // the value records hold
  uint16_t itsNumber;    // the IANA type number, on the wire
  const char* itsName;   // the mnemonic, upper case
  int32_t itsFormat;     // how the data is read: a format of the 23, else kFormatFields
  kxFieldLayout itsLayout;
};
// The rows of the added types are rows of the same table.
using kxExtendedTypeInfo = kxResourceRecordTypeInfo;

inline constexpr int32_t kNumTableTypes = 23;

namespace orvo {

// Every row, sorted by mnemonic.
std::span<const kxResourceRecordTypeInfo> kxRecordTypeTable();

// The row of a type, the added ones included whatever the option; nullptr when the type has
// none (a type known by number only, a control type).
const kxResourceRecordTypeInfo* kxFindRecordTypeInfo(kxResRecType inType);
// The row of an added type, whatever the option; nullptr for any other type.
const kxResourceRecordTypeInfo* kxFindExtendedTypeInfo(kxResRecType inType);
// The field layout of a type with a row, or nullptr (also for a type whose data has only the
// generic form, such as NULL).
const kxFieldLayout* kxFieldLayoutOf(kxResRecType inType);

// The type of a mnemonic of the 23, compared without regard to case; 0 when none matches.
kxResRecType kxTableTypeFromName(std::string_view inName);
// A type word beyond the 23, compared without regard to case: an added mnemonic, or TYPEnnn.
// TYPEnnn of one of the 23 is that type (TYPE1 is A, TYPE32769 is DLV); TYPE0, the meta types
// (OPT, 128 to 255) and the obsolete MD and MF (3, 4) are no type. kNoRecordType when the word
// is neither.
kxResRecType kxExtendedTypeFromName(std::string_view inName);
// The wire number of a type word as a name server reads it in record data (a type bitmap, the
// type an RRSIG covers): a mnemonic of the table, whatever the option, or TYPEnnn of any
// number. False for any other word, and for the mnemonics of private types (WINS, WINSR).
bool kxTypeWordNumber(std::string_view inWord, uint16_t& outNumber);
// The type that a wire type number stands for with the option on.
kxResRecType kxRecordTypeFromWire(uint16_t inNumber);
// "TYPEnnn" for a type held by number; "" for a value that is not one. The text stays valid.
const char* kxGenericTypeName(kxResRecType inType);
// A class word "CLASSnnn" (any case): true with its number, 0 to 65535.
bool kxReadClassWord(std::string_view inWord, uint32_t& outClass);

// The option of the added types, process-wide. Turn it on before threads look types up.
void kxSetExtendedRecordTypes(bool inOn);
bool kxExtendedRecordTypes();

}  // namespace orvo

// Also at global scope, where code written before the namespace finds them;
// ORVO_NO_GLOBAL_NAMES leaves them out.
#ifndef ORVO_NO_GLOBAL_NAMES
using orvo::kxTypeWordNumber;
using orvo::kxRecordTypeTable;
using orvo::kxFindRecordTypeInfo;
using orvo::kxFindExtendedTypeInfo;
using orvo::kxFieldLayoutOf;
using orvo::kxTableTypeFromName;
using orvo::kxExtendedTypeFromName;
using orvo::kxRecordTypeFromWire;
using orvo::kxGenericTypeName;
using orvo::kxReadClassWord;
using orvo::kxSetExtendedRecordTypes;
using orvo::kxExtendedRecordTypes;
#endif
