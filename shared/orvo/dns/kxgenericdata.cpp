// Record data in the generic form. See kxgenericdata.h.
#include "orvo/dns/kxgenericdata.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <iterator>

#include "orvo/datastruct/kxresourcerecord.h"
#include "orvo/dns/kxrecorddatacheck.h"

namespace {

using K = kxFieldKind;

constexpr char kHexDigits[] = "0123456789ABCDEF";

// The wire data being read: every read checks what is left first.
class WireReader {
 public:
  WireReader(const uint8_t* inBytes, size_t inCount) : itsBytes(inBytes), itsCount(inCount) {}
  size_t left() const { return itsCount - itsAt; }
  bool atEnd() const { return itsAt == itsCount; }
  bool read(size_t inCount, const uint8_t*& outBytes) {
    if (inCount > left()) return false;
    outBytes = itsBytes + itsAt;
    itsAt += inCount;
    return true;
  }
  bool number(size_t inBytes, uint32_t& outValue) {
    const uint8_t* p = nullptr;
    if (!read(inBytes, p)) return false;
    outValue = 0;
    for (size_t i = 0; i < inBytes; ++i) outValue = (outValue << 8) | p[i];
    return true;
  }
  // The rest of the data.
  void rest(const uint8_t*& outBytes, size_t& outCount) {
    outCount = left();
    read(outCount, outBytes);
  }

 private:
  const uint8_t* itsBytes;
  size_t itsCount;
  size_t itsAt = 0;
};

void appendDecimalEscape(std::string& ioText, uint8_t inByte) {
  char text[5];
  std::snprintf(text, sizeof text, "\\%03u", unsigned(inByte));
  ioText += text;
}

// Bytes of a string as master-file text: printable characters as they are, a quote or a
// backslash escaped, every other byte as \DDD.
void appendStringText(std::string& ioText, const uint8_t* inBytes, size_t inCount) {
  for (size_t i = 0; i < inCount; ++i) {
    const uint8_t c = inBytes[i];
    if (c == '"' || c == '\\') {
      ioText += '\\';
      ioText += char(c);
    } else if (c < 0x20 || c > 0x7E) {
      appendDecimalEscape(ioText, c);
    } else {
      ioText += char(c);
    }
  }
}

void appendHex(std::string& ioText, const uint8_t* inBytes, size_t inCount) {
  for (size_t i = 0; i < inCount; ++i) {
    ioText += kHexDigits[inBytes[i] >> 4];
    ioText += kHexDigits[inBytes[i] & 15];
  }
}

void appendBase64(std::string& ioText, const uint8_t* inBytes, size_t inCount) {
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (size_t i = 0; i < inCount; i += 3) {
    const uint32_t n = (uint32_t(inBytes[i]) << 16) | (i + 1 < inCount ? uint32_t(inBytes[i + 1]) << 8 : 0) |
                       (i + 2 < inCount ? inBytes[i + 2] : 0);
    ioText += kAlphabet[(n >> 18) & 63];
    ioText += kAlphabet[(n >> 12) & 63];
    ioText += i + 1 < inCount ? kAlphabet[(n >> 6) & 63] : '=';
    ioText += i + 2 < inCount ? kAlphabet[n & 63] : '=';
  }
}

void appendBase32Hex(std::string& ioText, const uint8_t* inBytes, size_t inCount) {
  static const char kAlphabet[] = "0123456789ABCDEFGHIJKLMNOPQRSTUV";
  uint32_t buffer = 0;
  int bits = 0;
  for (size_t i = 0; i < inCount; ++i) {
    buffer = (buffer << 8) | inBytes[i];
    bits += 8;
    while (bits >= 5) {
      ioText += kAlphabet[(buffer >> (bits - 5)) & 31];
      bits -= 5;
    }
  }
  if (bits > 0) ioText += kAlphabet[(buffer << (5 - bits)) & 31];
}

void appendIPv4(std::string& ioText, const uint8_t* inBytes) {
  for (int i = 0; i < 4; ++i) {
    if (i > 0) ioText += '.';
    ioText += std::to_string(inBytes[i]);
  }
}

// Eight groups without leading zeros; any reader takes the form without "::".
void appendIPv6(std::string& ioText, const uint8_t* inBytes) {
  char group[5];
  for (int i = 0; i < 8; ++i) {
    if (i > 0) ioText += ':';
    std::snprintf(group, sizeof group, "%x", unsigned(inBytes[2 * i] << 8 | inBytes[2 * i + 1]));
    ioText += group;
  }
}

// An uncompressed wire name, absolute; "." for the root.
bool readName(WireReader& ioReader, std::string& ioText) {
  size_t wire = 0;
  for (;;) {
    uint32_t length = 0;
    if (!ioReader.number(1, length) || length > 63) return false;  // a compression pointer is no name here
    wire += length + 1;
    if (wire > 255) return false;
    if (length == 0) break;
    const uint8_t* label = nullptr;
    if (!ioReader.read(length, label)) return false;
    for (size_t i = 0; i < length; ++i) {
      const uint8_t c = label[i];
      if (c == '.' || c == ';' || c == '(' || c == ')' || c == '@' || c == '$' || c == '"' || c == '\\' ||
          c == ' ') {
        ioText += '\\';
        ioText += char(c);
      } else if (c <= 0x20 || c > 0x7E) {
        appendDecimalEscape(ioText, c);
      } else {
        ioText += char(c);
      }
    }
    ioText += '.';
  }
  if (wire == 1) ioText += '.';
  return true;
}

// A type bitmap (RFC 4034 4.1.2): the types, joined by single blanks. Windows come in
// increasing order, each of 1 to 32 bytes and without trailing zero bytes.
bool readTypeBitmap(WireReader& ioReader, std::string& ioText) {
  int lastWindow = -1;
  bool first = true;
  while (!ioReader.atEnd()) {
    uint32_t window = 0;
    uint32_t length = 0;
    const uint8_t* bits = nullptr;
    if (!ioReader.number(1, window) || !ioReader.number(1, length) || length < 1 || length > 32 ||
        int(window) <= lastWindow || !ioReader.read(length, bits) || bits[length - 1] == 0)
      return false;
    lastWindow = int(window);
    for (uint32_t i = 0; i < length * 8; ++i) {
      if (!(bits[i / 8] & (0x80 >> (i % 8)))) continue;
      if (!first) ioText += ' ';
      first = false;
      ioText += kxTypeListText(static_cast<uint16_t>(window * 256 + i));
    }
  }
  return true;
}

// YYYYMMDDHHmmSS of seconds since 1970 (days to a civil date after H. Hinnant).
void appendSignatureTime(std::string& ioText, uint32_t inSeconds) {
  const int64_t days = inSeconds / 86400;
  const uint32_t second = inSeconds % 86400;
  const int64_t z = days + 719468;
  const int64_t era = z / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t day = doy - (153 * mp + 2) / 5 + 1;
  const int64_t month = mp < 10 ? mp + 3 : mp - 9;
  const int64_t year = yoe + era * 400 + (month <= 2);
  char text[32];
  std::snprintf(text, sizeof text, "%04lld%02lld%02lld%02u%02u%02u", static_cast<long long>(year),
                static_cast<long long>(month), static_cast<long long>(day), second / 3600, second / 60 % 60,
                second % 60);
  ioText += text;
}

// One SvcParam as key or key=value; keys come in strictly increasing order (RFC 9460 2.2).
bool readSvcParam(WireReader& ioReader, int32_t& ioLastKey, std::string& ioText) {
  uint32_t key = 0;
  uint32_t length = 0;
  const uint8_t* value = nullptr;
  if (!ioReader.number(2, key) || int32_t(key) <= ioLastKey || !ioReader.number(2, length) ||
      !ioReader.read(length, value))
    return false;
  ioLastKey = int32_t(key);
  ioText += kxSvcParamKeyText(key);
  return kxSvcParamValueText(key, value, length, ioText);
}

// An APL item: [!]family:address/prefix.
bool readAPLItem(WireReader& ioReader, std::string& ioText) {
  uint32_t family = 0, prefix = 0, lengthByte = 0;
  const uint8_t* address = nullptr;
  if (!ioReader.number(2, family) || !ioReader.number(1, prefix) || !ioReader.number(1, lengthByte)) return false;
  const size_t length = lengthByte & 0x7F;
  const size_t size = family == 1 ? 4 : 16;
  if ((family != 1 && family != 2) || length > size || prefix > size * 8 || !ioReader.read(length, address))
    return false;
  if (length > 0 && address[length - 1] == 0) return false;  // the address is sent without trailing zeros
  uint8_t bytes[16] = {};
  for (size_t i = 0; i < length; ++i) bytes[i] = address[i];
  if (lengthByte & 0x80) ioText += '!';
  ioText += family == 1 ? "1:" : "2:";
  family == 1 ? appendIPv4(ioText, bytes) : appendIPv6(ioText, bytes);
  ioText += '/' + std::to_string(prefix);
  return true;
}

// Groups of inPerGroup bytes in hexadecimal, joined by inSeparator.
bool readHexGroups(WireReader& ioReader, size_t inBytes, size_t inPerGroup, char inSeparator, std::string& ioText) {
  const uint8_t* bytes = nullptr;
  if (!ioReader.read(inBytes, bytes)) return false;
  for (size_t i = 0; i < inBytes; ++i) {
    if (i > 0 && i % inPerGroup == 0) ioText += inSeparator;
    ioText += char(kHexDigits[bytes[i] >> 4] | 0x20);
    ioText += char(kHexDigits[bytes[i] & 15] | 0x20);
  }
  return true;
}

// One field of kind inKind; inNumbers holds the numbers read so far, by field.
bool readField(K inKind, WireReader& ioReader, const uint32_t* inNumbers, uint32_t inIndex, uint32_t& outNumber,
               std::string& ioText) {
  const uint8_t* bytes = nullptr;
  size_t count = 0;
  uint32_t value = 0;
  switch (inKind) {
    case K::kName: return readName(ioReader, ioText);
    case K::kNumber8:
    case K::kAlgorithm:
    case K::kProtocol:
    case K::kDsyncScheme:
      if (!ioReader.number(1, outNumber)) return false;
      ioText += std::to_string(outNumber);
      return true;
    case K::kNumber16:
    case K::kCertType:
      if (!ioReader.number(2, outNumber)) return false;
      ioText += std::to_string(outNumber);
      return true;
    case K::kNumber32:
    case K::kTTL:
      if (!ioReader.number(4, outNumber)) return false;
      ioText += std::to_string(outNumber);
      return true;
    case K::kSignatureTime:
      if (!ioReader.number(4, value)) return false;
      appendSignatureTime(ioText, value);
      return true;
    case K::kTypeName:
      if (!ioReader.number(2, value)) return false;
      ioText += kxTypeListText(static_cast<uint16_t>(value));
      return true;
    case K::kIPv4:
      if (!ioReader.read(4, bytes)) return false;
      appendIPv4(ioText, bytes);
      return true;
    case K::kIPv6:
      if (!ioReader.read(16, bytes)) return false;
      appendIPv6(ioText, bytes);
      return true;
    case K::kString:
    case K::kX25Address:
    case K::kCAATag:
      if (!ioReader.number(1, value) || !ioReader.read(value, bytes)) return false;
      if (inKind == K::kCAATag && value == 0) return false;
      appendStringText(ioText, bytes, value);
      return true;
    case K::kLongString:
    case K::kCAAValue:
      ioReader.rest(bytes, count);
      appendStringText(ioText, bytes, count);
      return true;
    case K::kKeyData:
      // Bytes where the flags say there is no key are no KEY record's.
      if (inIndex < 3 || kxSelectedKind(inKind, inNumbers[inIndex - 3]) == K::kEnd) return false;
      [[fallthrough]];
    case K::kBase64:
      ioReader.rest(bytes, count);
      appendBase64(ioText, bytes, count);
      return count > 0;
    case K::kHex:
    case K::kDigest:
    case K::kFingerprint:
    case K::kZoneDigest:
      ioReader.rest(bytes, count);
      appendHex(ioText, bytes, count);
      return count > 0;
    case K::kNSAP:
      ioReader.rest(bytes, count);
      ioText += "0x";
      appendHex(ioText, bytes, count);
      return count > 0;
    case K::kBase64OrDash:
      ioReader.rest(bytes, count);
      if (count == 0) ioText += '-';
      appendBase64(ioText, bytes, count);
      return true;
    case K::kATMA:
      // A format byte: 0 for an NSAP address in hexadecimal, 1 for E.164 digits.
      if (!ioReader.number(1, value)) return false;
      ioReader.rest(bytes, count);
      if (value == 0) {
        appendHex(ioText, bytes, count);
      } else if (value == 1) {
        ioText += '+';
        appendStringText(ioText, bytes, count);
      } else {
        return false;
      }
      return count > 0;
    case K::kNXTTypes: {
      // A plain bitmap of the types 1 to 127, without trailing zero bytes (RFC 2535 5.2).
      ioReader.rest(bytes, count);
      if (count > 16 || (count > 0 && (bytes[0] & 0x80 || bytes[count - 1] == 0))) return false;
      bool first = true;
      for (size_t type = 1; type < count * 8; ++type) {
        if (!(bytes[type / 8] & (0x80 >> (type % 8)))) continue;
        if (!first) ioText += ' ';
        first = false;
        ioText += kxTypeListText(static_cast<uint16_t>(type));
      }
      return true;
    }
    case K::kSalt:
      if (!ioReader.number(1, value) || !ioReader.read(value, bytes)) return false;
      if (value == 0) ioText += '-';
      appendHex(ioText, bytes, value);
      return true;
    case K::kBase32Hex:
      if (!ioReader.number(1, value) || value == 0 || !ioReader.read(value, bytes)) return false;
      appendBase32Hex(ioText, bytes, value);
      return true;
    case K::kTypeList:
    case K::kTypeBitmap:
      return readTypeBitmap(ioReader, ioText) && (inKind == K::kTypeBitmap || ioText.back() != '\t');
    case K::kServiceList: {
      ioReader.rest(bytes, count);
      if (count > 8192) return false;  // beyond port 65535
      bool first = true;
      for (size_t port = 0; port < count * 8; ++port) {
        if (!(bytes[port / 8] & (0x80 >> (port % 8)))) continue;
        if (!first) ioText += ' ';
        first = false;
        ioText += std::to_string(port);
      }
      return true;
    }
    case K::kAPLItem: return readAPLItem(ioReader, ioText);
    case K::kEUI48: return readHexGroups(ioReader, 6, 1, '-', ioText);
    case K::kEUI64: return readHexGroups(ioReader, 8, 1, '-', ioText);
    case K::kLocator64: return readHexGroups(ioReader, 8, 2, ':', ioText);
    case K::kGateway:
      switch (inIndex >= 2 ? inNumbers[inIndex - 2] : 0) {
        case 0: ioText += '.'; return true;
        case 1: return readField(K::kIPv4, ioReader, inNumbers, inIndex, outNumber, ioText);
        case 2: return readField(K::kIPv6, ioReader, inNumbers, inIndex, outNumber, ioText);
        case 3: return readName(ioReader, ioText);
        default: return false;
      }
    default:
      return false;  // LOC, read whole by readLOC, and WINS words
  }
}

// A LOC size or precision byte (mantissa and power of ten, in centimetres) in metres.
bool appendLOCSize(std::string& ioText, uint8_t inByte) {
  const unsigned mantissa = inByte >> 4;
  const unsigned exponent = inByte & 15;
  if (mantissa > 9 || exponent > 9) return false;
  uint64_t centimetres = mantissa;
  for (unsigned i = 0; i < exponent; ++i) centimetres *= 10;
  char text[32];
  std::snprintf(text, sizeof text, "%llu.%02llum", static_cast<unsigned long long>(centimetres / 100),
                static_cast<unsigned long long>(centimetres % 100));
  ioText += text;
  return true;
}

// A LOC latitude or longitude (thousandths of a second of arc from 2^31) as degrees, minutes,
// seconds and hemisphere.
void appendLOCAngle(std::string& ioText, uint32_t inValue, const char* inHemispheres) {
  const bool positive = inValue >= 0x80000000u;
  const uint32_t angle = positive ? inValue - 0x80000000u : 0x80000000u - inValue;
  char text[48];
  std::snprintf(text, sizeof text, "%u %u %u.%03u %c", angle / 3600000, angle / 60000 % 60, angle / 1000 % 60,
                angle % 1000, inHemispheres[positive ? 0 : 1]);
  ioText += text;
}

// LOC (RFC 1876): version 0, size, horizontal and vertical precision, latitude, longitude and
// altitude (centimetres from 100,000 m below the reference); written in the text order.
bool readLOC(WireReader& ioReader, std::string& outData) {
  uint32_t version = 0, size = 0, horizontal = 0, vertical = 0, latitude = 0, longitude = 0, altitude = 0;
  if (!ioReader.number(1, version) || version != 0 || !ioReader.number(1, size) || !ioReader.number(1, horizontal) ||
      !ioReader.number(1, vertical) || !ioReader.number(4, latitude) || !ioReader.number(4, longitude) ||
      !ioReader.number(4, altitude) || !ioReader.atEnd())
    return false;
  appendLOCAngle(outData, latitude, "NS");
  outData += kDataSeperator;
  appendLOCAngle(outData, longitude, "EW");
  outData += kDataSeperator;
  const int64_t centimetres = int64_t(altitude) - 10000000;
  const uint64_t magnitude = static_cast<uint64_t>(centimetres < 0 ? -centimetres : centimetres);
  char text[40];
  std::snprintf(text, sizeof text, "%s%llu.%02llum", centimetres < 0 ? "-" : "",
                static_cast<unsigned long long>(magnitude / 100), static_cast<unsigned long long>(magnitude % 100));
  outData += text;
  for (const uint32_t value : {size, horizontal, vertical}) {
    outData += kDataSeperator;
    if (!appendLOCSize(outData, static_cast<uint8_t>(value))) return false;
  }
  return true;
}

// A6 (RFC 2874): the prefix length, the address suffix in as few bytes as it needs (the bits
// of the prefix zero), and the prefix name unless the prefix length is 0.
bool readA6(WireReader& ioReader, std::string& outData) {
  uint32_t prefix = 0;
  const uint8_t* suffix = nullptr;
  if (!ioReader.number(1, prefix) || prefix > 128) return false;
  const size_t length = (128 - prefix + 7) / 8;
  if (!ioReader.read(length, suffix)) return false;
  if (length > 0 && (suffix[0] & ~(0xFF >> (prefix % 8)) & 0xFF) != 0) return false;
  outData += std::to_string(prefix);
  if (prefix < 128) {
    uint8_t address[16] = {};
    for (size_t i = 0; i < length; ++i) address[16 - length + i] = suffix[i];
    outData += kDataSeperator;
    appendIPv6(outData, address);
  }
  if (prefix > 0) {
    outData += kDataSeperator;
    if (!readName(ioReader, outData)) return false;
  }
  return ioReader.atEnd();
}

// AMTRELAY (RFC 8777): the precedence, one byte of the discovery bit and the relay type,
// and the relay in the form its type gives ("." for none).
bool readAMTRELAY(WireReader& ioReader, std::string& outData) {
  uint32_t precedence = 0, typeByte = 0, number = 0;
  if (!ioReader.number(1, precedence) || !ioReader.number(1, typeByte)) return false;
  const uint32_t relayType = typeByte & 0x7F;
  outData += std::to_string(precedence) + kDataSeperator + (typeByte & 0x80 ? '1' : '0') + kDataSeperator +
             std::to_string(relayType) + kDataSeperator;
  const uint32_t none[1] = {};
  switch (relayType) {
    case 0: outData += '.'; break;
    case 1: if (!readField(K::kIPv4, ioReader, none, 0, number, outData)) return false; break;
    case 2: if (!readField(K::kIPv6, ioReader, none, 0, number, outData)) return false; break;
    case 3: if (!readName(ioReader, outData)) return false; break;
    default: return false;
  }
  return ioReader.atEnd();
}

// HIP (RFC 8005): on the wire the lengths of the HIT and the public key, and the algorithm,
// come first; the text gives the algorithm, the HIT, the key, then the rendezvous servers.
bool readHIP(WireReader& ioReader, std::string& outData) {
  uint32_t hitLength = 0, algorithm = 0, keyLength = 0;
  const uint8_t* hit = nullptr;
  const uint8_t* key = nullptr;
  if (!ioReader.number(1, hitLength) || !ioReader.number(1, algorithm) || !ioReader.number(2, keyLength) ||
      hitLength == 0 || keyLength == 0 || !ioReader.read(hitLength, hit) || !ioReader.read(keyLength, key))
    return false;
  outData += std::to_string(algorithm) + kDataSeperator;
  appendHex(outData, hit, hitLength);
  outData += kDataSeperator;
  appendBase64(outData, key, keyLength);
  while (!ioReader.atEnd()) {
    outData += kDataSeperator;
    if (!readName(ioReader, outData)) return false;
  }
  return true;
}

// The types whose wire form is not their fields in the text's order.
bool readSpecialType(kxResRecType inType, WireReader& ioReader, std::string& outData, bool& outRead) {
  outRead = true;
  if (inType == kTypeLOC) return readLOC(ioReader, outData);
  if (inType == kxExtendedType(38)) return readA6(ioReader, outData);
  if (inType == kxExtendedType(260)) return readAMTRELAY(ioReader, outData);
  if (inType == kxExtendedType(55)) return readHIP(ioReader, outData);
  outRead = false;
  return true;
}

}  // namespace

namespace orvo {

std::string kxGenericDataText(const uint8_t* inBytes, size_t inCount) {
  std::string text = "\\#";
  text += kDataSeperator;
  text += std::to_string(inCount);
  if (inCount > 0) {
    text += kDataSeperator;
    appendHex(text, inBytes, inCount);
  }
  return text;
}

namespace {

constexpr const char* kSvcParamKeys[] = {"mandatory", "alpn", "no-default-alpn", "port", "ipv4hint",
                                         "ech",       "ipv6hint", "dohpath"};

// A byte of an alpn id. The value is read twice: as master-file text, then as a list of ids
// separated by commas, in which a backslash keeps the next character. So a comma or a
// backslash of an id is written "\\," or "\\\\"; other bytes plain or as \DDD.
void appendAlpnByte(std::string& ioText, uint8_t inByte) {
  if (inByte == ',') {
    ioText += "\\\\,";
  } else if (inByte == '\\') {
    ioText += "\\\\\\\\";
  } else if ((inByte >= '0' && inByte <= '9') || (inByte >= 'A' && inByte <= 'Z') || (inByte >= 'a' && inByte <= 'z') ||
             inByte == '-' || inByte == '.' || inByte == '/' || inByte == '_') {
    ioText += char(inByte);
  } else {
    appendDecimalEscape(ioText, inByte);
  }
}

}  // namespace

std::string kxSvcParamKeyText(uint32_t inKey) {
  return inKey < std::size(kSvcParamKeys) ? kSvcParamKeys[inKey] : "key" + std::to_string(inKey);
}

int32_t kxSvcParamKeyNumber(std::string_view inWord, bool inAnyCase) {
  for (size_t i = 0; i < std::size(kSvcParamKeys); ++i) {
    const std::string_view name = kSvcParamKeys[i];
    if (inWord.size() == name.size() &&
        std::equal(name.begin(), name.end(), inWord.begin(),
                   [&](char a, char b) { return a == b || (inAnyCase && a == char(std::tolower(uint8_t(b)))); }))
      return int32_t(i);
  }
  if (inWord.size() < 4 || inWord.size() > 8 || inWord.substr(0, 3) != "key") return -1;
  uint32_t number = 0;
  for (const char c : inWord.substr(3)) {
    if (c < '0' || c > '9') return -1;
    number = number * 10 + uint32_t(c - '0');
  }
  return number <= 0xFFFF ? int32_t(number) : -1;
}

bool kxSvcParamValueText(uint32_t inKey, const uint8_t* inBytes, size_t inCount, std::string& ioText) {
  // Without a value: no-default-alpn always, an empty ech or unknown key.
  if (inKey == 2) return inCount == 0;
  if (inCount == 0) return inKey == 5 || inKey > 7;
  ioText += "=\"";
  WireReader items(inBytes, inCount);
  switch (inKey) {
    case 0:  // mandatory: keys in strictly increasing order
    case 3:  // port
    {
      if (inCount % 2 != 0 || (inKey == 3 && inCount != 2)) return false;
      int32_t last = -1;
      for (bool first = true; !items.atEnd(); first = false) {
        uint32_t item = 0;
        items.number(2, item);
        if (inKey == 0 && int32_t(item) <= last) return false;
        last = int32_t(item);
        if (!first) ioText += ',';
        ioText += inKey == 0 ? kxSvcParamKeyText(item) : std::to_string(item);
      }
      break;
    }
    case 1:  // alpn: strings of one byte's length
      for (bool first = true; !items.atEnd(); first = false) {
        uint32_t itemLength = 0;
        const uint8_t* item = nullptr;
        if (!items.number(1, itemLength) || itemLength == 0 || !items.read(itemLength, item)) return false;
        if (!first) ioText += ',';
        for (size_t i = 0; i < itemLength; ++i) appendAlpnByte(ioText, item[i]);
      }
      break;
    case 4:  // ipv4hint
    case 6:  // ipv6hint
    {
      const size_t size = inKey == 4 ? 4 : 16;
      if (inCount % size != 0) return false;
      for (size_t i = 0; i < inCount; i += size) {
        if (i > 0) ioText += ',';
        inKey == 4 ? appendIPv4(ioText, inBytes + i) : appendIPv6(ioText, inBytes + i);
      }
      break;
    }
    case 5:  // ech
      appendBase64(ioText, inBytes, inCount);
      break;
    default:
      appendStringText(ioText, inBytes, inCount);
      break;
  }
  ioText += '"';
  return true;
}

std::string kxTypeListText(uint16_t inWireType) {
  const kxResourceRecordTypeInfo* row = kxFindRecordTypeInfo(kxRecordTypeFromWire(inWireType));
  return row ? row->itsName : "TYPE" + std::to_string(inWireType);
}

bool kxGenericDataToText(kxResRecType inType, const uint8_t* inBytes, size_t inCount, std::string& outData,
                         const char*& outReason) {
  outReason = "not data of its type";
  const kxFieldLayout* layout = kxFieldLayoutOf(inType);
  if (layout == nullptr || inType == kTypeWINS || inType == kTypeWINSR) {
    outReason = "not readable for this type";
    return false;
  }
  WireReader reader(inBytes, inCount);
  std::string data;
  uint32_t numbers[kxFieldLayout::kMaxKinds] = {};
  uint32_t number = 0;
  bool special = false;
  if (!readSpecialType(inType, reader, data, special)) return false;
  int32_t lastKey = -1;
  for (uint32_t index = 0; !special; ++index) {
    if (reader.atEnd() && index >= layout->itsMinFields) {
      // A type list at the end may be empty; the field is then left out, as the parser does.
      break;
    }
    const K kind = layout->kindAt(index);
    if (kind == K::kEnd) {
      outReason = "longer than the data of its type";
      return false;
    }
    if (index > 0) data += kDataSeperator;
    if (kind == K::kSvcParam ? !readSvcParam(reader, lastKey, data)
                             : !readField(kind, reader, numbers, index, number, data))
      return false;
    if (index < kxFieldLayout::kMaxKinds) numbers[index] = number;
  }
  // What the wire form held must be sound text of the type, as the parser's data would be.
  kxRecordDataFault fault;
  if (!checkRecordData("", inType, data, fault)) {
    outReason = "not data of its type";
    return false;
  }
  outData = std::move(data);
  return true;
}

}  // namespace orvo
