// Record data in the generic form of RFC 3597: "\# length hex", the data's wire form.
//
// A record of a type that nothing here knows keeps its data in that form. For a type that
// has a field layout (the library's types and the added ones), the wire form is turned into
// the type's own text form, field by field, as the master-file parser would store it: names
// absolute, strings without their quotes, data fields joined by kDataSeperator. Data that
// the type's wire form cannot hold (a name running past the end, a string longer than what
// is left, bytes left over) is refused with a reason, never turned into other data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "orvo/datastruct/kxresrectype.h"

// At most this many bytes of data: the length of a record's data on the wire is 16 bits.
inline constexpr size_t kMaxGenericDataLength = 65535;

namespace orvo {

// The stored data of a record kept in generic form: "\#", the length and the hexadecimal
// digits (upper case, no field when the length is 0), joined by kDataSeperator.
std::string kxGenericDataText(const uint8_t* inBytes, size_t inCount);

// The text form of inType's data from its wire form. False with outReason when the type has
// no layout, for WINS and WINSR (whose wire forms are another maker's), or when the bytes do
// not fit the layout.
bool kxGenericDataToText(kxResRecType inType, const uint8_t* inBytes, size_t inCount, std::string& outData,
                         const char*& outReason);

// SvcParam keys of SVCB and HTTPS (RFC 9460 and its registry). The text of a key: its name,
// else "keyNNNNN".
std::string kxSvcParamKeyText(uint32_t inKey);
// The number of a key word, names in lower case (any case with inAnyCase), or "keyNNNNN"
// with NNNNN up to 65535; -1 for any other word.
int32_t kxSvcParamKeyNumber(std::string_view inWord, bool inAnyCase = false);
// Appends the text of a SvcParam value read from its wire form: "=" and the value in quotes,
// or nothing for a key without a value. The value is written as master-file text that reads
// back to the same bytes (an alpn id's comma as "\\,", since the list is read twice).
// False when the bytes are no value of the key (a port of one byte, mandatory keys out of
// order, an empty alpn id, ...).
bool kxSvcParamValueText(uint32_t inKey, const uint8_t* inBytes, size_t inCount, std::string& ioText);

// The text of a type in a type list: its mnemonic, else "TYPEnnn".
std::string kxTypeListText(uint16_t inWireType);

}  // namespace orvo

// Also at global scope, where code written before the namespace finds them;
// ORVO_NO_GLOBAL_NAMES leaves them out.
#ifndef ORVO_NO_GLOBAL_NAMES
using orvo::kxSvcParamValueText;
using orvo::kxSvcParamKeyText;
using orvo::kxSvcParamKeyNumber;
using orvo::kxGenericDataText;
using orvo::kxGenericDataToText;
using orvo::kxTypeListText;
#endif
