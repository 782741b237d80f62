// The record type table. See kxresrectype.h.
#include "orvo/datastruct/kxresrectype.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <iterator>
#include <mutex>
#include <string>

#include "orvo/internal/kxglobals.h"
#include "orvo/util/kxtexthelpers.h"

namespace {

using K = kxFieldKind;

constexpr kxFieldLayout kNameOnly{1, false, {K::kName}};
constexpr kxFieldLayout kPreferenceAndName{2, false, {K::kNumber16, K::kName}};
constexpr kxFieldLayout kTwoNames{2, false, {K::kName, K::kName}};
constexpr kxFieldLayout kText{1, true, {K::kString}};
constexpr kxFieldLayout kKey{4, false, {K::kNumber16, K::kNumber8, K::kAlgorithm, K::kBase64}};
constexpr kxFieldLayout kSigner{4, false, {K::kNumber16, K::kAlgorithm, K::kNumber8, K::kDigest}};
constexpr kxFieldLayout kWords{1, true, {K::kWord}};
constexpr kxFieldLayout kCertificateAssociation{4, false, {K::kNumber8, K::kNumber8, K::kNumber8, K::kHex}};
constexpr kxFieldLayout kServiceBinding{2, true, {K::kNumber16, K::kName, K::kSvcParam}};
constexpr kxFieldLayout kPreferenceAndLocator{2, false, {K::kNumber16, K::kLocator64}};
constexpr kxFieldLayout kSignature{
    9, false,
    {K::kTypeName, K::kAlgorithm, K::kNumber8, K::kNumber32, K::kSignatureTime, K::kSignatureTime, K::kNumber16, K::kName,
     K::kBase64}};
// A type BIND names but whose data has no text form beyond the generic one.
constexpr kxFieldLayout kGenericOnly{0, false, {}};

// A row of the 23, held under its own value; DLV's wire number differs from its value.
constexpr kxResourceRecordTypeInfo table(kxResRecType inType, const char* inName, int32_t inFormat,
                                         kxFieldLayout inLayout) {
  const uint16_t number = inType == kTypeDLV ? kWireTypeDLV : static_cast<uint16_t>(inType);
  return {inType, number, inName, inFormat, inLayout};
}

// A row of an added type, held as kExtendedTypeBase plus its number. Where its data reads and
// writes like that of one of the 23, the row names that type's format (SPF like TXT, KX and
// RT like MX, CDS like DS, ...).
constexpr kxResourceRecordTypeInfo added(uint16_t inNumber, const char* inName, int32_t inFormat,
                                         kxFieldLayout inLayout) {
  return {kxExtendedType(inNumber), inNumber, inName, inFormat, inLayout};
}

// Sorted by mnemonic (ASCII).
constexpr kxResourceRecordTypeInfo kTypes[] = {
    table(kTypeA, "A", kFormatA, {1, false, {K::kIPv4}}),
    added(38, "A6", kFormatFields, {2, false, {K::kA6Prefix, K::kA6Address, K::kA6Name}}),
    table(kTypeAAAA, "AAAA", kFormatAAAA, {1, false, {K::kIPv6}}),
    table(kTypeAFSDB, "AFSDB", kFormatPrefName, kPreferenceAndName),
    added(260, "AMTRELAY", kFormatFields, {4, false, {K::kNumber8, K::kBit, K::kNumber8, K::kRelay}}),
    added(42, "APL", kFormatFields, {0, true, {K::kAPLItem}}),
    added(34, "ATMA", kFormatFields, {1, false, {K::kATMA}}),
    added(258, "AVC", kFormatText, kText),
    added(257, "CAA", kFormatFields, {3, false, {K::kNumber8, K::kCAATag, K::kCAAValue}}),
    added(60, "CDNSKEY", kFormatDNSKEY, kKey),
    added(59, "CDS", kFormatDS, kSigner),
    added(37, "CERT", kFormatFields, {4, false, {K::kCertType, K::kNumber16, K::kAlgorithm, K::kBase64}}),
    table(kTypeCNAME, "CNAME", kFormatName, kNameOnly),
    added(62, "CSYNC", kFormatFields, {2, false, {K::kNumber32, K::kNumber16, K::kTypeBitmap}}),
    added(49, "DHCID", kFormatFields, {1, false, {K::kBase64}}),
    table(kTypeDLV, "DLV", kFormatDS, kSigner),
    table(kTypeDNAME, "DNAME", kFormatName, kNameOnly),
    table(kTypeDNSKEY, "DNSKEY", kFormatDNSKEY, kKey),
    added(259, "DOA", kFormatFields,
          {5, false, {K::kNumber32, K::kNumber32, K::kNumber8, K::kString, K::kBase64OrDash}}),
    table(kTypeDS, "DS", kFormatDS, kSigner),
    added(66, "DSYNC", kFormatFields, {4, false, {K::kTypeName, K::kDsyncScheme, K::kNumber16, K::kName}}),
    added(31, "EID", kFormatFields, {1, false, {K::kHex}}),
    added(108, "EUI48", kFormatFields, {1, false, {K::kEUI48}}),
    added(109, "EUI64", kFormatFields, {1, false, {K::kEUI64}}),
    added(102, "GID", kFormatGeneric, kGenericOnly),
    added(27, "GPOS", kFormatText, {3, false, {K::kString, K::kString, K::kString}}),
    table(kTypeHINFO, "HINFO", kFormatHINFO, {2, false, {K::kString, K::kString}}),
    added(55, "HIP", kFormatFields, {3, true, {K::kNumber8, K::kHex, K::kBase64, K::kName}}),
    added(65, "HTTPS", kFormatFields, kServiceBinding),
    added(45, "IPSECKEY", kFormatFields,
          {4, false, {K::kNumber8, K::kNumber8, K::kNumber8, K::kGateway, K::kBase64}}),
    added(20, "ISDN", kFormatText, {1, false, {K::kString, K::kString}}),
    added(25, "KEY", kFormatDNSKEY, {3, false, {K::kNumber16, K::kNumber8, K::kAlgorithm, K::kKeyData}}),
    added(36, "KX", kFormatPrefName, kPreferenceAndName),
    added(105, "L32", kFormatFields, {2, false, {K::kNumber16, K::kIPv4}}),
    added(106, "L64", kFormatFields, kPreferenceAndLocator),
    table(kTypeLOC, "LOC", kFormatLOC,
          {3, false,
           {K::kLatitude, K::kLongitude, K::kAltitude, K::kSize, K::kHorizontalPrecision, K::kVerticalPrecision}}),
    added(107, "LP", kFormatPrefName, kPreferenceAndName),
    added(7, "MB", kFormatName, kNameOnly),
    added(8, "MG", kFormatName, kNameOnly),
    added(14, "MINFO", kFormatRP, kTwoNames),
    added(9, "MR", kFormatName, kNameOnly),
    table(kTypeMX, "MX", kFormatPrefName, kPreferenceAndName),
    table(kTypeNAPTR, "NAPTR", kFormatNAPTR,
          {6, false, {K::kNumber16, K::kNumber16, K::kString, K::kString, K::kString, K::kName}}),
    added(104, "NID", kFormatFields, kPreferenceAndLocator),
    added(32, "NIMLOC", kFormatFields, {1, false, {K::kHex}}),
    added(56, "NINFO", kFormatText, kText),
    table(kTypeNS, "NS", kFormatName, kNameOnly),
    added(22, "NSAP", kFormatFields, {1, false, {K::kNSAP}}),
    added(23, "NSAP-PTR", kFormatName, kNameOnly),
    table(kTypeNSEC, "NSEC", kFormatNSEC, {2, false, {K::kName, K::kTypeList}}),
    added(50, "NSEC3", kFormatFields,
          {5, false, {K::kNumber8, K::kNumber8, K::kNumber16, K::kSalt, K::kBase32Hex, K::kTypeBitmap}}),
    added(51, "NSEC3PARAM", kFormatFields, {4, false, {K::kNumber8, K::kNumber8, K::kNumber16, K::kSalt}}),
    added(10, "NULL", kFormatGeneric, kGenericOnly),
    added(30, "NXT", kFormatFields, {1, false, {K::kName, K::kNXTTypes}}),
    added(61, "OPENPGPKEY", kFormatFields, {1, false, {K::kBase64}}),
    table(kTypePTR, "PTR", kFormatName, kNameOnly),
    added(26, "PX", kFormatFields, {3, false, {K::kNumber16, K::kName, K::kName}}),
    added(261, "RESINFO", kFormatText, kText),
    added(57, "RKEY", kFormatDNSKEY, kKey),
    table(kTypeRP, "RP", kFormatRP, kTwoNames),
    table(kTypeRRSIG, "RRSIG", kFormatRRSIG, kSignature),
    added(21, "RT", kFormatPrefName, kPreferenceAndName),
    added(24, "SIG", kFormatFields, kSignature),
    added(40, "SINK", kFormatFields, {3, false, {K::kNumber8, K::kNumber8, K::kNumber8, K::kBase64}}),
    added(53, "SMIMEA", kFormatFields, kCertificateAssociation),
    table(kTypeSOA, "SOA", kFormatSOA,
          {7, false, {K::kName, K::kName, K::kNumber32, K::kTTL, K::kTTL, K::kTTL, K::kTTL}}),
    added(99, "SPF", kFormatText, kText),
    table(kTypeSRV, "SRV", kFormatSRV, {4, false, {K::kNumber16, K::kNumber16, K::kNumber16, K::kName}}),
    added(44, "SSHFP", kFormatFields, {3, false, {K::kNumber8, K::kNumber8, K::kFingerprint}}),
    added(64, "SVCB", kFormatFields, kServiceBinding),
    added(32768, "TA", kFormatDS, kSigner),
    added(58, "TALINK", kFormatRP, kTwoNames),
    added(52, "TLSA", kFormatFields, kCertificateAssociation),
    table(kTypeTXT, "TXT", kFormatText, kText),
    added(101, "UID", kFormatGeneric, kGenericOnly),
    added(100, "UINFO", kFormatGeneric, kGenericOnly),
    added(103, "UNSPEC", kFormatGeneric, kGenericOnly),
    added(256, "URI", kFormatFields, {3, false, {K::kNumber16, K::kNumber16, K::kLongString}}),
    added(262, "WALLET", kFormatText, kText),
    table(kTypeWINS, "WINS", kFormatWINS, kWords),
    table(kTypeWINSR, "WINSR", kFormatWINSR, kWords),
    table(kTypeWKS, "WKS", kFormatWKS, {2, false, {K::kIPv4, K::kProtocol, K::kServiceList}}),
    added(19, "X25", kFormatText, {1, false, {K::kX25Address}}),
    added(63, "ZONEMD", kFormatFields, {4, false, {K::kNumber32, K::kNumber8, K::kNumber8, K::kZoneDigest}}),
};
constexpr size_t kTypeCount = std::size(kTypes);

constexpr bool isSortedByName() {
  for (size_t i = 1; i < kTypeCount; ++i) {
    const char* a = kTypes[i - 1].itsName;
    const char* b = kTypes[i].itsName;
    while (*a && *a == *b) ++a, ++b;
    if (static_cast<unsigned char>(*a) >= static_cast<unsigned char>(*b)) return false;
  }
  return true;
}
static_assert(isSortedByName(), "the record types must be sorted by mnemonic");
static_assert(std::count_if(std::begin(kTypes), std::end(kTypes),
                            [](const kxResourceRecordTypeInfo& inRow) { return !isExtendedRecordType(inRow.itsType); }) ==
              kNumTableTypes);

// The rows' positions, ordered by the value records hold.
constexpr std::array<uint8_t, kTypeCount> kByValue = [] {
  std::array<uint8_t, kTypeCount> order{};
  for (size_t i = 0; i < kTypeCount; ++i) order[i] = static_cast<uint8_t>(i);
  std::sort(order.begin(), order.end(), [](uint8_t a, uint8_t b) { return kTypes[a].itsType < kTypes[b].itsType; });
  return order;
}();

// Row positions by value for the values below kDirectValues, and for the added types by their
// number below it; kNoRow where there is none. The few other values (WINS, WINSR, TA) are
// looked up in kByValue.
constexpr uint32_t kDirectValues = 512;
constexpr uint8_t kNoRow = 0xFF;
static_assert(kTypeCount < kNoRow, "row positions are held in one byte beside kNoRow");

constexpr size_t directSlot(int32_t inType) {
  if (inType >= 0 && uint32_t(inType) < kDirectValues) return size_t(inType);
  if (isExtendedRecordType(inType) && uint32_t(inType - kExtendedTypeBase) < kDirectValues)
    return kDirectValues + size_t(inType - kExtendedTypeBase);
  return SIZE_MAX;
}

constexpr std::array<uint8_t, 2 * kDirectValues> kDirect = [] {
  std::array<uint8_t, 2 * kDirectValues> rows{};
  for (uint8_t& row : rows) row = kNoRow;
  for (size_t i = 0; i < kTypeCount; ++i)
    if (const size_t slot = directSlot(kTypes[i].itsType); slot != SIZE_MAX) rows[slot] = static_cast<uint8_t>(i);
  return rows;
}();

// toUpperChar, inline: a type word is folded a character at a time.
constexpr char foldUpper(char inChar) { return inChar >= 'a' && inChar <= 'z' ? char(inChar - 'a' + 'A') : inChar; }

// The mnemonics in an open-addressing table keyed by a hash of the upper-case text, so that a
// type word is folded and hashed once and compared with one row, mostly.
constexpr size_t kNameSlots = 256;
constexpr size_t kLongestName = 10;

constexpr uint32_t nameHash(uint32_t ioHash, char inFolded) {
  return (ioHash ^ static_cast<unsigned char>(inFolded)) * 16777619u;
}

constexpr std::array<uint8_t, kNameSlots> kByName = [] {
  std::array<uint8_t, kNameSlots> slots{};
  for (uint8_t& slot : slots) slot = kNoRow;
  for (size_t i = 0; i < kTypeCount; ++i) {
    uint32_t hash = 2166136261u;
    for (const char* p = kTypes[i].itsName; *p != '\0'; ++p) hash = nameHash(hash, *p);
    size_t slot = hash % kNameSlots;
    while (slots[slot] != kNoRow) slot = (slot + 1) % kNameSlots;
    slots[slot] = static_cast<uint8_t>(i);
  }
  return slots;
}();
static_assert(kTypeCount * 2 <= kNameSlots, "the mnemonic table stays at most half full");
static_assert(std::all_of(std::begin(kTypes), std::end(kTypes),
                          [](const kxResourceRecordTypeInfo& inRow) {
                            return std::char_traits<char>::length(inRow.itsName) <= kLongestName;
                          }),
              "kLongestName bounds every mnemonic");

// The row of a mnemonic, compared without regard to case (the mnemonics are upper case).
const kxResourceRecordTypeInfo* findByName(std::string_view inName) {
  if (inName.empty() || inName.size() > kLongestName) return nullptr;
  char folded[kLongestName];
  uint32_t hash = 2166136261u;
  for (size_t i = 0; i < inName.size(); ++i) {
    folded[i] = foldUpper(inName[i]);
    hash = nameHash(hash, folded[i]);
  }
  for (size_t slot = hash % kNameSlots; kByName[slot] != kNoRow; slot = (slot + 1) % kNameSlots) {
    const kxResourceRecordTypeInfo& row = kTypes[kByName[slot]];
    size_t i = 0;
    while (i < inName.size() && row.itsName[i] != '\0' && row.itsName[i] == folded[i]) ++i;
    if (i == inName.size() && row.itsName[i] == '\0') return &row;
  }
  return nullptr;
}

// TYPEnnn words that name no type a record may have: 0, OPT (41), the meta types 128 to 255,
// and MD (3) and MF (4), obsolete since RFC 973, which name servers refuse.
bool isRefusedTypeNumber(uint32_t inNumber) {
  return inNumber == 0 || inNumber == 3 || inNumber == 4 || inNumber == 41 || (inNumber >= 128 && inNumber <= 255);
}

// Numbers from 0xFF00 on are for private use: TYPE65281 is any private type, not WINS.
constexpr uint32_t kFirstPrivateType = 0xFF00;

// "PREFIXnnn" (any case) with 1 to 5 digits and a value of at most 65535.
bool readNumberWord(std::string_view inWord, const char* inPrefix, uint32_t& outNumber) {
  const size_t prefix = std::char_traits<char>::length(inPrefix);
  if (inWord.size() <= prefix || inWord.size() > prefix + 5) return false;
  for (size_t i = 0; i < prefix; ++i)
    if (toUpperChar(inWord[i]) != inPrefix[i]) return false;
  uint32_t value = 0;
  for (size_t i = prefix; i < inWord.size(); ++i) {
    if (inWord[i] < '0' || inWord[i] > '9') return false;
    value = value * 10 + uint32_t(inWord[i] - '0');
  }
  if (value > 0xFFFF) return false;
  outNumber = value;
  return true;
}

}  // namespace

namespace orvo {

std::span<const kxResourceRecordTypeInfo> kxRecordTypeTable() { return kTypes; }

const kxResourceRecordTypeInfo* kxFindRecordTypeInfo(kxResRecType inType) {
  if (const size_t slot = directSlot(inType); slot != SIZE_MAX)
    return kDirect[slot] != kNoRow ? &kTypes[kDirect[slot]] : nullptr;
  const auto position = std::lower_bound(kByValue.begin(), kByValue.end(), inType,
                                         [](uint8_t inRow, kxResRecType inKey) { return kTypes[inRow].itsType < inKey; });
  return position != kByValue.end() && kTypes[*position].itsType == inType ? &kTypes[*position] : nullptr;
}

const kxResourceRecordTypeInfo* kxFindExtendedTypeInfo(kxResRecType inType) {
  return isExtendedRecordType(inType) ? kxFindRecordTypeInfo(inType) : nullptr;
}

const kxFieldLayout* kxFieldLayoutOf(kxResRecType inType) {
  const kxResourceRecordTypeInfo* row = kxFindRecordTypeInfo(inType);
  return row && row->itsFormat != kFormatGeneric ? &row->itsLayout : nullptr;
}

kxResRecType kxTableTypeFromName(std::string_view inName) {
  const kxResourceRecordTypeInfo* row = findByName(inName);
  return row && !isExtendedRecordType(row->itsType) ? row->itsType : kNoRecordType;
}

kxResRecType kxRecordTypeFromWire(uint16_t inNumber) {
  if (inNumber == kWireTypeDLV) return kTypeDLV;
  if (inNumber < kFirstPrivateType && inNumber != kTypeDLV) {
    const kxResourceRecordTypeInfo* row = kxFindRecordTypeInfo(static_cast<kxResRecType>(inNumber));
    if (row != nullptr) return row->itsType;
  }
  return kxExtendedType(inNumber);
}

kxResRecType kxExtendedTypeFromName(std::string_view inName) {
  uint32_t number = 0;
  if (readNumberWord(inName, "TYPE", number))
    return isRefusedTypeNumber(number) ? kNoRecordType : kxRecordTypeFromWire(uint16_t(number));
  const kxResourceRecordTypeInfo* row = findByName(inName);
  return row && isExtendedRecordType(row->itsType) ? row->itsType : kNoRecordType;
}

bool kxTypeWordNumber(std::string_view inWord, uint16_t& outNumber) {
  uint32_t number = 0;
  if (readNumberWord(inWord, "TYPE", number)) {
    outNumber = static_cast<uint16_t>(number);
    return true;
  }
  const kxResourceRecordTypeInfo* row = findByName(inWord);
  if (row == nullptr || row->itsNumber >= kFirstPrivateType) return false;
  outNumber = row->itsNumber;
  return true;
}

const char* kxGenericTypeName(kxResRecType inType) {
  if (!isExtendedRecordType(inType)) return "";
  kxResRecTypeRegistry& registry = orvo::globals::gRecordTypeRegistry;
  std::lock_guard<std::mutex> lock(registry.itsGenericNamesLock);
  std::string& name = registry.itsGenericNames[inType];
  if (name.empty()) name = "TYPE" + std::to_string(inType - kExtendedTypeBase);
  return name.c_str();
}

bool kxReadClassWord(std::string_view inWord, uint32_t& outClass) { return readNumberWord(inWord, "CLASS", outClass); }

void kxSetExtendedRecordTypes(bool inOn) { orvo::globals::gRecordTypeRegistry.itsExtendedTypes = inOn; }

bool kxExtendedRecordTypes() { return orvo::globals::gRecordTypeRegistry.itsExtendedTypes; }

}  // namespace orvo
