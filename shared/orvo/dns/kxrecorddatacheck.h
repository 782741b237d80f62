// The record data check: whether a record's owner name and data are well formed for its type.
//
// The master-file parser reads a record's data as words and checks only its syntax; a record
// of a type whose data cannot be what is written ("A 300.1.1.1", "MX 70000 host", a label
// of 64 characters) is delivered as written. This check looks at every field the way a name
// server converting the record to wire form would: the number of fields, addresses, domain
// names with their label and name lengths, 8-, 16- and 32-bit numbers, TTLs, LOC fields,
// algorithm numbers and names, base64 and hexadecimal data, digests of the length their type
// takes, character-strings of at most 255 bytes and texts of at most 65535 in all. A few
// checks look at fields together: the SvcParams of a record (no key twice, mandatory's keys
// present), a field whose form an earlier one gives (an IPSECKEY gateway, A6), a CAA value by
// its tag.
//
// Each type's fields are a row of field kinds (a layout, kxfieldlayout.h) in the record type
// table, so a type is described by data, not by code of its own. The check takes the record
// as the parser delivers it: names made absolute with the origin, data fields joined by
// kDataSeperator, quoted strings without their quotes and with their escapes as written. It
// allocates nothing unless it finds a fault, except for the rare SvcParam written as a known
// key's number (key3=...), whose wire form is decoded, and a record of more than 16 SvcParams.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "orvo/datastruct/kxresrectype.h"

// Where a record is faulty and why.
struct kxRecordDataFault {
  // 0 for the owner name, otherwise the 1-based data field.
  uint32_t itsField = 0;
  // The field's text, empty when the field is missing.
  std::string itsText;
  // What the field is instead of what it should be ("not an IPv4 address").
  const char* itsReason = "";

  // "field 2 "70000" is not a number from 0 to 65535", printable and shortened.
  std::string describe() const;
};

namespace orvo {

// Checks a record's owner name and data against its type's layout. True when both are well
// formed (or the type has no layout); otherwise false with outFault saying where and why.
bool checkRecordData(std::string_view inOwner, kxResRecType inType, std::string_view inData,
                     kxRecordDataFault& outFault);

// A domain name in master-file text: no empty label, labels of at most 63 bytes and the whole
// name of at most 255 in wire form, escapes (\DDD up to 255, or a backslash and any
// character) complete. outReason says what is wrong when the answer is false.
bool checkDomainName(std::string_view inName, const char*& outReason);

}  // namespace orvo

// Also at global scope, where code written before the namespace finds them;
// ORVO_NO_GLOBAL_NAMES leaves them out.
#ifndef ORVO_NO_GLOBAL_NAMES
using orvo::checkRecordData;
using orvo::checkDomainName;
#endif
