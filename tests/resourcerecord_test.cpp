// kxResourceRecord: the type table, data fields, relative names, the text line and equality.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "orvo/datastruct/kxrecordcollection.h"
#include "orvo/datastruct/kxresourcerecord.h"
#include "orvo/util/kxmasterfileparser.h"
#include "support/kxassertcapture.h"

namespace {

std::string textOf(const kxResourceRecord& inRecord) {
  std::ostringstream out;
  inRecord.writeText(out);
  return out.str();
}

kxResourceRecord record(kxResRecType inType, const std::string& inName, const std::string& inData,
                        const std::string& inComment = "", bool inEnabled = true, const std::string& inTTL = "3600") {
  return kxResourceRecord(nullptr, inName, inTTL, inType, inData, inComment, inEnabled);
}

TEST(RecordTypes, TableLookups) {
  struct Case {
    const char* name;
    kxResRecType type;
    int32_t format;
  } cases[] = {
      {"A", kTypeA, 6},          {"AAAA", kTypeAAAA, 11}, {"AFSDB", kTypeAFSDB, 3}, {"CNAME", kTypeCNAME, 2},
      {"DLV", kTypeDLV, 17},     {"DNAME", kTypeDNAME, 2}, {"DNSKEY", kTypeDNSKEY, 16}, {"DS", kTypeDS, 17},
      {"HINFO", kTypeHINFO, 5},  {"LOC", kTypeLOC, 9},    {"MX", kTypeMX, 3},       {"NAPTR", kTypeNAPTR, 13},
      {"NS", kTypeNS, 2},        {"NSEC", kTypeNSEC, 19}, {"PTR", kTypePTR, 2},     {"RP", kTypeRP, 4},
      {"RRSIG", kTypeRRSIG, 18}, {"SOA", kTypeSOA, 8},    {"SRV", kTypeSRV, 10},    {"TXT", kTypeTXT, 1},
      {"WINS", kTypeWINS, 14},   {"WINSR", kTypeWINSR, 15}, {"WKS", kTypeWKS, 12},
  };
  ASSERT_EQ(std::size(cases), size_t(kNumTableTypes));
  std::vector<const char*> tableNames;
  for (const kxResourceRecordTypeInfo& row : kxRecordTypeTable())
    if (!isExtendedRecordType(row.itsType)) tableNames.push_back(row.itsName);
  ASSERT_EQ(tableNames.size(), std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    EXPECT_STREQ(tableNames[i], c.name);  // stored in mnemonic order
    EXPECT_EQ(kxResourceRecord::getTypeFromName(c.name), c.type) << c.name;
    EXPECT_EQ(kxResourceRecord::getDataFormat(c.type), c.format) << c.name;
    EXPECT_STREQ(kxResourceRecord::getTypeName(c.type), c.name);
    std::string lower = c.name;
    for (char& ch : lower) ch = char(std::tolower(ch));
    EXPECT_EQ(kxResourceRecord::getTypeFromName(lower), c.type) << lower;
  }
  for (const char* unknown : {"", "MXX", "M", "ANY", "ZZZ", "A "})
    EXPECT_EQ(kxResourceRecord::getTypeFromName(unknown), kNoRecordType) << unknown;
  for (kxResRecType unknown : {kNoRecordType, kControlTTL, kAnyRecordType, kxResRecType(99), kxResRecType(65283)}) {
    EXPECT_EQ(kxResourceRecord::getDataFormat(unknown), 20);
    EXPECT_STREQ(kxResourceRecord::getTypeName(unknown), "");
    EXPECT_FALSE(kxResourceRecord::hasDomainNameFields(unknown));
  }
}

TEST(RecordTypes, DomainNameFields) {
  struct Case {
    kxResRecType type;
    const char* fields;  // one letter per index 0..8: n for a domain name
  } cases[] = {
      {kTypeNS, "nnnnnnnnn"},    {kTypeRP, "nnnnnnnnn"},    {kTypeMX, "-nnnnnnnn"},    {kTypeSOA, "nn-------"},
      {kTypeSRV, "---n-----"},   {kTypeNAPTR, "-----n---"}, {kTypeRRSIG, "-------n-"}, {kTypeNSEC, "n--------"},
      {kTypeTXT, "---------"},   {kTypeA, "---------"},     {kTypeDS, "---------"},    {kTypeWINS, "---------"},
  };
  for (const Case& c : cases) {
    bool any = false;
    for (uint32_t i = 0; i < 9; ++i) {
      EXPECT_EQ(kxResourceRecord::isDomainNameField(c.type, i), c.fields[i] == 'n') << c.type << " " << i;
      any = any || c.fields[i] == 'n';
    }
    EXPECT_EQ(kxResourceRecord::hasDomainNameFields(c.type), any) << c.type;
  }
}

TEST(RecordTypes, WireTypes) {
  EXPECT_EQ(kxResourceRecord::wireTypeToRecordType(32769), kTypeDLV);
  EXPECT_EQ(kxResourceRecord::recordTypeToWireType(kTypeDLV), 32769);
  EXPECT_EQ(kxResourceRecord::wireTypeToRecordType(65281), kTypeWINS);
  EXPECT_EQ(kxResourceRecord::recordTypeToWireType(kTypeWINS), 65281);
  EXPECT_EQ(kxResourceRecord::wireTypeToRecordType(0x10000 + 15), kTypeMX);
  EXPECT_EQ(kxResourceRecord::wireTypeToRecordType(0x10000 + 32769), kTypeDLV);
  EXPECT_EQ(kxResourceRecord::recordTypeToWireType(kxResRecType(0x10000 + 104)), 32769);
  EXPECT_EQ(kxResourceRecord::recordTypeToWireType(kControlTTL), 300);
}

TEST(Record, DataFields) {
  struct Extract {
    const char* data;
    uint32_t index;
    const char* field;
  } extracts[] = {
      {"", 0, ""}, {"a\tb", 0, "a"}, {"a\tb", 1, "b"}, {"a\tb", 5, ""}, {"a\t\tc", 1, ""}, {"a\t", 1, ""},
  };
  for (const Extract& e : extracts)
    EXPECT_EQ(kxResourceRecord::extractDataField(e.data, e.index), e.field) << e.data << " " << e.index;

  struct Set {
    const char* data;
    uint32_t index;
    const char* value;
    const char* result;
  } sets[] = {
      {"a", 3, "x", "a\t\t\tx"},           {"a\tb\tc\td", 3, "x", "a\tb\tc\tx"},
      {"a\tb\tc\td\te", 1, "x", "a\tx\tc\td\te"}, {"", 0, "x", "x"},
      {"a\tb", 2, "", "a\tb\t"},           {"a\tbb\tc", 1, "", "a\t\tc"},
  };
  for (const Set& s : sets) {
    kxResourceRecord rec = record(kTypeMX, "host", s.data);
    rec.setDataField(s.index, s.value);
    EXPECT_EQ(rec.getData(), s.result) << s.data << " " << s.index;
  }
  EXPECT_EQ(record(kTypeTXT, "", "").countDataFields(), 1);
  EXPECT_EQ(record(kTypeTXT, "", "a\tb\t").countDataFields(), 3);

  // Without an owning collection nothing is qualified or relativised.
  kxResourceRecord free = record(kTypeMX, "host.zone.test.", "10\tmail");
  EXPECT_EQ(free.getDataField(1, true), "mail");
  EXPECT_EQ(free.getFullName(), "host.zone.test.");
  EXPECT_FALSE(free.relativizeName());
}

TEST(Record, StripDomain) {
  struct Case {
    const char* domain;
    const char* name;
    const char* result;
    bool changed;
  } cases[] = {
      {"zone.test.", "host.zone.test.", "host", true},
      {"zone.test.", "ZONE.TEST.", "", true},
      {"zone.test.", "a.b.Zone.Test.", "a.b", true},
      {"zone.test.", "10\tmail.zone.test.", "10\tmail", true},
      {"zone.test.", "10\tzone.test.", "10\t", true},
      {"zone.test.", "hostzone.test.", "hostzone.test.", false},
      {"zone.test.", "host.other.test.", "host.other.test.", false},
      {"zone.test.", "host.zone.test", "host.zone.test", false},
      {"zone.test.", "test.", "test.", false},
      // An escaped dot belongs to its label: "a.zone" is one label here.
      {"zone.test.", "a\\.zone.test.", "a\\.zone.test.", false},
      {"zone.test.", "a\\\\.zone.test.", "a\\\\", true},
      {"", "host.zone.test.", "host.zone.test.", false},
  };
  for (const Case& c : cases) {
    std::string name = c.name;
    EXPECT_EQ(kxResourceRecord::stripDomain(c.domain, name), c.changed) << c.name;
    EXPECT_EQ(name, c.result) << c.name;
  }
}

TEST(Record, RelativizeAndQualifyData) {
  struct Case {
    kxResRecType type;
    const char* data;
    const char* relative;
    bool result;
  } cases[] = {
      {kTypeMX, "10\tmail.zone.test.", "10\tmail", true},
      {kTypeMX, "10\tmail.other.", "10\tmail.other.", true},
      {kTypeCNAME, "zone.test.", "", true},
      // A name written in other letter case keeps it: it stays absolute.
      {kTypeCNAME, "ZONE.TEST.", "ZONE.TEST.", true},
      {kTypeMX, "10\tmail.Zone.Test.", "10\tmail.Zone.Test.", true},
      {kTypeSRV, "0\t5\t80\tsip.zone.test.", "0\t5\t80\tsip", true},
      {kTypeSOA, "ns.zone.test.\thostmaster.zone.test.\t2024031501\t3600\t600\t86400\t60",
       "ns\thostmaster\t2024031501\t3600\t600\t86400\t60", true},
      {kTypeSOA, "zone.test.\tns.other.\t1\t2\t3\t4\t5", "\tns.other.\t1\t2\t3\t4\t5", true},
      {kTypeRP, "admin.zone.test.\tinfo.zone.test.", "admin\tinfo", true},
      {kTypeRP, "admin.zone.test.", "admin", true},
      {kTypeRRSIG, "A\t8\t3\t3600\t1\t2\t3\tzone.test.\tsig.zone.test.", "A\t8\t3\t3600\t1\t2\t3\t\tsig.zone.test.", true},
      {kTypeRRSIG, "A\t8\t3\t3600\t1\t2\t3\tother.\tsig", "A\t8\t3\t3600\t1\t2\t3\tother.\tsig", false},
      {kTypeNSEC, "next.zone.test.\tA MX", "next\tA MX", true},
      {kTypeNSEC, "", "", false},
      {kTypeTXT, "x.zone.test.", "x.zone.test.", false},
  };
  for (const Case& c : cases) {
    std::string data = c.data;
    EXPECT_EQ(kxResourceRecord::relativizeDataFields("zone.test.", c.type, data), c.result) << c.data;
    EXPECT_EQ(data, c.relative) << c.data;
  }
  std::string untouched = "10\tmail.zone.test.";
  EXPECT_FALSE(kxResourceRecord::relativizeDataFields("", kTypeMX, untouched));

  struct Qualify {
    const char* origin;
    kxResRecType type;
    const char* data;
    const char* qualified;
    bool changed;
  } qualifies[] = {
      {"zone.test.", kTypeMX, "10\tmail", "10\tmail.zone.test.", true},
      {"zone.test.", kTypeMX, "10\t", "10\tzone.test.", true},
      {"zone.test.", kTypeMX, "10\tmail.other.", "10\tmail.other.", false},
      {"@", kTypeMX, "10\tmail", "10\tmail", false},
      {"@", kTypeMX, "10\t", "10\t@", true},
      {"zone.test.", kTypeSOA, "ns\t\t1\t2\t3\t4\t5", "ns.zone.test.\tzone.test.\t1\t2\t3\t4\t5", true},
      {"zone.test.", kTypeNAPTR, "100\t10\tu\tE2U+sip\t!^.*$!sip:x@y!\t.", "100\t10\t\"u\"\t\"E2U+sip\"\t\"!^.*$!sip:x@y!\"\t.", true},
      {"zone.test.", kTypeNAPTR, "1\t2\t\"s\"\t\"\t\"\"\tsrv", "1\t2\t\"s\"\t\"\"\"\t\"\"\tsrv.zone.test.", true},
      {"", kTypeMX, "10\tmail", "10\tmail", false},
  };
  for (const Qualify& q : qualifies) {
    std::string data = q.data;
    EXPECT_EQ(kxResourceRecord::qualifyDataFields(q.origin, q.type, data), q.changed) << q.data;
    EXPECT_EQ(data, q.qualified) << q.data;
  }
}

TEST(Record, TextLines) {
  struct Case {
    kxResourceRecord rec;
    const char* line;
  } cases[] = {
      {record(kTypeMX, "host", "10\tmail", "old", false), ";<!dis:host\t3600\tIN\tMX\t10\tmail>old"},
      {record(kTypeMX, "", "10\tmail.other.", "note"), "@\t3600\tIN\tMX\t10\tmail.other.\t;note"},
      {record(kTypeMX, "", "10\t"), "@\t3600\tIN\tMX\t10\t@"},
      // A label "@" is no origin: written escaped.
      {record(kTypeMX, "@", "10\t@"), "\\@\t3600\tIN\tMX\t10\t\\@"},
      {record(kTypeCNAME, "@.sub", "@.x"), "@.sub\t3600\tIN\tCNAME\t@.x"},
      {record(kTypeA, "www", "192.0.2.1", "", false, ""), ";<!dis:www\t\tIN\tA\t192.0.2.1>"},
      {record(kNoRecordType, "", "", "note", true, ""), ";note"},
      {record(kNoRecordType, "", "", "note", false, ""), ";<!dis:>note"},
      {record(kNoRecordType, "x", "", "", true, ""), "x\t\tIN\tN/A\t"},
      {record(kTypeTXT, "t", "a\tb"), "t\t3600\tIN\tTXT\t\"a\"\t\"b\""},
      {record(kTypeTXT, "t", "say \"hi\" \\\"ok"), "t\t3600\tIN\tTXT\t\"say \\\"hi\\\" \\\"ok\""},
      {record(kTypeTXT, "t", "\"x"), "t\t3600\tIN\tTXT\t\"\\\"x\""},
      {record(kTypeTXT, "t", ""), "t\t3600\tIN\tTXT\t\"\""},
      {record(kTypeHINFO, "h", "PC\tLinux"), "h\t3600\tIN\tHINFO\t\"PC\"\t\"Linux\""},
      {record(kTypeNAPTR, "n", "1\t2\tu\t\"E2U\"\tre\trepl"), "n\t3600\tIN\tNAPTR\t1\t2\t\"u\"\t\"E2U\"\t\"re\"\trepl"},
      {record(kTypeWINS, "w", "LOCAL\tL2\tC10\t1.2.3.4"), "w\t3600\tIN\tWINS\tLOCAL\tL2\tC10\t1.2.3.4"},
      {record(kxResRecType(99), "u", "raw"), "u\t3600\tIN\t\traw"},
      {record(kControlTTL, "", "", "", true, "1h"), ""},
      {record(kControlGenerate, "", "1-10 h$ A 10.0.0.$", "gen"), "1-10 h$ A 10.0.0.$\t;gen"},
      {record(kControlInclude, "", "$INCLUDE sub.zone", "", false), "$INCLUDE sub.zone"},
  };
  for (const Case& c : cases) EXPECT_EQ(textOf(c.rec), c.line) << c.line;

  kxResourceRecord aged(nullptr, "host", "60", kTypeA, "192.0.2.1", "", "3604512", true);
  EXPECT_EQ(textOf(aged), "host\t[AGE:3604512]\t60\tIN\tA\t192.0.2.1");
  aged.setAging("");
  EXPECT_EQ(textOf(aged), "host\t60\tIN\tA\t192.0.2.1");

  // With an origin, names are written in full; a null aging text adds nothing.
  EXPECT_EQ(kxResourceRecord::recordText("", "", kTypeMX, "10\tmail", "", nullptr, true, "zone.test.", false, ' '),
            "zone.test.  MX 10\tmail.zone.test.");  // data fields keep their tabs
  EXPECT_EQ(kxResourceRecord::recordText("www", "60", kTypeCNAME, "web.other.", "", "", true, "zone.test.", true, ' '),
            "www.zone.test. 60 IN CNAME web.other.");
}

// TXT and HINFO data keeps the escapes of the master file. Data built through the API that
// ends a string in a lone backslash, or has a quote after an escaped backslash, is written
// so that the line reads back: the backslash is escaped, and so is the quote.
TEST(Record, TextDataWithBackslashesReadsBack) {
  struct Case {
    kxResRecType type;
    const char* data;
    const char* written;
    const char* readBack;
  } cases[] = {
      {kTypeTXT, "a\\", "\"a\\\\\"", "a\\\\"},
      {kTypeTXT, "\\", "\"\\\\\"", "\\\\"},
      {kTypeTXT, "a\\\tb\\\\", "\"a\\\\\"\t\"b\\\\\"", "a\\\\\tb\\\\"},
      {kTypeTXT, "a\\\\\"b", "\"a\\\\\\\"b\"", "a\\\\\\\"b"},
      {kTypeTXT, "a\\\"b", "\"a\\\"b\"", "a\\\"b"},  // an escaped quote stays as it is
      {kTypeTXT, "a\\\\", "\"a\\\\\"", "a\\\\"},
      {kTypeHINFO, "PC\\\tLinux", "\"PC\\\\\"\t\"Linux\"", "PC\\\\\tLinux"},
  };
  for (const Case& c : cases) {
    const std::string line = textOf(record(c.type, "t", c.data));
    EXPECT_EQ(line, std::string("t\t3600\tIN\t") + kxResourceRecord::getTypeName(c.type) + "\t" + c.written);
    std::istringstream in(line + "\n");
    kxMasterFileParser parser(&in, "db.test", "example.com.", true, false);
    std::string name, ttl, data, comment, aging;
    kxResRecType type = kNoRecordType;
    bool enabled = true;
    ASSERT_TRUE(parser.readNextRecord(name, ttl, type, data, comment, aging, enabled)) << line;
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(data, c.readBack) << line;
  }
}

// A stored record is retyped only through its collection: setType and assignment leave it
// filed where it is, keep its owner, and take names relative to its own domain.
TEST(Record, StoredRecordsKeepOwnerAndType) {
  kxRecordCollection zone("zone.test.");
  kxResourceRecord* a1 = zone.addRecord("a1", "", kTypeA, "10.0.0.1");
  kxResourceRecord* a2 = zone.addRecord("a2", "", kTypeA, "10.0.0.2");
  EXPECT_EQ(orvo::test::failedAssertions([&] { a2->setType(kTypeMX); }), std::vector<std::string>{"!itsCollection"});
  EXPECT_EQ(a2->type(), kTypeA);
  zone.removeRecord(a2);
  EXPECT_EQ(zone.getRecordCount(kTypeA, 0), 1u);
  EXPECT_EQ(zone.getRecord(0, kTypeA, 0), a1);
  EXPECT_EQ(zone.getRecord(1, kTypeA, 0), nullptr);

  struct Case {
    kxResourceRecord source;
    const char* name;
    const char* data;
    size_t assertions;
  } cases[] = {
      {kxResourceRecord(nullptr, "www.zone.test.", "60", kTypeA, "10.0.0.9", "", true), "www", "10.0.0.9", 0},
      {kxResourceRecord(nullptr, "mail", "60", kTypeMX, "10\tmx", "", true), "mail", "10.0.0.9", 1},
  };
  for (Case& c : cases) {
    EXPECT_EQ(orvo::test::failedAssertions([&] { *a1 = c.source; }).size(), c.assertions);
    EXPECT_EQ(a1->getCollection(), &zone);
    EXPECT_EQ(a1->type(), kTypeA);
    EXPECT_EQ(a1->getName(), c.name);
    EXPECT_EQ(a1->getTTL(), "60");
    EXPECT_EQ(zone.getRecord(0, kTypeA, 0), a1);
  }
  a1->setData("10.0.0.9");

  // From a record of another collection: its relative names are taken in full, then made
  // relative here; the owner stays, even once the other collection is gone.
  {
    auto other = std::make_unique<kxRecordCollection>("other.test.");
    kxRecordCollection mxZone("zone.test.");
    kxResourceRecord* mx = mxZone.addRecord("m", "", kTypeMX, "10\tmail.zone.test.");
    kxResourceRecord* source = other->addRecord("host", "", kTypeMX, "20\tmx.zone.test.");
    *mx = *source;
    other.reset();
    EXPECT_EQ(mx->getCollection(), &mxZone);
    EXPECT_EQ(mx->getName(), "host.other.test.");
    EXPECT_EQ(mx->getData(), "20\tmx");
    EXPECT_EQ(mx->getFullName(), "host.other.test.");
    EXPECT_EQ(mxZone.getRecord(0, kTypeMX, 0), mx);
    kxResourceRecord moved(nullptr, "x.zone.test.", "", kTypeMX, "5\ty", "", true);
    *mx = std::move(moved);
    EXPECT_EQ(mx->getName(), "x");
    EXPECT_EQ(mx->getCollection(), &mxZone);
  }

  // A free record takes every field, the owner included, as before.
  kxResourceRecord free;
  free = *a1;
  EXPECT_EQ(free.getCollection(), &zone);
  free.setType(kTypeMX);
  EXPECT_EQ(free.type(), kTypeA);  // owned (though not stored): the type stays
}

TEST(Record, EqualityCopiesAndAccessors) {
  kxResourceRecord a = record(kTypeA, "HOST", "192.0.2.1", "Note");
  kxResourceRecord b = record(kTypeA, "host", "192.0.2.1", "note");
  EXPECT_TRUE(kxResourceRecord::recordsEqual(a, b, false, false, false));
  EXPECT_FALSE(kxResourceRecord::recordsEqual(a, b, true, false, false));
  b.setName("HOST");
  EXPECT_TRUE(kxResourceRecord::recordsEqual(a, b, true, false, false));  // comments ignore case always
  b.setComment("other");
  EXPECT_FALSE(kxResourceRecord::recordsEqual(a, b, true, false, false));
  EXPECT_TRUE(kxResourceRecord::recordsEqual(a, b, true, true, false));
  b.setEnabled(false);
  EXPECT_FALSE(kxResourceRecord::recordsEqual(a, b, true, true, false));
  EXPECT_TRUE(kxResourceRecord::recordsEqual(a, b, true, true, true));
  b.setID(7);
  b.setAging("1");
  b.getProperties().setValue("x", "1");
  EXPECT_TRUE(kxResourceRecord::recordsEqual(a, b, true, true, true));
  b.setTTL("60");
  EXPECT_FALSE(kxResourceRecord::recordsEqual(a, b, true, true, true));
  b = a;
  b.setType(kTypeAAAA);
  EXPECT_FALSE(kxResourceRecord::recordsEqual(a, b, false, true, true));
  b = a;
  b.setData("192.0.2.2");
  EXPECT_FALSE(kxResourceRecord::recordsEqual(a, b, false, true, true));

  a.setID(12);
  a.getProperties().setValue("owner", "me");
  const kxResourceRecord copy(a);
  EXPECT_EQ(copy.getID(), 12);
  EXPECT_EQ(copy.getProperties().getValue("owner"), "me");
  EXPECT_EQ(copy.getCollection(), nullptr);

  struct TTL {
    const char* text;
    int32_t seconds;
  } ttls[] = {{"3600", 3600}, {"1h", 3600}, {"1W2d", 777600}, {"", -1}, {"x", -1}, {"1hx", -1}};
  for (const TTL& t : ttls) {
    a.setTTL(t.text);
    EXPECT_EQ(a.getTTLSeconds(), t.seconds) << t.text;
  }

  kxResourceRecord empty;
  EXPECT_EQ(empty.getID(), -1);
  EXPECT_TRUE(empty.isEnabled());
  EXPECT_TRUE(empty.isEmpty());
  empty.setComment("c");
  EXPECT_FALSE(empty.isEmpty());
  EXPECT_TRUE(empty.isEmpty(true));
  empty.setType(kTypeA);
  EXPECT_FALSE(empty.isEmpty(true));
  EXPECT_EQ(kxResourceRecord::getDataSeparator(), '\t');
}

}  // namespace
