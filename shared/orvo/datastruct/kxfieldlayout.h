// The field layout of a record type: what each data field holds, in order.
//
// A type's data is described by a row of field kinds rather than by code of its own: the
// master-file reader splits the data by it, the record data check (kxrecorddatacheck.h)
// checks each field against its kind, and generic data (kxgenericdata.h) is turned into text
// by it. The layouts themselves are part of the record type table (kxresrectype.h).
#pragma once

#include <cstdint>

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
  // Kinds of the added types.
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

  // The number of kinds before the first kEnd.
  constexpr uint32_t kindCount() const {
    uint32_t count = 0;
    while (count < kMaxKinds && itsKinds[count] != kxFieldKind::kEnd) ++count;
    return count;
  }
  // The kind of field inIndex (0-based): the last one again when it repeats, kEnd past the end.
  constexpr kxFieldKind kindAt(uint32_t inIndex) const {
    const uint32_t count = kindCount();
    if (inIndex < count) return itsKinds[inIndex];
    return itsRepeatLast && count > 0 ? itsKinds[count - 1] : kxFieldKind::kEnd;
  }
};
