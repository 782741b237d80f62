// The master-file parser over arbitrary bytes, includes refused. The first byte picks the
// options (directives kept or carried out, comment and disabled records, appending the
// origin, the record data check, the added types and the generic form); a line "#T template
// counter" or "#R range" in the input also drives the "$GENERATE" template expansion and
// range parsing directly.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "orvo/messages/kxerrormessage.h"
#include "orvo/messages/kxexception.h"
#include "orvo/util/kxmasterfileparser.h"

namespace {

void pieces(kxMasterFileParser& ioParser, const std::string& inText) {
  std::istringstream lines(inText);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind("#R ", 0) == 0) {
      int32_t start = 0, stop = 0, step = 1;
      if (kxMasterFileParser::parseGenerateRange(line.substr(3), start, stop, step) && step <= 0) __builtin_trap();
    } else if (line.rfind("#T ", 0) == 0) {
      try {
        const std::string expanded = ioParser.expandTemplate(line.substr(3), static_cast<int32_t>(line.size() * 977));
        if (expanded.size() > 128 * line.size() + 1) __builtin_trap();
      } catch (const kxException&) {
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize) {
  if (inSize < 1) return 0;
  const uint8_t options = inData[0];
  const std::string text(reinterpret_cast<const char*>(inData + 1), inSize - 1);
  std::istringstream input(text);
  kxMasterFileParser parser(&input, "fuzz", (options & 0x10) ? "." : "example.com.", (options & 0x01) != 0, true);
  parser.setKeepDirectives((options & 0x02) != 0);
  parser.setCommentRecords((options & 0x04) != 0);
  parser.setDisabledRecords((options & 0x08) != 0);
  parser.setExtendedTypes((options & 0x40) != 0);
  // Small limits keep every input quick; the limits themselves are what is exercised.
  parser.setLimits({4, 5000});
  size_t faults = 0;
  if (options & 0x20) parser.setDataCheck(true, [&](const kxErrorMessage& inError) { faults += inError.getText().size(); });
  std::string name, ttl, data, comment, aging;
  kxResRecType type = kNoRecordType;
  bool enabled = true;
  try {
    for (int count = 0; count < 10000 && parser.readNextRecord(name, ttl, type, data, comment, aging, enabled); ++count) {
    }
  } catch (const kxException& e) {
    (void)e.errorMessage.getText();
  }
  pieces(parser, text);
  return 0;
}
