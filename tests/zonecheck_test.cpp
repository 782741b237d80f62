// The zone checks: small zones read by the master-file parser, and the findings they give as
// "E7" (an error at line 7) or "W8>5" (a warning at line 8 about the record at line 5).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "orvo/datastruct/kxrecordcollection.h"
#include "orvo/datastruct/kxresourcerecord.h"
#include "orvo/dns/kxzonecheck.h"
#include "orvo/util/kxmasterfileparser.h"
#include "orvo/util/kxrecordsources.h"
#include "support/kxtestsupport.h"

namespace {

// Four lines every case starts with, so that a case's own first line is line 5.
const char kHeader[] =
    "$TTL 3600\n"
    "@ SOA ns hm 1 2 3 4 5\n"
    "@ NS ns\n"
    "ns A 192.0.2.53\n";

// Reads a zone text into ioZone; the result tells where each record was read.
kxRecordSources readZone(const std::string& inText, kxRecordCollection& ioZone) {
  std::istringstream input(inText);
  kxMasterFileParser parser(&input, "db.test", "example.com.", true, false);
  parser.setKeepDirectives(false);
  parser.setExtendedTypes(true);
  parser.parseZone(ioZone, false);
  return parser.getRecordSources();
}

uint32_t lineOf(const kxRecordCollection& inZone, const kxRecordSources& inSources, const kxResourceRecord* inRec) {
  return inRec ? inSources.at(inZone.getRecordIndex(inRec)).itsLine : 0;
}

std::string shortForm(const kxRecordCollection& inZone, const kxRecordSources& inSources,
                      const kxZoneFinding& inFinding) {
  std::string text = inFinding.itsSeverity == kxZoneSeverity::kError ? "E" : "W";
  text += std::to_string(lineOf(inZone, inSources, inFinding.itsRecord));
  if (inFinding.itsRelated) text += ">" + std::to_string(lineOf(inZone, inSources, inFinding.itsRelated));
  return text;
}

std::vector<kxZoneFinding> check(kxRecordCollection& ioZone) {
  std::vector<kxZoneFinding> findings;
  kxCheckZone(ioZone, [&findings](const kxZoneFinding& inFinding) { findings.push_back(inFinding); });
  return findings;
}

// The findings of a zone text in short form, sorted.
std::vector<std::string> findingsOf(const std::string& inText, bool inHeader = true) {
  kxRecordCollection zone("example.com.");
  const kxRecordSources sources = readZone(inHeader ? kHeader + inText : inText, zone);
  std::vector<std::string> found;
  for (const kxZoneFinding& finding : check(zone)) found.push_back(shortForm(zone, sources, finding));
  std::sort(found.begin(), found.end());
  return found;
}

struct ZoneCase {
  const char* name;
  const char* text;
  std::vector<std::string> expected;
};

const ZoneCase kCases[] = {
    {"a sound zone", "www A 192.0.2.1\nwww AAAA 2001:db8::1\nmail MX 10 www\nc CNAME www\n", {}},
    // CNAME beside other data: reported where the second of them stands, naming the first.
    {"CNAME, then other data", "www CNAME ns\nwww A 192.0.2.2\n", {"E6>5"}},
    {"other data, then CNAME", "www TXT \"x\"\nwww CNAME ns\n", {"E6>5"}},
    {"CNAME beside DNAME", "d DNAME other.example.\nd CNAME ns\n", {"E6>5"}},
    {"CNAME at the apex", "@ CNAME www\n", {"E5>2"}},
    {"CNAME beside DNSSEC records and KEY",
     "c CNAME ns\nc RRSIG CNAME 8 3 3600 20300101000000 20240101000000 1 example.com. AwEA\n"
     "c NSEC ns CNAME RRSIG NSEC\nc KEY 256 3 8 AwEAAQ==\n",
     {}},
    {"two CNAMEs", "c CNAME a\nc CNAME b\n", {"E6>5"}},
    {"one CNAME written twice", "c CNAME a\nc CNAME A\n", {"W6>5"}},
    {"CNAME beside a disabled record", "c CNAME ns\n;<!dis:c A 192.0.2.1>\n", {}},
    // Delegations and their name servers.
    {"glue below the delegation", "sub NS ns.sub\nns.sub A 192.0.2.9\nsub NS ns6.sub\nns6.sub AAAA ::1\n", {}},
    {"missing glue", "sub NS ns.sub\n", {"E5"}},
    {"in-zone name server without address", "sub NS host\nhost TXT \"no address\"\n", {"E5"}},
    {"name server whose name is a CNAME", "sub NS alias\nalias CNAME ns\n", {"E5", "W5>6"}},
    {"name server below a sibling delegation", "sub NS ns.other\nother NS ns.example.net.\n", {}},
    {"name server answered by a wildcard", "sub NS ns.w\n*.w A 192.0.2.1\n", {}},
    {"wildcard without address", "sub NS ns.w\n*.w TXT \"x\"\n", {"E5"}},
    {"out-of-zone name server", "sub NS ns.example.net.\n", {}},
    {"apex name server without address", "@ NS ns2\n", {"E5"}},
    // Data that no query reaches.
    {"data below a delegation", "sub NS ns.example.net.\nwww.sub TXT \"x\"\na.b.sub MX 10 x\n", {"E6>5", "E7>5"}},
    {"delegation below a delegation", "sub NS ns.example.net.\nx.sub NS ns.example.net.\n", {"E6>5"}},
    {"DS and NSEC at a delegation",
     "sub NS ns.example.net.\nsub DS 60485 8 2 D4B7D520E7BB5F0F67674A0CCEB1E3E0614B93C4F9E99B8383F6A1E4469DA50A\n"
     "sub NSEC x A NS DS\n",
     {}},
    {"data below a DNAME", "d DNAME other.example.\nx.d A 192.0.2.3\nd TXT \"at the DNAME\"\n", {"E6>5"}},
    {"data below a DNAME at the apex", "@ DNAME other.example.\nwww A 192.0.2.3\n", {"E4>5", "E6>5"}},
    {"NSEC3 below a DNAME at the apex",
     "@ DNAME other.example.\nns A 192.0.2.1\n"
     "0123456789abcdefghijklmnopqrstuv NSEC3 1 0 0 - 0123456789abcdefghijklmnopqrstuv A\n",
     {"E4>5", "E6>5"}},
    // Targets.
    {"MX, SRV and NS targets that are CNAMEs",
     "m MX 10 c\n_s._tcp SRV 0 0 5060 c\nc CNAME www\nwww A 192.0.2.1\n@ NS c\n",
     {"E9", "W5>7", "W6>7", "W9>7"}},
    {"null MX and SRV", "m MX 0 .\n_s._tcp SRV 0 0 0 .\n", {}},
    {"target out of the zone", "m MX 10 mail.example.net.\n", {}},
    // Placement and repetition.
    {"out-of-zone data", "www.example.net. A 192.0.2.1\n", {"W5"}},
    {"RRset with two TTLs", "t A 192.0.2.1\nt 600 A 192.0.2.2\nt 1h A 192.0.2.3\n", {"W6>5"}},
    {"signatures of two types with their own TTLs",
     "w A 192.0.2.1\nw 600 AAAA ::1\nw RRSIG A 8 2 3600 20300101000000 20240101000000 1 example.com. AwEA\n"
     "w 600 RRSIG AAAA 8 2 600 20300101000000 20240101000000 1 example.com. AwEA\n",
     {}},
    {"signatures of one type with two TTLs",
     "w RRSIG A 8 2 3600 20300101000000 20240101000000 1 example.com. AwEA\n"
     "w 600 RRSIG A 8 2 3600 20300101000000 20240101000000 2 example.com. AwEA\n",
     {"W6>5"}},
    {"duplicates, names and hex in any case",
     "d A 192.0.2.1\nD.example.com. A 192.0.2.1\nd AAAA 2001:db8::1\nd AAAA 2001:DB8::1\n", {"W6>5", "W8>7"}},
    {"text in another case is other data", "t TXT \"a\"\nt TXT \"A\"\n", {}},
    {"a duplicate with another TTL", "d A 192.0.2.1\nd 60 A 192.0.2.1\n", {"W6>5", "W6>5"}},
};

TEST(ZoneCheck, FindsWhatEachZoneHolds) {
  for (const ZoneCase& zoneCase : kCases) {
    std::vector<std::string> expected = zoneCase.expected;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(findingsOf(zoneCase.text), expected) << zoneCase.name;
  }
}

TEST(ZoneCheck, ApexWithoutSOAOrNS) {
  // No NS record: reported at the SOA record. No SOA record: held by no record.
  EXPECT_EQ(findingsOf("$TTL 3600\n@ SOA ns hm 1 2 3 4 5\nns A 192.0.2.1\n", false), (std::vector<std::string>{"E2"}));
  EXPECT_EQ(findingsOf("", false), (std::vector<std::string>{"E0", "E0"}));
  // A disabled SOA record is no SOA record.
  EXPECT_EQ(findingsOf(";<!dis:@ SOA ns hm 1 2 3 4 5>\n@ NS ns\nns A 192.0.2.1\n", false),
            (std::vector<std::string>{"E0"}));
  // Without a domain name there is no apex to check anything against.
  kxRecordCollection nameless;
  readZone("www A 192.0.2.1\nwww CNAME x\n", nameless);
  const std::vector<kxZoneFinding> findings = check(nameless);
  ASSERT_EQ(findings.size(), 1u);
  EXPECT_EQ(findings[0].itsText, "no SOA record, so the zone has no apex");
}

// More than one SOA record, and one off the apex: built record by record, as a caller of the
// library may build a zone.
TEST(ZoneCheck, SOARecords) {
  kxRecordCollection zone("example.com.");
  kxRecordSources sources;
  const auto add = [&](const char* inName, kxResRecType inType, const char* inData) {
    zone.addRecord(inName, "", inType, inData);
    sources.add("built", zone.getRecordCount());
  };
  add("example.com.", kTypeSOA, "ns\thm\t1\t2\t3\t4\t5");
  add("example.com.", kTypeNS, "ns.example.net.");
  add("example.com.", kTypeSOA, "ns\thm\t1\t2\t3\t4\t5");
  add("example.com.", kTypeSOA, "ns\thm\t2\t2\t3\t4\t5");
  add("sub.example.com.", kTypeSOA, "ns\thm\t1\t2\t3\t4\t5");
  std::vector<std::string> found;
  std::string offApex;
  for (const kxZoneFinding& finding : check(zone)) {
    found.push_back(shortForm(zone, sources, finding));
    if (lineOf(zone, sources, finding.itsRecord) == 5) offApex = finding.itsText;
  }
  std::sort(found.begin(), found.end());
  // The repeat of the first is a duplicate; the one with another serial is a second SOA.
  EXPECT_EQ(found, (std::vector<std::string>{"E4>1", "E5", "W3>1"}));
  EXPECT_EQ(offApex, "SOA record not at the zone apex example.com. (sub.example.com.)");
}

// A name longer than any name (the record data check refuses it) is passed by: its labels
// are not walked, though it lies below a delegation and a CNAME stands beside it.
TEST(ZoneCheck, NamesTooLongToBeNames) {
  kxRecordCollection zone("example.com.");
  zone.addRecord("example.com.", "", kTypeSOA, "ns.example.net.\thm\t1\t2\t3\t4\t5");
  zone.addRecord("example.com.", "", kTypeNS, "ns.example.net.");
  zone.addRecord("sub.example.com.", "", kTypeNS, "ns.example.net.");
  std::string name;
  for (int i = 0; i < 20000; ++i) name += "a.";
  name += "sub";
  zone.addRecord(name, "", kTypeTXT, "below");
  zone.addRecord(name, "", kTypeCNAME, "x.example.net.");
  zone.addRecord("mx.example.com.", "", kTypeMX, "10\t" + name);
  EXPECT_TRUE(check(zone).empty());
}

TEST(ZoneCheck, TextsNameTheRecords) {
  kxRecordCollection zone("example.com.");
  readZone(std::string(kHeader) + "www CNAME ns\nwww A 192.0.2.2\nsub NS ns.sub\nx.sub TXT \"t\"\n", zone);
  std::vector<std::string> texts;
  for (const kxZoneFinding& finding : check(zone)) texts.push_back(finding.itsText);
  std::sort(texts.begin(), texts.end());
  EXPECT_EQ(texts, (std::vector<std::string>{
                       "CNAME and other data at www.example.com.",
                       "missing glue: name server ns.sub.example.com. of sub.example.com. has no address record (A or AAAA)",
                       "x.sub.example.com. TXT lies below the delegation at sub.example.com. and is not glue (an A or "
                       "AAAA record)",
                   }));
  // A name holding control characters is shown with them escaped.
  kxRecordCollection hostile("example.com.");
  readZone(std::string(kHeader) + "a\033b.example.net. A 192.0.2.1\n", hostile);
  const std::vector<kxZoneFinding> findings = check(hostile);
  ASSERT_EQ(findings.size(), 1u);
  EXPECT_EQ(findings[0].itsText, "out-of-zone data: a\\027b.example.net. is not in the zone example.com.");
}

// A name with many records is looked at once per target, not once per record that names it:
// a thousand MX records at the apex, whose target is the apex, among thousands of comments.
TEST(ZoneCheck, ManyRecordsAtOneName) {
  std::string text = kHeader;
  for (int i = 0; i < 2000; ++i) text += "; comment " + std::to_string(i) + "\n@ MX " + std::to_string(i) + " @\n";
  text += "@ CNAME elsewhere.example.net.\n";
  kxRecordCollection zone("example.com.");
  readZone(text, zone);
  size_t warnings = 0;
  size_t errors = 0;
  for (const kxZoneFinding& finding : check(zone)) (finding.itsSeverity == kxZoneSeverity::kError ? errors : warnings)++;
  EXPECT_EQ(warnings, 2000u);  // every MX target is a CNAME
  EXPECT_EQ(errors, 1u);       // the CNAME beside the apex data
}

// The sources of a parse: an included file's records its own file and lines, a generated
// record the line of its "$GENERATE", a record over several lines its first.
TEST(ZoneCheck, RecordSourcesOfAParse) {
  orvo::test::TempDir dir;
  const std::string include = dir.file("hosts.inc");
  std::ofstream(include) << "\nhost A 192.0.2.7\n";
  const std::string text = std::string(kHeader) + "$INCLUDE " + include +
                           "\nmx MX ( 10\n  mail )\n$GENERATE 1-2 g$ A 192.0.2.$\n";
  kxRecordCollection zone("example.com.");
  const kxRecordSources sources = readZone(text, zone);
  ASSERT_EQ(sources.size(), zone.getRecordCount());
  std::vector<std::string> seen;
  for (uint32_t i = 0; const kxResourceRecord* rec = zone.getRecord(i); ++i)
    seen.push_back(rec->getName() + "@" + *sources.at(i).itsFile + ":" + std::to_string(sources.at(i).itsLine));
  EXPECT_EQ(seen, (std::vector<std::string>{"@db.test:2", "@db.test:3", "ns@db.test:4", "host@" + include + ":2",
                                            "mx@db.test:6", "g1@db.test:8", "g2@db.test:8"}));
  EXPECT_EQ(sources.files(), (std::vector<std::string>{"db.test", include}));
}

// Lines kept as differences: any line, forward and back, far and near, past the checkpoints.
TEST(ZoneCheck, RecordSourcesKeepEveryLine) {
  kxRecordSources sources;
  std::vector<uint32_t> lines;
  uint32_t line = 1;
  for (uint32_t i = 0; i < 1000; ++i) {
    line = i % 97 == 0 ? line * 7 + 4000000000u / (i + 1) : i % 13 == 0 ? line / 2 : line + i % 3;
    lines.push_back(line);
    sources.add(i % 200 < 100 ? "a.db" : "b.db", line);
  }
  ASSERT_EQ(sources.size(), lines.size());
  for (uint32_t i = 0; i < lines.size(); ++i) {
    ASSERT_EQ(sources.at(i).itsLine, lines[i]) << i;
    ASSERT_EQ(*sources.at(i).itsFile, i % 200 < 100 ? "a.db" : "b.db") << i;
  }
  EXPECT_EQ(sources.files(), (std::vector<std::string>{"a.db", "b.db"}));
}

}  // namespace
