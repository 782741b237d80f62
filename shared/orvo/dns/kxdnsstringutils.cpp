#include "orvo/dns/kxdnsstringutils.h"

#include <cstdio>
#include <cstring>

#include "orvo/debug/kxassert.h"
#include "orvo/dns/kxdnsstatemachine.h"
#include "orvo/util/kxdate.h"
#include "orvo/util/kxstringparser.h"
#include "orvo/util/kxtexthelpers.h"

namespace orvo {

char* ttlToText(uint32_t inSeconds, char* outBuffer) {
  struct Unit {
    uint32_t seconds;
    const char* singular;
    const char* plural;
  };
  static constexpr Unit kUnits[] = {
      {86400, "day", "days"}, {3600, "hour", "hours"}, {60, "minute", "minutes"}, {1, "second", "seconds"}};
  size_t length = 0;
  outBuffer[0] = '\0';
  uint32_t rest = inSeconds;
  for (const Unit& unit : kUnits) {
    const uint32_t count = rest / unit.seconds;
    rest %= unit.seconds;
    if (count == 0) continue;
    const int written = std::snprintf(outBuffer + length, kTTLTextSize - length, "%ld %s, ", long(count),
                                      count == 1 ? unit.singular : unit.plural);
    if (written > 0) length += static_cast<size_t>(written);
  }
  if (length == 0)
    std::snprintf(outBuffer, kTTLTextSize, "0 seconds");
  else if (length >= 2 && outBuffer[length - 2] == ',' && outBuffer[length - 1] == ' ')
    outBuffer[length - 2] = '\0';
  return outBuffer;
}

uint32_t nextSerialNumber(uint32_t inCurSerial) { return nextSerialNumber(inCurSerial, kxDate(1)); }

uint32_t nextSerialNumber(uint32_t inCurSerial, const kxDate& inToday) {
  const uint32_t curSerial = inCurSerial;
  const uint32_t today = uint32_t(inToday.getYear()) * 10000u + uint32_t(inToday.getMonth()) * 100u + inToday.getDay();
  uint32_t returnValue;
  if (curSerial == 0) {
    returnValue = today * 100u + 1u;
  } else {
    uint32_t scale = 0;
    if (curSerial >= 19700101u && curSerial <= today)
      scale = 1;
    else if (curSerial >= 197001010u && curSerial <= today * 10u + 9u)
      scale = 10;
    else if (curSerial >= 1970010100u && curSerial < today * 100u + 99u)
      scale = 100;

    if (scale == 0) {
      returnValue = curSerial + 1u;
    } else {
      const uint32_t date = curSerial / scale;
      const uint32_t counter = curSerial % scale;
      if (scale == 1) scale = 100;  // a plain date becomes a date with a two-digit counter
      if (date < today)
        returnValue = today * scale + 1u;
      else if (date == today)
        returnValue = date * scale + counter + 1u;
      else
        returnValue = curSerial + 1u;
    }
  }
  kxAssert(returnValue > curSerial);
  return returnValue;
}

bool isReverseZoneName(const std::string& inName) {
  return endsWith(inName, ".in-addr.arpa.", false) || endsWith(inName, ".ip6.arpa.", false);
}

bool isValidLocalPart(const std::string& inText) {
  if (inText.empty()) return false;
  for (const char c : inText)
    if (c < 32 || c > 126 || c == '@' || c == '\\') return false;
  return true;
}

bool isValidMailAddress(const std::string& inText, bool inAllowHostmasterFormat, bool inRequireHostmasterFormat) {
  const bool allowHostmasterFormat = inAllowHostmasterFormat;
  const bool requireHostmasterFormat = inRequireHostmasterFormat;
  kxAssert(! requireHostmasterFormat || allowHostmasterFormat);

  const size_t at = inText.find('@');
  if (at != std::string::npos) {
    if (requireHostmasterFormat) return false;
    return isValidLocalPart(inText.substr(0, at)) && isValidDomainName(inText.substr(at + 1), false);
  }
  if (!allowHostmasterFormat) return false;

  std::string rest = inText;
  for (;;) {
    if (isValidDomainName(rest, false)) return true;
    const size_t dot = rest.find('.');
    if (dot == std::string::npos) return false;
    std::string label = rest.substr(0, dot);
    rest.erase(0, dot + 1);
    if (!label.empty() && label.back() == '\\') label.pop_back();
    if (!isValidLocalPart(label)) return false;
  }
}

std::string mailToHostmasterFormat(const std::string& inText) {
  const size_t at = inText.find('@');
  if (at == std::string::npos) return inText;
  const std::string absolute = toAbsoluteName(inText);
  std::string result;
  result.reserve(absolute.size() + 8);
  for (size_t i = 0; i < absolute.size(); ++i) {
    if (i == at)
      result += '.';
    else {
      if (absolute[i] == '.' && i >= 1 && i < at) result += '\\';
      result += absolute[i];
    }
  }
  return result;
}

std::string toAbsoluteName(const std::string& inName) {
  if (inName.empty() || isAbsoluteName(inName)) return inName;
  return inName + ".";
}

bool namesMatch(const std::string& inName1, const std::string& inName2, const std::string& inOrigin) {
  const size_t length1 = inName1.size(), length2 = inName2.size();
  size_t i = 0;
  while (i < length1 && i < length2 && toUpperChar(inName1[i]) == toUpperChar(inName2[i])) ++i;
  if (i == length1 && i == length2) return true;
  if (i == 0 || inOrigin.empty()) return false;
  if (i == length1 && inName1[i - 1] != '.' && inName2[i] == '.') return namesMatch(inName2.substr(i + 1), inOrigin);
  if (i == length2 && inName2[i - 1] != '.' && inName1[i] == '.') return namesMatch(inName1.substr(i + 1), inOrigin);
  return false;
}

}  // namespace orvo
