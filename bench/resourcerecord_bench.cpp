// Costs that matter for zones of millions of records: building and copying a record (with
// its empty property set), writing its text line, type lookups, and property sets.
#include <benchmark/benchmark.h>

#include <list>
#include <sstream>
#include <string>

#include "orvo/datastruct/kxresourcerecord.h"
#include "orvo/util/kxproperties.h"

namespace {

void BM_RecordBuildAndCopy(benchmark::State& ioState) {
  for (auto _ : ioState) {
    kxResourceRecord rec(nullptr, "host", "3600", kTypeMX, "10\tmail", "");
    kxResourceRecord copy(rec);
    benchmark::DoNotOptimize(copy);
  }
  ioState.counters["bytes/record"] = double(sizeof(kxResourceRecord));
}
BENCHMARK(BM_RecordBuildAndCopy);

void BM_RecordTextLine(benchmark::State& ioState) {
  const kxResourceRecord rec(nullptr, "host", "3600", kTypeSOA,
                             "ns\thostmaster\t2024031501\t3600\t600\t86400\t60", "primary");
  std::ostringstream out;
  for (auto _ : ioState) {
    out.str(std::string());
    rec.writeText(out);
    benchmark::DoNotOptimize(out);
  }
}
BENCHMARK(BM_RecordTextLine);

void BM_TypeLookups(benchmark::State& ioState) {
  for (auto _ : ioState) {
    benchmark::DoNotOptimize(kxResourceRecord::getTypeFromName("naptr"));
    benchmark::DoNotOptimize(kxResourceRecord::getDataFormat(kTypeSRV));
  }
}
BENCHMARK(BM_TypeLookups);

kxProperties sampleSet(int inCount) {
  kxProperties set;
  set.setName("zone");
  for (int i = 0; i < inCount; ++i) set.setValue("Key" + std::to_string(i), "value \"" + std::to_string(i) + "\" & more");
  return set;
}

void BM_PropertyLookup(benchmark::State& ioState) {
  const kxProperties set = sampleSet(static_cast<int>(ioState.range(0)));
  const std::string key = "KEY" + std::to_string(ioState.range(0) / 2);
  for (auto _ : ioState) benchmark::DoNotOptimize(set.getValue(key));
}
BENCHMARK(BM_PropertyLookup)->Arg(8)->Arg(1024);

void BM_PropertyDocumentRoundTrip(benchmark::State& ioState) {
  const std::list<kxProperties> sets{sampleSet(100)};
  for (auto _ : ioState) {
    std::ostringstream out;
    kxProperties::writeDocument(out, sets, true);
    std::istringstream in(out.str());
    std::list<kxProperties> read;
    kxProperties::readDocument(in, read);
    benchmark::DoNotOptimize(read);
  }
}
BENCHMARK(BM_PropertyDocumentRoundTrip);

}  // namespace
