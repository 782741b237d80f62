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
  kLocator64,    // four groups of 1 to 4 hexadecimal digits joined by ":"
  kAPLItem,      // an APL item: [!]family:address/prefix
  kGateway,      // an IPSECKEY gateway, of the form its gateway type (the field before) says
  kCAATag,       // a CAA property tag: letters and digits
  kLongString,   // a quoted text without the 255-byte bound of a character-string
  kX25Address,   // a character-string of at least four decimal digits (RFC 1183)
  kNSAP,         // "0x" and hexadecimal digits of whole bytes, dots anywhere after the "0x"
  kATMA,         // an ATM address: "+" and E.164 digits, or hexadecimal digits (dots between)
  kNXTTypes,     // record types 1 to 127 joined by single blanks; may be empty (NXT)
  kBase64OrDash, // base64 text, the rest of the data, or "-" for none (DOA)
  kDsyncScheme,  // a DSYNC scheme: a number 0 to 255 or its mnemonic (NOTIFY)
  kBit,          // 0 or 1
  kA6Prefix,     // an A6 prefix length, 0 to 128
  kFingerprint,  // an SSHFP fingerprint: hexadecimal, the rest of the data; its length fits the type before
  kZoneDigest,   // a ZONEMD digest: hexadecimal, the rest of the data; its length fits the algorithm before
  kCAAValue,     // a CAA value: a quoted text; for issue and issuewild of the grammar of RFC 8659
  // Kinds whose form an earlier number field tells (kxSelectedKind).
  kRelay,        // an AMTRELAY relay, by the relay type one field before: ., IPv4, IPv6, name
  kA6Address,    // an A6 address suffix, by the prefix length one field before: IPv6, or a name at 128
  kA6Name,       // an A6 prefix name, by the prefix length two fields before: a name for 1 to 127, else none
  kKeyData,      // KEY's key: base64, the rest of the data, unless the flags three fields before say NO-KEY
  kRoot,         // the root name "." alone (a gateway or relay of type 0)
};

// How the words of a master-file line that follow a type's last field join it: as fields of
// their own (the field count then says they are too many), into a list with blanks, or into
// one text (base64 and hexadecimal data split over words).
enum class kxRestJoin : uint8_t { kSeparator, kBlank, kNothing };

namespace orvo {

// How many fields before a field of kind inKind the number lies that tells its form; 0 when
// the kind's form is fixed.
constexpr uint32_t kxSelectorDistance(kxFieldKind inKind) {
  switch (inKind) {
    case kxFieldKind::kGateway: return 2;
    case kxFieldKind::kRelay: return 1;
    case kxFieldKind::kA6Address: return 1;
    case kxFieldKind::kA6Name: return 2;
    case kxFieldKind::kKeyData: return 3;
    default: return 0;
  }
}

// The form a field of a selected kind takes when its selector holds inSelector: a fixed
// kind, or kEnd where the type has no such form (or, for an A6 prefix name, no field at all).
constexpr kxFieldKind kxSelectedKind(kxFieldKind inKind, uint32_t inSelector) {
  switch (inKind) {
    case kxFieldKind::kGateway:
    case kxFieldKind::kRelay:
      switch (inSelector) {
        case 0: return kxFieldKind::kRoot;
        case 1: return kxFieldKind::kIPv4;
        case 2: return kxFieldKind::kIPv6;
        case 3: return kxFieldKind::kName;
        default: return kxFieldKind::kEnd;
      }
    case kxFieldKind::kA6Address:
      return inSelector < 128 ? kxFieldKind::kIPv6 : inSelector == 128 ? kxFieldKind::kName : kxFieldKind::kEnd;
    case kxFieldKind::kA6Name:
      return inSelector > 0 && inSelector < 128 ? kxFieldKind::kName : kxFieldKind::kEnd;
    case kxFieldKind::kKeyData:  // both key bits of the flags set: no key (RFC 2535 3.1.2)
      return (inSelector & 0xC000) == 0xC000 ? kxFieldKind::kEnd : kxFieldKind::kBase64;
    default:
      return inKind;
  }
}

// A field of text: read without its quotes, written in quotes.
constexpr bool kxIsTextKind(kxFieldKind inKind) {
  return inKind == kxFieldKind::kString || inKind == kxFieldKind::kLongString || inKind == kxFieldKind::kX25Address ||
         inKind == kxFieldKind::kCAAValue;
}

constexpr kxRestJoin kxRestJoinOf(kxFieldKind inKind) {
  switch (inKind) {
    case kxFieldKind::kServiceList:
    case kxFieldKind::kTypeList:
    case kxFieldKind::kTypeBitmap:
    case kxFieldKind::kNXTTypes: return kxRestJoin::kBlank;
    case kxFieldKind::kBase64:
    case kxFieldKind::kHex:
    case kxFieldKind::kBase64OrDash:
    case kxFieldKind::kFingerprint:
    case kxFieldKind::kZoneDigest:
    case kxFieldKind::kKeyData: return kxRestJoin::kNothing;
    default: return kxRestJoin::kSeparator;
  }
}

}  // namespace orvo

// Also at global scope, where code written before the namespace finds them;
// ORVO_NO_GLOBAL_NAMES leaves them out.
#ifndef ORVO_NO_GLOBAL_NAMES
using orvo::kxSelectorDistance;
using orvo::kxSelectedKind;
using orvo::kxIsTextKind;
using orvo::kxRestJoinOf;
#endif

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
  // The index of the last field, which takes the words beyond it; none when the last kind
  // repeats (each word is then a field of that kind).
  constexpr uint32_t lastField() const {
    const uint32_t count = kindCount();
    return itsRepeatLast || count == 0 ? UINT32_MAX : count - 1;
  }
};
