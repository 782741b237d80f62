// DNS text utilities: TTLs in words, date-based serials, reverse zones, mailboxes and names
// relative to an origin.
#include <gtest/gtest.h>

#include <string>

#include "orvo/dns/kxdnsstringutils.h"
#include "orvo/util/kxdate.h"

namespace {

TEST(DnsStringUtils, TTLInWords) {
  struct Case {
    uint32_t seconds;
    const char* text;
  } cases[] = {
      {0, "0 seconds"},
      {1, "1 second"},
      {59, "59 seconds"},
      {61, "1 minute, 1 second"},
      {3600, "1 hour"},
      {7260, "2 hours, 1 minute"},
      {86400, "1 day"},
      {172800, "2 days"},
      {90061, "1 day, 1 hour, 1 minute, 1 second"},
      {0xFFFFFFFFu, "49710 days, 6 hours, 28 minutes, 15 seconds"},
  };
  for (const Case& c : cases) {
    char buffer[kTTLTextSize];
    EXPECT_STREQ(ttlToText(c.seconds, buffer), c.text) << c.seconds;
  }
}

TEST(DnsStringUtils, NextSerialNumber) {
  const kxDate today(15, 3, 2024);
  struct Case {
    uint32_t current, next;
  } cases[] = {
      {0, 2024031501u},          {20240101u, 2024031501u},  {20240315u, 2024031501u},
      {2024031507u, 2024031508u}, {2024031599u, 2024031600u}, {2024031499u, 2024031501u},
      {2024030199u, 2024031501u}, {202403157u, 202403158u},   {202403149u, 202403151u},
      {12345u, 12346u},           {2024031699u, 2024031700u}, {20240316u, 20240317u},
      {19700101u, 2024031501u},   {19691231u, 19691232u},
  };
  for (const Case& c : cases) EXPECT_EQ(nextSerialNumber(c.current, today), c.next) << c.current;

  // Without a given day the local date is used: serial 0 becomes today's date and "01".
  const kxDate now(1);
  const uint32_t todaySerial = (now.getYear() * 10000u + now.getMonth() * 100u + now.getDay()) * 100u + 1u;
  const uint32_t first = nextSerialNumber(0);
  EXPECT_TRUE(first == todaySerial || first == todaySerial + 100u) << first;  // midnight may pass
}

TEST(DnsStringUtils, ReverseZoneNames) {
  struct Case {
    const char* name;
    bool reverse;
  } cases[] = {
      {"1.2.0.192.IN-ADDR.ARPA.", true}, {"b.a.9.8.ip6.arpa.", true}, {"in-addr.arpa.", false},
      {"ip6.arpa.", false},              {"1.2.0.192.in-addr.arpa", false}, {"zone.test.", false},
      {"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(isReverseZoneName(c.name), c.reverse) << c.name;
}

TEST(DnsStringUtils, Mailboxes) {
  struct Case {
    const char* text;
    bool allow, require, valid;
  } cases[] = {
      {"first.last@zone.test", false, false, true},
      {"first.last@zone.test", true, true, false},
      {"first.last@zone.test", true, false, true},
      {"first\\.last.zone.test.", true, false, true},
      {"first\\.last.zone.test.", true, true, true},
      {"first\\.last.zone.test.", false, false, false},
      {"hostmaster.zone.test.", true, false, true},
      {"first last.zone.test.", true, false, true},
      {"bad@", false, false, false},
      {"@zone.test", false, false, false},
      {"a@b@zone.test", false, false, false},
      {"first\\\\x.zone.test.", true, false, false},
      {"nodot", true, false, true},
      {"a b", true, false, false},
      {"ab\x01.zone.test.", true, false, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(isValidMailAddress(c.text, c.allow, c.require), c.valid) << c.text << " " << c.allow << c.require;

  EXPECT_TRUE(isValidLocalPart("a b~"));
  EXPECT_FALSE(isValidLocalPart(""));
  EXPECT_FALSE(isValidLocalPart("a\\b"));
  EXPECT_FALSE(isValidLocalPart("\x7f"));

  struct Convert {
    const char* text;
    const char* hostmaster;
  } converts[] = {
      {"first.last@zone.test", "first\\.last.zone.test."},
      {"a.b.c@zone.test.", "a\\.b\\.c.zone.test."},
      {".a@zone.test", ".a.zone.test."},  // a dot at the start is left alone
      {"hostmaster.zone.test.", "hostmaster.zone.test."},
      {"admin@", "admin.."},
  };
  for (const Convert& c : converts) EXPECT_EQ(mailToHostmasterFormat(c.text), c.hostmaster) << c.text;

  EXPECT_EQ(toAbsoluteName("zone"), "zone.");
  EXPECT_EQ(toAbsoluteName("zone."), "zone.");
  EXPECT_EQ(toAbsoluteName(""), "");
}

TEST(DnsStringUtils, NamesRelativeToOrigin) {
  struct Case {
    const char* name1;
    const char* name2;
    const char* origin;
    bool match;
  } cases[] = {
      {"host", "host.zone.test", "zone.test", true},
      {"HOST.zone.test", "host", "zone.test", true},
      {"host", "host.other.test", "zone.test", false},
      {"Host.Zone.Test.", "host.zone.test.", "", true},
      {"host", "host.zone.test", "", false},
      {"host.", "host.zone.test", "zone.test", false},
      {"", "", "zone", true},
      {"", "zone", "zone", false},
      {"host", "hostx", "zone", false},
      {"host", "host.ZONE.TEST", "zone.test", true},
  };
  for (const Case& c : cases)
    EXPECT_EQ(namesMatch(c.name1, c.name2, c.origin), c.match) << c.name1 << " " << c.name2 << " " << c.origin;
}

}  // namespace
