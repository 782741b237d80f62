// The record data check. See kxrecorddatacheck.h.
#include "orvo/dns/kxrecorddatacheck.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "orvo/datastruct/kxresourcerecord.h"
#include "orvo/dns/kxdnsstatemachine.h"
#include "orvo/util/kxipv6.h"
#include "orvo/util/kxstringparser.h"
#include "orvo/util/kxtexthelpers.h"

namespace {

using K = kxFieldKind;

// DNSSEC algorithm mnemonics (RFC 4034 appendix A.1 and the algorithm registry).
struct Algorithm {
  const char* itsName;
  uint8_t itsNumber;
};
constexpr Algorithm kAlgorithms[] = {
    {"RSAMD5", 1},          {"DH", 2},           {"DSA", 3},
    {"RSASHA1", 5},         {"DSA-NSEC3-SHA1", 6}, {"RSASHA1-NSEC3-SHA1", 7},
    {"RSASHA256", 8},       {"RSASHA512", 10},   {"ECC-GOST", 12},
    {"ECDSAP256SHA256", 13}, {"ECDSAP384SHA384", 14}, {"ED25519", 15},
    {"ED448", 16},          {"INDIRECT", 252},   {"PRIVATEDNS", 253},
    {"PRIVATEOID", 254},
};

// Digest lengths in bytes of the digest types whose length is fixed (SHA-1, SHA-256, SHA-384).
size_t digestLength(uint32_t inDigestType) {
  switch (inDigestType) {
    case 1: return 20;
    case 2: return 32;
    case 4: return 48;
    default: return 0;
  }
}

bool isDigit(char inChar) { return inChar >= '0' && inChar <= '9'; }
bool isLetter(char inChar) { return (inChar >= 'A' && inChar <= 'Z') || (inChar >= 'a' && inChar <= 'z'); }

// A decimal number of at most inMax: digits only (no sign, as name servers read them).
bool readNumber(std::string_view inText, uint32_t inMax, uint32_t& outValue) {
  if (inText.empty() || inText.size() > 10 || !isDigit(inText[0])) return false;
  char digits[11];
  std::memcpy(digits, inText.data(), inText.size());
  digits[inText.size()] = '\0';
  unsigned value = 0;
  if (!parseUnsigned(digits, value) || value > inMax) return false;
  outValue = value;
  return true;
}

// An escape at inText[i] (a backslash): \DDD with DDD at most 255, or a backslash and any
// character. Advances i to the escape's last character.
bool readEscape(std::string_view inText, size_t& ioIndex) {
  const size_t rest = inText.size() - ioIndex - 1;
  if (rest == 0) return false;
  if (!isDigit(inText[ioIndex + 1])) {
    ioIndex += 1;
    return true;
  }
  if (rest < 3 || !isDigit(inText[ioIndex + 2]) || !isDigit(inText[ioIndex + 3])) return false;
  const int value = (inText[ioIndex + 1] - '0') * 100 + (inText[ioIndex + 2] - '0') * 10 + (inText[ioIndex + 3] - '0');
  ioIndex += 3;
  return value <= 255;
}

bool checkString(std::string_view inText, const char*& outReason) {
  size_t bytes = 0;
  for (size_t i = 0; i < inText.size(); ++i) {
    if (inText[i] == '\\' && !readEscape(inText, i)) {
      outReason = "a string with a bad escape";
      return false;
    }
    ++bytes;
  }
  if (bytes > 255) {
    outReason = "a string longer than 255 bytes";
    return false;
  }
  return true;
}

bool checkIPv6(std::string_view inText) {
  // The address parser takes groups of any length whose value fits; text forms allow four
  // digits at most.
  size_t run = 0;
  for (const char c : inText) {
    unsigned digit = 0;
    run = hexDigitValue(c, digit) ? run + 1 : 0;
    if (run > 4) return false;
  }
  uint8_t bytes[16];
  return parseIPv6Text(inText.data(), inText.size(), bytes);
}

bool checkAlgorithm(std::string_view inText) {
  uint32_t value = 0;
  if (readNumber(inText, 255, value)) return true;
  return std::any_of(std::begin(kAlgorithms), std::end(kAlgorithms), [&](const Algorithm& inAlgorithm) {
    return inText.size() == std::strlen(inAlgorithm.itsName) &&
           compareText(std::string(inText).c_str(), inAlgorithm.itsName, false) == 0;
  });
}

// A type mnemonic: one of the library's types, TYPEnnn, or another word of letters, digits
// and hyphens beginning with a letter (the registry knows many more types than the library).
bool checkTypeName(std::string_view inText) {
  if (inText.empty() || !isLetter(inText[0])) return false;
  if (inText.size() > 4 && compareText(std::string(inText.substr(0, 4)).c_str(), "TYPE", false) == 0 &&
      isDigit(inText[4])) {
    uint32_t value = 0;
    return readNumber(inText.substr(4), 65535, value);
  }
  return std::all_of(inText.begin(), inText.end(), [](char c) { return isLetter(c) || isDigit(c) || c == '-'; });
}

// Items joined by single blanks, each passing inCheck; inAllowEmpty lets the list be empty.
template <typename Check>
bool checkList(std::string_view inText, bool inAllowEmpty, Check inCheck) {
  if (inText.empty()) return inAllowEmpty;
  for (size_t begin = 0;;) {
    const size_t end = std::min(inText.find(' ', begin), inText.size());
    if (!inCheck(inText.substr(begin, end - begin))) return false;
    if (end == inText.size()) return true;
    begin = end + 1;
  }
}

bool checkSignatureTime(std::string_view inText) {
  uint32_t value = 0;
  if (inText.size() != 14) return readNumber(inText, UINT32_MAX, value);
  if (!std::all_of(inText.begin(), inText.end(), isDigit)) return false;
  auto number = [&](size_t inAt, size_t inCount) {
    int n = 0;
    for (size_t i = inAt; i < inAt + inCount; ++i) n = n * 10 + (inText[i] - '0');
    return n;
  };
  const int month = number(4, 2), day = number(6, 2);
  return number(0, 4) >= 1970 && month >= 1 && month <= 12 && day >= 1 && day <= 31 && number(8, 2) <= 23 &&
         number(10, 2) <= 59 && number(12, 2) <= 59;
}

bool isHexText(std::string_view inText) {
  unsigned value = 0;
  return std::all_of(inText.begin(), inText.end(), [&](char c) { return hexDigitValue(c, value); });
}

// Hexadecimal data of whole bytes, at least one.
bool checkHex(std::string_view inText) { return !inText.empty() && inText.size() % 2 == 0 && isHexText(inText); }

// Base32hex without padding (RFC 4648, the extended hex alphabet) of 1 to 255 bytes.
bool checkBase32Hex(std::string_view inText) {
  const size_t rest = inText.size() % 8;
  if (inText.empty() || inText.size() * 5 / 8 > 255 || rest == 1 || rest == 3 || rest == 6) return false;
  return std::all_of(inText.begin(), inText.end(), [](char c) {
    return isDigit(c) || (c >= 'A' && c <= 'V') || (c >= 'a' && c <= 'v');
  });
}

// Groups of exactly inDigits hexadecimal digits, inGroups of them, joined by inSeparator.
bool checkHexGroups(std::string_view inText, size_t inGroups, size_t inDigits, char inSeparator) {
  if (inText.size() != inGroups * (inDigits + 1) - 1) return false;
  for (size_t i = 0; i < inText.size(); ++i) {
    const bool separator = (i + 1) % (inDigits + 1) == 0;
    unsigned value = 0;
    if (separator ? inText[i] != inSeparator : !hexDigitValue(inText[i], value)) return false;
  }
  return true;
}

bool isIPv4(std::string_view inText) {
  uint8_t bytes[4];
  return parseIPv4Text(inText.data(), inText.size(), bytes);
}

// A domain name field; "." alone is the root.
bool isDomainName(std::string_view inText) {
  const char* reason = "";
  return checkDomainName(inText, reason);
}

// An APL item: [!]family:address/prefix, family 1 with IPv4 and a prefix of at most 32, or
// family 2 with IPv6 and at most 128.
bool checkAPLItem(std::string_view inText) {
  if (!inText.empty() && inText[0] == '!') inText.remove_prefix(1);
  const size_t colon = inText.find(':');
  const size_t slash = inText.rfind('/');
  if (colon != 1 || slash == std::string_view::npos || slash < colon) return false;
  const std::string_view address = inText.substr(2, slash - 2);
  uint32_t prefix = 0;
  if (inText[0] == '1') return isIPv4(address) && readNumber(inText.substr(slash + 1), 32, prefix);
  if (inText[0] == '2') return checkIPv6(address) && readNumber(inText.substr(slash + 1), 128, prefix);
  return false;
}

bool equalsNoCase(std::string_view inText, const char* inWord) {
  const size_t length = std::strlen(inWord);
  if (inText.size() != length) return false;
  for (size_t i = 0; i < length; ++i)
    if (toUpperChar(inText[i]) != toUpperChar(inWord[i])) return false;
  return true;
}

constexpr const char* kCertificateTypes[] = {"PKIX", "SPKI", "PGP", "IPKIX", "ISPKI", "IPGP", "ACPKIX", "IACPKIX",
                                             "URI",  "OID"};

// SvcParam keys by number (RFC 9460 and its registry); "keyNNNNN" names any key.
constexpr const char* kSvcParamKeys[] = {"mandatory", "alpn", "no-default-alpn", "port", "ipv4hint",
                                         "ech",       "ipv6hint", "dohpath"};

// The number of a SvcParam key, or -1 for a word that names none.
int svcParamKey(std::string_view inKey) {
  for (size_t i = 0; i < std::size(kSvcParamKeys); ++i)
    if (equalsNoCase(inKey, kSvcParamKeys[i])) return int(i);
  uint32_t number = 0;
  if (inKey.size() > 3 && equalsNoCase(inKey.substr(0, 3), "key") && readNumber(inKey.substr(3), 65534, number))
    return int(number);
  return -1;
}

// Items joined by commas, each passing inCheck.
template <typename Check>
bool checkCommaList(std::string_view inText, Check inCheck) {
  for (size_t begin = 0;;) {
    const size_t end = std::min(inText.find(',', begin), inText.size());
    if (!inCheck(inText.substr(begin, end - begin))) return false;
    if (end == inText.size()) return true;
    begin = end + 1;
  }
}

// A string of any length with sound escapes.
bool checkLongString(std::string_view inText) {
  for (size_t i = 0; i < inText.size(); ++i)
    if (inText[i] == '\\' && !readEscape(inText, i)) return false;
  return true;
}

// key, or key=value with the value quoted or not, as the key's kind of value allows.
bool checkSvcParam(std::string_view inText, const char*& outReason) {
  const size_t equals = inText.find('=');
  const int key = svcParamKey(inText.substr(0, equals));
  outReason = "not a SvcParam key";
  if (key < 0) return false;
  outReason = "not a value of its SvcParam key";
  if (equals == std::string_view::npos) return key == 2 || key > 7;  // no-default-alpn, or an unknown key
  std::string_view value = inText.substr(equals + 1);
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
  uint32_t number = 0;
  switch (key) {
    case 0: return !value.empty() && checkCommaList(value, [](std::string_view inKey) { return svcParamKey(inKey) >= 0; });
    case 1: return !value.empty();
    case 2: return false;
    case 3: return readNumber(value, 65535, number);
    case 4: return !value.empty() && checkCommaList(value, isIPv4);
    case 5: return isBase64Text(value.data(), value.size());
    case 6: return !value.empty() && checkCommaList(value, checkIPv6);
    default:
      return checkLongString(value);
  }
}

// One field against its kind; inPrevious is the value of the last number field before it.
bool checkField(kxFieldKind inKind, std::string_view inText, uint32_t& ioNumber, const char*& outReason) {
  uint32_t value = 0;
  switch (inKind) {
    case K::kName:
      return checkDomainName(inText, outReason);
    case K::kNumber8:
      outReason = "not a number from 0 to 255";
      if (!readNumber(inText, 255, value)) return false;
      ioNumber = value;
      return true;
    case K::kNumber16:
      outReason = "not a number from 0 to 65535";
      if (!readNumber(inText, 65535, value)) return false;
      ioNumber = value;
      return true;
    case K::kNumber32:
      outReason = "not a number from 0 to 4294967295";
      return readNumber(inText, UINT32_MAX, ioNumber);
    case K::kTTL: {
      outReason = "not a TTL";
      int seconds = 0;
      return parseTTL(inText.data(), inText.size(), seconds);
    }
    case K::kIPv4: {
      outReason = "not an IPv4 address";
      uint8_t bytes[4];
      return parseIPv4Text(inText.data(), inText.size(), bytes);
    }
    case K::kIPv6:
      outReason = "not an IPv6 address";
      return checkIPv6(inText);
    case K::kString:
      return checkString(inText, outReason);
    case K::kBase64:
      outReason = "not base64";
      return isBase64Text(inText.data(), inText.size());
    case K::kAlgorithm:
      outReason = "not an algorithm";
      return checkAlgorithm(inText);
    case K::kTypeName:
      outReason = "not a record type";
      return checkTypeName(inText);
    case K::kTypeList:
      outReason = "not a list of record types";
      return checkList(inText, false, checkTypeName);
    case K::kSignatureTime:
      outReason = "not a time";
      return checkSignatureTime(inText);
    case K::kProtocol:
      outReason = "not a protocol";
      return equalsText(std::string(inText), "tcp", false) || equalsText(std::string(inText), "udp", false) ||
             readNumber(inText, 255, value);
    case K::kServiceList:
      outReason = "not a list of services";
      return checkList(inText, true, [](std::string_view inItem) {
        uint32_t port = 0;
        return readNumber(inItem, 65535, port) ||
               (!inItem.empty() && isLetter(inItem[0]) && isPrintableWord(std::string(inItem)));
      });
    case K::kLatitude:
    case K::kLongitude:
    case K::kAltitude:
    case K::kSize:
    case K::kHorizontalPrecision:
    case K::kVerticalPrecision:
      outReason = "not a LOC field of its place";
      return isLOCField(unsigned(inKind) - unsigned(K::kLatitude), inText.data(), inText.size(), false);
    case K::kWord:
      outReason = "empty";
      return !inText.empty();
    case K::kHex:
      outReason = "not hexadecimal data of whole bytes";
      return checkHex(inText);
    case K::kSalt:
      outReason = "not a salt (\"-\" or hexadecimal of at most 255 bytes)";
      return inText == "-" || (checkHex(inText) && inText.size() <= 510);
    case K::kBase32Hex:
      outReason = "not base32hex of at most 255 bytes";
      return checkBase32Hex(inText);
    case K::kTypeBitmap:
      // The added types' lists name known types only, as a name server reading them must.
      outReason = "not a list of known record types";
      return checkList(inText, true, [](std::string_view inItem) {
        const std::string item(inItem);
        if (kxTableTypeFromName(item.c_str()) != kNoRecordType || kxExtendedTypeFromName(item) != kNoRecordType)
          return true;
        // TYPEnnn of any number: a bitmap may name the meta types too.
        return inItem.size() > 4 && equalsNoCase(inItem.substr(0, 4), "TYPE") && isDigit(inItem[4]) &&
               checkTypeName(inItem);
      });
    case K::kSvcParam:
      return checkSvcParam(inText, outReason);
    case K::kCertType:
      outReason = "not a certificate type";
      return readNumber(inText, 65535, value) ||
             std::any_of(std::begin(kCertificateTypes), std::end(kCertificateTypes),
                         [&](const char* inName) { return equalsNoCase(inText, inName); });
    case K::kEUI48:
      outReason = "not an EUI-48 address";
      return checkHexGroups(inText, 6, 2, '-');
    case K::kEUI64:
      outReason = "not an EUI-64 address";
      return checkHexGroups(inText, 8, 2, '-');
    case K::kLocator64:
      outReason = "not a 64-bit locator";
      return checkHexGroups(inText, 4, 4, ':');
    case K::kAPLItem:
      outReason = "not an address prefix item";
      return checkAPLItem(inText);
    case K::kGateway:
      outReason = "not a gateway of its gateway type";
      switch (ioNumber) {
        case 0: return inText == ".";
        case 1: return isIPv4(inText);
        case 2: return checkIPv6(inText);
        case 3: return isDomainName(inText);
        default: return false;
      }
    case K::kCAATag:
      outReason = "not a property tag of letters and digits";
      return !inText.empty() && inText.size() <= 255 &&
             std::all_of(inText.begin(), inText.end(), [](char c) { return isLetter(c) || isDigit(c); });
    case K::kLongString:
      outReason = "a text with a bad escape";
      return checkLongString(inText);
    case K::kDigest:
    case K::kEnd:
      break;
  }
  return false;
}

// The digest: the hexadecimal digits of every field from inBegin on, as many as the digest
// type inDigestType needs when that is fixed.
bool checkDigest(std::string_view inData, size_t inBegin, uint32_t inDigestType, const char*& outReason) {
  size_t digits = 0;
  unsigned value = 0;
  for (size_t i = inBegin; i < inData.size(); ++i) {
    if (inData[i] == kDataSeperator) continue;
    if (!hexDigitValue(inData[i], value)) {
      outReason = "not hexadecimal";
      return false;
    }
    ++digits;
  }
  const size_t expected = digestLength(inDigestType);
  if (digits == 0 || digits % 2 != 0 || (expected != 0 && digits != 2 * expected)) {
    outReason = "not a digest of the length its type needs";
    return false;
  }
  return true;
}

bool fail(kxRecordDataFault& outFault, uint32_t inField, std::string_view inText, const char* inReason) {
  outFault.itsField = inField;
  outFault.itsText.assign(inText);
  outFault.itsReason = inReason;
  return false;
}

}  // namespace

bool checkDomainName(std::string_view inName, const char*& outReason) {
  if (inName == ".") return true;
  outReason = "not a domain name";
  if (inName.empty()) return false;
  size_t label = 0;
  size_t wire = 0;
  bool absolute = false;
  for (size_t i = 0; i < inName.size(); ++i) {
    absolute = false;
    if (inName[i] == '.') {
      if (label == 0) {
        outReason = "a name with an empty label";
        return false;
      }
      wire += label + 1;
      label = 0;
      absolute = true;
      continue;
    }
    if (inName[i] == '\\' && !readEscape(inName, i)) {
      outReason = "a name with a bad escape";
      return false;
    }
    if (++label > 63) {
      outReason = "a name with a label longer than 63 bytes";
      return false;
    }
  }
  wire += label > 0 ? label + 1 : 0;
  if (absolute) ++wire;  // the root label
  if (wire > 255) {
    outReason = "a name longer than 255 bytes";
    return false;
  }
  return true;
}

bool checkRecordData(std::string_view inOwner, kxResRecType inType, std::string_view inData,
                     kxRecordDataFault& outFault) {
  const kxFieldLayout* layout = kxFieldLayoutOf(inType);
  if (layout == nullptr) return true;
  const char* reason = "";
  if (!inOwner.empty() && !checkDomainName(inOwner, reason)) return fail(outFault, 0, inOwner, reason);

  const uint32_t kinds = layout->kindCount();
  // A list that may be empty (APL) holds no field at all.
  if (inData.empty() && layout->itsMinFields == 0) return true;
  uint32_t number = 0;
  // The number read up to each field: an IPSECKEY gateway's form is told two fields back.
  uint32_t numbers[kxFieldLayout::kMaxKinds] = {};
  size_t begin = 0;
  for (uint32_t index = 0;; ++index) {
    const bool present = begin <= inData.size();
    const kxFieldKind kind = layout->kindAt(index);
    if (!present) {
      if (index < layout->itsMinFields) return fail(outFault, index + 1, {}, "missing");
      return true;
    }
    const size_t tab = inData.find(kDataSeperator, begin);
    const size_t end = tab == std::string_view::npos ? inData.size() : tab;
    const std::string_view field = inData.substr(begin, end - begin);
    if (kind == K::kEnd) return fail(outFault, index + 1, field, "more than the type has");
    if (kind == K::kDigest) {
      if (!checkDigest(inData, begin, number, reason)) return fail(outFault, index + 1, inData.substr(begin), reason);
      return true;
    }
    if (kind == K::kGateway) number = index >= 2 && index - 2 < kinds ? numbers[index - 2] : 0;
    if (!checkField(kind, field, number, reason)) return fail(outFault, index + 1, field, reason);
    if (index < kxFieldLayout::kMaxKinds) numbers[index] = number;
    begin = end + 1;
  }
}

std::string kxRecordDataFault::describe() const {
  constexpr size_t kShown = 40;
  std::string text = itsField == 0 ? std::string("owner name") : "field " + std::to_string(itsField);
  if (itsText.empty() && itsField != 0) return text + " is " + itsReason;
  std::string shown = itsText.size() > kShown ? itsText.substr(0, kShown) + "..." : itsText;
  return text + " \"" + printableText(shown.c_str()) + "\" is " + itsReason;
}
