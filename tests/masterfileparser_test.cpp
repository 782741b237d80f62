// The master-file parser and its directives: small zone texts with the records they yield
// or the error they raise (code, line, token).
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "orvo/datastruct/kxrecordcollection.h"
#include "orvo/datastruct/kxresourcerecord.h"
#include "orvo/messages/kxexception.h"
#include "orvo/util/kxmasterfileparser.h"
#include "support/kxtestsupport.h"

namespace {

using Records = std::vector<std::string>;

// A record as "owner|ttl|type|data|comment|aging" with the data's tabs shown as ",", and
// "|off" appended for a disabled record.
std::string render(const std::string& inName, const std::string& inTTL, kxResRecType inType, std::string inData,
                   const std::string& inComment, const std::string& inAging, bool inEnabled) {
  for (char& c : inData)
    if (c == '\t') c = ',';
  return inName + "|" + inTTL + "|" + std::to_string(inType) + "|" + inData + "|" + inComment + "|" + inAging +
         (inEnabled ? "" : "|off");
}

Records readAll(kxMasterFileParser& ioParser, size_t inLimit = 1000) {
  Records out;
  std::string name, ttl, data, comment, aging;
  kxResRecType type = kNoRecordType;
  bool enabled = true;
  while (out.size() < inLimit && ioParser.readNextRecord(name, ttl, type, data, comment, aging, enabled))
    out.push_back(render(name, ttl, type, data, comment, aging, enabled));
  return out;
}

Records parse(const std::string& inText, bool inKeepDirectives = true) {
  std::istringstream input(inText);
  kxMasterFileParser parser(&input, "db.test", "example.com.", true, false);
  parser.setKeepDirectives(inKeepDirectives);
  return readAll(parser);
}

struct Failure {
  kxErr code = kxErr_noError;
  int line = 0;
  std::string token;
  std::string text;
};

Failure failureOf(kxMasterFileParser& ioParser) {
  try {
    readAll(ioParser);
  } catch (const kxException& e) {
    const kxErrorMessage& m = e.errorMessage;
    return {e.getErrorValue(), m.hasParam('l') ? int(m.getParamUnsigned('l')) : -1,
            m.hasParam('t') ? m.getParam('t') : "-", m.getText()};
  }
  return {};
}

Failure failureOf(const std::string& inText, bool inKeepDirectives = true) {
  std::istringstream input(inText);
  kxMasterFileParser parser(&input, "db.test", "example.com.", true, false);
  parser.setKeepDirectives(inKeepDirectives);
  return failureOf(parser);
}

TEST(MasterFileParser, RecordLines) {
  struct Case {
    const char* name;
    const char* text;
    Records expected;
  } cases[] = {
      {"owner, TTL, class, type, data; inherited owner; without $TTL the last TTL holds (RFC 1035)",
       "host 3600 IN A 10.0.0.1\n\tIN MX 10 mail\n",
       {"host.example.com.|3600|1|10.0.0.1||", "host.example.com.|3600|15|10,mail.example.com.||"}},
      {"@ for the origin in owner and data", "@ IN NS ns1\nh A @\nt TXT @",
       {"example.com.||2|ns1.example.com.||", "h.example.com.||1|example.com.||", "t.example.com.||16|@||"}},
      {"absolute names stay", "a.b. NS ns.c.", {"a.b.||2|ns.c.||"}},
      {"TXT unquoted, escapes kept", "t TXT \"a b\" c \"x\\\"y\"", {"t.example.com.||16|a b,c,x\\\"y||"}},
      {"HINFO and NAPTR unquoting",
       "h HINFO \"PC\" \"Linux\"\nn NAPTR 100 10 \"u\" \"E2U+sip\" \"!^.*$!sip:x@y!\" .",
       {"h.example.com.||13|PC,Linux||", "n.example.com.||35|100,10,u,E2U+sip,!^.*$!sip:x@y!,.||"}},
      {"WKS service list joined by blanks", "w WKS 10.0.0.1 TCP ftp smtp", {"w.example.com.||11|10.0.0.1,TCP,ftp smtp||"}},
      {"NSEC type list joined by blanks", "n NSEC next A MX RRSIG", {"n.example.com.||47|next.example.com.,A MX RRSIG||"}},
      {"DNSKEY key pieces joined", "k DNSKEY 256 3 8 AwEA AQAB ( CDEF )", {"k.example.com.||48|256,3,8,AwEAAQABCDEF||"}},
      {"RRSIG signature pieces joined",
       "s RRSIG A 8 3 3600 20250101000000 20240101000000 12345 example.com. abc def",
       {"s.example.com.||46|A,8,3,3600,20250101000000,20240101000000,12345,example.com.,abcdef||"}},
      {"LOC latitude and longitude grouped",
       "l LOC 52 22 23.000 N 4 53 32.000 E -2.00m 1m ; here",
       {"l.example.com.||29|52 22 23.000 N,4 53 32.000 E,-2.00m,1m| here|"}},
      {"SOA over several lines, inner comments lost",
       "@ IN SOA ns1 admin ( 2024010101 ; serial\n   3h 1h 1w 1d ) ; soa\nwww A 1.2.3.4",
       {"example.com.||6|ns1.example.com.,admin.example.com.,2024010101,3h,1h,1w,1d| soa|",
        "www.example.com.||1|1.2.3.4||"}},
      {"a second SOA is a record like any other; the first made its minimum the default",
       "@ SOA a b 1 2 3 4 5\n@ SOA c d 2 2 3 4 5\nx A 1.1.1.1",
       {"example.com.||6|a.example.com.,b.example.com.,1,2,3,4,5||",
        "example.com.||6|c.example.com.,d.example.com.,2,2,3,4,5||", "x.example.com.||1|1.1.1.1||"}},
      {"comment record", "; hello\n\n  ;indented", {"||0|| hello|", "||0||indented|"}},
      {"record comment", "a A 1.2.3.4 ;c", {"a.example.com.||1|1.2.3.4|c|"}},
      {"aging mark anywhere before the type",
       "h [AGE:12] 3600 IN A 10.0.0.3\nh 60 [aging:7] A 1.1.1.1\nh [AGE:1] [Age:2] A 1.1.1.1",
       // The second record's RRset has the TTL 3600, which BIND makes the last TTL.
       {"h.example.com.|3600|1|10.0.0.3||12", "h.example.com.|60|1|1.1.1.1||7", "h.example.com.|3600|1|1.1.1.1||2"}},
      {"N/A keeps its owner and fields", "x A 1.1.1.1\n\tn/a p q\ny N/A r",
       {"x.example.com.||1|1.1.1.1||", "||0|p,q||", "y.example.com.||0|r||"}},
      {"type without data", "e TXT", {"e.example.com.||16|||"}},
      {"disabled record",
       "live A 9.9.9.9\n;<!dis:host 3600 IN A 10.0.0.2>old\n;<!dis:>note\n;<!DIS:\tA 1.1.1.1>\nnext A 2.2.2.2",
       {"live.example.com.||1|9.9.9.9||", "host.example.com.|3600|1|10.0.0.2|old||off", "||0||note||off",
        "live.example.com.||1|1.1.1.1|||off", "next.example.com.||1|2.2.2.2||"}},
      {"disabled text holding no record is kept whole; the next line is left alone",
       "@ SOA a b 1 2 3 4 5\n;<!dis:@ SOA a b 1 2 3 4 5>\nhost A 1.1.1.1 ;x>y\n;<!dis:;<!dis:x A 1.1.1.1>",
       {"example.com.||6|a.example.com.,b.example.com.,1,2,3,4,5||", "||0||<!dis:@ SOA a b 1 2 3 4 5>|",
        "host.example.com.||1|1.1.1.1|x>y|", "||0||<!dis:x A 1.1.1.1>||off"}},
  };
  for (const Case& c : cases) EXPECT_EQ(parse(c.text), c.expected) << c.name;
}

TEST(MasterFileParser, Directives) {
  struct Case {
    const char* name;
    const char* text;
    bool keep;
    Records expected;
  } cases[] = {
      {"$ORIGIN, then @ keeps it", "$ORIGIN sub\na A 1.1.1.1\n$origin @ ; same\nb CNAME c",
       true, {"a.sub.example.com.||1|1.1.1.1||", "b.sub.example.com.||5|c.sub.example.com.||"}},
      {"$TTL default, change and return",
       "$TTL 1h\na A 1.1.1.1\n$TTL 2h\nb A 1.1.1.1\nc 5 A 1.1.1.1\n$TTL 3600\nd A 1.1.1.1",
       true,
       {"a.example.com.||1|1.1.1.1||", "b.example.com.|2h|1|1.1.1.1||", "c.example.com.|5|1|1.1.1.1||",
        "d.example.com.||1|1.1.1.1||"}},
      {"TTLs as BIND reads them: an SOA minimum without any TTL known, the last TTL before it, "
       "$TTL after records",
       "@ 600 SOA a b 1 2 3 4 3600\nx A 1.1.1.1\n$TTL 300\ny A 1.1.1.1\n$TTL 5m\nz A 1.1.1.1\n$TTL 6m\n"
       "w A 1.1.1.1\n\t700 A 1.1.1.2\n\tA 1.1.1.3",
       true,
       {"example.com.|600|6|a.example.com.,b.example.com.,1,2,3,4,3600||", "x.example.com.|600|1|1.1.1.1||",
        "y.example.com.||1|1.1.1.1||", "z.example.com.||1|1.1.1.1||", "w.example.com.|6m|1|1.1.1.1||",
        "w.example.com.|700|1|1.1.1.2||", "w.example.com.|6m|1|1.1.1.3||"}},
      {"the SOA minimum is the default when no TTL came before",
       "@ SOA a b 1 2 3 4 3600\nx A 1.1.1.1\ny 5 A 1.1.1.1\nz A 1.1.1.1", true,
       {"example.com.||6|a.example.com.,b.example.com.,1,2,3,4,3600||", "x.example.com.||1|1.1.1.1||",
        "y.example.com.|5|1|1.1.1.1||", "z.example.com.||1|1.1.1.1||"}},
      {"TTLs above 2147483647 are read as 0, up to 4294967295",
       "$TTL 4294967295\nx A 1.1.1.1\ny 2147483648 A 1.1.1.1\nz 2147483647 A 1.1.1.1", true,
       {"x.example.com.||1|1.1.1.1||", "y.example.com.|0|1|1.1.1.1||", "z.example.com.|2147483647|1|1.1.1.1||"}},
      {"$GENERATE carried out", "$generate 1-3 host$ A 10.0.0.$ ; gone", false,
       {"host1.example.com.||1|10.0.0.1||", "host2.example.com.||1|10.0.0.2||", "host3.example.com.||1|10.0.0.3||"}},
      {"$GENERATE with step, PTR", "$GENERATE 1-10/4 $ PTR host$", false,
       {"1.example.com.||12|host1.example.com.||", "5.example.com.||12|host5.example.com.||",
        "9.example.com.||12|host9.example.com.||"}},
      {"$GENERATE with TTL, @ owner, modifiers", "$GENERATE 10-11 @ 300 CNAME h${0,3}-${10,2,x}-${-1}-$$.", false,
       {"example.com.|300|5|h010-14-9-$.||", "example.com.|300|5|h011-15-10-$.||"}},
      // A kept directive is its text as written; its owner is the origin in force, its TTL
      // the one its records would take when that is not the zone's default.
      {"$GENERATE kept as written", "$GENERATE 1-3 host${0,4,n} 300 A 10.0.0.$ ; c", true,
       {"example.com.||302|$GENERATE 1-3 host${0,4,n} 300 A 10.0.0.$| c|"}},
      {"$GENERATE kept without TTL after a $TTL change, in another origin",
       "$TTL 1h\n$TTL 2h\n$ORIGIN sub\n$GENERATE 1-2 h$ CNAME ( t$ )", true,
       {"sub.example.com.|2h|302|$GENERATE 1-2 h$ CNAME t$||"}},
      {"$INCLUDE kept as written", "$INCLUDE \"sub zone.db\"  sub ; inc\nx A 1.1.1.1", true,
       {"example.com.||301|$INCLUDE \"sub zone.db\"  sub| inc|", "x.example.com.||1|1.1.1.1||"}},
      {"$INCLUDE kept without origin", "  $include file.db", true, {"example.com.||301|$include file.db||"}},
  };
  for (const Case& c : cases) EXPECT_EQ(parse(c.text, c.keep), c.expected) << c.name;
}

// What is read otherwise than written is said, with the file and line: a TTL above
// 2147483647 (RFC 2181), a byte-order mark.
TEST(MasterFileParser, Warnings) {
  std::istringstream input("\xEF\xBB\xBF" "a A 1.1.1.1\n$TTL 4294967295\nb (\n 3000000000 A 1.1.1.1 )\n"
                           "@ SOA a b 1 2 3 4 4000000000\n");
  kxMasterFileParser parser(&input, "db.test", "example.com.", true, false);
  std::vector<std::string> warnings;
  parser.setWarningHandler([&](const kxMasterFileWarning& inWarning) {
    warnings.push_back(inWarning.itsFile + ":" + std::to_string(inWarning.itsLine) + ": " + inWarning.itsText);
  });
  EXPECT_EQ(readAll(parser), (Records{"a.example.com.||1|1.1.1.1||", "b.example.com.|0|1|1.1.1.1||",
                                      "example.com.||6|a.example.com.,b.example.com.,1,2,3,4,4000000000||"}));
  EXPECT_EQ(warnings, (std::vector<std::string>{"db.test:1: UTF-8 byte-order mark at the start of the file skipped",
                                                "db.test:2: TTL 4294967295 is above 2147483647: read as 0",
                                                "db.test:4: TTL 3000000000 is above 2147483647: read as 0"}));
}

TEST(MasterFileParser, Errors) {
  struct Case {
    const char* name;
    const char* text;
    bool keep;
    kxErr code;
    int line;
    const char* token;
  } cases[] = {
      {"unsupported class", "h 60 ch A 1.1.1.1", true, kxErr_parserUnsupportedClass, 1, "ch"},
      {"second class", "h IN IN A 1.1.1.1", true, kxErr_parserIncorrectRRFormat, 1, "IN"},
      {"second TTL", "h 1 2 A 1.1.1.1", true, kxErr_parserIncorrectRRFormat, 1, "2"},
      {"bracket word not an aging mark", "h [OLD:1] A 1.1.1.1", true, kxErr_parserIncorrectRRFormat, 1, "[OLD:1]"},
      {"digits after the last unit", "h 1h30 A 1.1.1.1", true, kxErr_parserIncorrectTTLFormat, 1, "1h30"},
      {"unknown type", "\n\nh FOO 1", true, kxErr_parserUnknownRRType, 3, "FOO"},
      {"owner alone", "host\nx A 1.1.1.1", true, kxErr_parserUnexpectedToken, 2, "<eol>"},
      {"SOA serial not an integer", "@ SOA a b 3h 1 2 3 4", true, kxErr_parserExpectedInteger, 1, "3h"},
      {"SOA with six fields", "@ SOA a b 1 2 3 4\nx A 1.1.1.1", true, kxErr_parserExpectedValue, 2, "<eol>"},
      {"SOA timer not a TTL", "@ SOA a b 1 2 x 4 5", true, kxErr_parserExpectedValue, 1, "x"},
      {"SOA with eight fields", "@ SOA a b 1 2 3 4 5 6", true, kxErr_parserExpectedEndOfLine, 1, "6"},
      {"LOC without hemisphere", "l LOC 1 2 3\nx A 1.1.1.1", true, kxErr_parserUnexpectedToken, 2, "<eol>"},
      {"unknown directive", "$FOO 1", true, kxErr_parserUnexpectedToken, 1, "$FOO"},
      {"$ORIGIN without name", "$ORIGIN\nx A 1.1.1.1", true, kxErr_parserUnexpectedToken, 2, "<eol>"},
      {"$ORIGIN with two names", "$ORIGIN a b", true, kxErr_parserExpectedEndOfLine, 1, "b"},
      {"$TTL not a TTL", "$TTL 1x", true, kxErr_parserIncorrectTTLFormat, 1, "1x"},
      {"$GENERATE zero step", "$GENERATE 1-10/0 h$ A 1.1.1.1", true, kxErr_parserIncorrectFormat, 1, "1-10/0"},
      {"$GENERATE junk after range", "$GENERATE 1-10x h$ A 1.1.1.1", true, kxErr_parserIncorrectFormat, 1, "1-10x"},
      {"$GENERATE stop below start", "$GENERATE 5-1 h$ A 1.1.1.1", true, kxErr_parserInvalidRange, 1, "5-1"},
      {"$GENERATE negative start", "$GENERATE -1-5 h$ A 1.1.1.1", true, kxErr_parserInvalidRange, 1, "-1-5"},
      {"$GENERATE data of two words unquoted", "$GENERATE 1-2 h$ MX 10 m$", false, kxErr_parserExpectedEndOfLine, 1,
       "m$"},
      {"$GENERATE data with a comment inside", "$GENERATE 1-2 h$ TXT \"a ;b\"", false, kxErr_parserExpectedEndOfLine,
       1, "<eol>"},
      {"$GENERATE without data", "$GENERATE 1-2 h$ A\nx A 1.1.1.1", true, kxErr_parserUnexpectedToken, 2, "<eol>"},
      {"$GENERATE SOA not allowed", "$GENERATE 1-2 h$ SOA a b 1 2 3 4 5", true, kxErr_parserInvalidRange, 1, "SOA"},
      {"template base letter", "$GENERATE 1-2 h${0,2,q} A 1.1.1.1", false, kxErr_parserIncorrectFormat, 1, "<eol>"},
      {"template not closed", "$GENERATE 1-2 h${0,2 A 1.1.1.1", false, kxErr_parserIncorrectFormat, 1, "<eol>"},
      {"template wider than 127", "$GENERATE 1-2 h${0,128} A 1.1.1.1", false, kxErr_parserIncorrectFormat, 1,
       "<eol>"},
      {"line starting with a non-word", "host A 1.1.1.1 )", true, kxErr_parserUnexpectedToken, 1, ")"},
      {"unclosed group", "@ SOA a b ( 1 2\n3 4 5", true, kxErr_parserUnexpectedToken, 2, "<eof>"},
  };
  for (const Case& c : cases) {
    const Failure f = failureOf(c.text, c.keep);
    EXPECT_EQ(f.code, c.code) << c.name << ": " << f.text;
    EXPECT_EQ(f.line, c.line) << c.name;
    EXPECT_EQ(f.token, c.token) << c.name;
  }
  EXPECT_EQ(failureOf("h 60 CS A 1").text, "Error in file \"db.test\" line 1. Unsupported class \"CS\".");
  // The widest allowed expansion still works.
  const Records wide = parse("$GENERATE 1-1 h CNAME x${0,127}", false);
  ASSERT_EQ(wide.size(), 1u);
  EXPECT_EQ(wide[0], "h.example.com.||5|x" + std::string(126, '0') + "1.example.com.||");
}

// Names that cannot be domain names are refused where they are read, with the name and why.
TEST(MasterFileParser, NamesAreCheckedAsRead) {
  const std::string label63(63, 'a');
  struct Case {
    std::string name;
    std::string text;
    bool keep;
    int line;
    std::string message;
  } cases[] = {
      {"owner label of 64 bytes", "x A 1.1.1.1\n" + label63 + "b A 1.1.1.1", true, 2,
       "Incorrect domain name \"" + label63 + "b.example.com.\": a name with a label longer than 63 bytes."},
      {"owner over 255 bytes once the origin is appended",
       label63 + "." + label63 + "." + label63 + "." + std::string(50, 'b') + " A 1.1.1.1", true, 1,
       "a name longer than 255 bytes."},
      {"empty label", "a..b A 1.1.1.1", true, 1, "Incorrect domain name \"a..b.example.com.\": a name with an empty label."},
      {"leading dot", ".a A 1.1.1.1", true, 1, "a name with an empty label."},
      {"escape of one digit", "a\\1 A 1.1.1.1", true, 1, "a name with a bad escape."},
      {"escape above 255", "a\\256 A 1.1.1.1", true, 1, "a name with a bad escape."},
      {"$ORIGIN with an empty label", "$ORIGIN a..b.\nx A 1.1.1.1", true, 1,
       "Incorrect domain name \"a..b.\": a name with an empty label."},
      {"$INCLUDE origin with a leading dot", "$INCLUDE x.db .sub", true, 1,
       "Incorrect domain name \".sub.example.com.\": a name with an empty label."},
      {"generated owner of a label too long", "\n$GENERATE 1-2 h${0,70} A 1.1.1.1", false, 2,
       "a name with a label longer than 63 bytes."},
  };
  for (const Case& c : cases) {
    const Failure f = failureOf(c.text, c.keep);
    EXPECT_EQ(f.code, kxErr_parserIncorrectRRFormat) << c.name << ": " << f.text;
    EXPECT_EQ(f.line, c.line) << c.name;
    EXPECT_TRUE(f.text.ends_with(c.message)) << c.name << ": " << f.text;
  }
  // A disabled record is a comment to every other reader: its owner is not checked.
  EXPECT_EQ(parse(";<!dis:a..b A 1.1.1.1>").size(), 1u);
}

TEST(MasterFileParser, DisabledLinesLeaveLiveDataAlone) {
  struct Case {
    const char* name;
    const char* text;
    bool keep;
    Records expected;
  } cases[] = {
      {"$TTL", "$TTL 1h\n;<!dis:$TTL 5>\na A 1.1.1.1", true, {"||0||<!dis:$TTL 5>|", "a.example.com.||1|1.1.1.1||"}},
      {"$ORIGIN", ";<!dis:$ORIGIN other.> c\na A 1.1.1.1", true,
       {"||0||<!dis:$ORIGIN other.> c|", "a.example.com.||1|1.1.1.1||"}},
      {"$GENERATE carried out", ";<!dis:$GENERATE 1-3 h$ A 1.1.1.$>", false, {"||0||<!dis:$GENERATE 1-3 h$ A 1.1.1.$>|"}},
      {"$GENERATE kept", ";<!dis:$GENERATE 1-3 h$ A 1.1.1.$>", true, {"||0||<!dis:$GENERATE 1-3 h$ A 1.1.1.$>|"}},
      {"$INCLUDE", ";<!dis:$INCLUDE /etc/hostname>", false, {"||0||<!dis:$INCLUDE /etc/hostname>|"}},
      {"an SOA record does not take the live one's place",
       ";<!dis:@ SOA a b 1 2 3 4 5>\n@ SOA c d 2 2 3 4 5\n$TTL 1h",
       true, {"||0||<!dis:@ SOA a b 1 2 3 4 5>|", "example.com.||6|c.example.com.,d.example.com.,2,2,3,4,5||"}},
      {"the owner of a disabled record is not inherited", "w A 1.1.1.1\n;<!dis:old A 2.2.2.2>\n\tA 3.3.3.3", true,
       {"w.example.com.||1|1.1.1.1||", "old.example.com.||1|2.2.2.2|||off", "w.example.com.||1|3.3.3.3||"}},
      {"nothing after the mark", ";<!dis:\na A 1.1.1.1", true, {"||0||<!dis:|", "a.example.com.||1|1.1.1.1||"}},
  };
  for (const Case& c : cases) EXPECT_EQ(parse(c.text, c.keep), c.expected) << c.name;

  std::istringstream input(";<!dis:$TTL 5>\n;<!dis:@ SOA a b 1 2 3 4 5>\na A 1.1.1.1");
  kxMasterFileParser quiet(&input, "db.test", "example.com.", true, false);
  quiet.setCommentRecords(false);
  EXPECT_EQ(readAll(quiet), (Records{"a.example.com.||1|1.1.1.1||"}));

  // A group that a disabled line opens must close on that line, or it would swallow the
  // live lines after it.
  const Failure f = failureOf(";<!dis:x TXT ( a\nlive A 1.1.1.1\n)\n");
  EXPECT_EQ(f.code, kxErr_parserUnexpectedToken) << f.text;
  EXPECT_EQ(f.line, 2);
}

TEST(MasterFileParser, DataWordsKeptWhole) {
  struct Case {
    const char* name;
    std::string text;
    Records expected;
  } cases[] = {
      // A tab inside a quoted string or behind a backslash is one character of the string,
      // not a field separator: it is kept as the escape \009.
      {"tab in quoted strings", "t TXT \"a\tb\" c\\\td \"x\\\ty\"",
       {"t.example.com.||16|a\\009b,c\\009d,x\\009y||"}},
      {"tab in HINFO and NAPTR", "h HINFO \"P\tC\" L\nn NAPTR 1 2 \"u\" \"E2U\t\" \"!a!b!\" .",
       {"h.example.com.||13|P\\009C,L||", "n.example.com.||35|1,2,u,E2U\\009,!a!b!,.||"}},
      {"an escaped final dot keeps a name relative", "dot\\. A 1.1.1.1\nx CNAME dot\\.\ny CNAME dot\\\\.",
       {"dot\\..example.com.||1|1.1.1.1||", "x.example.com.||5|dot\\..example.com.||",
        "y.example.com.||5|dot\\\\.||"}},
  };
  for (const Case& c : cases) EXPECT_EQ(parse(c.text), c.expected) << c.name;
}

TEST(MasterFileParser, HostileInputFailsWithFileAndLine) {
  const std::string longWord(kDefaultMaxTokenLength + 1, 'a');
  const std::string longLine = "x TXT " + std::string(kDefaultMaxLineLength / 2, 'a') + " " +
                               std::string(kDefaultMaxLineLength / 2, 'b');
  struct Case {
    const char* name;
    std::string text;
    kxErr code;
    int line;
  } cases[] = {
      {"NUL inside data", std::string("a A 1.1.1.1\nx TXT abc\0def\n", 27), kxErr_parserIncorrectFormat, 2},
      {"NUL alone", std::string(1000, '\0'), kxErr_parserIncorrectFormat, 1},
      {"word longer than the limit", "a A 1.1.1.1\n\nx TXT " + longWord, kxErr_parserIncorrectFormat, 3},
      {"line longer than the limit", longLine, kxErr_parserIncorrectFormat, 1},
      {"generic data of TXT", "x TXT \\# 4 0A000001", kxErr_parserIncorrectRRFormat, 1},
      {"generic data of PTR", "x PTR \\# 3 016100", kxErr_parserIncorrectRRFormat, 1},
      {"generic data of SOA", "@ SOA \\# 1 00", kxErr_parserIncorrectRRFormat, 1},
      {"generic data of LOC", "x LOC \\# 1 00", kxErr_parserIncorrectRRFormat, 1},
      {"no owner on the first record", "\n  A 1.1.1.1", kxErr_parserExpectedName, 2},
      {"no owner on the first record after comments", "; c\n$TTL 1h\n\tTXT x", kxErr_parserExpectedName, 3},
      {"a disabled record's owner does not count", ";<!dis:a A 1.1.1.1>\n A 1.1.1.1", kxErr_parserExpectedName, 2},
  };
  for (const Case& c : cases) {
    const Failure f = failureOf(c.text);
    EXPECT_EQ(f.code, c.code) << c.name << ": " << f.text;
    EXPECT_EQ(f.line, c.line) << c.name;
    EXPECT_EQ(f.text.rfind("Error in file \"db.test\" line ", 0), 0u) << c.name << ": " << f.text;
    EXPECT_LT(f.text.size(), 200u) << c.name;
  }
  // Exactly at the limits, the text is read.
  EXPECT_EQ(parse("x TXT " + std::string(kDefaultMaxTokenLength, 'a')).size(), 1u);
}

TEST(MasterFileParser, GenerateIsBounded) {
  // Counted from the range before anything is made: no memory grows, the line is named.
  Failure f = failureOf("a A 1.1.1.1\n$GENERATE 0-2147483647 h$ A 10.0.0.1", false);
  EXPECT_EQ(f.code, kxErr_parserInvalidRange) << f.text;
  EXPECT_EQ(f.line, 2);
  EXPECT_NE(f.text.find("More than 10000000 generated records."), std::string::npos) << f.text;

  std::istringstream input("$GENERATE 1-6 h$ A 10.0.0.$\n$GENERATE 1-4/2 g$ A 10.0.0.$\n$GENERATE 7-9 i$ A 1.1.1.1");
  kxMasterFileParser parser(&input, "db.test", "example.com.", true, false);
  parser.setKeepDirectives(false);
  parser.setLimits({1000, 8});
  f = failureOf(parser);
  EXPECT_EQ(f.code, kxErr_parserInvalidRange) << f.text;
  EXPECT_EQ(f.line, 3) << "6 and 2 records fit, 3 more do not";

  // Every range of the file is counted before its first record is made, past lines that
  // begin with a parenthesis.
  std::istringstream two("$GENERATE 1-5000000 a$ A 10.0.0.1\n; between\n@ SOA a b (\n 1 2 3 4 5\n)\n"
                         "$GENERATE 1-5000001 b$ A 10.0.0.1\n");
  kxMasterFileParser twice(&two, "db.test", "example.com.", true, false);
  twice.setKeepDirectives(false);
  std::string name, ttl, data, comment, aging;
  kxResRecType type = kNoRecordType;
  bool enabled = true;
  try {
    twice.readNextRecord(name, ttl, type, data, comment, aging, enabled);
    ADD_FAILURE() << "a record was made: " << name;
  } catch (const kxException& e) {
    EXPECT_EQ(e.errorMessage.getParamUnsigned('l'), 6u) << e.errorMessage.getText();
  }

  // Kept directives generate nothing, so they count nothing.
  std::istringstream kept("$GENERATE 0-2147483647 h$ A 10.0.0.1");
  kxMasterFileParser keeper(&kept, "db.test", "example.com.", true, false);
  keeper.setLimits({1000, 1});
  EXPECT_EQ(readAll(keeper).size(), 1u);
}

// As BIND generates: every type, its data one word (a quoted string holds several fields),
// names made absolute once expanded, a TTL written on the line holding after it.
TEST(MasterFileParser, GenerateEveryType) {
  struct Case {
    const char* name;
    const char* text;
    Records expected;
  } cases[] = {
      {"MX and SRV from quoted data", "$GENERATE 1-2 m$ MX \"1$ mail$\"\n$GENERATE 3-3 _s$._tcp SRV \"0 5 $ h$\"",
       {"m1.example.com.||15|11,mail1.example.com.||", "m2.example.com.||15|12,mail2.example.com.||",
        "_s3._tcp.example.com.||33|0,5,3,h3.example.com.||"}},
      {"TXT strings, a DNSKEY's key pieces joined, LOC grouped",
       "$GENERATE 1-1 t TXT \"a$ b\"\n$GENERATE 1-1 k DNSKEY \"256 3 8 AwE$ AQAB\"\n"
       "$GENERATE 1-1 l LOC \"5$ 0 N 4 0 E 1m\"",
       {"t.example.com.||16|a1,b||", "k.example.com.||48|256,3,8,AwE1AQAB||",
        "l.example.com.||29|51 0 N,4 0 E,1m||"}},
      {"escapes and @ in names", "$GENERATE 1-1 a\\.b\\@$ CNAME \\@\n$GENERATE 2-2 @ PTR @",
       {"a\\.b\\@1.example.com.||5|\\@.example.com.||", "example.com.||12|example.com.||"}},
      {"nibbles ending in a dot give an absolute name", "$GENERATE 0-0 ${0,4,n} CNAME x",
       {"0.0.||5|x.example.com.||"}},
      {"a TTL on the line is the last TTL after it (RFC 1035)",
       "@ 100 SOA a b 1 2 3 4 5\n$GENERATE 1-1 g$ A 1.1.1.$\n$GENERATE 2-2 g$ 200 A 1.1.1.$\nz A 1.1.1.1",
       {"example.com.|100|6|a.example.com.,b.example.com.,1,2,3,4,5||", "g1.example.com.|100|1|1.1.1.1||",
        "g2.example.com.|200|1|1.1.1.2||", "z.example.com.|200|1|1.1.1.1||"}},
  };
  for (const Case& c : cases) EXPECT_EQ(parse(c.text, false), c.expected) << c.name;
  EXPECT_EQ(failureOf("$GENERATE 1-2 h$ SOA \"a b 1 2 3 4 5\"", false).code, kxErr_parserInvalidRange);
}

TEST(MasterFileParser, GenerateRangeAndTemplate) {
  struct Range {
    const char* text;
    bool ok;
    int32_t start, stop, step;
  } ranges[] = {{"1-10", true, 1, 10, 1},         {"1-10/3", true, 1, 10, 3},  {"10-1", true, 10, 1, 1},
                {"0-2147483647", true, 0, INT32_MAX, 1}, {"1-10/0", false, 0, 0, 0}, {"1-10x", false, 0, 0, 0},
                {"1--5", false, 0, 0, 0},          {"1", false, 0, 0, 0},       {"1-", false, 0, 0, 0},
                {"1-2/", false, 0, 0, 0},          {"1-99999999999", false, 0, 0, 0}};
  for (const Range& r : ranges) {
    int32_t start = 0, stop = 0, step = 1;
    EXPECT_EQ(kxMasterFileParser::parseGenerateRange(r.text, start, stop, step), r.ok) << r.text;
    if (r.ok) {
      EXPECT_EQ((std::vector<int32_t>{start, stop, step}), (std::vector<int32_t>{r.start, r.stop, r.step})) << r.text;
    }
  }

  std::istringstream none;
  kxMasterFileParser parser(&none, "t", ".", false, false);
  struct Expansion {
    const char* text;
    int32_t counter;
    const char* expected;
  } expansions[] = {{"host${0,3}", 1, "host001"}, {"${10,2,x}", 1, "0b"},   {"${10,2,X}", 1, "0B"},
                    {"${0,4,o}", 8, "0010"},      {"${-1}", 1, "0"},       {"$$", 1, "$"},
                    {"a\\$b", 7, "a\\$b"},        {"$-$", 12, "12-12"},    {"${+2,1,d}", 1, "3"},
                    {"${0,0}", 5, "5"},           {"x", 3, "x"},           {"${-1,0,x}", 0, "ffffffff"},
                    // Escapes are kept for the name they are part of, as BIND keeps them.
                    {"a\\.b\\065\\ $", 1, "a\\.b\\065\\ 1"},
                    // Nibbles from the lowest, the width counting digits and dots.
                    {"${10,3,n}", 1, "b.0"},     {"${255,1,N}", 1, "0.0.1"}, {"${0,0,n}", 1, "1"},
                    {"${0,4,n}", 0, "0.0."},     {"${0,1,n}", 4660, "4.3.2.1"}};
  for (const Expansion& e : expansions) EXPECT_EQ(parser.expandTemplate(e.text, e.counter), e.expected) << e.text;
  for (const char* bad : {"a\\", "${", "${1", "${x}", "${1,}", "${1,2,}", "${1,2,dd}", "${1,-2}", "${1,128}"}) {
    try {
      parser.expandTemplate(bad, 1);
      ADD_FAILURE() << bad;
    } catch (const kxException& e) {
      EXPECT_EQ(e.getErrorValue(), kxErr_parserIncorrectFormat) << bad;
    }
  }
}

TEST(MasterFileParser, GenerateStopsAtTheEndOfTheIntegerRange) {
  const Records records = parse("$GENERATE 2147483646-2147483647 h$ A 1.1.1.1\nz A 2.2.2.2", false);
  EXPECT_EQ(records, (Records{"h2147483646.example.com.||1|1.1.1.1||", "h2147483647.example.com.||1|1.1.1.1||",
                              "z.example.com.||1|2.2.2.2||"}));
}

class IncludeTest : public ::testing::Test {
 protected:
  void write(const std::string& inName, const std::string& inText) {
    std::ofstream(dir.file(inName), std::ios::binary) << inText;
  }
  orvo::test::TempDir dir;
};

// As in BIND, the origin and the owner of an included file stay in it, its TTLs hold after
// it, and its SOA record is read like any other.
TEST_F(IncludeTest, IncludedRecordsComeInPlace) {
  write("sub.db", "@ SOA x y 1 2 3 4 5\n$TTL 9\nin1 A 1.1.1.1\n\tTXT t\n$ORIGIN other.\nin2 A 2.2.2.2\n");
  write("main.db", "$TTL 1h\n$TTL 2h\n@ SOA a b 1 2 3 4 5\nm A 3.3.3.3\n$INCLUDE " + dir.file("sub.db") +
                       " sub ; c\n\tA 4.4.4.4\nlast A 5.5.5.5\n");
  kxMasterFileParser parser(dir.file("main.db"), "example.com.", true, false);
  parser.setKeepDirectives(false);
  EXPECT_EQ(readAll(parser), (Records{"example.com.|2h|6|a.example.com.,b.example.com.,1,2,3,4,5||",
                                      "m.example.com.|2h|1|3.3.3.3||",
                                      "sub.example.com.|2h|6|x.sub.example.com.,y.sub.example.com.,1,2,3,4,5||",
                                      "in1.sub.example.com.|9|1|1.1.1.1||", "in1.sub.example.com.|9|16|t||",
                                      "in2.other.|9|1|2.2.2.2||", "m.example.com.|9|1|4.4.4.4||",
                                      "last.example.com.|9|1|5.5.5.5||"}));
  EXPECT_EQ(parser.getOrigin(), "example.com.");
  EXPECT_EQ(parser.getDefaultTTL(), "1h");
}

// A kept $INCLUDE is not read, but the last $TTL of its file holds after it.
TEST_F(IncludeTest, KeptIncludeLeavesItsTTL) {
  write("ttl.db", "$TTL 7\n$TTL 9 ; the last\nx A 1.1.1.1\n");
  write("main.db", "$TTL 1h\n$TTL 5\n$INCLUDE " + dir.file("ttl.db") + "\na A 1.1.1.1\n$INCLUDE none.db\nb A 1.1.1.1\n");
  kxMasterFileParser parser(dir.file("main.db"), "example.com.", true, false);
  EXPECT_EQ(readAll(parser), (Records{"example.com.|5|301|$INCLUDE " + dir.file("ttl.db") + "||",
                                      "a.example.com.|9|1|1.1.1.1||", "example.com.|9|301|$INCLUDE none.db||",
                                      "b.example.com.|9|1|1.1.1.1||"}));
  // Only a plain file is looked into: a device could be read without end.
  EXPECT_EQ(parse("$INCLUDE /dev/urandom\n$INCLUDE /dev/zero").size(), 2u);
}

TEST_F(IncludeTest, MissingAndNestedTooDeep) {
  write("main.db", "a A 1.1.1.1\n$INCLUDE missing.db\nb A 1.1.1.1\n");
  kxMasterFileParser missing(dir.file("main.db"), "example.com.", true, false);
  missing.setKeepDirectives(false);
  Failure f = failureOf(missing);
  EXPECT_EQ(f.code, kxErr_fileOpen);
  EXPECT_EQ(f.text, "Error in file \"" + dir.file("main.db") + "\" line 3. Unable to open include file\"missing.db\".");

  write("self.db", "x A 1.1.1.1\n$INCLUDE " + dir.file("self.db") + "\n");
  kxMasterFileParser self(dir.file("self.db"), "example.com.", true, false);
  self.setKeepDirectives(false);
  f = failureOf(self);
  EXPECT_EQ(f.code, kxErr_fileOpen);
  EXPECT_NE(f.text.find("nested too deeply"), std::string::npos) << f.text;

  kxMasterFileParser refused(dir.file("main.db"), "example.com.", true, true);
  f = failureOf(refused);
  EXPECT_EQ(f.code, kxErr_parserIncludeNotSupported);
  EXPECT_EQ(f.line, 2);
}

TEST_F(IncludeTest, ErrorsInAnIncludedFileNameThatFile) {
  write("bad.db", "ok A 1.1.1.1\n\nbad 1h30 A 1.1.1.1\n");
  write("main.db", "$INCLUDE \"" + dir.file("bad.db") + "\"\n");
  kxMasterFileParser parser(dir.file("main.db"), "example.com.", true, false);
  parser.setKeepDirectives(false);
  const Failure f = failureOf(parser);
  EXPECT_EQ(f.code, kxErr_parserIncorrectTTLFormat);
  EXPECT_EQ(f.text, "Error in file \"" + dir.file("bad.db") + "\" line 3. Incorrect TTL format.");
}

TEST_F(IncludeTest, IncludesAreCountedOverTheWholeParse) {
  // Each file includes the next one four times: 4 + 16 + 64 files in all.
  for (int level = 0; level < 3; ++level) {
    std::string text = "h" + std::to_string(level) + " A 1.1.1.1\n";
    for (int i = 0; i < 4; ++i) text += "$INCLUDE " + dir.file("l" + std::to_string(level + 1) + ".db") + "\n";
    write("l" + std::to_string(level) + ".db", text);
  }
  write("l3.db", "x A 2.2.2.2\n");
  kxMasterFileParser all(dir.file("l0.db"), "example.com.", true, false);
  all.setKeepDirectives(false);
  EXPECT_EQ(readAll(all, 1000).size(), 1u + 4 + 16 + 64);

  kxMasterFileParser bounded(dir.file("l0.db"), "example.com.", true, false);
  bounded.setKeepDirectives(false);
  bounded.setLimits({20, 100});
  const Failure f = failureOf(bounded);
  EXPECT_EQ(f.code, kxErr_fileOpen) << f.text;
  EXPECT_NE(f.text.find("More than 20 include files."), std::string::npos) << f.text;
}

TEST_F(IncludeTest, ReadErrorAndOwnerAcrossAnInclude) {
  // A directory opens but cannot be read: a parse error naming it, not a stream exception.
  write("main.db", "a A 1.1.1.1\n$INCLUDE " + dir.path() + "\n");
  kxMasterFileParser unreadable(dir.file("main.db"), "example.com.", true, false);
  unreadable.setKeepDirectives(false);
  const Failure f = failureOf(unreadable);
#ifdef _WIN32
  // Windows does not open a directory as a file at all.
  EXPECT_EQ(f.code, kxErr_fileOpen) << f.text;
  EXPECT_EQ(f.text, "Error in file \"" + dir.file("main.db") + "\" line 2. Unable to open include file\"" + dir.path() + "\".");
#else
  EXPECT_EQ(f.code, kxErr_parserFailed) << f.text;
  EXPECT_EQ(f.text, "Error in file \"" + dir.path() + "\" line 1. Unable to read the file.");
#endif

  // As in BIND, an included file's first record may take the including file's owner; the
  // included file's owners do not flow back.
  write("inc.db", "\tA 2.2.2.2\nzz A 3.3.3.3\n");
  write("owners.db", "ns A 1.1.1.1\n$INCLUDE " + dir.file("inc.db") + " sub\n\tA 4.4.4.4\n");
  kxMasterFileParser owners(dir.file("owners.db"), "example.com.", true, false);
  owners.setKeepDirectives(false);
  EXPECT_EQ(readAll(owners), (Records{"ns.example.com.||1|1.1.1.1||", "ns.example.com.||1|2.2.2.2||",
                                      "zz.sub.example.com.||1|3.3.3.3||", "ns.example.com.||1|4.4.4.4||"}));
}

TEST(MasterFileParser, DirectiveTextAcrossLines) {
  // Arguments inside parentheses are kept as one line, with one blank where a line break or
  // a parenthesis stood; within a line the blanks stay as written.
  EXPECT_EQ(parse("  $INCLUDE ( \"sub zone.db\"\n   sub ) ; c\nx A 1.1.1.1\n$INCLUDE (a.db)  ; d"),
            (Records{"example.com.||301|$INCLUDE \"sub zone.db\" sub| c|", "x.example.com.||1|1.1.1.1||",
                     "example.com.||301|$INCLUDE a.db| d|"}));
  std::istringstream input("a ( b\n      c )   d\n");
  kxMasterFileParser parser(&input, "db", "example.com.", true, false);
  std::string rest;
  ASSERT_EQ(parser.nextToken(), kEOLToken);
  parser.readRestOfLine(rest);
  EXPECT_EQ(rest, "a b c d");
}

TEST(MasterFileParser, ReadRecordFillsARecord) {
  std::istringstream input("h 60 A 1.2.3.4 ; note\n");
  kxMasterFileParser parser(&input, "db", "example.com.", true, false);
  kxResourceRecord record;
  ASSERT_TRUE(parser.readRecord(record));
  EXPECT_EQ(record.type(), kTypeA);
  EXPECT_EQ(record.getTTL(), "60");
  EXPECT_EQ(record.getData(), "1.2.3.4");
  EXPECT_EQ(record.getComment(), " note");
  EXPECT_FALSE(parser.readRecord(record));
  EXPECT_FALSE(parser.readRecord(record)) << "the end stays the end";
  EXPECT_EQ(record.getData(), "1.2.3.4");
}

TEST(MasterFileParser, MakeAbsoluteAndRestOfLine) {
  std::istringstream input("a  b\\ c \"d e\" ; x\n");
  kxMasterFileParser parser(&input, "db", "example.com.", true, false);
  struct Case {
    const char* name;
    const char* expected;
  } cases[] = {{"host", "host.example.com."}, {"mail.", "mail."}, {"", ""}};
  for (const Case& c : cases) {
    std::string name = c.name;
    parser.makeAbsolute(name);
    EXPECT_EQ(name, c.expected);
  }
  std::string rest;
  ASSERT_EQ(parser.nextToken(), kEOLToken);
  parser.readRestOfLine(rest);
  EXPECT_EQ(rest, "a  b\\ c \"d e\"");

  std::istringstream rootInput("");
  kxMasterFileParser root(&rootInput, "db", ".", true, false);
  std::string name = "host";
  root.makeAbsolute(name);
  EXPECT_EQ(name, "host.");
}

// ---- loading a whole zone into a collection ----

// The collection's records in collection order as "name|ttl|type|data|comment|aging[|off]",
// names as stored (relative to the domain name).
Records recordsOf(const kxRecordCollection& inZone) {
  Records out;
  for (uint32_t i = 0; i < inZone.getRecordCount(); ++i) {
    const kxResourceRecord* r = inZone.getRecord(i);
    out.push_back(render(r->getName(), r->getTTL(), r->type(), r->getData(), r->getComment(), r->getAging(),
                         r->isEnabled()));
  }
  return out;
}

void loadZone(const std::string& inText, kxRecordCollection& ioZone, bool inRequireSOA = false,
              bool inKeepDirectives = true) {
  std::istringstream input(inText);
  kxMasterFileParser parser(&input, "db.test", "example.com.", true, false);
  parser.setKeepDirectives(inKeepDirectives);
  parser.parseZone(ioZone, inRequireSOA);
}

TEST(ParseZone, WholeFileInOrderWithDomainAndDefaultTTLFromTheSOA) {
  kxRecordCollection zone;
  loadZone("; head\n"
           "www A 10.0.0.1\n"
           "@ SOA ns1 hm 1 2 3 4 300\n"
           "mail.example.com. MX 10 mail\n"
           "ext CNAME host.example.net.\n"
           ";<!dis:old A 10.0.0.9>gone\n"
           "dyn [AGE:42] A 10.0.0.2\n"
           "$INCLUDE other.db\n"
           "$GENERATE 1-2 h$ A 10.1.0.$\n"
           "$TTL 1h\n"
           "late A 10.0.0.3\n"
           "@ SOA ns2 hm 2 2 3 4 5\n",
           zone);
  EXPECT_EQ(zone.getDomainName(), "example.com.");
  EXPECT_EQ(zone.getDefaultTTL(), "300");
  // Names made relative once the SOA gave the domain, records before it included; the
  // second SOA is kept for the zone's checks to find, the kept directives stay in their places.
  EXPECT_EQ(recordsOf(zone), (Records{"||0|| head|", "www||1|10.0.0.1||", "||6|ns1,hm,1,2,3,4,300||",
                                      "mail||15|10,mail||", "ext||5|host.example.net.||",
                                      "old||1|10.0.0.9|gone||off", "dyn||1|10.0.0.2||42",
                                      "||301|$INCLUDE other.db||", "||302|$GENERATE 1-2 h$ A 10.1.0.$||",
                                      "late|1h|1|10.0.0.3||", "|1h|6|ns2,hm,2,2,3,4,5||"}));
}

TEST(ParseZone, DefaultTTLFromTheFirstTTLDirective) {
  kxRecordCollection zone;
  loadZone("$TTL 2h\n@ SOA ns1 hm 1 2 3 4 300\n$TTL 1d\n", zone);
  EXPECT_EQ(zone.getDefaultTTL(), "2h");
  // Without an SOA record the first $TTL still is the zone's default.
  kxRecordCollection noSOA;
  loadZone("$TTL 5m\na A 10.0.0.1\n$TTL 1h\n", noSOA);
  EXPECT_EQ(noSOA.getDefaultTTL(), "5m");
}

TEST(ParseZone, KeepsTheDomainNameTheCollectionHas) {
  kxRecordCollection zone("example.com.");
  loadZone("$ORIGIN sub.example.com.\n@ SOA ns1 hm 1 2 3 4 5\nx A 10.0.0.1\n", zone);
  EXPECT_EQ(zone.getDomainName(), "example.com.");
  EXPECT_EQ(recordsOf(zone), (Records{"sub||6|ns1.sub,hm.sub,1,2,3,4,5||", "x.sub||1|10.0.0.1||"}));
}

TEST(ParseZone, MissingSOA) {
  for (const char* text : {"", "a A 10.0.0.1\n; c\n"}) {
    SCOPED_TRACE(text);
    kxRecordCollection lenient;
    loadZone(text, lenient);
    EXPECT_EQ(lenient.getRecordCount(), *text ? 2u : 0u);
    EXPECT_EQ(lenient.getDomainName(), "");

    kxRecordCollection strict;
    std::istringstream input(text);
    kxMasterFileParser parser(&input, "db.test", "example.com.", true, false);
    try {
      parser.parseZone(strict, true);
      ADD_FAILURE() << "no error raised";
    } catch (const kxException& e) {
      EXPECT_EQ(e.getErrorValue(), kxErr_parserMissingSOARecord);
      if (!*text) {
        EXPECT_EQ(e.errorMessage.getParamUnsigned('l'), 1u);
      }
      const std::string message = e.errorMessage.getText();
      EXPECT_EQ(message.rfind("Error in file \"db.test\" line ", 0), 0u) << message;
      EXPECT_NE(message.find(". Missing SOA record."), std::string::npos) << message;
    }
    // The records read stay in the collection.
    EXPECT_EQ(strict.getRecordCount(), *text ? 2u : 0u);
  }
}

TEST(ParseZone, AnErrorKeepsTheRecordsReadBeforeIt) {
  kxRecordCollection zone;
  EXPECT_THROW(loadZone("@ SOA ns1 hm 1 2 3 4 5\na A 10.0.0.1\nb 1x A 10.0.0.2\nc A 10.0.0.3\n", zone),
               kxException);
  EXPECT_EQ(recordsOf(zone), (Records{"||6|ns1,hm,1,2,3,4,5||", "a||1|10.0.0.1||"}));
}

}  // namespace
