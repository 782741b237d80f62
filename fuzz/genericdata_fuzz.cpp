// Generic record data over arbitrary bytes: the first two bytes pick the type by its wire
// number (any of the 65536), the rest is the data's wire form. Whatever the bytes, reading
// answers; text it gives is sound data of its type, and a type nothing knows keeps its bytes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "orvo/datastruct/kxresrectype.h"
#include "orvo/dns/kxgenericdata.h"
#include "orvo/dns/kxrecorddatacheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize) {
  if (inSize < 2 || inSize - 2 > kMaxGenericDataLength) return 0;
  kxSetExtendedRecordTypes(true);
  const kxResRecType type = kxRecordTypeFromWire(static_cast<uint16_t>(inData[0] << 8 | inData[1]));
  std::string text;
  const char* reason = "";
  if (kxGenericDataToText(type, inData + 2, inSize - 2, text, reason)) {
    kxRecordDataFault fault;
    if (!checkRecordData("", type, text, fault)) __builtin_trap();
    // Text grows at most by a type bitmap's: each bit of a byte a "TYPEnnnnn " of its own.
    if (text.size() > 80 * inSize + 64) __builtin_trap();
  } else if (*reason == '\0') {
    __builtin_trap();
  }
  if (kxGenericDataText(inData + 2, inSize - 2).size() != 2 * (inSize - 2) + 4 + std::to_string(inSize - 2).size() -
                                                              (inSize == 2 ? 1 : 0))
    __builtin_trap();
  return 0;
}
