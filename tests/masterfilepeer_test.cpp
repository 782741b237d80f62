// The master-file parser against BIND's named-compilezone on the same files: owners, TTLs,
// types and data must agree for the record types and directives both read alike. The test
// is skipped when named-compilezone is not installed.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "orvo/datastruct/kxresourcerecord.h"
#include "orvo/util/kxmasterfileparser.h"
#include "orvo/util/kxstringparser.h"
#include "support/kxtestsupport.h"

namespace {

const char kPeer[] = "/usr/bin/named-compilezone";

std::string seconds(const std::string& inTTL) {
  int value = -1;
  parseTTL(inTTL, value);
  return std::to_string(value);
}

// "owner ttl TYPE data" lines as this parser reads them, TXT strings quoted as BIND writes them.
std::vector<std::string> ours(const std::string& inFile) {
  kxMasterFileParser parser(inFile, "example.com.", true, false);
  parser.setKeepDirectives(false);
  parser.setCommentRecords(false);
  std::vector<std::string> lines;
  std::string name, ttl, data, comment, aging;
  kxResRecType type = kNoRecordType;
  bool enabled = true;
  while (parser.readNextRecord(name, ttl, type, data, comment, aging, enabled)) {
    std::string fields;
    std::istringstream pieces(data);
    for (std::string piece; std::getline(pieces, piece, kxResourceRecord::getDataSeparator());) {
      if (!fields.empty()) fields += ' ';
      fields += type == kTypeTXT ? "\"" + piece + "\"" : piece;
    }
    lines.push_back(name + " " + seconds(ttl.empty() ? parser.getDefaultTTL() : ttl) + " " +
                    kxResourceRecord::getTypeName(type) + " " + fields);
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

std::vector<std::string> peers(const std::string& inFile) {
  const std::string command = std::string(kPeer) + " -q -i none -s full -o - example.com. " + inFile;
  std::vector<std::string> lines;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return lines;
  std::string output;
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
  EXPECT_EQ(pclose(pipe), 0) << output;
  std::istringstream text(output);
  for (std::string line; std::getline(text, line);) {
    std::istringstream words(line);
    std::string owner, ttl, dnsClass, type, rest;
    words >> owner >> ttl >> dnsClass >> type >> std::ws;
    std::getline(words, rest);
    lines.push_back(owner + " " + ttl + " " + type + " " + rest);
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

TEST(MasterFilePeer, AgreesWithNamedCompilezone) {
  if (access(kPeer, X_OK) != 0) GTEST_SKIP() << kPeer << " is not installed";
  orvo::test::TempDir dir;
  std::ofstream(dir.file("inc.db")) << "x A 10.2.0.1\n  TXT \"included\"\n@ TXT here ; comment\n";
  std::ofstream(dir.file("zone.db"))
      << "$ORIGIN example.com.\n"
         "$TTL 1h\n"
         "@ IN SOA ns1 hostmaster ( 2024010101 ; serial\n"
         "      7200 3600 1209600 300 )\n"
         "@ NS ns1\n"
         "  NS ns2.example.net.\n"
         "ns1 A 10.0.0.53\n"
         "www 60 IN A 10.0.0.1 ; web\n"
         "\tTXT \"a b\" c \"x\\\"y\"\n"
         "mail IN 300 MX 10 mail2\n"
         "mail2 AAAA 2001:db8::1\n"
         "_sip._tcp SRV 10 60 5060 www\n"
         "ftp CNAME www.example.com.\n"
         "multi TXT ( \"one\"\n"
         "            \"two\" ) ; after\n"
         "$TTL 2h\n"
         "late A 10.0.0.9\n"
         "$GENERATE 1-7/3 h${0,2,x} CNAME www\n"
         "$GENERATE 8-9 $.rev PTR host$\n"
         "$ORIGIN sub\n"
         "a A 10.1.0.1\n"
         "@ MX 5 a\n"
         "$INCLUDE " << dir.file("inc.db") << " child\n"
         "back 1w2d A 10.1.0.2\n";
  const std::vector<std::string> expected = peers(dir.file("zone.db"));
  ASSERT_GT(expected.size(), 20u);
  EXPECT_EQ(ours(dir.file("zone.db")), expected);
}

}  // namespace
