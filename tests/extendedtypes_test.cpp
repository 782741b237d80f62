// The added record types and the generic form: the registry's option (off leaves the 23
// types exactly as they are), a table of data per field kind, generic data turned into each
// type's text form, the parser with and without the option, and added records in a
// collection's order and master-file output.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "orvo/datastruct/kxrecordcollection.h"
#include "orvo/datastruct/kxresourcerecord.h"
#include "orvo/datastruct/kxresrectype.h"
#include "orvo/dns/kxgenericdata.h"
#include "orvo/dns/kxrecorddatacheck.h"
#include "orvo/messages/kxerrormessage.h"
#include "orvo/messages/kxexception.h"
#include "orvo/util/kxmasterfileparser.h"

namespace {

// Sets the registry's option for one test and puts the old value back.
class ExtendedTypes {
 public:
  explicit ExtendedTypes(bool inOn) : itsOld(kxExtendedRecordTypes()) { kxSetExtendedRecordTypes(inOn); }
  ~ExtendedTypes() { kxSetExtendedRecordTypes(itsOld); }

 private:
  bool itsOld;
};

// Data with "," for the field separator; "\\," is a comma.
std::string fields(const std::string& inText) {
  std::string data;
  for (size_t i = 0; i < inText.size(); ++i) {
    if (inText[i] == '\\' && i + 1 < inText.size() && inText[i + 1] == ',')
      data += inText[++i];
    else
      data += inText[i] == ',' ? '\t' : inText[i];
  }
  return data;
}

std::vector<uint8_t> hexBytes(const std::string& inHex) {
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i + 1 < inHex.size(); i += 2) bytes.push_back(uint8_t(std::stoi(inHex.substr(i, 2), nullptr, 16)));
  return bytes;
}

kxResRecType type(const char* inName) {
  const kxResRecType found = kxExtendedTypeFromName(inName);
  EXPECT_NE(found, kNoRecordType) << inName;
  return found;
}

struct Parsed {
  std::vector<kxResRecType> types;
  std::vector<std::string> data;
  std::string error;
};

Parsed parse(const std::string& inText, bool inExtended) {
  std::istringstream input(inText);
  kxMasterFileParser parser(&input, "zone.db", "example.com.", true, true);
  parser.setExtendedTypes(inExtended);
  parser.setDataCheck(true);
  Parsed result;
  std::string name, ttl, data, comment;
  kxResRecType recordType = kNoRecordType;
  bool enabled = true;
  try {
    while (parser.readNextRecord(name, ttl, recordType, data, comment, enabled)) {
      result.types.push_back(recordType);
      result.data.push_back(data);
    }
  } catch (const kxException& inError) {
    result.error = inError.errorMessage.getText();
  }
  return result;
}

TEST(ExtendedTypes, OffTheRegistryKnowsTheTableOnly) {
  ExtendedTypes off(false);
  EXPECT_EQ(kxResourceRecord::getTypeFromName("CAA"), kNoRecordType);
  EXPECT_EQ(kxResourceRecord::getTypeFromName("TYPE1"), kNoRecordType);
  EXPECT_STREQ(kxResourceRecord::getTypeName(kxExtendedType(257)), "");
  EXPECT_EQ(kxResourceRecord::getDataFormat(kxExtendedType(257)), kFormatUnknown);
  EXPECT_EQ(kxResourceRecord::getDataFormat(kxExtendedType(65534)), kFormatUnknown);
  EXPECT_FALSE(kxResourceRecord::hasDomainNameFields(kxExtendedType(65)));
}

TEST(ExtendedTypes, TheTableTypesAreTheSameEitherWay) {
  for (const kxResourceRecordTypeInfo& row : kxRecordTypeTable()) {
    if (isExtendedRecordType(row.itsType)) continue;
    std::vector<bool> nameFields[2];
    for (const bool on : {false, true}) {
      ExtendedTypes option(on);
      SCOPED_TRACE(std::string(row.itsName) + (on ? " on" : " off"));
      EXPECT_EQ(kxResourceRecord::getTypeFromName(row.itsName), row.itsType);
      EXPECT_STREQ(kxResourceRecord::getTypeName(row.itsType), row.itsName);
      EXPECT_EQ(kxResourceRecord::getDataFormat(row.itsType), row.itsFormat);
      for (uint32_t index = 0; index < 10; ++index)
        nameFields[on].push_back(kxResourceRecord::isDomainNameField(row.itsType, index));
    }
    EXPECT_EQ(nameFields[0], nameFields[1]) << row.itsName;
  }
  for (const int32_t other : {0, 3, 100, 200, 300, 301, 302}) {
    ExtendedTypes on(true);
    EXPECT_EQ(kxResourceRecord::getDataFormat(kxResRecType(other)), kFormatUnknown) << other;
  }
}

TEST(ExtendedTypes, NamesAndNumbers) {
  ExtendedTypes on(true);
  size_t count = 0;
  for (const kxExtendedTypeInfo& row : kxRecordTypeTable()) {
    if (!isExtendedRecordType(row.itsType)) continue;
    ++count;
    const kxResRecType added = kxExtendedType(row.itsNumber);
    SCOPED_TRACE(row.itsName);
    EXPECT_EQ(row.itsType, added);
    EXPECT_EQ(kxFindExtendedTypeInfo(added), &row);
    EXPECT_EQ(kxResourceRecord::getTypeFromName(row.itsName), added);
    EXPECT_EQ(kxResourceRecord::getTypeFromName("TYPE" + std::to_string(row.itsNumber)), added);
    EXPECT_STREQ(kxResourceRecord::getTypeName(added), row.itsName);
    EXPECT_EQ(kxResourceRecord::recordTypeToWireType(added), row.itsNumber);
    // The types whose data has the generic form only (NULL, UINFO, ...) have no layout.
    EXPECT_EQ(kxFieldLayoutOf(added) != nullptr, row.itsFormat != kFormatGeneric);
  }
  EXPECT_EQ(count, 61u);
  const struct {
    std::string word;
    kxResRecType type;
  } words[] = {
      {"caa", kxExtendedType(257)},  {"Https", kxExtendedType(65)}, {"TYPE1", kTypeA},
      {"type16", kTypeTXT},           {"TYPE32769", kTypeDLV},        {"TYPE104", kxExtendedType(104)},
      {"TYPE65534", kxExtendedType(65534)}, {"TYPE65281", kxExtendedType(65281)}, {"TYPE300", kxExtendedType(300)},
      {"TYPE0", kNoRecordType},       {"TYPE41", kNoRecordType},      {"TYPE255", kNoRecordType},
      {"TYPE128", kNoRecordType},     {"TYPE65536", kNoRecordType},   {"TYPE", kNoRecordType},
      {"TYPE1x", kNoRecordType},      {"TYPE000001", kNoRecordType},  {"NSEC3P", kNoRecordType},
      {"null", kxExtendedType(10)},    {"NSAP-PTR", kxExtendedType(23)}, {"MD", kNoRecordType},
      {"MF", kNoRecordType},          {"TYPE3", kNoRecordType},       {"TYPE4", kNoRecordType},
      {"KEYDATA", kNoRecordType},     {"nsec3param", kxExtendedType(51)}, {"OPENPGPKEYS", kNoRecordType},
      {std::string("A\0", 2), kNoRecordType},
  };
  for (const auto& w : words) EXPECT_EQ(kxResourceRecord::getTypeFromName(w.word), w.type) << w.word;
  EXPECT_STREQ(kxResourceRecord::getTypeName(kxExtendedType(65534)), "TYPE65534");
  EXPECT_EQ(kxResourceRecord::getDataFormat(kxExtendedType(65534)), kFormatGeneric);
  uint32_t number = 0;
  EXPECT_TRUE(kxReadClassWord("class1", number));
  EXPECT_EQ(number, 1u);
  EXPECT_FALSE(kxReadClassWord("CLASS65536", number));
  EXPECT_FALSE(kxReadClassWord("CLASS", number));
}

struct Case {
  const char* type;
  std::string data;
  uint32_t field;  // 0 when the data passes
};

// One table per field kind's texts: each row a type that has the kind, the data (with ","
// for the separator) and the field that fails.
TEST(ExtendedTypes, FieldKinds) {
  const std::string salt255(510, 'a');
  const std::string hash255(408, 'V');  // 408 base32hex digits hold 255 bytes
  const std::vector<Case> cases = {
      // numbers of 8, 16 and 32 bits
      {"CAA", "0,issue,ca.example.net", 0}, {"CAA", "256,issue,x", 1}, {"CAA", "-1,issue,x", 1},
      {"KX", "65535,kx.example.com.", 0},   {"KX", "65536,kx", 1},      {"CSYNC", "4294967295,0", 0},
      {"CSYNC", "4294967296,0", 1},
      // names
      {"HTTPS", "1,.", 0}, {"HTTPS", "1,a..b.", 2}, {"LP", "1," + std::string(64, 'a') + ".", 2},
      // hexadecimal data, salts and base32hex
      {"TLSA", "3,1,1,00ff", 0}, {"TLSA", "3,1,1,0", 4}, {"TLSA", "3,1,1,0g", 4}, {"TLSA", "3,1,1", 4},
      {"SSHFP", "1,1,", 3},
      {"NSEC3PARAM", "1,0,10,-", 0}, {"NSEC3PARAM", "1,0,10,aabb", 0}, {"NSEC3PARAM", "1,0,10," + salt255, 0},
      {"NSEC3PARAM", "1,0,10," + salt255 + "aa", 4}, {"NSEC3PARAM", "1,0,10,", 4}, {"NSEC3PARAM", "1,0,10,abc", 4},
      {"NSEC3", "1,0,10,-,2T7B4G4VSA5SMI47K61MV5BV1A22BOJR,A RRSIG", 0},
      {"NSEC3", "1,0,10,-,2t7b4g4vsa5smi47k61mv5bv1a22bojr", 0}, {"NSEC3", "1,0,10,-," + hash255, 0},
      {"NSEC3", "1,0,10,-," + hash255 + "VV", 5}, {"NSEC3", "1,0,10,-,2T7W", 5}, {"NSEC3", "1,0,10,-,A", 5},
      {"NSEC3", "1,0,10,-,2T7B4G4V,A  RRSIG", 6}, {"NSEC3", "1,0,10,-", 5},
      // base64
      {"DHCID", "AAIBY2/A", 0}, {"DHCID", "AAIBY2/", 1}, {"OPENPGPKEY", "", 1}, {"CERT", "PGP,0,0,AQNR", 0},
      {"CERT", "65535,0,RSASHA256,AQNR", 0}, {"CERT", "FOO,0,0,AQNR", 1}, {"CERT", "PGP,0,0,AQN", 4},
      // type bitmaps
      {"CSYNC", "66,3,A NS AAAA TYPE65534", 0}, {"CSYNC", "66,3,A 5", 3}, {"CSYNC", "66,3,A FOO", 3},
      {"CSYNC", "66,3,A TYPE0 TYPE65535", 0}, {"CSYNC", "66,3,A TYPE65536", 3}, {"CSYNC", "66,3,A  NS", 3},
      // SvcParams
      {"SVCB", "1,svc.,alpn=h2,port=443,ipv4hint=192.0.2.1,ipv6hint=2001:db8::1,no-default-alpn", 0},
      {"SVCB", "1,svc.,mandatory=alpn,alpn=\"h2\\,h3\",ech=AQID,key65000=x,key9", 0},
      {"SVCB", "1,svc.,foo=1", 3}, {"SVCB", "1,svc.,port=65536", 3}, {"SVCB", "1,svc.,ipv4hint=1.2.3", 3},
      {"SVCB", "1,svc.,no-default-alpn=x", 3}, {"SVCB", "1,svc.,mandatory=foo", 3}, {"SVCB", "1,svc.,alpn=", 3},
      {"SVCB", "1,svc.,key65535=x", 0}, {"SVCB", "1,svc.,key65536=x", 3}, {"SVCB", "1,svc.,ipv6hint=::g", 3},
      // SvcParams together: no key twice, mandatory's keys present, alpn beside no-default-alpn
      {"SVCB", "1,svc.,alpn=h2,alpn=h3", 4}, {"SVCB", "1,svc.,alpn=h2,key1=\"\\002h3\"", 4},
      {"SVCB", "1,svc.,mandatory=port,alpn=h2", 3}, {"SVCB", "1,svc.,alpn=h2,mandatory=ALPN", 0},
      {"SVCB", "1,svc.,mandatory=mandatory", 3}, {"SVCB", "1,svc.,mandatory=alpn\\,alpn,alpn=h2", 3},
      {"SVCB", "1,svc.,no-default-alpn", 3}, {"SVCB", "1,svc.,no-default-alpn=\"\",alpn=h2", 0},
      // keys in lower case only; keyNNNNN of a known key holds its wire form
      {"SVCB", "1,svc.,ALPN=h2", 3}, {"SVCB", "1,svc.,Port=1", 3}, {"SVCB", "1,svc.,key3=443", 3},
      {"SVCB", "1,svc.,key3=\"\\001\\187\"", 0}, {"SVCB", "1,svc.,key1=\"\\002h2\"", 0}, {"SVCB", "1,svc.,key1=h2", 3},
      {"SVCB", "1,svc.,key7=/q", 3}, {"SVCB", "1,svc.,key0", 3}, {"SVCB", "1,svc.,key9", 0},
      // alpn ids: none empty; "\\," is a comma of an id, "\," a separator
      {"SVCB", "1,svc.,alpn=\"h2\\,\"", 3}, {"SVCB", "1,svc.,alpn=\\,h2", 3}, {"SVCB", "1,svc.,alpn=h2\\,\\,h3", 3},
      {"SVCB", "1,svc.,alpn=\"h2\\\\\\,h3\"", 0}, {"SVCB", "1,svc.,alpn=\"a\\\\\\\\b\"", 0},
      {"SVCB", "1,svc.,alpn=\"a\\\\\"", 3}, {"SVCB", "1,svc.,alpn=\"a\\044b\"", 0},
      // dohpath: a path with the dns variable; ech may be empty
      {"SVCB", "1,svc.,dohpath=/dns-query{?dns}", 0}, {"SVCB", "1,svc.,dohpath=/q{?dns\\,x}", 0},
      {"SVCB", "1,svc.,dohpath=/dns-query", 3}, {"SVCB", "1,svc.,dohpath=/q{?x}", 3},
      {"SVCB", "1,svc.,dohpath=q{?dns}", 3}, {"SVCB", "1,svc.,ech", 0}, {"SVCB", "1,svc.,port=\"\"", 3},
      // addresses and locators
      {"EUI48", "00-00-5e-00-53-2a", 0}, {"EUI48", "00-00-5e-00-53", 1}, {"EUI48", "00:00:5e:00:53:2a", 1},
      {"EUI64", "00-00-5e-ef-10-00-00-2a", 0}, {"EUI64", "00-00-5e-ef-10-00-00-2g", 1},
      {"NID", "10,0014:4fff:ff20:ee64", 0}, {"NID", "10,14:4fff:ff20:ee64", 0}, {"L64", "10,0:0:0:0", 0},
      {"L64", "10,0014:4fff:ff20", 2}, {"NID", "10,00014:4fff:ff20:ee64", 2}, {"NID", "10,14:4fff::ee64", 2},
      {"NID", "10,:4fff:ff20:ee64", 2}, {"NID", "10,14:4fff:ff20:ee64:", 2}, {"NID", "10,14:4fgf:ff20:ee64", 2},
      {"EUI48", "0-0-5e-0-53-2a", 1}, {"EUI48", "00-00-5e-00-53-2a-", 1}, {"EUI48", "00005e00532a", 1},
      {"L32", "10,10.1.2.0", 0}, {"L32", "10,10.1.2", 2},
      {"APL", "", 0}, {"APL", "1:192.168.32.0/21,!2:2001:db8::/32", 0}, {"APL", "1:192.168.32.0/33", 1},
      {"APL", "3:1.2.3.4/8", 1}, {"APL", "1:192.168.32.0/21,2:1.2.3.4/8", 2}, {"APL", "1:1.2.3.4", 1},
      // IPSECKEY gateways, by the gateway type two fields before
      {"IPSECKEY", "10,0,2,.,AQNR", 0}, {"IPSECKEY", "10,1,2,192.0.2.1,AQNR", 0}, {"IPSECKEY", "10,2,2,2001:db8::1", 0},
      {"IPSECKEY", "10,3,2,gw.example.com.,AQNR", 0}, {"IPSECKEY", "1,1,1,192.0.2.1", 0},
      {"IPSECKEY", "10,0,2,gw.", 4}, {"IPSECKEY", "10,1,2,gw.", 4}, {"IPSECKEY", "10,4,2,.", 4},
      // AMTRELAY relays and A6 fields, by the relay type and the prefix length
      {"AMTRELAY", "10,0,0,.", 0}, {"AMTRELAY", "10,1,3,relay.example.com.", 0}, {"AMTRELAY", "10,0,0", 4},
      {"AMTRELAY", "10,0,0,x.", 4}, {"AMTRELAY", "10,0,4,.", 4}, {"AMTRELAY", "10,2,0,.", 2},
      {"A6", "0,2001:db8::1", 0}, {"A6", "64,::1,p.example.com.", 0}, {"A6", "128,p.example.com.", 0},
      {"A6", "64,::1", 3}, {"A6", "0,::1,p.", 3}, {"A6", "128,::1,p.", 3}, {"A6", "129,p.", 1}, {"A6", "64,p.,p.", 2},
      // addresses of NSAP, ATMA and X25
      {"NSAP", "0x47.0005.80", 0}, {"NSAP", "0X.47.", 0}, {"NSAP", "0x4", 1}, {"NSAP", "47", 1}, {"NSAP", "0x", 1},
      {"ATMA", "+358.400.1234567", 0}, {"ATMA", "1.234", 0}, {"ATMA", "+.1", 1}, {"ATMA", "12.", 1},
      {"ATMA", "12..34", 1}, {"ATMA", "123", 1}, {"ATMA", "+1a", 1}, {"X25", "1234", 0}, {"X25", "123", 1},
      {"X25", "12a4", 1},
      // type lists: known mnemonics only (not the private WINS), NXT's up to 127
      {"CSYNC", "66,3,A NULL NSAP-PTR", 0}, {"CSYNC", "66,3,A WINS", 3}, {"NXT", "next.,A NS SOA", 0},
      {"NXT", "next.", 0}, {"NXT", "next.,A CAA", 2}, {"NXT", "next.,TYPE0", 2},
      // DOA, DSYNC and HIP
      {"DOA", "0,1,2,,-", 0}, {"DOA", "0,1,2,image/png,AQID", 0}, {"DOA", "0,1,2,x", 5}, {"DOA", "0,1,2,x,-AQ==", 5},
      {"DSYNC", "CDS,notify,5359,x.", 0}, {"DSYNC", "CDS,256,1,x.", 2}, {"DSYNC", "FOO,1,1,x.", 1},
      {"HIP", "2,20,AwEAAQ==,a.,b.", 0}, {"HIP", "2,20,AwEAAQ==", 0}, {"HIP", "2,2,AwEAAQ==", 2},
      // digests of SSHFP and ZONEMD by their types; KEY without key data when its flags say so
      {"SSHFP", "1,1," + std::string(40, 'a'), 0}, {"SSHFP", "1,1,aabb", 3}, {"SSHFP", "1,2," + std::string(40, 'a'), 3},
      {"SSHFP", "1,2," + std::string(64, 'a'), 0}, {"SSHFP", "1,0,aabb", 0},
      {"ZONEMD", "1,1,1," + std::string(96, 'a'), 0}, {"ZONEMD", "1,1,2," + std::string(96, 'a'), 4},
      {"ZONEMD", "1,1,240," + std::string(24, 'a'), 0}, {"ZONEMD", "1,1,240," + std::string(22, 'a'), 4},
      {"KEY", "49152,3,8", 0}, {"KEY", "49152,3,8,AwEA", 4}, {"KEY", "256,3,8", 4}, {"KEY", "256,3,8,AwEA", 0},
      // CAA issue values (RFC 8659 4.2); other tags take any text
      {"CAA", "0,issue,", 0}, {"CAA", "0,issue,;", 0}, {"CAA", "0,issuewild,ca.example.net; account=1; policy=ev", 0},
      {"CAA", "0,ISSUE,ca.net;", 0}, {"CAA", "0,issue, ca.net ; a = b ", 0}, {"CAA", "0,issue,ca.net; a=", 0},
      {"CAA", "0,issue,%%%", 3}, {"CAA", "0,issue,ca..example.net", 3}, {"CAA", "0,issue,-ca.net", 3},
      {"CAA", "0,issue,ca.net.", 3}, {"CAA", "0,issue,ca.net; account", 3}, {"CAA", "0,issue,ca.net; =x", 3},
      {"CAA", "0,issue,ca.net; a=x y", 3}, {"CAA", "0,issue,ca.net; a=b;", 3}, {"CAA", "0,issue,ca.net;; a=b", 3},
      {"CAA", "0,issue,ca-.net", 3}, {"CAA", "0,tbs,%%%", 0}, {"CAA", "0,issue,\\099a.net", 0},
      // CAA tags and long strings
      {"CAA", "0,is-sue,x", 2}, {"CAA", "0,,x", 2}, {"CAA", "0,tbs," + std::string(300, 'x'), 0},
      {"CAA", "0,tbs,a\\300", 3}, {"URI", "10,1,https://example.com/", 0}, {"URI", "10,1", 3},
      // field counts
      {"TLSA", "3,1,1,00,00", 5}, {"MINFO", "a.", 2}, {"EUI48", "00-00-5e-00-53-2a,x", 2},
  };
  ExtendedTypes on(true);
  for (const Case& c : cases) {
    kxRecordDataFault fault;
    const bool passed = checkRecordData("host.example.com.", type(c.type), fields(c.data), fault);
    SCOPED_TRACE(std::string(c.type) + " \"" + c.data.substr(0, 60) + "\"");
    EXPECT_EQ(passed, c.field == 0) << fault.describe();
    if (!passed) {
      EXPECT_EQ(fault.itsField, c.field) << fault.describe();
    }
  }
}

// Generic data of a type the table knows comes out in the type's own text form.
TEST(ExtendedTypes, GenericDataToText) {
  const struct {
    kxResRecType type;
    const char* hex;
    const char* text;  // nullptr when the data is refused
  } cases[] = {
      {kTypeA, "C0000207", "192.0.2.7"},
      {kTypeA, "C00002", nullptr},
      {kTypeA, "C000020700", nullptr},
      {kTypeAAAA, "20010DB8000000000000000000000001", "2001:db8:0:0:0:0:0:1"},
      {kTypeMX, "000A046D61696C076578616D706C6503636F6D00", "10,mail.example.com."},
      {kTypeMX, "000A00", "10,."},
      {kTypeMX, "000AC00C", nullptr},                 // a compression pointer
      {kTypeMX, "000A046D6169", nullptr},             // the name runs past the end
      {kTypeTXT, "0568656C6C6F0361226200015C", "hello,a\\\"b,,\\\\"},
      {kTypeTXT, "02090A", "\\009\\010"},
      {kTypeTXT, "00", ""},
      {kTypeTXT, "", nullptr},
      {kTypeTXT, "0568656C6C", nullptr},
      {kTypeSOA, "026E7300026D6D000000000700000008000000090000000A0000000B", "ns.,mm.,7,8,9,10,11"},
      {kTypeWKS, "C00002010600000040", "192.0.2.1,6,25"},
      {kTypeWKS, "C000020106", "192.0.2.1,6"},
      {kTypeRRSIG, "0001080200000E10709A5E00659200800309076578616D706C6500AABB",
       "A,8,2,3600,20291112080000,20240101000000,777,example.,qrs="},
      {kTypeNSEC, "046E65787400000762000000000380", "next.,A NS SOA RRSIG NSEC DNSKEY"},
      {kTypeNSEC, "046E6578740000", nullptr},
      {kTypeNSEC, "046E657874000000", nullptr},  // a window without bits
      {kTypeDS, "EC4508030102", "60485,8,3,0102"},
      {kTypeDS, "EC4508020102", nullptr},  // SHA-256 takes 32 bytes
      {kTypeLOC, "0012161389", nullptr},
      {kTypeLOC, "001216138B3CF018810CBCE0009895B8", "52 22 23.000 N,4 53 32.000 E,-2.00m,1.00m,10000.00m,10.00m"},
      {kTypeLOC, "0033161376E8D23070BE15F000988D20", "42 21 54.000 S,71 6 18.000 W,-24.00m,30.00m,10000.00m,10.00m"},
      {kTypeLOC, "011216138B3CF018810CBCE0009895B8", nullptr},  // version 1
      {kTypeLOC, "00A216138B3CF018810CBCE0009895B8", nullptr},  // a size mantissa of 10
      {kxExtendedType(257), "0005697373756563612E6578616D706C652E6E6574", "0,issue,ca.example.net"},
      {kxExtendedType(257), "00", nullptr},
      {kxExtendedType(257), "0000", nullptr},
      {kxExtendedType(52), "030101ABCD", "3,1,1,ABCD"},
      {kxExtendedType(52), "030101", nullptr},
      {kxExtendedType(65), "000100000100060268320268330003000201BB000400040C000201",
       "1,.,alpn=\"h2\\,h3\",port=\"443\",ipv4hint=\"12.0.2.1\""},
      {kxExtendedType(65), "00010000010003026833000200000003000201BB",
       "1,.,alpn=\"h3\",no-default-alpn,port=\"443\""},
      {kxExtendedType(65), "00010000020000", nullptr},                    // no-default-alpn without alpn
      {kxExtendedType(65), "00010000030002000100010003026833", nullptr},  // keys out of order
      {kxExtendedType(65), "0001000001000302683300010003026833", nullptr},   // alpn twice
      {kxExtendedType(65), "00010000000002000300010003026833", nullptr},    // mandatory port missing
      {kxExtendedType(65), "00010000010007026832032C5C61", "1,.,alpn=\"h2\\,\\\\\\,\\\\\\\\a\""},
      {kxExtendedType(65), "000100FFFF000178", "1,.,key65535=\"x\""},
      {kxExtendedType(65), "0001000002000101", nullptr},
      {kxExtendedType(65), "00010000030001AA", nullptr},  // a port of one byte
      {kxExtendedType(50), "0100000A02AABB01FF000700000000000220", "1,0,10,AABB,VS,RRSIG NSEC3"},
      {kxExtendedType(50), "0100000A0001FF", "1,0,10,-,VS"},
      {kxExtendedType(50), "0100000A0000", nullptr},  // a hash of no bytes
      {kxExtendedType(42), "0001150300C0A820", nullptr},
      {kxExtendedType(42), "00011503C0A820", "1:192.168.32.0/21"},
      {kxExtendedType(42), "00011503C0A800", nullptr},  // trailing zero byte
      {kxExtendedType(42), "", ""},
      {kxExtendedType(45), "0A0302026777000102", "10,3,2,gw.,AQI="},
      {kxExtendedType(45), "0A0402", nullptr},
      {kxExtendedType(108), "00005E00532A", "00-00-5e-00-53-2a"},
      {kxExtendedType(104), "000A00144FFFFF20EE64", "10,0014:4fff:ff20:ee64"},
      {kxExtendedType(256), "000A000168747470", "10,1,http"},
      {kxExtendedType(62), "000000420003000460000008", "66,3,A NS AAAA"},
      {kxExtendedType(62), "000000420003", "66,3"},
  };
  ExtendedTypes on(true);
  for (const auto& c : cases) {
    const std::vector<uint8_t> bytes = hexBytes(c.hex);
    std::string text;
    const char* reason = "";
    const bool read = kxGenericDataToText(c.type, bytes.data(), bytes.size(), text, reason);
    SCOPED_TRACE(std::string(kxResourceRecord::getTypeName(c.type)) + " " + c.hex);
    EXPECT_EQ(read, c.text != nullptr) << text;
    if (read && c.text) {
      EXPECT_EQ(text, fields(c.text));
    }
  }
  // A type nothing knows has no text form of its own.
  std::string text;
  const char* reason = "";
  const uint8_t byte = 1;
  EXPECT_FALSE(kxGenericDataToText(kxExtendedType(65534), &byte, 1, text, reason));
  EXPECT_EQ(kxGenericDataText(&byte, 1), fields("\\#,1,01"));
  EXPECT_EQ(kxGenericDataText(nullptr, 0), fields("\\#,0"));
}

TEST(ExtendedTypes, ParserWithoutTheOptionRefusesThem) {
  ExtendedTypes on(true);  // the registry's option does not open the parser
  for (const char* line : {"c CAA 0 issue ca", "x TYPE1 \\# 4 0A000001", "x CLASS1 A 192.0.2.1",
                           "x A \\# 4 0A000001", "x TYPE65534 \\# 0"}) {
    const Parsed parsed = parse(std::string("$TTL 1h\n") + line + "\n", false);
    EXPECT_TRUE(parsed.types.empty()) << line;
    EXPECT_NE(parsed.error.find("line 2. "), std::string::npos) << line << ": " << parsed.error;
  }
}

TEST(ExtendedTypes, ParserReadsAddedTypesAndTheGenericForm) {
  ExtendedTypes off(false);
  const Parsed parsed = parse(
      "@ SOA \\# 28 026E7300026D6D000000000700000008000000090000000A0000000B\n"
      "c CAA 0 issue \"ca.example.net\"\n"
      "t TLSA 3 1 1 ( 0102\n 0304 )\n"
      "n NSEC3 1 0 10 - VS ( A\n   RRSIG )\n"
      "h CLASS1 HTTPS 1 svc alpn=h2\n"
      "x TYPE65534 \\# 3 ( 0A\n 0001 ) ; kept generic\n"
      "y IN TYPE1 \\# 4 0A000001\n"
      "k KEY 256 3 8 AwEA AQ==\n",
      true);
  ASSERT_EQ(parsed.error, "");
  EXPECT_TRUE(kxExtendedRecordTypes());  // the parser's option turned the registry's on
  const std::vector<kxResRecType> types = {kTypeSOA, kxExtendedType(257), kxExtendedType(52), kxExtendedType(50),
                                           kxExtendedType(65), kxExtendedType(65534), kTypeA, kxExtendedType(25)};
  EXPECT_EQ(parsed.types, types);
  const std::vector<std::string> data = {
      fields("ns.,mm.,7,8,9,10,11"), fields("0,issue,ca.example.net"), fields("3,1,1,01020304"),
      fields("1,0,10,-,VS,A RRSIG"), fields("1,svc.example.com.,alpn=h2"), fields("\\#,3,0A0001"),
      "10.0.0.1", fields("256,3,8,AwEAAQ==")};
  EXPECT_EQ(parsed.data, data);

  for (const char* line : {"x TYPE65534 0A", "x TYPE65534 \\# 2 0A", "x TYPE65534 \\# 1 0A 0B",
                           "x TYPE65534 \\# 1 0", "x TYPE65534 \\# 1 GG", "x TYPE65534 \\# 65536",
                           "x TYPE65534 \\#", "x A \\# 3 0A0000", "x CAA 0 issue", "x HTTPS 1 . foo=bar",
                           "x CLASS3 A 192.0.2.1", "x TYPE255 \\# 0", "$GENERATE 1-2 g$ A \\# 4 0A000001"}) {
    // A line after the faulty one: the error still names the faulty line.
    const Parsed faulty = parse(std::string("$TTL 1h\n") + line + "\ny A 192.0.2.1\n", true);
    EXPECT_NE(faulty.error.find("line 2. "), std::string::npos) << line << ": " << faulty.error;
  }
}

TEST(ExtendedTypes, RecordsInACollection) {
  ExtendedTypes on(true);
  kxRecordCollection zone("example.com.");
  auto add = [&](const char* inName, kxResRecType inType, const std::string& inData) {
    zone.insertRecord(kxResourceRecord(&zone, inName, "", inType, fields(inData), ""), -1,
                      kxRecordCollection::kAnswerSection);
  };
  add("x", kxExtendedType(65534), "\\#,1,0A");
  add("c", kxExtendedType(257), "0,issue,a\"b");
  add("h", kxExtendedType(65), "1,svc.example.com.,alpn=h2");
  add("a", kTypeA, "192.0.2.1");
  add("", kTypeSOA, "ns,hm,1,2,3,4,5");
  add("w", kTypeWINS, "L1 C2 0 192.0.2.1");
  // The target is stored relative, and qualified again when asked.
  const kxResourceRecord* https = zone.getRecord(0, kxExtendedType(65), kxRecordCollection::kAnswerSection);
  ASSERT_NE(https, nullptr);
  EXPECT_EQ(https->getDataField(1), "svc");
  EXPECT_EQ(https->getDataField(1, true), "svc.example.com.");
  EXPECT_TRUE(zone.recordExists("x", kxExtendedType(65534), fields("\\#,1,0A"), kxRecordCollection::kAnswerSection));

  zone.sortRecords(kxRecordCollection::kSortByType, false);
  std::ostringstream text;
  zone.writeMasterFile(text, false);
  // The added types come after the table's (WINS included), by type number; none of them is
  // written in the head with the comment lines.
  EXPECT_EQ(text.str(),
            "@\t\tIN\tSOA\tns\thm\t1\t2\t3\t4\t5\n"
            "a\t\tIN\tA\t192.0.2.1\n"
            "w\t\tIN\tWINS\tL1 C2 0 192.0.2.1\n"
            "h\t\tIN\tHTTPS\t1\tsvc\talpn=h2\n"
            "c\t\tIN\tCAA\t0\tissue\t\"a\\\"b\"\n"
            "x\t\tIN\tTYPE65534\t\\#\t1\t0A\n");
}

// Where an earlier field tells a field's form, that field is a name or not by the data: an
// IPSECKEY gateway or AMTRELAY relay of type 3, A6's prefix name. Such names are made
// relative to the zone and written in full like every other name.
TEST(ExtendedTypes, NameFieldsToldByAnEarlierField) {
  ExtendedTypes on(true);
  const struct {
    const char* type;
    uint32_t index;
    const char* data;
    bool name;
  } cases[] = {
      {"IPSECKEY", 3, "10,3,2", true},  {"IPSECKEY", 3, "10,1,2", false}, {"IPSECKEY", 3, "", false},
      {"AMTRELAY", 3, "10,0,3", true},  {"AMTRELAY", 3, "10,0,0", false}, {"A6", 1, "128", true},
      {"A6", 1, "64", false},           {"A6", 2, "64,::1", true},        {"A6", 2, "0,::1", false},
      {"A6", 2, "x,::1", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(kxResourceRecord::isDomainNameField(type(c.type), c.index, fields(c.data)), c.name)
        << c.type << " " << c.index << " " << c.data;

  kxRecordCollection zone("example.com.");
  zone.addRecord("g", "", type("IPSECKEY"), fields("10,3,2,gw.example.com.,AQNR"));
  zone.addRecord("a", "", type("IPSECKEY"), fields("10,1,2,192.0.2.1,AQNR"));
  zone.addRecord("p", "", type("A6"), fields("128,prefix.example.com."));
  std::ostringstream text;
  zone.writeMasterFile(text, false);
  EXPECT_EQ(text.str(),
            "g\t\tIN\tIPSECKEY\t10\t3\t2\tgw\tAQNR\n"
            "a\t\tIN\tIPSECKEY\t10\t1\t2\t192.0.2.1\tAQNR\n"
            "p\t\tIN\tA6\t128\tprefix\n");
  const Parsed parsed = parse("$ORIGIN sub.example.com.\ng IPSECKEY 10 3 2 gw AQNR\n", true);
  ASSERT_EQ(parsed.error, "");
  EXPECT_EQ(parsed.data[0], fields("10,3,2,gw.sub.example.com.,AQNR"));
}

// Every name field of an added type is made relative, wherever it stands in the data: one
// in the middle, two, one the zone's domain itself, one whose form an earlier field tells.
TEST(ExtendedTypes, NameFieldsAreMadeRelativeWhereverTheyStand) {
  ExtendedTypes on(true);
  const struct {
    const char* type;
    const char* data;
    const char* relative;
    bool changed;
  } cases[] = {
      {"HTTPS", "1,svc.zone.test.,alpn=h2", "1,svc,alpn=h2", true},
      {"PX", "10,a.zone.test.,b.zone.test.", "10,a,b", true},
      {"PX", "10,zone.test.,b.other.", "10,,b.other.", true},
      {"PX", "10,a\\.zone.test.,B.ZONE.TEST.", "10,a\\.zone.test.,B.ZONE.TEST.", false},
      {"IPSECKEY", "10,3,2,gw.zone.test.,AQNR", "10,3,2,gw,AQNR", true},
      {"IPSECKEY", "10,1,2,192.0.2.1,AQNR", "10,1,2,192.0.2.1,AQNR", false},
      {"HIP", "2,00ff,AQNR,rv1.zone.test.,rv2.zone.test.", "2,00ff,AQNR,rv1,rv2", true},
      {"CAA", "0,issue,ca.zone.test.", "0,issue,ca.zone.test.", false},
  };
  for (const auto& c : cases) {
    std::string data = fields(c.data);
    EXPECT_EQ(kxResourceRecord::relativizeDataFields("zone.test.", type(c.type), data), c.changed) << c.data;
    EXPECT_EQ(data, fields(c.relative)) << c.data;
  }
}

// Long-string fields built through the API are written so that they read back: a value that
// ends in a backslash gets one more, a quote is escaped unless an odd run of backslashes
// escapes it already.
TEST(ExtendedTypes, LongStringsWithBackslashesReadBack) {
  ExtendedTypes on(true);
  const kxResRecType caa = kxResourceRecord::getTypeFromName("CAA");
  struct Case {
    const char* value;
    const char* written;
    const char* readBack;
  } cases[] = {
      {"a\\", "\"a\\\\\"", "a\\\\"},
      {"a\\\\\"b", "\"a\\\\\\\"b\"", "a\\\\\\\"b"},
      {"a\\\"b", "\"a\\\"b\"", "a\\\"b"},
  };
  for (const Case& c : cases) {
    kxRecordCollection zone("example.com.");
    zone.addRecord("c", "", caa, fields(std::string("0,tbs,") + c.value));
    std::ostringstream text;
    zone.writeMasterFile(text, false);
    EXPECT_EQ(text.str(), std::string("c\t\tIN\tCAA\t0\ttbs\t") + c.written + "\n");
    const Parsed parsed = parse(text.str(), true);
    ASSERT_EQ(parsed.error, "") << text.str();
    ASSERT_EQ(parsed.data.size(), 1u);
    EXPECT_EQ(parsed.data[0], fields(std::string("0,tbs,") + c.readBack)) << text.str();
  }
}

}  // namespace
