// The added record types. See kxextendedtypes.h.
#include "orvo/dns/kxextendedtypes.h"

#include <algorithm>
#include <iterator>

#include "orvo/internal/kxglobals.h"
#include "orvo/util/kxtexthelpers.h"

namespace {

using K = kxFieldKind;

constexpr kxFieldLayout kPreferenceAndName{2, false, {K::kNumber16, K::kName}};
constexpr kxFieldLayout kKeyLayout{4, false, {K::kNumber16, K::kNumber8, K::kAlgorithm, K::kBase64}};
constexpr kxFieldLayout kSignerLayout{4, false, {K::kNumber16, K::kAlgorithm, K::kNumber8, K::kDigest}};
constexpr kxFieldLayout kCertificateAssociation{4, false, {K::kNumber8, K::kNumber8, K::kNumber8, K::kHex}};
constexpr kxFieldLayout kServiceBinding{2, true, {K::kNumber16, K::kName, K::kSvcParam}};
constexpr kxFieldLayout kPreferenceAndLocator{2, false, {K::kNumber16, K::kLocator64}};

// Sorted by mnemonic (ASCII), so that a mnemonic is found by binary search. Where the data
// of a type reads and writes like that of one of the table's types, the row names that
// type's format (SPF like TXT, KX and RT like MX, CDS like DS, ...).
constexpr kxExtendedTypeInfo kTable[] = {
    {42, "APL", kFormatFields, {0, true, {K::kAPLItem}}},
    {257, "CAA", kFormatFields, {3, false, {K::kNumber8, K::kCAATag, K::kLongString}}},
    {60, "CDNSKEY", kFormatDNSKEY, kKeyLayout},
    {59, "CDS", kFormatDS, kSignerLayout},
    {37, "CERT", kFormatFields, {4, false, {K::kCertType, K::kNumber16, K::kAlgorithm, K::kBase64}}},
    {62, "CSYNC", kFormatFields, {2, false, {K::kNumber32, K::kNumber16, K::kTypeBitmap}}},
    {49, "DHCID", kFormatFields, {1, false, {K::kBase64}}},
    {108, "EUI48", kFormatFields, {1, false, {K::kEUI48}}},
    {109, "EUI64", kFormatFields, {1, false, {K::kEUI64}}},
    {65, "HTTPS", kFormatFields, kServiceBinding},
    {45, "IPSECKEY", kFormatFields, {4, false, {K::kNumber8, K::kNumber8, K::kNumber8, K::kGateway, K::kBase64}}},
    {25, "KEY", kFormatDNSKEY, kKeyLayout},
    {36, "KX", kFormatPrefName, kPreferenceAndName},
    {105, "L32", kFormatFields, {2, false, {K::kNumber16, K::kIPv4}}},
    {106, "L64", kFormatFields, kPreferenceAndLocator},
    {107, "LP", kFormatPrefName, kPreferenceAndName},
    {14, "MINFO", kFormatRP, {2, false, {K::kName, K::kName}}},
    {104, "NID", kFormatFields, kPreferenceAndLocator},
    {50, "NSEC3", kFormatFields,
     {5, false, {K::kNumber8, K::kNumber8, K::kNumber16, K::kSalt, K::kBase32Hex, K::kTypeBitmap}}},
    {51, "NSEC3PARAM", kFormatFields, {4, false, {K::kNumber8, K::kNumber8, K::kNumber16, K::kSalt}}},
    {61, "OPENPGPKEY", kFormatFields, {1, false, {K::kBase64}}},
    {21, "RT", kFormatPrefName, kPreferenceAndName},
    {53, "SMIMEA", kFormatFields, kCertificateAssociation},
    {99, "SPF", kFormatText, {1, true, {K::kString}}},
    {44, "SSHFP", kFormatFields, {3, false, {K::kNumber8, K::kNumber8, K::kHex}}},
    {64, "SVCB", kFormatFields, kServiceBinding},
    {52, "TLSA", kFormatFields, kCertificateAssociation},
    {256, "URI", kFormatFields, {3, false, {K::kNumber16, K::kNumber16, K::kLongString}}},
    {63, "ZONEMD", kFormatFields, {4, false, {K::kNumber32, K::kNumber8, K::kNumber8, K::kHex}}},
};

constexpr bool isSortedByName() {
  for (size_t i = 1; i < std::size(kTable); ++i) {
    const char* a = kTable[i - 1].itsName;
    const char* b = kTable[i].itsName;
    while (*a && *a == *b) ++a, ++b;
    if (static_cast<unsigned char>(*a) >= static_cast<unsigned char>(*b)) return false;
  }
  return true;
}
static_assert(isSortedByName(), "the added types must be sorted by mnemonic");

// The table types that TYPEnnn names, by wire number. WINS and WINSR are left out: their
// numbers lie in the private range, where TYPE65281 is any private type.
constexpr kxResRecType kTableTypes[] = {kTypeA,    kTypeNS,    kTypeCNAME, kTypeSOA,   kTypeWKS,  kTypePTR,
                                        kTypeHINFO, kTypeMX,   kTypeTXT,   kTypeRP,    kTypeAFSDB, kTypeAAAA,
                                        kTypeLOC,  kTypeSRV,   kTypeNAPTR, kTypeDNAME, kTypeDS,   kTypeRRSIG,
                                        kTypeNSEC, kTypeDNSKEY};

bool isMetaType(uint32_t inNumber) { return inNumber == 0 || inNumber == 41 || (inNumber >= 128 && inNumber <= 255); }

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

void kxSetExtendedRecordTypes(bool inOn) { orvo::globals::gRecordTypeRegistry.itsExtendedTypes = inOn; }

bool kxExtendedRecordTypes() { return orvo::globals::gRecordTypeRegistry.itsExtendedTypes; }

const kxExtendedTypeInfo* kxExtendedTypeTable(size_t& outCount) {
  outCount = std::size(kTable);
  return kTable;
}

const kxExtendedTypeInfo* kxFindExtendedTypeInfo(kxResRecType inType) {
  if (!isExtendedRecordType(inType)) return nullptr;
  const uint16_t number = static_cast<uint16_t>(inType - kExtendedTypeBase);
  for (const kxExtendedTypeInfo& row : kTable)
    if (row.itsNumber == number) return &row;
  return nullptr;
}

kxResRecType kxRecordTypeFromWire(uint16_t inNumber) {
  if (inNumber == kWireTypeDLV) return kTypeDLV;
  for (const kxResRecType type : kTableTypes)
    if (type == inNumber) return type;
  return kxExtendedType(inNumber);
}

kxResRecType kxExtendedTypeFromName(std::string_view inName) {
  uint32_t number = 0;
  if (readNumberWord(inName, "TYPE", number)) return isMetaType(number) ? kNoRecordType : kxRecordTypeFromWire(uint16_t(number));
  const auto row = std::lower_bound(std::begin(kTable), std::end(kTable), inName,
                                    [](const kxExtendedTypeInfo& inRow, std::string_view inKey) {
                                      size_t i = 0;
                                      for (; inRow.itsName[i] && i < inKey.size(); ++i) {
                                        const char a = inRow.itsName[i];
                                        const char b = toUpperChar(inKey[i]);
                                        if (a != b) return static_cast<unsigned char>(a) < static_cast<unsigned char>(b);
                                      }
                                      return inRow.itsName[i] == '\0' && i < inKey.size();
                                    });
  if (row == std::end(kTable) || std::char_traits<char>::length(row->itsName) != inName.size()) return kNoRecordType;
  for (size_t i = 0; i < inName.size(); ++i)
    if (row->itsName[i] != toUpperChar(inName[i])) return kNoRecordType;
  return kxExtendedType(row->itsNumber);
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

}  // namespace orvo
