// The record data check over arbitrary data: the first byte picks one of the library's types
// (or a type without a layout, or one of the added types), the rest is the owner name up to the first newline and then
// the data, with "|" standing for the field separator. Whatever the text, the check answers,
// and a fault names a field the data has or the first one missing.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "orvo/datastruct/kxresourcerecord.h"
#include "orvo/dns/kxrecorddatacheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize) {
  if (inSize < 1) return 0;
  static const kxResRecType kTypes[] = {kTypeA,     kTypeNS,    kTypeCNAME, kTypeSOA,    kTypeWKS,   kTypePTR,
                                        kTypeHINFO, kTypeMX,    kTypeTXT,   kTypeRP,     kTypeAFSDB, kTypeAAAA,
                                        kTypeLOC,   kTypeSRV,   kTypeNAPTR, kTypeDNAME,  kTypeDS,    kTypeRRSIG,
                                        kTypeNSEC,  kTypeDNSKEY, kTypeDLV,  kTypeWINS,   kTypeWINSR, kNoRecordType};
  // A first byte from 128 on picks a row of the type table.
  const auto table = kxRecordTypeTable();
  const kxResRecType type = inData[0] >= 128 ? table[inData[0] % table.size()].itsType
                                             : kTypes[inData[0] % (sizeof kTypes / sizeof kTypes[0])];
  std::string text(reinterpret_cast<const char*>(inData + 1), inSize - 1);
  const size_t newline = text.find('\n');
  const std::string owner = newline == std::string::npos ? std::string() : text.substr(0, newline);
  std::string data = newline == std::string::npos ? text : text.substr(newline + 1);
  std::replace(data.begin(), data.end(), '|', kDataSeperator);
  kxRecordDataFault fault;
  if (checkRecordData(owner, type, data, fault)) return 0;
  const uint32_t fields = static_cast<uint32_t>(std::count(data.begin(), data.end(), kDataSeperator)) + 1;
  if (fault.itsField > fields + 1) __builtin_trap();
  if (fault.describe().size() > 200) __builtin_trap();
  return 0;
}
