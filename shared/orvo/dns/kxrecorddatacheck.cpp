// The record data check. See kxrecorddatacheck.h.
#include "orvo/dns/kxrecorddatacheck.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <vector>

#include "orvo/datastruct/kxresourcerecord.h"
#include "orvo/dns/kxdnsstatemachine.h"
#include "orvo/dns/kxgenericdata.h"
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

// Whether a digest of inBytes bytes fits its type inType: an SSHFP fingerprint of SHA-1 or
// SHA-256 (RFC 4255, 6594), a ZONEMD digest of SHA-384 or SHA-512, and of another algorithm
// at least 12 bytes (RFC 8976 2.2.4).
bool hasDigestLength(kxFieldKind inKind, uint32_t inType, size_t inBytes) {
  if (inKind == kxFieldKind::kFingerprint) return inType == 1 ? inBytes == 20 : inType == 2 ? inBytes == 32 : true;
  return inType == 1 ? inBytes == 48 : inType == 2 ? inBytes == 64 : inBytes >= 12;
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

// A character-string; outBytes is its length once its escapes are read.
bool checkString(std::string_view inText, size_t& outBytes, const char*& outReason) {
  size_t& bytes = outBytes;
  bytes = 0;
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

// A type word a name server knows: a mnemonic of the type table or TYPEnnn.
bool checkTypeName(std::string_view inText) {
  uint16_t number = 0;
  return kxTypeWordNumber(inText, number);
}

// A type of NXT's bitmap, which holds the types 1 to 127 only.
bool checkNXTType(std::string_view inText) {
  uint16_t number = 0;
  return kxTypeWordNumber(inText, number) && number >= 1 && number <= 127;
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
  // Any year, since the time is taken modulo 2^32 (RFC 4034 3.1.5); a day its month has; a
  // leap second.
  const int year = number(0, 4), month = number(4, 2), day = number(6, 2);
  if (month < 1 || month > 12 || day < 1) return false;
  constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0) && number(8, 2) <= 23 && number(10, 2) <= 59 &&
         number(12, 2) <= 60;
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

// NSAP's text: "0x" (any case), then hexadecimal digits of at least one whole byte, with
// dots anywhere among them.
bool checkNSAP(std::string_view inText) {
  if (inText.size() < 2 || inText[0] != '0' || (inText[1] != 'x' && inText[1] != 'X')) return false;
  size_t digits = 0;
  unsigned value = 0;
  for (size_t i = 2; i < inText.size(); ++i) {
    if (inText[i] == '.') continue;
    if (!hexDigitValue(inText[i], value)) return false;
    ++digits;
  }
  return digits > 0 && digits % 2 == 0;
}

// ATMA's text: "+" and decimal digits (E.164), or hexadecimal digits of whole bytes (NSAP);
// single dots may stand between the digits.
bool checkATMA(std::string_view inText) {
  const bool e164 = !inText.empty() && inText[0] == '+';
  if (e164) inText.remove_prefix(1);
  size_t digits = 0;
  unsigned value = 0;
  for (size_t i = 0; i < inText.size(); ++i) {
    if (inText[i] == '.') {
      if (i == 0 || i + 1 == inText.size() || inText[i - 1] == '.') return false;
      continue;
    }
    if (e164 ? !isDigit(inText[i]) : !hexDigitValue(inText[i], value)) return false;
    ++digits;
  }
  return digits > 0 && (e164 || digits % 2 == 0);
}

// A 64-bit locator of NID and L64 (RFC 6742): four groups of 1 to 4 hexadecimal digits
// joined by ":", as name servers write it (14:4fff:ff20:ee64), without the "::" of IPv6.
bool checkLocator64(std::string_view inText) {
  size_t groups = 1;
  size_t digits = 0;
  unsigned value = 0;
  for (const char c : inText) {
    if (c == ':') {
      if (digits == 0) return false;
      ++groups;
      digits = 0;
    } else if (!hexDigitValue(c, value) || ++digits > 4) {
      return false;
    }
  }
  return groups == 4 && digits > 0;
}

bool isIPv4(std::string_view inText) {
  uint8_t bytes[4];
  return parseIPv4Text(inText.data(), inText.size(), bytes);
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

// Master-file text read byte by byte: \DDD is one byte, a backslash and another character
// that character.
class TextBytes {
 public:
  explicit TextBytes(std::string_view inText) : itsText(inText) {}
  // The next byte; false at the end, or at a bad escape (bad() then says so).
  bool next(uint8_t& outByte) {
    if (itsAt >= itsText.size()) return false;
    if (itsText[itsAt] != '\\') {
      outByte = uint8_t(itsText[itsAt++]);
      return true;
    }
    size_t last = itsAt;
    if (!readEscape(itsText, last)) {
      itsBad = true;
      return false;
    }
    outByte = last == itsAt + 1 ? uint8_t(itsText[last])
                                : uint8_t((itsText[itsAt + 1] - '0') * 100 + (itsText[itsAt + 2] - '0') * 10 +
                                          (itsText[itsAt + 3] - '0'));
    itsAt = last + 1;
    return true;
  }
  bool bad() const { return itsBad; }

 private:
  std::string_view itsText;
  size_t itsAt = 0;
  bool itsBad = false;
};

// The value of a CAA issue or issuewild property (RFC 8659 4.2): an optional issuer domain
// name, then optionally ";" and parameters "tag=value" separated by ";", blanks around each.
// Tags and labels are letters and digits with inner hyphens; values printable ASCII without
// ";" or blanks.
bool checkIssueValue(std::string_view inText) {
  TextBytes text(inText);
  enum State { kBeforeName, kLabel, kLabelHyphen, kAfterDot, kAfterName, kBeforeTag, kTag, kTagHyphen, kAfterTag,
               kBeforeValue, kValue, kAfterValue };
  State state = kBeforeName;
  uint8_t byte = 0;
  auto isAlnum = [](uint8_t c) { return isDigit(char(c)) || isLetter(char(c)); };
  auto isBlank = [](uint8_t c) { return c == ' ' || c == '\t'; };
  bool parameters = false;
  while (text.next(byte)) {
    switch (state) {
      case kBeforeName:
        if (isBlank(byte)) break;
        if (byte == ';') state = kBeforeTag;
        else if (isAlnum(byte)) state = kLabel;
        else return false;
        break;
      case kLabel:
      case kLabelHyphen:
        if (isAlnum(byte)) state = kLabel;
        else if (byte == '-') state = kLabelHyphen;
        else if (state == kLabelHyphen) return false;
        else if (byte == '.') state = kAfterDot;
        else if (isBlank(byte)) state = kAfterName;
        else if (byte == ';') state = kBeforeTag;
        else return false;
        break;
      case kAfterDot:
        if (!isAlnum(byte)) return false;
        state = kLabel;
        break;
      case kAfterName:
        if (isBlank(byte)) break;
        if (byte != ';') return false;
        state = kBeforeTag;
        break;
      case kBeforeTag:
        if (isBlank(byte)) break;
        if (!isAlnum(byte)) return false;
        state = kTag;
        break;
      case kTag:
      case kTagHyphen:
        if (isAlnum(byte)) state = kTag;
        else if (byte == '-') state = kTagHyphen;
        else if (state == kTagHyphen) return false;
        else if (isBlank(byte)) state = kAfterTag;
        else if (byte == '=') state = kBeforeValue;
        else return false;
        break;
      case kAfterTag:
        if (isBlank(byte)) break;
        if (byte != '=') return false;
        state = kBeforeValue;
        break;
      case kBeforeValue:
      case kValue:
        if (isBlank(byte)) state = state == kValue ? kAfterValue : kBeforeValue;
        else if (byte == ';') parameters = true, state = kBeforeTag;
        else if (byte >= 0x21 && byte <= 0x7E) state = kValue;
        else return false;
        break;
      case kAfterValue:
        if (isBlank(byte)) break;
        if (byte != ';') return false;
        parameters = true;
        state = kBeforeTag;
        break;
    }
  }
  if (text.bad()) return false;
  // After a ";" that follows a parameter, another parameter must come.
  return state != kLabelHyphen && state != kAfterDot && state != kTag && state != kTagHyphen && state != kAfterTag &&
         !(state == kBeforeTag && parameters);
}

// An alpn value: ids of 1 to 255 bytes separated by commas. It is read twice, as master-file
// text and then as the list, in which a backslash keeps the next byte (a comma of an id).
bool checkAlpn(std::string_view inValue) {
  TextBytes bytes(inValue);
  size_t length = 0;
  bool escaped = false;
  uint8_t byte = 0;
  while (bytes.next(byte)) {
    if (!escaped && byte == '\\') {
      escaped = true;
      continue;
    }
    if (!escaped && byte == ',') {
      if (length == 0) return false;
      length = 0;
      continue;
    }
    escaped = false;
    if (++length > 255) return false;
  }
  return !bytes.bad() && !escaped && length > 0;
}

// A dohpath (RFC 9461): a relative URI template beginning with "/" whose variables include
// "dns" in a "{?...}" expression.
bool checkDohpath(std::string_view inValue) {
  if (inValue.empty() || inValue[0] != '/') return false;
  for (size_t open = inValue.find("{?"); open != std::string_view::npos; open = inValue.find("{?", open + 2)) {
    const size_t close = inValue.find('}', open);
    if (close == std::string_view::npos) return false;
    bool named = false;
    checkCommaList(inValue.substr(open + 2, close - open - 2), [&](std::string_view inName) {
      named |= inName == "dns";
      return true;
    });
    if (named) return true;
  }
  return false;
}

bool fail(kxRecordDataFault& outFault, uint32_t inField, std::string_view inText, const char* inReason) {
  outFault.itsField = inField;
  outFault.itsText.assign(inText);
  outFault.itsReason = inReason;
  return false;
}

// Keys seen among the SvcParams of one record. A handful in place; a bitmap of every key once
// a record holds more, so that hostile lists stay linear.
class SvcParamKeys {
 public:
  // False when the key was there already.
  bool insert(uint32_t inKey) {
    if (!itsMany.empty()) {
      if (itsMany[inKey]) return false;
      itsMany[inKey] = true;
      return true;
    }
    for (size_t i = 0; i < itsCount; ++i)
      if (itsFew[i] == inKey) return false;
    if (itsCount < std::size(itsFew)) {
      itsFew[itsCount++] = inKey;
      return true;
    }
    itsMany.assign(0x10000, false);
    for (const uint32_t key : itsFew) itsMany[key] = true;
    itsMany[inKey] = true;
    return true;
  }
  bool contains(uint32_t inKey) const {
    if (!itsMany.empty()) return itsMany[inKey];
    return std::find(itsFew, itsFew + itsCount, inKey) != itsFew + itsCount;
  }

 private:
  uint32_t itsFew[16] = {};
  size_t itsCount = 0;
  std::vector<bool> itsMany;
};

struct SvcParamText {
  int32_t itsKey = -1;
  bool itsHasValue = false;
  std::string_view itsValue;  // without its quotes
};

// Splits key or key=value; the key as written, in lower case (as name servers read it).
SvcParamText splitSvcParam(std::string_view inText) {
  SvcParamText param;
  const size_t equals = inText.find('=');
  param.itsKey = kxSvcParamKeyNumber(inText.substr(0, equals));
  param.itsHasValue = equals != std::string_view::npos;
  if (param.itsHasValue) {
    param.itsValue = inText.substr(equals + 1);
    if (param.itsValue.size() >= 2 && param.itsValue.front() == '"' && param.itsValue.back() == '"')
      param.itsValue = param.itsValue.substr(1, param.itsValue.size() - 2);
  }
  return param;
}

bool checkSvcParam(std::string_view inText, const char*& outReason);

// A known key written as keyNNNNN: its value is the key's wire form (key3="\001\187" is port
// 443), which must be a sound value of that key.
bool checkSvcParamWireValue(uint32_t inKey, std::string_view inValue) {
  std::string bytes;
  TextBytes text(inValue);
  uint8_t byte = 0;
  while (text.next(byte)) bytes += char(byte);
  std::string param = kxSvcParamKeyText(inKey);
  if (text.bad() || !kxSvcParamValueText(inKey, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), param))
    return false;
  const char* reason = "";
  return checkSvcParam(param, reason);
}

// key, or key=value with the value quoted or not, as the key's kind of value allows.
bool checkSvcParam(std::string_view inText, const char*& outReason) {
  const SvcParamText param = splitSvcParam(inText);
  outReason = "not a SvcParam key";
  if (param.itsKey < 0) return false;
  outReason = "not a value of its SvcParam key";
  const std::string_view value = param.itsValue;
  const uint32_t key = uint32_t(param.itsKey);
  if (key < 8 && inText.substr(0, 3) == "key") return checkSvcParamWireValue(key, value);
  uint32_t number = 0;
  switch (key) {
    case 0: {
      SvcParamKeys keys;
      return !value.empty() && checkCommaList(value, [&](std::string_view inKey) {
        const int32_t listed = kxSvcParamKeyNumber(inKey, true);
        return listed > 0 && keys.insert(uint32_t(listed));
      });
    }
    case 1: return param.itsHasValue && checkAlpn(value);
    case 2: return value.empty();
    case 3: return readNumber(value, 65535, number);
    case 4: return !value.empty() && checkCommaList(value, isIPv4);
    case 5: return value.empty() || isBase64Text(value.data(), value.size());
    case 6: return !value.empty() && checkCommaList(value, checkIPv6);
    case 7: return checkDohpath(value);
    default: return checkLongString(value);
  }
}

// The SvcParams of one record together (RFC 9460 section 8): no key twice, every key that
// mandatory names present, and alpn beside no-default-alpn. inData holds them from inBegin,
// the first one field inFirstField (1-based).
bool checkSvcParamSet(std::string_view inData, size_t inBegin, uint32_t inFirstField, kxRecordDataFault& outFault) {
  SvcParamKeys keys;
  std::string_view mandatory;
  uint32_t mandatoryField = 0, noDefaultField = 0;
  uint32_t field = inFirstField;
  for (size_t begin = inBegin; begin <= inData.size(); ++field) {
    const size_t end = std::min(inData.find(kDataSeperator, begin), inData.size());
    const std::string_view text = inData.substr(begin, end - begin);
    const SvcParamText param = splitSvcParam(text);
    if (!keys.insert(uint32_t(param.itsKey))) return fail(outFault, field, text, "a SvcParam key given twice");
    if (param.itsKey == 0) {
      mandatory = param.itsValue;
      mandatoryField = field;
    }
    if (param.itsKey == 2) noDefaultField = field;
    begin = end + 1;
  }
  if (noDefaultField != 0 && !keys.contains(1))
    return fail(outFault, noDefaultField, "no-default-alpn", "no-default-alpn without alpn");
  bool complete = true;
  if (mandatoryField != 0)
    checkCommaList(mandatory, [&](std::string_view inKey) {
      complete = complete && keys.contains(uint32_t(kxSvcParamKeyNumber(inKey, true)));
      return true;
    });
  if (!complete) return fail(outFault, mandatoryField, mandatory, "naming a SvcParam key the record lacks");
  return true;
}

// One field against its kind; ioNumber is the value of the last number field before it, and
// ioTextBytes counts the bytes of the texts so far as they go on the wire.
bool checkField(kxFieldKind inKind, std::string_view inText, uint32_t& ioNumber, size_t& ioTextBytes,
                const char*& outReason) {
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
      uint32_t seconds = 0;
      return parseTTLValue(inText.data(), inText.size(), seconds);
    }
    case K::kIPv4: {
      outReason = "not an IPv4 address";
      uint8_t bytes[4];
      return parseIPv4Text(inText.data(), inText.size(), bytes);
    }
    case K::kIPv6:
      outReason = "not an IPv6 address";
      return checkIPv6(inText);
    case K::kString: {
      size_t bytes = 0;
      if (!checkString(inText, bytes, outReason)) return false;
      ioTextBytes += bytes + 1;
      return true;
    }
    case K::kBase64:
      outReason = "not base64";
      return isBase64Text(inText.data(), inText.size());
    case K::kAlgorithm:
      outReason = "not an algorithm";
      return checkAlgorithm(inText);
    case K::kTypeName:
      outReason = "not a known record type";
      return checkTypeName(inText);
    case K::kTypeList:
      outReason = "not a list of known record types";
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
    case K::kFingerprint:
    case K::kZoneDigest:
      outReason = "not a digest of the length its type needs";
      return checkHex(inText) && hasDigestLength(inKind, ioNumber, inText.size() / 2);
    case K::kSalt:
      outReason = "not a salt (\"-\" or hexadecimal of at most 255 bytes)";
      return inText == "-" || (checkHex(inText) && inText.size() <= 510);
    case K::kBase32Hex:
      outReason = "not base32hex of at most 255 bytes";
      return checkBase32Hex(inText);
    case K::kTypeBitmap:
      outReason = "not a list of known record types";
      return checkList(inText, true, checkTypeName);
    case K::kNXTTypes:
      outReason = "not a list of known record types from 1 to 127";
      return checkList(inText, true, checkNXTType);
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
      return checkLocator64(inText);
    case K::kAPLItem:
      outReason = "not an address prefix item";
      return checkAPLItem(inText);
    case K::kGateway:
    case K::kRelay:
    case K::kA6Address:
    case K::kA6Name:
    case K::kKeyData: {
      const kxFieldKind form = kxSelectedKind(inKind, ioNumber);
      if (form == K::kEnd) {
        outReason = inKind == K::kGateway   ? "not a gateway of its gateway type"
                    : inKind == K::kRelay   ? "not a relay of its relay type"
                    : inKind == K::kKeyData ? "key data of a key whose flags say it has none"
                                            : "more than the prefix length allows";
        return false;
      }
      return checkField(form, inText, ioNumber, ioTextBytes, outReason);
    }
    case K::kRoot:
      outReason = "not the root name \".\"";
      return inText == ".";
    case K::kX25Address:
      outReason = "not a string of at least 4 digits";
      return inText.size() >= 4 && inText.size() <= 255 && std::all_of(inText.begin(), inText.end(), isDigit);
    case K::kNSAP:
      outReason = "not an NSAP address (0x and hexadecimal digits of whole bytes)";
      return checkNSAP(inText);
    case K::kATMA:
      outReason = "not an ATM address (+ and digits, or hexadecimal digits of whole bytes)";
      return checkATMA(inText);
    case K::kBase64OrDash:
      outReason = "not base64 or \"-\"";
      return inText == "-" || isBase64Text(inText.data(), inText.size());
    case K::kDsyncScheme:
      outReason = "not a DSYNC scheme";
      return readNumber(inText, 255, value) || equalsNoCase(inText, "NOTIFY");
    case K::kBit:
      outReason = "not 0 or 1";
      return inText == "0" || inText == "1";
    case K::kA6Prefix:
      outReason = "not a prefix length from 0 to 128";
      return readNumber(inText, 128, ioNumber);
    case K::kCAATag:
      outReason = "not a property tag of letters and digits";
      return !inText.empty() && inText.size() <= 255 &&
             std::all_of(inText.begin(), inText.end(), [](char c) { return isLetter(c) || isDigit(c); });
    case K::kLongString:
    case K::kCAAValue: {
      outReason = "a text with a bad escape";
      TextBytes text(inText);
      uint8_t byte = 0;
      while (text.next(byte)) ++ioTextBytes;
      return !text.bad();
    }
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


}  // namespace

namespace orvo {

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

  // A list that may be empty (APL) holds no field at all.
  if (inData.empty() && layout->itsMinFields == 0) return true;
  uint32_t number = 0;
  // The number read up to each field: an IPSECKEY gateway's form is told two fields back.
  uint32_t numbers[kxFieldLayout::kMaxKinds] = {};
  size_t begin = 0;
  // Where the SvcParams begin: they are checked together once each is sound.
  size_t paramsBegin = std::string_view::npos;
  uint32_t paramsField = 0;
  size_t textBytes = 0;
  std::string_view previous;
  for (uint32_t index = 0;; ++index) {
    const bool present = begin <= inData.size();
    const kxFieldKind kind = layout->kindAt(index);
    const uint32_t distance = kxSelectorDistance(kind);
    if (distance != 0) number = index >= distance && index - distance < kxFieldLayout::kMaxKinds ? numbers[index - distance] : 0;
    if (!present) {
      // A field whose form its selector names is there, whatever the count of fields.
      if (index < layout->itsMinFields || (distance != 0 && kxSelectedKind(kind, number) != K::kEnd))
        return fail(outFault, index + 1, {}, "missing");
      // A record's data goes on the wire behind a 16-bit length.
      if (textBytes > 65535) return fail(outFault, index, previous, "text of more than 65535 bytes in all");
      return paramsBegin == std::string_view::npos || checkSvcParamSet(inData, paramsBegin, paramsField, outFault);
    }
    const size_t tab = inData.find(kDataSeperator, begin);
    const size_t end = tab == std::string_view::npos ? inData.size() : tab;
    const std::string_view field = inData.substr(begin, end - begin);
    if (kind == K::kEnd) return fail(outFault, index + 1, field, "more than the type has");
    if (kind == K::kDigest) {
      if (!checkDigest(inData, begin, number, reason)) return fail(outFault, index + 1, inData.substr(begin), reason);
      return true;
    }
    if (!checkField(kind, field, number, textBytes, reason)) return fail(outFault, index + 1, field, reason);
    if (kind == K::kCAAValue && (equalsNoCase(previous, "issue") || equalsNoCase(previous, "issuewild")) &&
        !checkIssueValue(field))
      return fail(outFault, index + 1, field, "not an issuer domain name and parameters (RFC 8659 4.2)");
    previous = field;
    if (kind == K::kSvcParam && paramsBegin == std::string_view::npos) {
      paramsBegin = begin;
      paramsField = index + 1;
    }
    if (index < kxFieldLayout::kMaxKinds) numbers[index] = number;
    begin = end + 1;
  }
}

}  // namespace orvo

std::string kxRecordDataFault::describe() const {
  constexpr size_t kShown = 40;
  std::string text = itsField == 0 ? std::string("owner name") : "field " + std::to_string(itsField);
  if (itsText.empty() && itsField != 0) return text + " is " + itsReason;
  std::string shown = itsText.size() > kShown ? itsText.substr(0, kShown) + "..." : itsText;
  return text + " \"" + printableText(shown.c_str()) + "\" is " + itsReason;
}
