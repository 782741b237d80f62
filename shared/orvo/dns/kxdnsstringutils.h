// Text forms around a zone: TTLs in words, date-based SOA serial numbers, reverse-zone
// names, responsible-mailbox texts in e-mail and hostmaster form, and names compared
// relative to an origin. Free functions without shared state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class kxDate;

// Room that ttlToText needs for any 32-bit number of seconds.
inline constexpr size_t kTTLTextSize = 64;

namespace orvo {

// The duration in words ("1 day, 2 hours, 1 second"; "0 seconds" for 0) into outBuffer,
// which must hold kTTLTextSize characters; returns outBuffer.
char* ttlToText(uint32_t inSeconds, char* outBuffer);

// The serial after inCurSerial in the YYYYMMDDnn scheme, for today's local date.
uint32_t nextSerialNumber(uint32_t inCurSerial);
// The same for a given day.
uint32_t nextSerialNumber(uint32_t inCurSerial, const kxDate& inToday);

// Ends with ".in-addr.arpa." or ".ip6.arpa." (any case).
bool isReverseZoneName(const std::string& inName);

// Not empty; printable ASCII other than "@" and "\".
bool isValidLocalPart(const std::string& inText);
// An e-mail address (local@domain), or with inAllowHostmasterFormat the DNS form
// (local.domain., dots in the local part escaped by "\"); with inRequireHostmasterFormat
// only the DNS form.
bool isValidMailAddress(const std::string& inText, bool inAllowHostmasterFormat, bool inRequireHostmasterFormat);
// "first.last@zone.test" -> "first\.last.zone.test."; a text without "@" is returned as is.
std::string mailToHostmasterFormat(const std::string& inText);

// "" stays ""; otherwise the name with a trailing ".".
std::string toAbsoluteName(const std::string& inName);

// Equal ignoring ASCII case, or equal once the relative one of the two is qualified with
// inOrigin.
bool namesMatch(const std::string& inName1, const std::string& inName2, const std::string& inOrigin = "");

}  // namespace orvo

// Also at global scope, where code written before the namespace finds them;
// ORVO_NO_GLOBAL_NAMES leaves them out.
#ifndef ORVO_NO_GLOBAL_NAMES
using orvo::ttlToText;
using orvo::nextSerialNumber;
using orvo::isReverseZoneName;
using orvo::isValidLocalPart;
using orvo::isValidMailAddress;
using orvo::mailToHostmasterFormat;
using orvo::toAbsoluteName;
using orvo::namesMatch;
#endif
