// The texts of the directory: values placed in search filters, LDAP:// paths, distinguished
// names, ranged attribute descriptions, Active Directory's diagnostic codes and the answer to
// an LDAP ping. None of it
// touches the network, so each piece is tested on its own; every text may come from a
// hostile server or operator and is read within its bounds.
#include <arpa/nameser.h>
#include <resolv.h>

#include <cstdlib>
#include <iterator>

#include "directoryinternal.h"

namespace orvo::platform {

namespace {

std::string trimmed(const std::string& inText) {
  const size_t first = inText.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return std::string();
  const size_t last = inText.find_last_not_of(" \t\r\n");
  return inText.substr(first, last - first + 1);
}

}  // namespace

std::string serverUri(const std::string& inServer) { return "ldap://" + inServer; }

std::string escapeFilterValue(const std::string& inValue) {
  static const char kHex[] = "0123456789abcdef";
  std::string result;
  result.reserve(inValue.size());
  for (const char c : inValue) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '*' || c == '(' || c == ')' || c == '\\' || byte == 0) {
      result += '\\';
      result += kHex[byte >> 4];
      result += kHex[byte & 0xF];
    } else {
      result += c;
    }
  }
  return result;
}

bool parseDirectoryPath(const std::string& inPath, DirectoryPath& outPath) {
  const std::string scheme = "LDAP://";
  if (inPath.size() < scheme.size() || !equalsText(inPath.substr(0, scheme.size()), scheme, false))
    return false;
  const std::string rest = inPath.substr(scheme.size());
  if (rest.empty()) return false;
  // A server part ends at the first "/" that comes before any "=" (a DN's "/" is escaped
  // as \2f, and a server name holds no "=").
  const size_t slash = rest.find('/');
  const size_t equals = rest.find('=');
  DirectoryPath path;
  if (slash != std::string::npos && (equals == std::string::npos || slash < equals)) {
    path.server = rest.substr(0, slash);
    path.dn = rest.substr(slash + 1);
    if (path.server.empty()) return false;
  } else {
    path.dn = rest;
  }
  if (path.dn.empty()) return false;
  outPath = std::move(path);
  return true;
}

std::string firstRelativeName(const std::string& inDN) {
  for (size_t i = 0; i < inDN.size(); ++i) {
    if (inDN[i] == '\\') {
      ++i;
    } else if (inDN[i] == ',') {
      return inDN.substr(0, i);
    }
  }
  return inDN;
}

// "DC=example,DC=com" of "example.com".
std::string dnOfDnsDomain(const std::string& inDnsDomain) {
  std::string dn;
  size_t start = 0;
  while (start <= inDnsDomain.size()) {
    size_t end = inDnsDomain.find('.', start);
    if (end == std::string::npos) end = inDnsDomain.size();
    if (!dn.empty()) dn += ',';
    dn += "DC=" + inDnsDomain.substr(start, end - start);
    start = end + 1;
  }
  return dn;
}

std::string dnsDomainOfDN(const std::string& inDN) {
  std::string domain;
  size_t start = 0;
  while (start < inDN.size()) {
    size_t end = start;
    while (end < inDN.size() && inDN[end] != ',') end += inDN[end] == '\\' ? 2 : 1;
    const std::string part = trimmed(inDN.substr(start, std::min(end, inDN.size()) - start));
    if (part.size() > 3 && equalsText(part.substr(0, 3), "DC=", false)) {
      if (!domain.empty()) domain += '.';
      domain += part.substr(3);
    }
    start = end + 1;
  }
  return domain;
}

bool parseAttributeRange(const std::string& inDescription, AttributeRange& outRange) {
  const std::string option = ";range=";
  const size_t at = toLowerText(inDescription).find(option);
  if (at == std::string::npos || at == 0) return false;
  const std::string bounds = inDescription.substr(at + option.size());
  const size_t dash = bounds.find('-');
  if (dash == std::string::npos) return false;
  // Decimal numbers only, each within 32 bits.
  const auto number = [](const std::string& inText, uint32_t& outValue) {
    if (inText.empty() || inText.size() > 10) return false;
    uint64_t value = 0;
    for (const char c : inText) {
      if (c < '0' || c > '9') return false;
      value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    if (value > UINT32_MAX) return false;
    outValue = static_cast<uint32_t>(value);
    return true;
  };
  AttributeRange range;
  range.attribute = inDescription.substr(0, at);
  if (!number(bounds.substr(0, dash), range.low)) return false;
  const std::string high = bounds.substr(dash + 1);
  if (high == "*") {
    range.last = true;
  } else if (!number(high, range.high) || range.high < range.low) {
    return false;
  }
  outRange = std::move(range);
  return true;
}

uint32_t completeRangedValues(const std::string& inDescription, std::vector<std::string>& ioValues,
                              const RangeFetch& inFetch) {
  AttributeRange range;
  if (!parseAttributeRange(inDescription, range)) return kDirOk;
  // Each chunk must start right after the previous one and hold values, so the reading always
  // moves on; and there are only so many chunks and values a server may hand out.
  for (int chunks = 0; !range.last && range.high < UINT32_MAX; ++chunks) {
    if (chunks == kMaxRangeChunks || ioValues.size() > kMaxValues) return kLimitExceeded;
    const uint32_t expected = range.high + 1;
    std::string description;
    std::vector<std::string> values;
    const uint32_t status =
        inFetch(range.attribute + ";range=" + std::to_string(expected) + "-*", description, values);
    if (dirFailed(status)) return status;
    AttributeRange next;
    if (!parseAttributeRange(description, next) || next.low != expected) break;
    if (values.empty() && !next.last) return kNoProgress;
    ioValues.insert(ioValues.end(), std::make_move_iterator(values.begin()),
                    std::make_move_iterator(values.end()));
    range = next;
  }
  if (ioValues.size() > kMaxValues) return kLimitExceeded;
  return kDirOk;
}

std::string netbiosNameOfPing(const std::string& inAnswer, const std::string& inDnsDomain) {
  constexpr size_t kNamesStart = 24;
  constexpr unsigned kLogonSamLogonResponseEx = 23;
  const auto* data = reinterpret_cast<const unsigned char*>(inAnswer.data());
  const unsigned char* end = data + inAnswer.size();
  if (inAnswer.size() < kNamesStart || (data[0] | data[1] << 8) != kLogonSamLogonResponseEx) return std::string();
  // DnsForestName, DnsDomainName, DnsHostName, NetbiosDomainName; the resolver's own reader
  // keeps every name and pointer within the answer.
  std::string names[4];
  const unsigned char* at = data + kNamesStart;
  for (std::string& name : names) {
    char text[NS_MAXDNAME];
    const int length = dn_expand(data, end, at, text, sizeof text);
    if (length < 0) return std::string();
    name = text;
    at += length;
  }
  return equalsText(names[1], inDnsDomain, false) ? names[3] : std::string();
}

uint32_t adDiagnosticCode(const std::string& inText) {
  const size_t at = inText.find("data ");
  if (at == std::string::npos) return 0;
  char* end = nullptr;
  const unsigned long code = std::strtoul(inText.c_str() + at + 5, &end, 16);
  return end != inText.c_str() + at + 5 ? static_cast<uint32_t>(code) : 0;
}

}  // namespace orvo::platform
