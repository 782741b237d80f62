// The record data check: a table of field kinds with data that passes and data that fails
// (which field, and why), then the check as the master-file parser runs it.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "orvo/dns/kxrecorddatacheck.h"
#include "orvo/messages/kxerrormessage.h"
#include "orvo/messages/kxexception.h"
#include "orvo/util/kxmasterfileparser.h"
#include "support/kxtestsupport.h"

namespace {

// Data as the parser delivers it, with "," standing for the field separator.
std::string fields(std::string inText) {
  for (char& c : inText)
    if (c == ',') c = '\t';
  return inText;
}

struct Case {
  kxResRecType type;
  std::string data;
  uint32_t field;  // 0 when the data passes
  const char* reason;
};

void expectCases(const std::vector<Case>& inCases, const char* inOwner = "host.example.com.") {
  for (const Case& c : inCases) {
    kxRecordDataFault fault;
    const bool passed = checkRecordData(inOwner, c.type, fields(c.data), fault);
    SCOPED_TRACE("type " + std::to_string(c.type) + " data \"" + c.data.substr(0, 80) + "\"");
    EXPECT_EQ(passed, c.field == 0) << fault.describe();
    if (!passed && c.field != 0) {
      EXPECT_EQ(fault.itsField, c.field) << fault.describe();
      EXPECT_NE(std::string(fault.itsReason).find(c.reason), std::string::npos) << fault.describe();
    }
  }
}

TEST(RecordDataCheck, NamesAddressesAndNumbers) {
  const std::string label63(63, 'a');
  const std::string name255 = label63 + "." + label63 + "." + label63 + "." + std::string(61, 'b') + ".";
  const std::string name256 = label63 + "." + label63 + "." + label63 + "." + std::string(62, 'b') + ".";
  const std::string label64 = std::string(64, 'a') + ".example.com.";
  expectCases({
      {kTypeA, "192.0.2.1", 0, ""},
      {kTypeA, "192.0.2.256", 1, "IPv4"},
      {kTypeA, "01.2.3.4", 1, "IPv4"},
      {kTypeA, "1.2.3", 1, "IPv4"},
      {kTypeA, "", 1, "IPv4"},
      {kTypeA, "1.2.3.4,5", 2, "more than"},
      {kTypeAAAA, "2001:db8::1", 0, ""},
      {kTypeAAAA, "::ffff:192.0.2.1", 0, ""},
      {kTypeAAAA, "2001:db8::00001", 1, "IPv6"},
      {kTypeAAAA, "2001:db8:::1", 1, "IPv6"},
      {kTypeCNAME, "a.example.com.", 0, ""},
      {kTypeCNAME, ".", 0, ""},
      {kTypeCNAME, "_sip._tcp.example.com.", 0, ""},
      {kTypeCNAME, "a\\.b\\032c\\255.example.com.", 0, ""},
      {kTypeCNAME, label63 + ".example.com.", 0, ""},
      {kTypeCNAME, label64, 1, "label longer than 63"},
      {kTypeCNAME, name255, 0, ""},
      {kTypeCNAME, name256, 1, "longer than 255"},
      {kTypeCNAME, "a..example.com.", 1, "empty label"},
      {kTypeCNAME, ".example.com.", 1, "empty label"},
      {kTypeCNAME, "a\\256.example.com.", 1, "bad escape"},
      {kTypeCNAME, "a\\12.example.com.", 1, "bad escape"},
      {kTypeCNAME, "a\\", 1, "bad escape"},
      {kTypeMX, "0,mail.example.com.", 0, ""},
      {kTypeMX, "65535,mail.example.com.", 0, ""},
      {kTypeMX, "65536,mail.example.com.", 1, "0 to 65535"},
      {kTypeMX, "+5,mail.example.com.", 1, "0 to 65535"},
      {kTypeMX, "-1,mail.example.com.", 1, "0 to 65535"},
      {kTypeMX, "10", 2, "missing"},
      {kTypeSRV, "1,2,3,sip.example.com.", 0, ""},
      {kTypeSRV, "1,2,70000,sip.example.com.", 3, "0 to 65535"},
      {kTypeSOA, "ns.example.com.,hm.example.com.,4294967295,1h,2,3w,4", 0, ""},
      {kTypeSOA, "ns.example.com.,hm.example.com.,4294967296,1,2,3,4", 3, "0 to 4294967295"},
      {kTypeSOA, "ns.example.com.,hm.example.com.,1,1,2,3", 7, "missing"},
      {kTypeSOA, "ns.example.com.,hm.example.com.,1,1,2,3,4x", 7, "TTL"},
      {kTypeWKS, "192.0.2.1,tcp,ftp 25 smtp", 0, ""},
      {kTypeWKS, "192.0.2.1,UDP", 0, ""},
      {kTypeWKS, "192.0.2.1,999,80", 2, "protocol"},
      {kTypeWKS, "192.0.2.1,tcp,80  25", 3, "services"},
      {kTypeRP, "hm.example.com.,info.example.com.", 0, ""},
      {kTypeRP, "hm.example.com.", 2, "missing"},
      {kTypeLOC, "52 22 23.000 N,4 53 32.000 E,-2.00m,0.00m,10000m,10m", 0, ""},
      {kTypeLOC, "91 0 0 N,4 E,0m", 1, "LOC"},
      {kTypeLOC, "52 N,4 E", 3, "missing"},
  });
  // The owner name is checked like any name field.
  kxRecordDataFault fault;
  EXPECT_FALSE(checkRecordData(label64, kTypeA, "192.0.2.1", fault));
  EXPECT_EQ(fault.itsField, 0u);
  EXPECT_EQ(fault.describe().rfind("owner name \"aaaa", 0), 0u) << fault.describe();
}

TEST(RecordDataCheck, StringsAndDNSSECFields) {
  const std::string string255(255, 'x');
  const std::string digest20(40, 'A');
  const std::string digest32(64, 'f');
  expectCases({
      {kTypeTXT, "a b,,c", 0, ""},
      {kTypeTXT, string255, 0, ""},
      {kTypeTXT, string255 + "x", 1, "longer than 255"},
      {kTypeTXT, "\\\"" + std::string(254, 'x'), 0, ""},
      {kTypeTXT, "\\009" + std::string(254, 'x'), 0, ""},
      {kTypeTXT, "a," + string255 + "\\065", 2, "longer than 255"},
      {kTypeTXT, "a\\999", 1, "bad escape"},
      {kTypeHINFO, "PC,Linux", 0, ""},
      {kTypeHINFO, "PC", 2, "missing"},
      {kTypeHINFO, "PC,Linux,x", 3, "more than"},
      {kTypeNAPTR, "100,10,u,E2U+sip,!^.*$!sip:x@y!,.", 0, ""},
      {kTypeNAPTR, "100,10,u,E2U+sip,!^.*$!sip:x@y!", 6, "missing"},
      {kTypeDS, "60485,5,1," + digest20, 0, ""},
      {kTypeDS, "60485,RSASHA1,1," + digest20.substr(0, 8) + "," + digest20.substr(8), 0, ""},
      {kTypeDS, "60485,8,2," + digest32, 0, ""},
      {kTypeDS, "60485,8,2,ABCD", 4, "length"},
      {kTypeDS, "60485,8,7,ABCD", 0, ""},
      {kTypeDS, "60485,8,7,ABC", 4, "length"},
      {kTypeDS, "60485,8,7,ABCG", 4, "hexadecimal"},
      {kTypeDS, "60485,8,1", 4, "missing"},
      {kTypeDS, "70000,8,1,AB", 1, "0 to 65535"},
      {kTypeDLV, "1,FOO,1,AB", 2, "algorithm"},
      {kTypeDNSKEY, "256,3,8,AwEAAQ==", 0, ""},
      {kTypeDNSKEY, "256,3,ECDSAP256SHA256,AwEA", 0, ""},
      {kTypeDNSKEY, "256,300,8,AwEA", 2, "0 to 255"},
      {kTypeDNSKEY, "256,3,8,AwE", 4, "base64"},
      {kTypeDNSKEY, "256,3,8,Aw==AwEA", 4, "base64"},
      {kTypeDNSKEY, "256,3,8,A===", 4, "base64"},
      {kTypeDNSKEY, "256,3,8", 4, "missing"},
      {kTypeRRSIG, "A,8,2,3600,20300101000000,1700000000,12345,example.com.,AwEA", 0, ""},
      {kTypeRRSIG, "TYPE65534,8,2,3600,20300101000000,1700000000,12345,example.com.,AwEA", 0, ""},
      {kTypeRRSIG, "A,8,2,3600,20301301000000,1700000000,12345,example.com.,AwEA", 5, "time"},
      {kTypeRRSIG, "A,8,2,3600,4294967295,1700000000,12345,example.com.,AwEA", 0, ""},
      {kTypeRRSIG, "A,8,2,3600,4294967296,1700000000,12345,example.com.,AwEA", 5, "time"},
      // a day its month has (leap years by the Gregorian rule), a leap second, any year (the
      // time is taken modulo 2^32)
      {kTypeRRSIG, "A,8,2,3600,20240230000000,1700000000,12345,example.com.,AwEA", 5, "time"},
      {kTypeRRSIG, "A,8,2,3600,20240229000000,1700000000,12345,example.com.,AwEA", 0, ""},
      {kTypeRRSIG, "A,8,2,3600,21000229000000,1700000000,12345,example.com.,AwEA", 5, "time"},
      {kTypeRRSIG, "A,8,2,3600,20000229000000,1700000000,12345,example.com.,AwEA", 0, ""},
      {kTypeRRSIG, "A,8,2,3600,20240431000000,1700000000,12345,example.com.,AwEA", 5, "time"},
      {kTypeRRSIG, "A,8,2,3600,20240101000060,19691231000000,12345,example.com.,AwEA", 0, ""},
      {kTypeRRSIG, "A,8,2,3600,20240101000061,1700000000,12345,example.com.,AwEA", 5, "time"},
      {kTypeRRSIG, "1A,8,2,3600,20300101000000,1700000000,12345,example.com.,AwEA", 1, "record type"},
      {kTypeRRSIG, "FOO,8,2,3600,20300101000000,1700000000,12345,example.com.,AwEA", 1, "record type"},
      {kTypeRRSIG, "TYPE65536,8,2,3600,20300101000000,1700000000,12345,example.com.,AwEA", 1, "record type"},
      {kTypeNSEC, "next.example.com.,A MX RRSIG NSEC TYPE1234", 0, ""},
      {kTypeNSEC, "next.example.com.", 2, "missing"},
      {kTypeNSEC, "next.example.com.,A  MX", 2, "record types"},
      {kTypeNSEC, "next.example.com.,A FOO", 2, "record types"},
      {kTypeNSEC, "next.example.com.,A CAA NULL WINS", 2, "record types"},
      {kTypeLOC, "90 0 0 N,180 0 0 W,0m", 0, ""},
      {kTypeLOC, "90 0 0.001 N,0 E,0m", 1, "LOC"},
      {kTypeLOC, "0 N,180 1 E,0m", 2, "LOC"},
      {kTypeWINS, "LOCAL,L2,C900,192.0.2.1", 0, ""},
      {kTypeWINSR, "", 1, "empty"},
  });
  // The data of a record goes on the wire behind a 16-bit length: TXT strings of 65,535 bytes
  // in all (each with its length byte), not one more.
  std::string strings;
  for (int i = 0; i < 255; ++i) strings += (i ? "," : "") + string255;
  expectCases({{kTypeTXT, strings + "," + std::string(254, 'x'), 0, ""},
               {kTypeTXT, strings + "," + string255, 256, "65535"}});
  // Types without a layout (comment lines, directives) pass whatever their data.
  kxRecordDataFault fault;
  EXPECT_TRUE(checkRecordData("", kNoRecordType, "anything", fault));
  EXPECT_TRUE(checkRecordData("", kControlGenerate, "$GENERATE\t1-2", fault));
}

struct Collected {
  std::vector<std::string> messages;
  std::vector<std::string> records;
};

Collected readChecked(const std::string& inFile) {
  Collected out;
  kxMasterFileParser parser(inFile, "example.com.", true, false);
  parser.setKeepDirectives(false);
  parser.setDataCheck(true, [&](const kxErrorMessage& inError) { out.messages.push_back(inError.getText()); });
  std::string name, ttl, data, comment, aging;
  kxResRecType type = kNoRecordType;
  bool enabled = true;
  while (parser.readNextRecord(name, ttl, type, data, comment, aging, enabled)) out.records.push_back(name);
  return out;
}

TEST(RecordDataCheck, TheParserReportsEveryFaultyRecordAndGoesOn) {
  orvo::test::TempDir dir;
  std::ofstream(dir.file("inc.db")) << "ok A 192.0.2.9\nbad A 192.0.2.300\n";
  std::ofstream(dir.file("zone.db")) << "@ SOA ns hm 1 2 3 4 5\n"
                                        "a A 192.0.2.1\n"
                                        "b MX ( 70000\n"
                                        "       mail )\n"
                                        ";<!dis:old A 1.2.3>\n"
                                        "c TXT\n"
                                        "$GENERATE 1-2 g$ A 192.0.2.$$\n"
                                        "$INCLUDE " << dir.file("inc.db") << "\n"
                                        "@ SOA ns hm 99999999999 2 3 4 5\n"
                                        "d CNAME x..y\n";
  const Collected got = readChecked(dir.file("zone.db"));
  const std::string zone = "Error in file \"" + dir.file("zone.db") + "\" line ";
  EXPECT_EQ(got.messages,
            (std::vector<std::string>{
                zone + "3. Incorrect MX record data: field 1 \"70000\" is not a number from 0 to 65535.",
                zone + "6. Incorrect TXT record data: field 1 is missing.",
                zone + "7. Incorrect A record data: field 1 \"192.0.2.$\" is not an IPv4 address.",
                zone + "7. Incorrect A record data: field 1 \"192.0.2.$\" is not an IPv4 address.",
                "Error in file \"" + dir.file("inc.db") +
                    "\" line 2. Incorrect A record data: field 1 \"192.0.2.300\" is not an IPv4 address.",
                zone + "9. Incorrect SOA record data: field 3 \"99999999999\" is not a number from 0 to 4294967295.",
                zone + "10. Incorrect CNAME record data: field 1 \"x..y.example.com.\" is a name with an empty label.",
            }));
  // The faulty records are delivered all the same (the second SOA too); the disabled one is
  // not checked.
  EXPECT_EQ(got.records.size(), 11u);

  // Without a handler the first fault ends the parse, like any parse error.
  std::istringstream input("a A 192.0.2.1\nb A 192.0.2.1 x\nc A 1\n");
  kxMasterFileParser strict(&input, "db.test", "example.com.", true, false);
  strict.setDataCheck(true);
  std::string name, ttl, data, comment, aging;
  kxResRecType type = kNoRecordType;
  bool enabled = true;
  EXPECT_TRUE(strict.readNextRecord(name, ttl, type, data, comment, aging, enabled));
  try {
    strict.readNextRecord(name, ttl, type, data, comment, aging, enabled);
    ADD_FAILURE() << "no error raised";
  } catch (const kxException& e) {
    EXPECT_EQ(e.getErrorValue(), kxErr_parserIncorrectRRFormat);
    EXPECT_EQ(e.errorMessage.getText(),
              "Error in file \"db.test\" line 2. Incorrect A record data: field 2 \"x\" is more than the type has.");
  }
}

}  // namespace
