// The added record types and the generic form of RFC 3597.
//
// Beside the 23 types of the record type table (kxresrectype.h), zones written today hold
// many more: CAA, TLSA, SSHFP, HTTPS, NSEC3 and others. This table adds them, one row per
// type with its IANA number, mnemonic, data format and field layout; a type is described by
// its row, not by code of its own. Any other type is known by number only ("TYPE65534"), its
// data kept in the generic form "\# length hex".
//
// The extension is an option of the registry, process-wide and off by default: while it is
// off, the registry knows the 23 types only, exactly as before. While it is on,
// kxResourceRecord::getTypeFromName, getTypeName and getDataFormat know the added types and
// the TYPEnnn form too. The master-file parser has an option of its own that lets it read
// them (kxMasterFileParser::setExtendedTypes), which turns the registry's on.
//
// An added or generic type is held as kExtendedTypeBase plus its IANA number, so its wire
// number is the low 16 bits of the value, as for every other type (recordTypeToWireType).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "orvo/datastruct/kxresrectype.h"
#include "orvo/dns/kxrecorddatacheck.h"

struct kxExtendedTypeInfo {
  uint16_t itsNumber;    // the IANA type number
  const char* itsName;   // the mnemonic
  int32_t itsFormat;     // the data format of a table type whose data reads alike, else kFormatFields
  kxFieldLayout itsLayout;
};

namespace orvo {

// The registry's option. Turn it on before threads look types up.
void kxSetExtendedRecordTypes(bool inOn);
bool kxExtendedRecordTypes();

inline constexpr kxResRecType kxExtendedType(uint16_t inNumber) {
  return static_cast<kxResRecType>(kExtendedTypeBase + inNumber);
}

// The rows, sorted by mnemonic.
const kxExtendedTypeInfo* kxExtendedTypeTable(size_t& outCount);
// The row of an added type, whatever the option; nullptr for any other type.
const kxExtendedTypeInfo* kxFindExtendedTypeInfo(kxResRecType inType);

// A type word of the extension, compared without regard to case: an added mnemonic, or
// TYPEnnn. TYPEnnn of a table type is that type (TYPE1 is A, TYPE32769 is DLV); TYPE0 and the
// meta types (OPT, 128 to 255) are no type. kNoRecordType when the word is neither.
kxResRecType kxExtendedTypeFromName(std::string_view inName);
// The type that a wire type number stands for with the extension on.
kxResRecType kxRecordTypeFromWire(uint16_t inNumber);
// "TYPEnnn" for a type held by number; "" for a value that is not one.
const char* kxGenericTypeName(kxResRecType inType);

// A class word "CLASSnnn" (any case): true with its number, 0 to 65535.
bool kxReadClassWord(std::string_view inWord, uint32_t& outClass);

}  // namespace orvo

// Also at global scope, where code written before the namespace finds them;
// ORVO_NO_GLOBAL_NAMES leaves them out.
#ifndef ORVO_NO_GLOBAL_NAMES
using orvo::kxSetExtendedRecordTypes;
using orvo::kxExtendedRecordTypes;
using orvo::kxExtendedType;
using orvo::kxExtendedTypeTable;
using orvo::kxFindExtendedTypeInfo;
using orvo::kxExtendedTypeFromName;
using orvo::kxRecordTypeFromWire;
using orvo::kxGenericTypeName;
using orvo::kxReadClassWord;
#endif
