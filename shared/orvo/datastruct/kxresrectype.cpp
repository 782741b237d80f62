#include "orvo/datastruct/kxresrectype.h"

#include <algorithm>

#include "orvo/internal/kxglobals.h"
#include "orvo/util/kxtexthelpers.h"

namespace {

constexpr kxResourceRecordTypeInfo kTypeTable[kNumTableTypes + 1] = {
    {kTypeA, kFormatA, "A"},
    {kTypeAAAA, kFormatAAAA, "AAAA"},
    {kTypeAFSDB, kFormatPrefName, "AFSDB"},
    {kTypeCNAME, kFormatName, "CNAME"},
    {kTypeDLV, kFormatDS, "DLV"},
    {kTypeDNAME, kFormatName, "DNAME"},
    {kTypeDNSKEY, kFormatDNSKEY, "DNSKEY"},
    {kTypeDS, kFormatDS, "DS"},
    {kTypeHINFO, kFormatHINFO, "HINFO"},
    {kTypeLOC, kFormatLOC, "LOC"},
    {kTypeMX, kFormatPrefName, "MX"},
    {kTypeNAPTR, kFormatNAPTR, "NAPTR"},
    {kTypeNS, kFormatName, "NS"},
    {kTypeNSEC, kFormatNSEC, "NSEC"},
    {kTypePTR, kFormatName, "PTR"},
    {kTypeRP, kFormatRP, "RP"},
    {kTypeRRSIG, kFormatRRSIG, "RRSIG"},
    {kTypeSOA, kFormatSOA, "SOA"},
    {kTypeSRV, kFormatSRV, "SRV"},
    {kTypeTXT, kFormatText, "TXT"},
    {kTypeWINS, kFormatWINS, "WINS"},
    {kTypeWINSR, kFormatWINSR, "WINSR"},
    {kTypeWKS, kFormatWKS, "WKS"},
    {kNoRecordType, 0, nullptr},
};

}  // namespace

namespace orvo {

const kxResourceRecordTypeInfo* kxResourceRecordTypeTable() { return kTypeTable; }

const kxResourceRecordTypeInfo* kxFindRecordTypeInfo(kxResRecType inType) {
  kxResRecTypeRegistry& registry = orvo::globals::gRecordTypeRegistry;
  std::call_once(registry.itsFilled, [] {
    for (const kxResourceRecordTypeInfo* row = kTypeTable; row->name != nullptr; ++row)
      orvo::globals::gRecordTypeRegistry.itsTypes.emplace(row->type, row);
  });
  const auto found = registry.itsTypes.find(inType);
  return found == registry.itsTypes.end() ? nullptr : found->second;
}

kxResRecType kxTableTypeFromName(const char* inName) {
  const kxResourceRecordTypeInfo* first = kTypeTable;
  const kxResourceRecordTypeInfo* last = first + kNumTableTypes;
  // The table is sorted by mnemonic and the mnemonics are upper case, so comparing the
  // upper-cased name finds the row.
  const kxResourceRecordTypeInfo* row =
      std::lower_bound(first, last, inName, [](const kxResourceRecordTypeInfo& inRow, const char* inKey) {
        return compareText(inRow.name, inKey, false) < 0;
      });
  return (row != last && equalsText(row->name, inName, false)) ? row->type : kNoRecordType;
}

}  // namespace orvo
