// Ordering of record collections (by name and by type, both directions), the comparison of
// names and record data, the master-file text and the trace dump.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "orvo/datastruct/kxrecordcollection.h"
#include "orvo/datastruct/kxresourcerecord.h"
#include "orvo/debug/kxinfolog.h"
#include "orvo/debug/kxtrace.h"
#include "orvo/util/kxmasterfileparser.h"
#include "support/kxtestsupport.h"

namespace {

using Labels = std::vector<std::string>;

constexpr int32_t kAnswer = kxRecordCollection::kAnswerSection;
constexpr int32_t kAuthority = kxRecordCollection::kAuthoritySection;
constexpr int32_t kAdditional = kxRecordCollection::kAdditionalSection;
constexpr const char* kSOAData = "ns\thostmaster\t1\t3600\t600\t86400\t60";

// A record to store; its comment is the label by which the tests follow it. A blank line
// (type 0, no name) is a comment-only line, so its label is its whole text.
struct Row {
  std::string label;
  std::string name;
  kxResRecType type;
  std::string data;
  int32_t section = kAnswer;
};

void fill(kxRecordCollection& ioCollection, const std::vector<Row>& inRows) {
  for (const Row& row : inRows)
    ASSERT_NE(ioCollection.addRecord(row.name, "", row.type, row.data, row.label, true, -1, row.section), nullptr);
}

// The labels in collection order.
Labels labels(const kxRecordCollection& inCollection) {
  Labels out;
  for (uint32_t i = 0; i < inCollection.getRecordCount(); ++i) out.push_back(inCollection.getRecord(i)->getComment());
  return out;
}

struct SortCase {
  const char* title;
  std::vector<Row> rows;
  int32_t key;
  bool descending;
  Labels expected;
};

TEST(RecordOrder, SortKeysAndFixedPlaces) {
  const int32_t byName = kxRecordCollection::kSortByName;
  const int32_t byType = kxRecordCollection::kSortByType;
  const std::vector<Row> apex = {{"a", "host", kTypeA, "10.0.0.1"},
                                 {"soa", "", kTypeSOA, kSOAData},
                                 {"blank", "", kNoRecordType, ""},
                                 {"mx", "", kTypeMX, "10\tmail"},
                                 {"host-mx", "HOST", kTypeMX, "5\tmail"}};
  // The two A records order differently by name ("a" first) and by data ("b" first).
  const std::vector<Row> nameAgainstData = {{"a", "a", kTypeA, "10.0.0.2"}, {"b", "b", kTypeA, "10.0.0.1"}};
  const std::vector<Row> sections = {{"add-m", "m", kTypeA, "10.0.0.1", kAdditional},
                                     {"ns-auth", "", kTypeNS, "ns", kAuthority},
                                     {"a", "a", kTypeA, "10.0.0.1"},
                                     {"blank", "", kNoRecordType, ""},
                                     {"z-mx", "z", kTypeMX, "10\tmail"},
                                     {"z-a", "z", kTypeA, "10.0.0.1"},
                                     {"soa", "", kTypeSOA, kSOAData}};
  const std::vector<Row> twoSOA = {{"a", "", kTypeA, "10.0.0.1"},
                                   {"soa2", "", kTypeSOA, "ns\thm\t2\t1\t1\t1\t1"},
                                   {"ns", "", kTypeNS, "ns"},
                                   {"soa1", "", kTypeSOA, "ns\thm\t1\t1\t1\t1\t1"}};
  const std::vector<Row> byData = {{"a-b", "b", kTypeA, "10.0.0.1"},    {"a-a", "a", kTypeA, "10.0.0.1"},
                                   {"mx10", "x", kTypeMX, "10\tm"},     {"mx9", "x", kTypeMX, "9\tm"},
                                   {"a10", "c", kTypeA, "10.0.0.10"},   {"a9", "d", kTypeA, "10.0.0.9"},
                                   {"ns", "", kTypeNS, "ns"}};
  const std::vector<Row> sharedRanks = {{"wins", "x", kTypeWINS, "0\t0\t0\t10.0.0.1"},
                                        {"dnskey", "x", kTypeDNSKEY, "256\t3\t8\tAA=="},
                                        {"naptr", "x", kTypeNAPTR, "1\t1\tu\tsip\t\t."},
                                        {"ds", "x", kTypeDS, "1\t8\t2\tAB"},
                                        {"afsdb", "x", kTypeAFSDB, "1\tafs"},
                                        {"txt", "x", kTypeTXT, "text"}};

  const std::vector<SortCase> cases = {
      {"by name: SOA first, apex before host, MX before A, blank last", apex, byName, false,
       {"soa", "mx", "host-mx", "a", "blank"}},
      {"by name descending: sections apart, SOA first, blank last", sections, byName, true,
       {"soa", "z-a", "z-mx", "a", "blank", "ns-auth", "add-m"}},
      {"by name: two SOA records stay in front", twoSOA, byName, false, {"soa1", "soa2", "ns", "a"}},
      {"by name descending: two SOA records stay in front", twoSOA, byName, true, {"soa2", "soa1", "a", "ns"}},
      {"by type: rank, then data (numbers, addresses), then name", byData, byType, false,
       {"ns", "mx9", "mx10", "a-a", "a-b", "a9", "a10"}},
      {"by type: data before name", nameAgainstData, byType, false, {"b", "a"}},
      {"by type descending: name before data", nameAgainstData, byType, true, {"b", "a"}},
      {"by name descending: name reversed", nameAgainstData, byName, true, {"b", "a"}},
      {"shared ranks: ties broken by type number", sharedRanks, byName, false,
       {"txt", "afsdb", "naptr", "ds", "dnskey", "wins"}},
      {"shared ranks descending: ties reversed", sharedRanks, byType, true,
       {"wins", "dnskey", "ds", "naptr", "afsdb", "txt"}},
  };
  for (const SortCase& c : cases) {
    SCOPED_TRACE(c.title);
    kxRecordCollection collection("zone.test.");
    fill(collection, c.rows);
    collection.sortRecords(c.key, c.descending);
    EXPECT_EQ(labels(collection), c.expected);
  }
}

TEST(RecordOrder, SortKeepsAddressesAndRejectsUnknownKeys) {
  kxRecordCollection collection("zone.test.");
  kxResourceRecord* b = collection.addRecord("b", "", kTypeA, "10.0.0.2", "b");
  kxResourceRecord* a = collection.addRecord("a", "", kTypeA, "10.0.0.1", "a");
  kxResourceRecord* mx = collection.addRecord("", "", kTypeMX, "10\tmail", "mx");

  collection.sortRecords(2);  // not a key: reported, and nothing moves
  EXPECT_EQ(labels(collection), (Labels{"b", "a", "mx"}));

  collection.sortRecords(kxRecordCollection::kSortByName);
  EXPECT_EQ(collection.getRecord(0), mx);
  EXPECT_EQ(collection.getRecord(1), a);
  EXPECT_EQ(collection.getRecord(2), b);
  // The type order is untouched: the first A record stored is still the first of its type.
  EXPECT_EQ(collection.getRecord(0, kTypeA), b);
  EXPECT_EQ(collection.getRecord(1, kTypeA), a);
  EXPECT_EQ(collection.getRecordIndex(a), 1u);
}

// Every pair of a sorted collection must be in order, which only holds when the comparison
// is a consistent order. Awkward data is mixed in: text records with different numbers of
// strings, numbers beyond 2^31, non-numbers, bad addresses, names with high-bit characters,
// long names and texts that agree in their first characters.
TEST(RecordOrder, SortedPairsAreInOrderForAwkwardData) {
  std::mt19937 random(20261210);
  const auto pick = [&random](const std::vector<std::string>& inChoices) {
    return inChoices[std::uniform_int_distribution<size_t>(0, inChoices.size() - 1)(random)];
  };
  const std::vector<std::string> names = {"", "a", "A", "b", "host", "\xC3\xA9", "a.b",
                                          "abcdefghijklmno", "abcdefghijklmnop", "ABCDEFGHIJKLMNOPq",
                                          "abcdefghijklmnopr"};
  const std::vector<std::string> numbers = {"0", "9", "10", "abc", "4000000000", "2147483648", "+5"};
  const std::vector<std::string> texts = {"", "a", "B", "a\tb", "a\tb\tc", "\xC3\xA9",
                                          "a-rather-long-text-1", "A-RATHER-LONG-TEXT-0\tz",
                                          "a-rather-long-text-1\ty"};
  const std::vector<std::string> addresses = {"10.0.0.1", "10.0.0.10", "9.0.0.3", "10.0.0.2",
                                              "bad", "255.255.255.255", ""};
  const std::vector<kxResRecType> types = {kTypeSOA, kTypeNS, kTypeMX, kTypeA, kTypeTXT, kTypeAFSDB,
                                           kTypeNAPTR, kTypeSRV, kTypeDS, kNoRecordType};

  kxRecordCollection collection("zone.test.");
  for (int i = 0; i < 600; ++i) {
    const kxResRecType type = types[random() % types.size()];
    std::string data;
    if (type == kTypeA)
      data = pick(addresses);
    else if (type == kTypeMX || type == kTypeAFSDB)
      data = pick(numbers) + "\t" + pick(texts);
    else if (type == kTypeSRV)
      data = pick(numbers) + "\t" + pick(numbers) + "\t" + pick(numbers) + "\t" + pick(texts);
    else if (type != kNoRecordType)
      data = pick(texts);
    const std::string name = type == kNoRecordType && random() % 2 ? "" : pick(names);
    collection.addRecord(name, "", type, data, "", true, -1, int32_t(1 + random() % 3));
  }
  const int32_t keys[] = {kxRecordCollection::kSortByName, kxRecordCollection::kSortByType};
  for (const int32_t key : keys) {
    for (const bool descending : {false, true}) {
      SCOPED_TRACE(testing::Message() << "key " << key << (descending ? " descending" : ""));
      collection.sortRecords(key, descending);
      // The records with their sections, in collection order.
      std::vector<kxRecordCollection::recordData> sorted;
      collection.findRecordIf(
          [](kxResourceRecord* inRec, int32_t inSection, void* inSorted) {
            static_cast<std::vector<kxRecordCollection::recordData>*>(inSorted)->push_back({*inRec, inSection});
            return false;
          },
          &sorted);
      ASSERT_EQ(sorted.size(), 600u);
      int disorders = 0;
      for (size_t i = 0; i < sorted.size(); ++i)
        for (size_t j = i + 1; j < sorted.size(); ++j)
          if (kxRecordCollection::compareRecords(sorted[i], sorted[j], key, descending) > 0) ++disorders;
      EXPECT_EQ(disorders, 0);
    }
  }
}

TEST(RecordOrder, CompareSortNames) {
  struct Case {
    const char* name1;
    const char* name2;
    int expected;
  };
  const Case cases[] = {
      {"a", "B", -1},             // letters without regard to case
      {"host", "HOST", 0},        //
      {"", "a", -1},              // the apex before every other name
      {"ab", "a", 1},             // a proper prefix first
      {"\xC3\xA9", "a", -1},      // characters taken as signed: high-bit ones before ASCII
      {"\xC3\xA9", "", -1},       // and even before the end of a shorter name
      {"[", "a", 1},              // '[' (0x5B) lies above 'A' (0x41) once a is mapped to A
      {nullptr, "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << '"' << (c.name1 ? c.name1 : "(null)") << "\" vs \"" << c.name2 << '"');
    EXPECT_EQ(kxRecordCollection::compareSortNames(c.name1, c.name2), c.expected);
    EXPECT_EQ(kxRecordCollection::compareSortNames(c.name2, c.name1), -c.expected);
  }
}

TEST(RecordOrder, CompareRecordData) {
  struct Case {
    kxResRecType type;
    const char* data1;
    const char* data2;
    int expected;
  };
  const Case cases[] = {
      {kTypeA, "10.0.0.9", "10.0.0.10", -1},          // addresses as numbers, not texts
      {kTypeA, "bad", "0.0.0.1", -1},                 // an address that does not parse is 0.0.0.0
      {kTypeMX, "9\tmail", "10\tmail", -1},           // preferences as numbers
      {kTypeMX, "10\tA", "10\tb", -1},                // names without regard to case
      {kTypeMX, "10\tmail", "10\tMAIL", 0},           //
      {kTypeMX, "abc\tm", "1\tm", -1},                // a preference that is not a number is 0
      {kTypeMX, "4000000000\tm", "1\tm", 1},          // beyond 2^31 still in numeric order
      {kTypeAFSDB, "2\tx", "+10\tx", -1},             //
      {kTypeSRV, "0\t5\t80\tx", "0\t10\t80\tx", -1},  // weight, then port, as numbers
      {kTypeSRV, "1\t1\t443\tx", "1\t1\t80\tx", 1},   //
      {kTypeSRV, "1\t1\t80\tb", "1\t1\t80\ta", 1},    // the target last
      {kTypeNS, "ns1", "ns10", -1},                   // other fields are texts
      {kTypeSOA, "ns\thm\t9", "ns\thm\t10", 1},       // SOA serials compare as texts
      {kTypeTXT, "a", "a\tb", -1},                    // fewer strings: missing ones are empty
      {kTypeTXT, "a\t", "a", 0},                      //
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << kxResourceRecord::getTypeName(c.type) << " \"" << c.data1 << "\" vs \""
                                    << c.data2 << '"');
    const kxResourceRecord rec1(nullptr, "x", "", c.type, c.data1, "");
    const kxResourceRecord rec2(nullptr, "x", "", c.type, c.data2, "");
    EXPECT_EQ(kxRecordCollection::compareRecordData(rec1, rec2), c.expected);
    EXPECT_EQ(kxRecordCollection::compareRecordData(rec2, rec1), -c.expected);
  }
}

TEST(RecordOrder, TypeRanks) {
  EXPECT_TRUE(kxRecordCollection::isRecordTypeSortOrderInited());
  kxRecordCollection::initRecordTypeSortOrder();  // the table is the same afterwards
  const std::vector<std::pair<kxResRecType, int32_t>> ranks = {
      {kNoRecordType, 0}, {kTypeSOA, 0},    {kTypeNS, 1},     {kTypeMX, 2},      {kTypePTR, 3},
      {kTypeA, 4},        {kTypeHINFO, 5},  {kTypeAAAA, 6},   {kTypeCNAME, 7},   {kTypeRP, 8},
      {kTypeLOC, 9},      {kTypeSRV, 10},   {kTypeTXT, 11},   {kTypeWKS, 12},    {kTypeAFSDB, 13},
      {kTypeNAPTR, 13},   {kTypeDNAME, 106}, {kTypeDS, 106},  {kTypeRRSIG, 106}, {kTypeNSEC, 106},
      {kTypeDNSKEY, 106}, {kTypeDLV, 106},  {kxResRecType(3), 106}, {kTypeWINS, 106}, {kControlGenerate, 106}};
  for (const auto& [type, rank] : ranks) EXPECT_EQ(kxRecordCollection::getRecordTypeSortOrder(type), rank) << type;
}

std::vector<std::string> lines(const std::string& inText) {
  std::vector<std::string> out;
  std::istringstream in(inText);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

std::string masterFile(kxRecordCollection& ioCollection, bool inWriteTTL) {
  std::ostringstream out;
  ioCollection.writeMasterFile(out, inWriteTTL);
  return out.str();
}

TEST(MasterFileOutput, TTLLine) {
  kxRecordCollection collection("zone.test.");
  collection.addRecord("host", "", kTypeA, "10.0.0.1");
  EXPECT_EQ(masterFile(collection, true), "$TTL 86400\nhost\t\tIN\tA\t10.0.0.1\n");
  collection.setDefaultTTL("1h");
  EXPECT_EQ(masterFile(collection, true), "$TTL 1h\nhost\t\tIN\tA\t10.0.0.1\n");
  EXPECT_EQ(masterFile(collection, false), "host\t\tIN\tA\t10.0.0.1\n");
  kxRecordCollection empty;
  EXPECT_EQ(masterFile(empty, true), "$TTL 86400\n");
  EXPECT_EQ(masterFile(empty, false), "");
}

TEST(MasterFileOutput, HeadThenTheSOAThenTheRest) {
  kxRecordCollection collection("zone.test.");
  collection.addRecord("", "", kNoRecordType, "", "zone head");
  collection.addRecord("", "", kControlInclude, "$INCLUDE keys.db", "");
  collection.addRecord("host", "", kTypeA, "10.0.0.1");
  collection.addRecord("", "", kTypeNS, "ns");
  collection.addRecord("", "3600", kTypeSOA, kSOAData);
  collection.addRecord("", "", kTypeSOA, "other\thm\t2\t1\t1\t1\t1");
  collection.addRecord("", "", kNoRecordType, "", "between");
  collection.addRecord("", "", kTypeMX, "10\tmail.zone.test.");
  EXPECT_EQ(lines(masterFile(collection, false)),
            (std::vector<std::string>{";zone head", "$INCLUDE keys.db", "@\t3600\tIN\tSOA\t" + std::string(kSOAData),
                                      "host\t\tIN\tA\t10.0.0.1", "@\t\tIN\tNS\tns",
                                      "@\t\tIN\tSOA\tother\thm\t2\t1\t1\t1\t1", ";between",
                                      "@\t\tIN\tMX\t10\tmail"}));

  // An SOA record right after the head is the one written first; no SOA record is lost.
  collection.moveRecord(5, 2);
  EXPECT_EQ(lines(masterFile(collection, false)),
            (std::vector<std::string>{";zone head", "$INCLUDE keys.db", "@\t\tIN\tSOA\tother\thm\t2\t1\t1\t1\t1",
                                      "host\t\tIN\tA\t10.0.0.1", "@\t\tIN\tNS\tns",
                                      "@\t3600\tIN\tSOA\t" + std::string(kSOAData), ";between",
                                      "@\t\tIN\tMX\t10\tmail"}));

  // A record outside the answer section is reported, and written all the same.
  collection.addRecord("extra", "", kTypeA, "10.0.0.9", "", true, -1, kAuthority);
  EXPECT_EQ(lines(masterFile(collection, false)).back(), "extra\t\tIN\tA\t10.0.0.9");
}

// A zone written out and read back with the master-file parser gives the same records in the
// same order, and writing those again gives the same text.
TEST(MasterFileOutput, ReadsBackAsStored) {
  kxRecordCollection zone("zone.test.");
  zone.setDefaultTTL("2h");
  zone.addRecord("", "", kNoRecordType, "", " zone.test, written by the tests");
  zone.addRecord("www", "300", kTypeCNAME, "host");
  zone.addRecord("host", "", kTypeA, "192.0.2.1", "the host");
  zone.addRecord("", "1d", kTypeSOA, kSOAData);
  zone.addRecord("", "", kTypeNS, "ns.other.test.");
  zone.addRecord("", "", kTypeMX, "10\tmail");
  zone.addRecord("host", "", kTypeTXT, "two words\tand \\\"quotes\\\"");
  zone.addRecord("_sip._tcp", "", kTypeSRV, "0\t5\t5060\tsip");
  zone.addRecord("old", "", kTypeA, "192.0.2.9", "retired", false);
  zone.addRecord("v6", "", kTypeAAAA, "2001:db8::1");
  zone.sortRecords(kxRecordCollection::kSortByName);

  const std::string text = masterFile(zone, true);
  std::istringstream input(text);
  kxMasterFileParser parser(&input, "written.db", "zone.test.", true, false);
  kxRecordCollection back("zone.test.");
  for (kxResourceRecord rec; parser.readRecord(rec); rec = kxResourceRecord()) back.insertRecord(rec);

  EXPECT_EQ(parser.getDefaultTTL(), "2h");
  ASSERT_EQ(back.getRecordCount(), zone.getRecordCount()) << text;
  for (uint32_t i = 0; i < zone.getRecordCount(); ++i) {
    const kxResourceRecord& stored = *zone.getRecord(i);
    const kxResourceRecord& read = *back.getRecord(i);
    std::ostringstream line;
    stored.writeText(line);
    EXPECT_TRUE(kxResourceRecord::recordsEqual(stored, read, true, false, false))
        << "stored: " << line.str() << "\nread:   " << read.getName() << " " << read.getData();
  }
  back.setDefaultTTL(parser.getDefaultTTL());
  EXPECT_EQ(masterFile(back, true), text);
}

// Written as a name server is to read it again: an RRset in the TTL of its first record
// (whatever the order written), names in the letter case they were set in, and a kept
// directive in the origin and TTL it was read in.
TEST(MasterFileOutput, ReadsAsANameServerReadTheZone) {
  kxRecordCollection zone("zone.test.");
  zone.setDefaultTTL("1h");
  zone.addRecord("", "", kTypeSOA, kSOAData);
  zone.addRecord("b", "600", kTypeA, "192.0.2.2");
  zone.addRecord("a", "300", kTypeA, "192.0.2.1");
  zone.addRecord("b", "", kTypeA, "192.0.2.1");
  zone.addRecord("b", "60", kTypeA, "192.0.2.3", "", false);  // disabled: read by no server
  zone.addRecord("b", "3600", kTypeTXT, "t");
  zone.addRecord("b", "7200", kTypeRRSIG, "TXT\t8\t3\t3600\t1\t2\t3\tzone.test.\tAwEA");
  zone.addRecord("WWW.ZONE.TEST.", "", kTypeCNAME, "Web.ZONE.TEST.");
  zone.addRecord("", "", kControlGenerate, "$GENERATE 1-2 g$ A 192.0.2.$")->setName("sub.zone.test.");
  zone.getRecord(zone.getRecordCount() - 1)->setTTL("5m");
  zone.addRecord("", "", kControlInclude, "$INCLUDE hosts.db");
  zone.sortRecords(kxRecordCollection::kSortByType, true);
  EXPECT_EQ(lines(masterFile(zone, true)),
            (std::vector<std::string>{"$TTL 1h", "@\t\tIN\tSOA\t" + std::string(kSOAData), "$ORIGIN sub.zone.test.",
                                      "$TTL 5m", "$GENERATE 1-2 g$ A 192.0.2.$", "$TTL 1h", "$ORIGIN zone.test.",
                                      "$INCLUDE hosts.db",
                                      "b\t7200\tIN\tRRSIG\tTXT\t8\t3\t3600\t1\t2\t3\t@\tAwEA",
                                      "b\t3600\tIN\tTXT\t\"t\"", "WWW.ZONE.TEST.\t\tIN\tCNAME\tWeb.ZONE.TEST.",
                                      ";<!dis:b\t60\tIN\tA\t192.0.2.3>", "b\t600\tIN\tA\t192.0.2.2",
                                      "b\t600\tIN\tA\t192.0.2.1", "a\t300\tIN\tA\t192.0.2.1"}));
}

// The trace lines without their time stamps.
std::vector<std::string> dumped(kxRecordCollection& ioCollection) {
  orvo::test::CaptureFd capture(2);
  const kxInfoLogLevel saved = kxGetInfoLogLevel();
  kxSetInfoLogLevel(kxInfoLogDebug);
  ioCollection.dumpToLog();
  kxSetInfoLogLevel(saved);
  std::vector<std::string> out;
  for (const std::string& line : lines(capture.text())) {
    const size_t text = line.find("]  ");
    out.push_back(text == std::string::npos ? line : line.substr(text + 3));
  }
  return out;
}

TEST(RecordDump, DomainTTLSectionsAndRecords) {
  kxRecordCollection empty("zone.test.");
  EXPECT_EQ(dumped(empty), (std::vector<std::string>{"Domain name: zone.test.", "; No $TTL"}));

  kxRecordCollection collection("zone.test.");
  collection.setDefaultTTL("1h");
  collection.addRecord("a", "", kTypeA, "10.0.0.1");
  collection.addRecord("b", "", kTypeA, "10.0.0.2");
  collection.addRecord("", "", kTypeNS, "ns", "", true, -1, kAuthority);
  collection.addRecord("c", "", kTypeA, "10.0.0.3");
  collection.getRecord(1)->setID(7);
  EXPECT_EQ(dumped(collection),
            (std::vector<std::string>{"Domain name: zone.test.", "$TTL 1h", "Answer section:",
                                      "a\t\tIN\tA\t10.0.0.1 (-1)", "b\t\tIN\tA\t10.0.0.2 (7)", "Authority section:",
                                      "@\t\tIN\tNS\tns (-1)", "Answer section:", "c\t\tIN\tA\t10.0.0.3 (-1)"}));
}

}  // namespace
