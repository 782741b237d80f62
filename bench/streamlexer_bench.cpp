// Throughput of the stream lexer, the master-file lexer and the master-file parser over a
// synthetic zone of common record types (SOA, NS, A, AAAA, MX, TXT, CNAME, SRV).
//
// The 1,000,000-record case reads a file, the way a zone check does; set ORVO_ZONE_FILE to
// keep that file (for example to run a peer such as kzonecheck on the same input).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "orvo/util/kxmasterfileparser.h"
#include "orvo/util/kxstream.h"

namespace {

std::string makeZone(int inRecords) {
  std::string zone =
      "$ORIGIN example.com.\n$TTL 3600\n"
      "@ IN SOA ns1.example.com. hostmaster.example.com. ( 2024010101 ; serial\n"
      "        3h 1h 1w 1d )\n"
      "@ IN NS ns1\n@ IN NS ns2.example.net.\n";
  char line[256];
  for (int i = 0; i < inRecords; ++i) {
    switch (i % 8) {
      case 0: std::snprintf(line, sizeof line, "host%d IN A 10.%d.%d.%d\n", i, (i >> 16) & 255, (i >> 8) & 255, i & 255); break;
      case 1: std::snprintf(line, sizeof line, "host%d 300 IN AAAA 2001:db8::%x\n", i, i & 0xFFFF); break;
      case 2: std::snprintf(line, sizeof line, "mx%d IN MX 10 mail%d\n", i, i); break;
      case 3: std::snprintf(line, sizeof line, "txt%d IN TXT \"v=spf1 include:_spf.example.com ~all\" \"%d\"\n", i, i); break;
      case 4: std::snprintf(line, sizeof line, "www%d IN CNAME host%d\n", i, i - 4); break;
      case 5: std::snprintf(line, sizeof line, "_sip._tcp.s%d IN SRV 10 60 5060 sip%d ; service\n", i, i); break;
      case 6: std::snprintf(line, sizeof line, "\tIN A 192.0.2.%d\n", i & 255); break;
      default: std::snprintf(line, sizeof line, "ns%d IN NS ns%d.example.net.\n", i, i); break;
    }
    zone += line;
  }
  return zone;
}

// Reads every token with its text, as a parser would; returns the count.
template <class Lexer>
long readAllTokens(Lexer& ioLexer) {
  long tokens = 0;
  while (ioLexer.nextToken() != kEOFToken) {
    benchmark::DoNotOptimize(ioLexer.getTokenText());
    ++tokens;
  }
  return tokens;
}

void BM_StreamLexerWords(benchmark::State& ioState) {
  const std::string zone = makeZone(static_cast<int>(ioState.range(0)));
  for (auto _ : ioState) {
    kxStreamLexer lexer(zone);
    lexer.setInterpretEscapes(false);
    benchmark::DoNotOptimize(readAllTokens(lexer));
  }
  ioState.SetBytesProcessed(int64_t(ioState.iterations()) * int64_t(zone.size()));
}
BENCHMARK(BM_StreamLexerWords)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_MasterFileLexer(benchmark::State& ioState) {
  const std::string zone = makeZone(static_cast<int>(ioState.range(0)));
  for (auto _ : ioState) {
    std::istringstream input(zone);
    kxMasterFileFormatLexer lexer;
    lexer.setInterpretEscapes(false);
    lexer.setReturnEOL(true);
    lexer.setStream(&input, false);
    benchmark::DoNotOptimize(readAllTokens(lexer));
  }
  ioState.SetBytesProcessed(int64_t(ioState.iterations()) * int64_t(zone.size()));
}
BENCHMARK(BM_MasterFileLexer)->Arg(100000)->Unit(benchmark::kMillisecond);

long readAllRecords(kxMasterFileParser& ioParser) {
  std::string name, ttl, data, comment, aging;
  kxResRecType type = kNoRecordType;
  bool enabled = true;
  long records = 0;
  while (ioParser.readNextRecord(name, ttl, type, data, comment, aging, enabled)) ++records;
  return records;
}

void BM_MasterFileParser(benchmark::State& ioState) {
  const std::string zone = makeZone(static_cast<int>(ioState.range(0)));
  for (auto _ : ioState) {
    std::istringstream input(zone);
    kxMasterFileParser parser(&input, "bench", "example.com.", true, false);
    benchmark::DoNotOptimize(readAllRecords(parser));
  }
  ioState.SetItemsProcessed(int64_t(ioState.iterations()) * ioState.range(0));
  ioState.SetBytesProcessed(int64_t(ioState.iterations()) * int64_t(zone.size()));
}
BENCHMARK(BM_MasterFileParser)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_MasterFileParserFile(benchmark::State& ioState) {
  const char* kept = std::getenv("ORVO_ZONE_FILE");
  const std::string path = kept != nullptr ? kept : "/tmp/orvo_bench_zone.db";
  const int records = static_cast<int>(ioState.range(0));
  std::ofstream(path, std::ios::binary) << makeZone(records);
  for (auto _ : ioState) {
    kxMasterFileParser parser(path, "example.com.", true, false);
    benchmark::DoNotOptimize(readAllRecords(parser));
  }
  ioState.SetItemsProcessed(int64_t(ioState.iterations()) * records);
  if (kept == nullptr) std::remove(path.c_str());
}
BENCHMARK(BM_MasterFileParserFile)->Arg(1000000)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace
