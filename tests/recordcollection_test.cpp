// kxRecordCollection: storing, the two orders, the caches, owned names, copying and appending.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <random>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "orvo/datastruct/kxrecordcollection.h"
#include "orvo/dns/kxdnsstringutils.h"
#include "support/kxassertcapture.h"

using orvo::test::failedAssertions;

namespace {

using Strings = std::vector<std::string>;
constexpr int32_t kAnswer = kxRecordCollection::kAnswerSection;
constexpr int32_t kAuthority = kxRecordCollection::kAuthoritySection;
constexpr int32_t kAdditional = kxRecordCollection::kAdditionalSection;

kxResourceRecord rec(kxResRecType inType, const std::string& inName, const std::string& inData = "",
                     const std::string& inTTL = "") {
  return kxResourceRecord(nullptr, inName, inTTL, inType, inData, "", true);
}

// Owner names in collection order.
Strings names(const kxRecordCollection& inColl) {
  Strings out;
  for (uint32_t i = 0; const kxResourceRecord* r = inColl.getRecord(i); ++i) out.push_back(r->getName());
  return out;
}

// Owner names of the records of a type and section, walked by index.
Strings walk(kxRecordCollection& ioColl, kxResRecType inType, int32_t inSection) {
  Strings out;
  for (uint32_t i = 0; kxResourceRecord* r = ioColl.getRecord(i, inType, inSection); ++i) out.push_back(r->getName());
  return out;
}

// a, b, c as A records in the answer section.
kxRecordCollection abc() {
  kxRecordCollection coll;
  for (const char* name : {"a", "b", "c"}) coll.addRecord(name, "", kTypeA, "10.0.0.1");
  return coll;
}

TEST(RecordCollection, InsertPositionsAndDefaultTTL) {
  struct Case {
    int32_t before;
    Strings expected;
    size_t assertions;
  } cases[] = {
      {0, {"new", "a", "b"}, 0}, {1, {"a", "new", "b"}, 0}, {2, {"a", "b", "new"}, 0},
      {7, {"a", "b", "new"}, 0}, {-1, {"a", "b", "new"}, 0}, {-4, {"a", "b", "new"}, 1},
  };
  for (const Case& c : cases) {
    kxRecordCollection coll;
    coll.addRecord("a", "", kTypeA, "10.0.0.1");
    coll.addRecord("b", "", kTypeA, "10.0.0.2");
    std::vector<std::string> reports =
        failedAssertions([&] { EXPECT_NE(coll.insertRecord(rec(kTypeMX, "new", "10\tm"), c.before), nullptr); });
    EXPECT_EQ(names(coll), c.expected) << c.before;
    EXPECT_EQ(reports.size(), c.assertions) << c.before;
    EXPECT_EQ(coll.getRecordCount(), 3u);
  }

  kxRecordCollection coll("zone.test.");
  EXPECT_EQ(coll.getDefaultTTL(), "");
  EXPECT_EQ(coll.getDefaultTTLRecord().type(), kControlTTL);
  EXPECT_EQ(coll.insertRecord(rec(kControlTTL, "", "", "1h")), nullptr);
  EXPECT_EQ(coll.getDefaultTTL(), "1h");
  EXPECT_EQ(coll.getRecordCount(), 0u);
  coll.setDefaultTTL("2d");
  EXPECT_EQ(coll.getDefaultTTL(), "2d");
  // A record of another type is refused as the default TTL record.
  EXPECT_EQ(failedAssertions([&] { coll.setDefaultTTL(rec(kTypeA, "x", "1.2.3.4", "5")); }),
            Strings{"inTTLRec.type() == kControlTTL"});
  EXPECT_EQ(coll.getDefaultTTL(), "2d");
  EXPECT_EQ(coll.getDefaultTTLRecord().type(), kControlTTL);

  EXPECT_EQ(failedAssertions([&] { coll.insertRecord(rec(kTypeA, "x", "1.2.3.4"), -1, 0); }),
            Strings{"(inSection == kAnswerSection) || (inSection == kAuthoritySection) || (inSection == kAdditionalSection)"});
  EXPECT_EQ(failedAssertions([] { kxRecordCollection bad("zone.test"); }),
            Strings{"itsDomainName.empty() || (*itsDomainName.rbegin() == '.')"});
  EXPECT_EQ(failedAssertions([&] { coll.setDomainName("other"); }),
            Strings{"inDomainName.empty() || (*inDomainName.rbegin() == '.')"});
}

TEST(RecordCollection, OwnedRecordsAreRelativeToTheDomain) {
  kxRecordCollection coll("zone.test.");
  kxResourceRecord original = rec(kTypeMX, "host.zone.test.", "10\tmail.zone.test.");
  kxResourceRecord* mx = coll.insertRecord(original);
  ASSERT_NE(mx, nullptr);
  EXPECT_EQ(original.getName(), "host.zone.test.");  // the caller's record is copied, not adopted
  EXPECT_EQ(mx->getCollection(), &coll);
  EXPECT_EQ(mx->getName(), "host");
  EXPECT_EQ(mx->getData(), "10\tmail");
  EXPECT_EQ(mx->getFullName(), "host.zone.test.");
  EXPECT_EQ(mx->getDataField(1, true), "mail.zone.test.");
  EXPECT_EQ(mx->getDataField(1, false), "mail");

  // Setting fields of a stored record keeps them relative; names outside the domain stay.
  mx->setName("ZONE.TEST.");
  EXPECT_EQ(mx->getName(), "");
  EXPECT_EQ(mx->getFullName(), "ZONE.TEST.");  // in the letter case in which it was set
  EXPECT_EQ(coll.findRecords(nullptr, "zone.test.", kTypeMX), 1u);
  mx->setData("20\tmx.elsewhere.test.");
  EXPECT_EQ(mx->getData(), "20\tmx.elsewhere.test.");
  EXPECT_EQ(mx->getDataField(1, true), "mx.elsewhere.test.");
  mx->setName("host.zone.test.");
  mx->setData("10\tmail.zone.test.");

  kxRecordCollection found;
  EXPECT_EQ(coll.findRecords(&found, "HOST.zone.test.", kTypeMX), 1u);
  ASSERT_EQ(found.getRecordCount(), 1u);
  EXPECT_EQ(found.getRecord(0)->getName(), "host.zone.test.");
  // The name fields travel in full as well, or "mail" would lose its domain.
  EXPECT_EQ(found.getRecord(0)->getData(), "10\tmail.zone.test.");
  EXPECT_EQ(coll.findRecords(nullptr, "host", kAnyRecordType), 1u);
  EXPECT_EQ(coll.findRecords(nullptr, "host", kTypeA), 0u);
  EXPECT_EQ(coll.findRecords(nullptr, "host", kTypeMX, kAuthority), 0u);
  EXPECT_EQ(coll.findRecords(nullptr, nullptr, kAnyRecordType), 1u);

  // Relativising the stored records when the domain name is set afterwards.
  kxRecordCollection later;
  later.addRecord("www.zone.test.", "", kTypeCNAME, "zone.test.");
  later.setDomainName("zone.test.", true);
  EXPECT_EQ(later.getRecord(0)->getName(), "www");
  EXPECT_EQ(later.getRecord(0)->getData(), "");
  EXPECT_EQ(later.getRecord(0)->getDataField(0, true), "zone.test.");
}

TEST(RecordCollection, CountsFollowEveryChange) {
  kxRecordCollection coll;
  coll.addRecord("m1", "", kTypeMX, "10\tx");
  EXPECT_EQ(coll.getRecordCount(kTypeMX, kAnswer), 1u);
  EXPECT_EQ(coll.getRecordCount(kAnyRecordType, kAnswer), 1u);
  kxResourceRecord* m2 = coll.addRecord("m2", "", kTypeMX, "20\tx");
  EXPECT_EQ(coll.getRecordCount(kTypeMX, kAnswer), 2u);
  EXPECT_EQ(coll.getRecordCount(kAnyRecordType, kAnswer), 2u);
  coll.addRecord("ns", "", kTypeNS, "ns1", "", true, -1, kAuthority);
  EXPECT_EQ(coll.getRecordCount(kAnyRecordType, kAnswer), 2u);
  EXPECT_EQ(coll.getRecordCount(kAnyRecordType, kAuthority), 1u);
  EXPECT_EQ(coll.getRecordCount(kTypeNS, kxRecordCollection::kAnySection), 1u);
  coll.removeRecord(m2);
  EXPECT_EQ(coll.getRecordCount(kTypeMX, kAnswer), 1u);
  EXPECT_EQ(coll.getRecordCount(kAnyRecordType, kAnswer), 1u);
  coll.changeRecordType(coll.getRecord(0, kTypeMX), kTypeCNAME);
  EXPECT_EQ(coll.getRecordCount(kTypeMX, kAnswer), 0u);
  EXPECT_EQ(coll.getRecordCount(kTypeCNAME, kAnswer), 1u);
  coll.removeRecords(nullptr, kTypeNS);
  EXPECT_EQ(coll.getRecordCount(kAnyRecordType, kAuthority), 0u);
  coll.clear();
  EXPECT_EQ(coll.getRecordCount(kTypeCNAME, kAnswer), 0u);
}

TEST(RecordCollection, IndexedLookupsFollowTheTypeOrder) {
  kxRecordCollection coll;
  coll.addRecord("mx", "", kTypeMX, "10\tm");
  coll.addRecord("a1", "", kTypeA, "10.0.0.1");
  coll.addRecord("a2", "", kTypeA, "10.0.0.2", "", true, 0);  // first in the collection order
  coll.addRecord("a3", "", kTypeA, "10.0.0.3", "", true, -1, kAdditional);
  coll.addRecord("ns", "", kTypeNS, "n", "", true, -1, kAuthority);
  EXPECT_EQ(names(coll), (Strings{"a2", "mx", "a1", "a3", "ns"}));

  struct Case {
    kxResRecType type;
    int32_t section;
    Strings expected;
  } cases[] = {
      {kTypeA, 0, {"a1", "a2", "a3"}},
      {kTypeA, kAnswer, {"a1", "a2"}},
      {kTypeA, kAdditional, {"a3"}},
      {kTypeA, kAuthority, {}},
      {kTypeTXT, 0, {}},
      {kAnyRecordType, kAnswer, {"a1", "a2", "mx"}},  // type order, not collection order
      {kAnyRecordType, kAuthority, {"ns"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(walk(coll, c.type, c.section), c.expected) << c.type << "/" << c.section;
    EXPECT_EQ(coll.getRecordCount(c.type, c.section), c.expected.size());
    // Backwards and repeated indices must not be served from the last position.
    for (size_t i = c.expected.size(); i-- > 0;) {
      ASSERT_NE(coll.getRecord(uint32_t(i), c.type, c.section), nullptr);
      EXPECT_EQ(coll.getRecord(uint32_t(i), c.type, c.section)->getName(), c.expected[i]);
    }
  }
  EXPECT_EQ(coll.getRecord(5), nullptr);

  const kxResourceRecord* a1 = coll.getRecord(0, kTypeA, 0);
  const kxResourceRecord* ns = coll.getRecord(0, kTypeNS, 0);
  EXPECT_EQ(coll.getRecordIndex(a1), 2u);
  EXPECT_EQ(coll.getRecordIndex(a1, kAnswer), 2u);
  EXPECT_EQ(coll.getRecordIndex(ns, kAuthority), 0u);
  EXPECT_EQ(coll.getRecordIndex(ns, kAnswer), 3u);
  EXPECT_TRUE(coll.containsRecord(a1));
  kxResourceRecord foreign = *a1;
  EXPECT_FALSE(coll.containsRecord(&foreign));
  EXPECT_EQ(failedAssertions([&] { EXPECT_EQ(coll.getRecordIndex(&foreign), 0u); }), Strings{"false"});
}

// A walk by index that goes on after a change must not start from a stale position.
TEST(RecordCollection, WalkAcrossChanges) {
  kxRecordCollection coll;
  coll.addRecord("mx1", "", kTypeMX, "10\tm");
  coll.addRecord("mx2", "", kTypeMX, "20\tm");
  coll.addRecord("txt", "", kTypeTXT, "t");
  ASSERT_EQ(coll.getRecord(1, kAnyRecordType, kAnswer)->getName(), "mx2");
  coll.addRecord("a", "", kTypeA, "10.0.0.1");  // sorts in front of the MX records
  EXPECT_EQ(coll.getRecord(2, kAnyRecordType, kAnswer)->getName(), "mx2");
  coll.removeRecords("a", kTypeA);
  EXPECT_EQ(coll.getRecord(2, kAnyRecordType, kAnswer)->getName(), "txt");
  kxResourceRecord* mx1 = coll.getRecord(0, kTypeMX, kAnswer);
  ASSERT_EQ(coll.getRecord(1, kTypeMX, kAnswer)->getName(), "mx2");
  coll.changeRecordType(mx1, kTypeNS);
  EXPECT_EQ(coll.getRecord(1, kTypeMX, kAnswer), nullptr);
  ASSERT_EQ(coll.getRecord(1, kTypeTXT, 0), nullptr);
  ASSERT_EQ(coll.getRecord(0, kTypeTXT, 0)->getName(), "txt");
  coll.removeRecord(coll.getRecord(0, kTypeTXT, 0));
  coll.addRecord("txt2", "", kTypeTXT, "t");
  coll.addRecord("txt3", "", kTypeTXT, "t");
  EXPECT_EQ(coll.getRecord(1, kTypeTXT, 0)->getName(), "txt3");
}

TEST(RecordCollection, QueriesByContent) {
  kxRecordCollection coll("zone.test.");
  kxResourceRecord* mx = coll.addRecord("host.zone.test.", "", kTypeMX, "10\tMail.zone.test.");
  coll.addRecord("www", "", kTypeA, "10.0.0.1", "", true, -1, kAdditional);
  mx->setID(42);

  EXPECT_TRUE(coll.recordExists("HOST", kTypeMX, "10\tmail"));
  EXPECT_TRUE(coll.recordExists("host", kTypeMX, "10\tmail", kAnswer));
  EXPECT_FALSE(coll.recordExists("host", kTypeMX, "10\tmail", kAdditional));
  EXPECT_FALSE(coll.recordExists("host.zone.test.", kTypeMX, "10\tmail"));  // stored texts are relative
  EXPECT_FALSE(coll.recordExists("host", kTypeA, "10\tmail"));
  EXPECT_EQ(failedAssertions([&] { EXPECT_FALSE(coll.recordExists("host", kAnyRecordType, "10\tmail")); }),
            Strings{"inRecType < kNumRecordTypes || (inRecType >= kControlTTL && inRecType <= kControlGenerate)"});

  EXPECT_EQ(coll.findRecordByID(42), mx);
  EXPECT_EQ(coll.findRecordByID(7), nullptr);

  int32_t wanted = kAdditional;
  auto inSection = [](kxResourceRecord*, int32_t inSec, void* inUser) { return inSec == *static_cast<int32_t*>(inUser); };
  ASSERT_NE(coll.findRecordIf(inSection, &wanted), nullptr);
  EXPECT_EQ(coll.findRecordIf(inSection, &wanted)->getName(), "www");
  wanted = kAuthority;
  EXPECT_EQ(coll.findRecordIf(inSection, &wanted), nullptr);
}

// findRecords clears its output: a name that points into the output, or an output that is
// the collection itself, must still see what was there before.
TEST(RecordCollection, FindRecordsIntoItsOwnOutput) {
  auto zone = [] {
    kxRecordCollection coll("zone.test.");
    coll.addRecord("www", "", kTypeA, "10.0.0.1");
    coll.addRecord("mail", "", kTypeMX, "10\tmx");
    coll.addRecord("WWW", "", kTypeA, "10.0.0.2", "", true, -1, kAuthority);
    coll.addRecord("www", "", kTypeTXT, "t");
    return coll;
  };
  struct Case {
    bool self;                  // the output is the searched collection
    kxResRecType type;
    int32_t section;
    Strings expected;           // full names, then data, of the output's records
  } cases[] = {
      {false, kTypeA, 0, {"www.zone.test.", "10.0.0.1", "WWW.zone.test.", "10.0.0.2"}},
      {false, kAnyRecordType, kAnswer, {"www.zone.test.", "10.0.0.1", "www.zone.test.", "t"}},
      {true, kTypeA, 0, {"www", "10.0.0.1", "WWW", "10.0.0.2"}},
      {true, kTypeMX, 0, {}},
  };
  for (const Case& c : cases) {
    kxRecordCollection source = zone();
    kxRecordCollection other;
    other.addRecord("www.zone.test.", "", kTypeNS, "ns");  // the name is read from here
    kxRecordCollection& out = c.self ? source : other;
    const uint32_t count = source.findRecords(&out, out.getRecord(0)->getName().c_str(), c.type, c.section);
    Strings got;
    for (uint32_t i = 0; const kxResourceRecord* r = out.getRecord(i); ++i) {
      got.push_back(r->getName());
      got.push_back(r->getData());
      EXPECT_EQ(r->getCollection(), &out);
    }
    EXPECT_EQ(got, c.expected) << c.self << "/" << c.type;
    EXPECT_EQ(count, c.expected.size() / 2);
    EXPECT_EQ(out.getRecordCount(), c.expected.size() / 2);
  }
}

// Only addresses of stored records are read: a removed record's address, or one of another
// collection, is refused before the record behind it is touched.
TEST(RecordCollection, ForeignAndStaleAddressesAreRefused) {
  kxRecordCollection coll;
  coll.addRecord("keep", "", kTypeA, "10.0.0.1");
  kxRecordCollection other;
  kxResourceRecord* foreign = other.addRecord("f", "", kTypeA, "10.0.0.2");
  kxResourceRecord* gone = coll.addRecord("gone", "", kTypeA, "10.0.0.3");
  coll.removeRecord(gone);
  for (kxResourceRecord* bad : {gone, foreign}) {
    EXPECT_FALSE(coll.containsRecord(bad));
    EXPECT_EQ(failedAssertions([&] { EXPECT_EQ(coll.changeRecordType(bad, kTypeA), bad); }), Strings{"false"});
    EXPECT_EQ(failedAssertions([&] { EXPECT_EQ(coll.changeRecordType(bad, kTypeMX), bad); }), Strings{"false"});
    EXPECT_EQ(failedAssertions([&] { coll.removeRecord(bad); }), Strings{"false"});
    EXPECT_EQ(failedAssertions([&] { EXPECT_EQ(coll.getRecordIndex(bad), 0u); }), Strings{"false"});
  }
  EXPECT_EQ(names(coll), Strings{"keep"});
  EXPECT_EQ(other.getRecord(0)->type(), kTypeA);
}

TEST(RecordCollection, MoveRecord) {
  struct Case {
    uint32_t from, to;
    Strings expected;
  } cases[] = {
      {0, 2, {"b", "a", "c"}}, {2, 0, {"c", "a", "b"}}, {1, 1, {"a", "b", "c"}},
      {0, 1, {"a", "b", "c"}}, {1, 0, {"b", "a", "c"}}, {2, 1, {"a", "c", "b"}},
  };
  for (const Case& c : cases) {
    kxRecordCollection coll = abc();
    const kxResourceRecord* moved = coll.getRecord(c.from);
    coll.moveRecord(c.from, c.to);
    EXPECT_EQ(names(coll), c.expected) << c.from << "->" << c.to;
    EXPECT_TRUE(coll.containsRecord(moved));  // addresses survive a move
  }
  kxRecordCollection coll = abc();
  EXPECT_EQ(failedAssertions([&] { coll.moveRecord(0, 3); }),
            Strings{"inOldIndex < itsRecordVector.size() && inNewIndex < itsRecordVector.size()"});
  EXPECT_EQ(names(coll), (Strings{"a", "b", "c"}));
}

TEST(RecordCollection, ChangeAndReplace) {
  kxRecordCollection coll("zone.test.");
  coll.addRecord("first", "", kTypeA, "10.0.0.1");
  kxResourceRecord* txt = coll.addRecord("t", "", kTypeTXT, "x.zone.test.");
  coll.addRecord("last", "", kTypeA, "10.0.0.2");

  EXPECT_EQ(coll.changeRecordType(txt, kTypeTXT), txt);
  kxResourceRecord* cname = coll.changeRecordType(txt, kTypeCNAME);
  ASSERT_NE(cname, nullptr);
  EXPECT_EQ(cname->type(), kTypeCNAME);
  EXPECT_EQ(cname->getCollection(), &coll);
  EXPECT_EQ(cname->getData(), "x");  // a name field now, so relative
  EXPECT_EQ(coll.getRecord(0, kTypeCNAME), cname);
  EXPECT_EQ(coll.getRecordCount(kTypeTXT, 0), 0u);
  EXPECT_EQ(coll.getRecord(1), cname);  // same place in the collection order
  kxResourceRecord stray = rec(kTypeA, "s");
  EXPECT_EQ(failedAssertions([&] { EXPECT_EQ(coll.changeRecordType(&stray, kTypeMX), &stray); }), Strings{"false"});
  EXPECT_EQ(failedAssertions([&] { EXPECT_EQ(coll.changeRecordType(nullptr, kTypeMX), nullptr); }), Strings{"false"});

  // replaceRecord: every field but the aging text, then the type.
  cname->setAging("3700000");
  kxResourceRecord replacement(nullptr, "r.zone.test.", "60", kTypeTXT, "keep.zone.test.", "note", "1", false);
  replacement.setID(9);
  replacement.getProperties().setValue("k", "v");
  kxResourceRecord* replaced = coll.replaceRecord(1, replacement);
  ASSERT_NE(replaced, nullptr);
  EXPECT_EQ(coll.getRecord(1), replaced);
  EXPECT_EQ(replaced->type(), kTypeTXT);
  EXPECT_EQ(replaced->getID(), 9);
  EXPECT_EQ(replaced->getName(), "r");
  EXPECT_EQ(replaced->getTTL(), "60");
  EXPECT_EQ(replaced->getData(), "keep.zone.test.");  // text, not a name: kept whole
  EXPECT_EQ(replaced->getComment(), "note");
  EXPECT_FALSE(replaced->isEnabled());
  EXPECT_EQ(replaced->getProperties().getValue("k"), "v");
  EXPECT_EQ(replaced->getAging(), "3700000");

  kxResourceRecord sameType = rec(kTypeTXT, "again", "t2");
  EXPECT_EQ(coll.replaceRecord(1, sameType), replaced);
  EXPECT_EQ(failedAssertions([&] { coll.replaceRecord(1, *replaced); }), Strings{"theRec != &inRec"});
  EXPECT_EQ(replaced->getName(), "again");
  EXPECT_EQ(coll.replaceRecord(3, sameType), nullptr);  // no record there
  EXPECT_EQ(names(coll), (Strings{"first", "again", "last"}));
}

TEST(RecordCollection, Removal) {
  kxRecordCollection coll;
  coll.addRecord("host", "", kTypeA, "10.0.0.1");
  coll.addRecord("HOST", "", kTypeA, "10.0.0.2");
  coll.addRecord("host", "", kTypeMX, "10\tm");
  coll.addRecord("host", "", kTypeA, "10.0.0.3", "", true, 0, kAuthority);
  coll.addRecord("other", "", kTypeA, "10.0.0.4");
  EXPECT_EQ(coll.getRecordCount(kTypeA, 0), 4u);
  ASSERT_NE(coll.getRecord(1, kTypeA, 0), nullptr);  // fills the lookup cache

  coll.removeRecords("host", kTypeA);
  EXPECT_EQ(names(coll), (Strings{"HOST", "host", "other"}));
  EXPECT_EQ(walk(coll, kTypeA, 0), (Strings{"HOST", "other"}));
  EXPECT_EQ(coll.getRecordCount(kTypeA, 0), 2u);

  kxResourceRecord* other = coll.getRecord(2);
  coll.removeRecord(other);
  EXPECT_EQ(names(coll), (Strings{"HOST", "host"}));
  kxResourceRecord stray = rec(kTypeA, "s");
  EXPECT_EQ(failedAssertions([&] { coll.removeRecord(&stray); }), Strings{"false"});
  EXPECT_EQ(coll.getRecordCount(), 2u);

  coll.removeRecords(nullptr, kAnyRecordType);
  EXPECT_EQ(coll.getRecordCount(), 0u);
  EXPECT_EQ(coll.getRecord(0), nullptr);
  EXPECT_EQ(coll.getRecord(0, kTypeA, 0), nullptr);
}

TEST(RecordCollection, IncrementSerial) {
  kxRecordCollection coll("zone.test.");
  coll.addRecord("", "", kTypeA, "10.0.0.1");
  EXPECT_EQ(coll.incrementSerial(), 0u);

  struct Case {
    const char* serial;
    uint32_t current;
  } cases[] = {{"abc", 0}, {"2000010105", 2000010105u}, {"+17", 17}, {"", 0}, {"4294967296", 0}};
  for (const Case& c : cases) {
    kxRecordCollection zone("zone.test.");
    kxResourceRecord* soa = zone.addRecord("", "", kTypeSOA, std::string("ns.zone.test.\thost.zone.test.\t") + c.serial +
                                                                 "\t3600\t600\t86400\t300",
                                           "", true, -1, kAuthority);
    const uint32_t next = zone.incrementSerial();
    EXPECT_EQ(next, nextSerialNumber(c.current)) << c.serial;
    EXPECT_EQ(soa->getDataField(2), std::to_string(next));
    EXPECT_EQ(soa->getDataField(3), "3600");
  }
}

TEST(RecordCollection, CopyAssignAppend) {
  kxRecordCollection src("zone.test.");
  src.setDefaultTTL("1h");
  src.getProperties().setValue("origin", "file");
  kxResourceRecord* soa = src.addRecord("", "", kTypeSOA, "ns.zone.test.\tme.zone.test.\t1\t2\t3\t4\t5");
  soa->setID(3);
  soa->setAging("3600000");
  src.addRecord("", "", kNoRecordType, "", "just a comment");
  src.addRecord("www.zone.test.", "", kTypeCNAME, "host.zone.test.", "", true, -1, kAdditional);

  kxRecordCollection copy(src);
  kxRecordCollection assigned("x.test.");
  assigned.addRecord("gone", "", kTypeA, "10.0.0.9");
  assigned = src;
  assigned = *&assigned;
  for (kxRecordCollection* c : {&copy, &assigned}) {
    EXPECT_EQ(c->getDomainName(), "zone.test.");
    EXPECT_EQ(c->getDefaultTTL(), "1h");
    EXPECT_EQ(c->getProperties().getValue("origin"), "file");
    EXPECT_EQ(names(*c), (Strings{"", "", "www"}));
    EXPECT_EQ(c->getRecord(0)->getCollection(), c);
    EXPECT_EQ(c->getRecord(0)->getAging(), "3600000");
    EXPECT_EQ(c->getRecord(0)->getID(), 3);
    EXPECT_EQ(c->getRecordIndex(c->getRecord(0, kTypeCNAME), kAdditional), 0u);
  }
  copy.getRecord(2)->setName("changed");
  EXPECT_EQ(src.getRecord(2)->getName(), "www");

  // Same domain in another case: full copies.
  kxRecordCollection same("ZONE.TEST.");
  same.getProperties().setValue("mine", "1");
  same.appendRecords(src);
  EXPECT_EQ(names(same), (Strings{"", "", "www"}));
  EXPECT_EQ(same.getRecord(2)->getData(), "host");
  EXPECT_EQ(same.getRecord(0)->getID(), 3);
  EXPECT_EQ(same.getRecord(0)->getAging(), "3600000");
  EXPECT_EQ(same.getProperties().getValue("origin"), "file");
  EXPECT_EQ(same.getProperties().getValue("mine"), "1");
  same.appendRecords(same);
  EXPECT_EQ(same.getRecordCount(), 3u);

  // Another domain: names and name fields in full; comment lines keep their empty owner.
  kxRecordCollection other("other.test.");
  other.appendRecords(src);
  EXPECT_EQ(names(other), (Strings{"zone.test.", "", "www.zone.test."}));
  EXPECT_EQ(other.getRecord(0)->getData(), "ns.zone.test.\tme.zone.test.\t1\t2\t3\t4\t5");
  EXPECT_EQ(other.getRecord(0)->getID(), -1);
  EXPECT_EQ(other.getRecord(0)->getAging(), "");
  EXPECT_EQ(other.getRecord(1)->getComment(), "just a comment");
  EXPECT_EQ(other.getRecord(2)->getData(), "host.zone.test.");
  EXPECT_EQ(other.getRecordCount(kTypeCNAME, kAdditional), 1u);

  other.clear();
  EXPECT_EQ(other.getRecordCount(), 0u);
  EXPECT_EQ(other.getProperties().getCount(), 0u);
  EXPECT_EQ(other.getDomainName(), "other.test.");
}

// A random run of inserts, removals, retypes, replacements and moves against a plain model;
// after every step the cached counts and indexed walks must match a recount.
TEST(RecordCollection, CachesStayConsistent) {
  struct Entry {
    int32_t id;
    kxResRecType type;
    int32_t section;
  };
  const kxResRecType types[] = {kTypeA, kTypeMX, kTypeNS, kTypeTXT};
  std::mt19937 random(20261210);
  auto pick = [&random](size_t inCount) { return size_t(random() % inCount); };

  kxRecordCollection coll("zone.test.");
  std::vector<Entry> order;  // collection order
  std::map<kxResRecType, std::vector<int32_t>> stored;  // per type, ids in storing order
  int32_t nextID = 0;
  auto indexOf = [&order](int32_t inID) {
    return size_t(std::find_if(order.begin(), order.end(), [inID](const Entry& e) { return e.id == inID; }) - order.begin());
  };
  // Ids of the records of a type (any for kAnyRecordType) and section, in type order.
  auto expected = [&](kxResRecType inType, int32_t inSection) {
    std::vector<int32_t> ids;
    for (kxResRecType type : {kTypeA, kTypeNS, kTypeMX, kTypeTXT}) {  // ascending type numbers
      if (inType != kAnyRecordType && inType != type) continue;
      for (int32_t id : stored[type])
        if (inSection == 0 || order[indexOf(id)].section == inSection) ids.push_back(id);
    }
    return ids;
  };
  auto retype = [&](Entry& ioEntry, kxResRecType inType) {
    if (ioEntry.type == inType) return;  // keeps its place among the records of its type
    auto& list = stored[ioEntry.type];
    list.erase(std::find(list.begin(), list.end(), ioEntry.id));
    ioEntry.type = inType;
    stored[inType].push_back(ioEntry.id);
  };

  kxResRecType walkType = kAnyRecordType;
  int32_t walkSection = kAnswer;
  size_t walkIndex = 0;
  for (int step = 0; step < 3000; ++step) {
    const size_t op = pick(12);
    if (op < 4 || order.empty()) {
      Entry e{nextID++, types[pick(4)], int32_t(1 + pick(3))};
      kxResourceRecord r = rec(e.type, "n" + std::to_string(e.id), "1");
      r.setID(e.id);
      const int32_t before = int32_t(pick(order.size() + 2)) - 1;
      ASSERT_NE(coll.insertRecord(r, before, e.section), nullptr);
      order.insert(before >= 0 && size_t(before) < order.size() ? order.begin() + before : order.end(), e);
      stored[e.type].push_back(e.id);
    } else if (op == 4) {
      const size_t i = pick(order.size());
      coll.removeRecord(coll.getRecord(uint32_t(i)));
      auto& list = stored[order[i].type];
      list.erase(std::find(list.begin(), list.end(), order[i].id));
      order.erase(order.begin() + i);
    } else if (op == 5) {
      const size_t i = pick(order.size());
      const kxResRecType type = types[pick(4)];
      coll.changeRecordType(coll.getRecord(uint32_t(i)), type);
      retype(order[i], type);
    } else if (op == 6) {
      const size_t i = pick(order.size());
      kxResourceRecord r = rec(types[pick(4)], "n" + std::to_string(order[i].id), "2");
      r.setID(order[i].id);
      coll.replaceRecord(uint32_t(i), r);
      retype(order[i], r.type());
    } else if (op == 7) {
      const size_t from = pick(order.size()), to = pick(order.size());
      coll.moveRecord(uint32_t(from), uint32_t(to));
      Entry e = order[from];
      order.erase(order.begin() + from);
      order.insert(order.begin() + (from < to ? to - 1 : to), e);
    } else if (op == 8 && pick(20) == 0) {
      const kxResRecType type = types[pick(4)];
      coll.removeRecords(nullptr, type);
      order.erase(std::remove_if(order.begin(), order.end(), [type](const Entry& e) { return e.type == type; }), order.end());
      stored[type].clear();
    } else if (op == 8) {
      const size_t i = pick(order.size());
      const Entry e = order[i];
      coll.removeRecords(("n" + std::to_string(e.id)).c_str(), pick(2) ? kAnyRecordType : e.type);
      auto& list = stored[e.type];
      list.erase(std::find(list.begin(), list.end(), e.id));
      order.erase(order.begin() + i);
    }  // otherwise no change: the caches fill

    // The next step of a walk by index, which the change just made must not answer from
    // a stale cached position, and a count.
    if (pick(4) == 0) {
      walkType = pick(3) == 0 ? kAnyRecordType : types[pick(4)];
      walkSection = int32_t(1 + pick(3));
      walkIndex = 0;
    } else {
      ++walkIndex;
    }
    const std::vector<int32_t> ids = expected(walkType, walkSection);
    ASSERT_EQ(coll.getRecordCount(walkType, walkSection), ids.size());
    if (walkIndex >= ids.size()) {
      ASSERT_EQ(coll.getRecord(uint32_t(walkIndex), walkType, walkSection), nullptr);
      walkIndex = 0;
    } else {
      ASSERT_EQ(coll.getRecord(uint32_t(walkIndex), walkType, walkSection)->getID(), ids[walkIndex]) << step;
    }
    ASSERT_EQ(coll.getRecordCount(), order.size());
    if (step % 50 != 0) continue;  // a full recount now and then keeps the test quick
    for (size_t i = 0; i < order.size(); ++i) ASSERT_EQ(coll.getRecord(uint32_t(i))->getID(), order[i].id);
    for (int32_t section = 0; section <= 3; ++section) {
      for (kxResRecType type : {kTypeA, kTypeNS, kTypeMX, kTypeTXT, kAnyRecordType}) {
        if (type == kAnyRecordType && section == 0) continue;  // the collection order, checked above
        const std::vector<int32_t> ids = expected(type, section);
        ASSERT_EQ(coll.getRecordCount(type, section), ids.size()) << step;
        for (size_t i = 0; i < ids.size(); ++i) ASSERT_EQ(coll.getRecord(uint32_t(i), type, section)->getID(), ids[i]) << step;
        ASSERT_EQ(coll.getRecord(uint32_t(ids.size()), type, section), nullptr);
      }
    }
  }
}

// The same against a plain model at 100,000 records, with what the indexes serve: removals
// by address and by name, renames of stored records, type changes, positions, membership
// and lookups by name (case-insensitive, in type order). Counts and walks are compared
// with the model after every step and with a recount of everything now and then.
TEST(RecordCollection, ModelAtScale) {
  struct Entry {
    kxResRecType type;
    int32_t section;
    std::string name;
    uint64_t stamp;  // storing order within the type
  };
  const kxResRecType types[] = {kTypeA, kTypeNS, kTypeMX, kTypeTXT, kTypeAAAA};
  std::mt19937 random(17);
  auto pick = [&random](size_t inCount) { return size_t(random() % inCount); };
  auto fold = [](std::string inName) {
    for (char& c : inName) c = char(std::toupper(static_cast<unsigned char>(c)));
    return inName;
  };
  // Names shared by a few records each, in varying case.
  auto randomName = [&] {
    std::string name = "h" + std::to_string(pick(40000));
    if (pick(4) == 0) name[0] = 'H';
    return name;
  };

  kxRecordCollection coll("zone.test.");
  std::unordered_map<int32_t, Entry> entries;
  std::unordered_map<std::string, std::set<int32_t>> byName;  // ids by folded name
  std::vector<int32_t> order;
  using Key = std::pair<kxResRecType, int32_t>;
  std::map<Key, uint32_t> counts;  // by type and section, kept by the model
  int32_t nextID = 0;
  uint64_t nextStamp = 0;
  // Files an entry in the model's counts and name map (inDelta 1), or takes it out (-1).
  auto count = [&](int32_t inID, const Entry& inEntry, int inDelta) {
    counts[Key(inEntry.type, inEntry.section)] += uint32_t(inDelta);
    if (inDelta > 0)
      byName[fold(inEntry.name)].insert(inID);
    else
      byName[fold(inEntry.name)].erase(inID);
  };
  auto insert = [&](size_t inBefore) {
    Entry e{types[pick(5)], int32_t(1 + pick(3)), randomName(), nextStamp++};
    kxResourceRecord r(nullptr, e.name + ".zone.test.", "", e.type, std::to_string(nextID), "", true);
    r.setID(nextID);
    ASSERT_NE(coll.insertRecord(r, inBefore < order.size() ? int32_t(inBefore) : -1, e.section), nullptr);
    order.insert(inBefore < order.size() ? order.begin() + inBefore : order.end(), nextID);
    count(nextID, e, 1);
    entries[nextID++] = e;
  };
  // Ids of the records of a type (any: kAnyRecordType) and section (any: 0) with a name
  // (any: ""), in type order.
  auto expected = [&](kxResRecType inType, int32_t inSection, const std::string& inName) {
    std::vector<std::pair<std::pair<kxResRecType, uint64_t>, int32_t>> keyed;
    auto consider = [&](int32_t inID) {
      const Entry& e = entries.at(inID);
      if ((inType == kAnyRecordType || e.type == inType) && (inSection == 0 || e.section == inSection))
        keyed.push_back({{e.type, e.stamp}, inID});
    };
    if (inName.empty()) {
      for (const auto& entry : entries) consider(entry.first);
    } else {
      for (int32_t id : byName[fold(inName)]) consider(id);
    }
    std::sort(keyed.begin(), keyed.end());
    std::vector<int32_t> ids;
    for (const auto& k : keyed) ids.push_back(k.second);
    return ids;
  };
  auto ids = [](kxRecordCollection& inColl) {
    std::vector<int32_t> out;
    for (uint32_t i = 0; const kxResourceRecord* r = inColl.getRecord(i); ++i) out.push_back(r->getID());
    return out;
  };
  auto recountAll = [&] {
    ASSERT_EQ(ids(coll), order);
    std::map<Key, uint32_t> recount;
    for (const auto& [id, e] : entries) ++recount[Key(e.type, e.section)];
    for (kxResRecType type : types)
      for (int32_t section = 1; section <= 3; ++section) {
        const Key key(type, section);
        ASSERT_EQ(recount[key], counts[key]);
        ASSERT_EQ(coll.getRecordCount(type, section), recount[key]);
      }
    for (int32_t section = 0; section <= 3; ++section) {
      const kxResRecType type = section == 0 ? types[pick(5)] : kAnyRecordType;
      const std::vector<int32_t> want = expected(type, section, "");
      ASSERT_EQ(coll.getRecordCount(type, section), want.size());
      for (size_t i = want.size(); i-- > 0;)  // backwards, one step at a time
        ASSERT_EQ(coll.getRecord(uint32_t(i), type, section)->getID(), want[i]);
      ASSERT_EQ(coll.getRecord(uint32_t(want.size()), type, section), nullptr);
    }
    // Positions within a section, for records spread over the order.
    for (int probe = 0; probe < 10; ++probe) {
      const size_t i = pick(order.size());
      const int32_t section = int32_t(pick(4));
      size_t before = 0;
      for (size_t j = 0; j < i; ++j) before += section == 0 || entries.at(order[j]).section == section;
      ASSERT_EQ(coll.getRecordIndex(coll.getRecord(uint32_t(i)), section), before);
    }
  };

  for (int i = 0; i < 100000; ++i) insert(pick(50) == 0 ? pick(order.size() + 1) : order.size());
  recountAll();

  for (int step = 0; step < 8000; ++step) {
    size_t op = pick(10);
    if (op == 4 && pick(8) != 0) op = 9;  // removals by name cost the model a pass over all records
    const size_t i = pick(order.size());
    kxResourceRecord* rec = coll.getRecord(uint32_t(i));
    ASSERT_EQ(rec->getID(), order[i]);
    Entry& e = entries.at(order[i]);
    if (op == 0) {
      insert(pick(order.size() + 1));
    } else if (op == 1) {  // removal by address
      coll.removeRecord(rec);
      ASSERT_FALSE(coll.containsRecord(rec));
      count(order[i], e, -1);
      entries.erase(order[i]);
      order.erase(order.begin() + i);
    } else if (op == 2) {  // rename
      count(order[i], e, -1);
      e.name = randomName();
      count(order[i], e, 1);
      rec->setName(pick(2) ? e.name : e.name + ".ZONE.test.");
      ASSERT_EQ(rec->getName(), e.name);
    } else if (op == 3) {  // retype: behind the records of the new type, same place in the order
      const kxResRecType type = types[pick(5)];
      kxResourceRecord* moved = coll.changeRecordType(rec, type);
      ASSERT_EQ(moved->type(), type);
      ASSERT_EQ(coll.getRecord(uint32_t(i)), moved);
      if (type != e.type) {
        count(order[i], e, -1);
        e.type = type;
        e.stamp = nextStamp++;
        count(order[i], e, 1);
      }
    } else if (op == 4) {  // removal by exact name and type
      const std::string name = e.name;
      const kxResRecType type = pick(2) ? e.type : kAnyRecordType;
      coll.removeRecords(name.c_str(), type);
      std::set<int32_t> gone;
      for (int32_t id : std::set<int32_t>(byName[fold(name)])) {
        const Entry other = entries.at(id);
        if (other.name == name && (type == kAnyRecordType || other.type == type)) {
          count(id, other, -1);
          entries.erase(id);
          gone.insert(id);
        }
      }
      std::erase_if(order, [&gone](int32_t inID) { return gone.count(inID) != 0; });
    } else if (op == 5) {  // lookups by name
      const std::string name = pick(2) ? e.name : fold(e.name) + ".zone.TEST.";
      const kxResRecType type = pick(2) ? e.type : kAnyRecordType;
      const int32_t section = int32_t(pick(4));
      const std::vector<int32_t> want = expected(type, section, e.name);
      kxRecordCollection found("zone.test.");
      ASSERT_EQ(coll.findRecords(&found, name.c_str(), type, section), want.size());
      ASSERT_EQ(coll.findRecords(nullptr, name.c_str(), type, section), want.size());
      std::vector<int32_t> got;  // the data of each record is its id
      for (uint32_t k = 0; const kxResourceRecord* r = found.getRecord(k); ++k) {
        ASSERT_EQ(fold(r->getName()), fold(e.name));
        got.push_back(std::stoi(r->getData()));
      }
      ASSERT_EQ(got, want) << step;
      ASSERT_TRUE(coll.recordExists(fold(e.name), e.type, std::to_string(order[i]), e.section));
      ASSERT_FALSE(coll.recordExists(e.name, e.type, "x", 0));
    } else if (op == 6) {  // position and membership
      ASSERT_TRUE(coll.containsRecord(rec));
      ASSERT_EQ(coll.getRecordIndex(rec), i);
    } else if (op == 7) {
      const size_t to = pick(order.size());
      coll.moveRecord(uint32_t(i), uint32_t(to));
      const int32_t id = order[i];
      order.erase(order.begin() + i);
      order.insert(order.begin() + (i < to ? to - 1 : to), id);
    }  // otherwise no change

    const kxResRecType type = types[pick(5)];
    const int32_t section = int32_t(1 + pick(3));
    ASSERT_EQ(coll.getRecordCount(type, section), counts[Key(type, section)]) << step;
    ASSERT_EQ(coll.getRecordCount(), order.size());
    if (step % 2000 == 1999) recountAll();
  }
}

}  // namespace
