// The zone checks over whatever zone the master-file parser makes of arbitrary bytes. The first
// byte picks the zone's origin (example.com., the root, or none: the SOA owner's) and whether
// the added types are read. Every finding must name a record of the zone (or none, for a zone
// without SOA record) and have its source among the parse's record sources.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "orvo/datastruct/kxrecordcollection.h"
#include "orvo/dns/kxzonecheck.h"
#include "orvo/messages/kxexception.h"
#include "orvo/util/kxmasterfileparser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize) {
  if (inSize < 1) return 0;
  const uint8_t options = inData[0];
  const char* origin = (options & 0x03) == 0 ? "example.com." : (options & 0x03) == 1 ? "." : nullptr;
  std::istringstream input(std::string(reinterpret_cast<const char*>(inData + 1), inSize - 1));
  kxRecordCollection zone(origin);
  kxMasterFileParser parser(&input, "fuzz", origin ? origin : ".", true, true);
  parser.setKeepDirectives((options & 0x04) != 0);
  parser.setExtendedTypes((options & 0x08) != 0);
  parser.setLimits({4, 5000});
  try {
    parser.parseZone(zone, false);
  } catch (const kxException&) {
    return 0;
  }
  const kxRecordSources& sources = parser.getRecordSources();
  if (sources.size() != zone.getRecordCount()) __builtin_trap();
  kxCheckZone(zone, [&](const kxZoneFinding& inFinding) {
    if (inFinding.itsText.empty()) __builtin_trap();
    for (const kxResourceRecord* rec : {inFinding.itsRecord, inFinding.itsRelated})
      if (rec != nullptr && (!zone.containsRecord(rec) || sources.at(zone.getRecordIndex(rec)).itsLine == 0))
        __builtin_trap();
  });
  return 0;
}
