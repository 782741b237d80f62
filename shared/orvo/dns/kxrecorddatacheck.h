// The record data check: whether a record's owner name and data are well formed for its type.
//
// The master-file parser reads a record's data as words and checks only its syntax; a record
// of a type whose data cannot be what is written ("A 300.1.1.1", "MX 70000 host", a label
// of 64 characters) is delivered as written. This check looks at every field the way a name
// server converting the record to wire form would: the number of fields, addresses, domain
// names with their label and name lengths, 8-, 16- and 32-bit numbers, TTLs, LOC fields,
// algorithm numbers and names, base64 and hexadecimal data, and character-strings of at most
// 255 bytes.
//
// Each type's fields are a row of field kinds (a layout), so a type is described by data, not
// by code of its own. The check takes the record as the parser delivers it: names made
// absolute with the origin, data fields joined by kDataSeperator, quoted strings without
// their quotes and with their escapes as written. It allocates nothing unless it finds a
// fault, and reads each byte of the data once.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "orvo/datastruct/kxresrectype.h"

// What one data field holds.
enum class kxFieldKind : uint8_t {
  kEnd,          // no further field
  kName,         // a domain name
  kNumber8,      // decimal, 0 to 255
  kNumber16,     // decimal, 0 to 65535
  kNumber32,     // decimal, 0 to 4294967295
  kTTL,          // a TTL text (digits, or digits with the units W, D, H, M, S)
  kIPv4,         // a dotted quad
  kIPv6,         // an IPv6 address
  kString,       // a character-string: at most 255 bytes once its escapes are read
  kBase64,       // base64 text, the rest of the data joined into this field
  kDigest,       // hexadecimal digest, the rest of the fields; its length fits the digest type
  kAlgorithm,    // a DNSSEC algorithm: a number 0 to 255 or its mnemonic
  kTypeName,     // a record type mnemonic or TYPEnnn
  kTypeList,     // record type mnemonics joined by single blanks
  kSignatureTime,// YYYYMMDDHHmmSS, or seconds as a 32-bit number
  kProtocol,     // an IP protocol: "tcp", "udp" or a number 0 to 255
  kServiceList,  // services (names or port numbers) joined by single blanks; may be empty
  kLatitude,     // LOC fields, in their order
  kLongitude,
  kAltitude,
  kSize,
  kHorizontalPrecision,
  kVerticalPrecision,
  kWord,         // any non-empty text
  // Kinds of the added types (kxextendedtypes.h).
  kHex,          // hexadecimal data, the rest of the data joined into this field
  kSalt,         // "-" (no salt) or hexadecimal, at most 255 bytes
  kBase32Hex,    // base32hex without padding (a hashed owner name), at most 255 bytes
  kTypeBitmap,   // record types joined by single blanks; may be empty
  kSvcParam,     // one SvcParam of SVCB and HTTPS: key or key=value
  kCertType,     // a certificate type: a number 0 to 65535 or its mnemonic (PKIX, PGP, ...)
  kEUI48,        // six pairs of hexadecimal digits joined by "-"
  kEUI64,        // eight pairs of hexadecimal digits joined by "-"
  kLocator64,    // four groups of four hexadecimal digits joined by ":"
  kAPLItem,      // an APL item: [!]family:address/prefix
  kGateway,      // an IPSECKEY gateway, of the form its gateway type (the field before) says
  kCAATag,       // a CAA property tag: letters and digits
  kLongString,   // a quoted text without the 255-byte bound of a character-string
};

// The fields of a type: its kinds in order, how many must be present, and whether the last
// kind repeats to the end of the data.
struct kxFieldLayout {
  static constexpr int kMaxKinds = 10;
  uint8_t itsMinFields;
  bool itsRepeatLast;
  kxFieldKind itsKinds[kMaxKinds];
};

namespace orvo {

// The layout of one of the library's record types (the added ones included), or nullptr for
// a type without one.
const kxFieldLayout* kxFieldLayoutOf(kxResRecType inType);

}  // namespace orvo

// Also at global scope, where code written before the namespace finds them;
// ORVO_NO_GLOBAL_NAMES leaves them out.
#ifndef ORVO_NO_GLOBAL_NAMES
using orvo::kxFieldLayoutOf;
#endif

// Where a record is faulty and why.
struct kxRecordDataFault {
  // 0 for the owner name, otherwise the 1-based data field.
  uint32_t itsField = 0;
  // The field's text, empty when the field is missing.
  std::string itsText;
  // What the field is instead of what it should be ("not an IPv4 address").
  const char* itsReason = "";

  // "field 2 "70000" is not a number from 0 to 65535", printable and shortened.
  std::string describe() const;
};

namespace orvo {

// Checks a record's owner name and data against its type's layout. True when both are well
// formed (or the type has no layout); otherwise false with outFault saying where and why.
bool checkRecordData(std::string_view inOwner, kxResRecType inType, std::string_view inData,
                     kxRecordDataFault& outFault);

// A domain name in master-file text: no empty label, labels of at most 63 bytes and the whole
// name of at most 255 in wire form, escapes (\DDD up to 255, or a backslash and any
// character) complete. outReason says what is wrong when the answer is false.
bool checkDomainName(std::string_view inName, const char*& outReason);

}  // namespace orvo

// Also at global scope, where code written before the namespace finds them;
// ORVO_NO_GLOBAL_NAMES leaves them out.
#ifndef ORVO_NO_GLOBAL_NAMES
using orvo::checkRecordData;
using orvo::checkDomainName;
#endif
