#include "orvo/datastruct/kxresrectype.h"

#include "orvo/internal/kxglobals.h"

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
