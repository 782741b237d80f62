// Sorting a zone of a million mixed records by name and by type, and writing it as a master
// file into memory. Each sort starts from the same shuffled collection order: the copy that
// restores it is made with the timer paused.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "orvo/datastruct/kxrecordcollection.h"

namespace {

constexpr uint32_t kZoneRecords = 1000000;

// About three records per owner name, of the usual types, stored in random order behind
// the SOA record.
const kxRecordCollection& shuffledZone() {
  static const kxRecordCollection zone = [] {
    kxRecordCollection built("bench.example.");
    built.setDefaultTTL("1h");
    built.addRecord("", "", kTypeSOA, "ns1\thostmaster\t2026121001\t3600\t600\t1209600\t300");
    std::mt19937 random(1000003);
    std::vector<uint32_t> order(kZoneRecords - 1);
    for (uint32_t i = 0; i < order.size(); ++i) order[i] = i;
    std::shuffle(order.begin(), order.end(), random);
    for (const uint32_t i : order) {
      const std::string host = "host" + std::to_string(i / 3) + (i % 7 == 0 ? ".lab" : "");
      const std::string n = std::to_string(i % 65536);
      switch (i % 8) {
        case 0:
        case 1:
          built.addRecord(host, "", kTypeA, "10." + std::to_string(i >> 16 & 255) + "." + std::to_string(i >> 8 & 255) +
                                                "." + std::to_string(i & 255));
          break;
        case 2:
          built.addRecord(host, "", kTypeAAAA, "2001:db8::" + std::to_string(i % 10000));
          break;
        case 3:
          built.addRecord(host, "", kTypeMX, std::to_string(i % 50) + "\tmail" + std::to_string(i % 100));
          break;
        case 4:
          built.addRecord(host, "300", kTypeTXT, "v=spf1 -all\tid " + n);
          break;
        case 5:
          built.addRecord(host, "", kTypeCNAME, "alias" + n + ".bench.example.");
          break;
        case 6:
          built.addRecord("_sip._tcp." + host, "", kTypeSRV, "0\t" + std::to_string(i % 10) + "\t5060\tsip" + n);
          break;
        default:
          built.addRecord(host, "", kTypeNS, "ns" + std::to_string(i % 4) + ".other.example.");
          break;
      }
    }
    return built;
  }();
  return zone;
}

void sortZone(benchmark::State& ioState, int32_t inKey, bool inDescending) {
  const kxRecordCollection& source = shuffledZone();
  // Destroying the previous copy and making the next one are both outside the timed part.
  std::optional<kxRecordCollection> zone;
  for (auto _ : ioState) {
    ioState.PauseTiming();
    zone.reset();
    zone.emplace(source);
    ioState.ResumeTiming();
    zone->sortRecords(inKey, inDescending);
    benchmark::DoNotOptimize(zone->getRecord(0));
  }
  ioState.counters["time/record"] =
      benchmark::Counter(double(source.getRecordCount()),
                         benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_SortByName(benchmark::State& ioState) { sortZone(ioState, kxRecordCollection::kSortByName, false); }
void BM_SortByType(benchmark::State& ioState) { sortZone(ioState, kxRecordCollection::kSortByType, false); }
void BM_SortByNameDescending(benchmark::State& ioState) {
  sortZone(ioState, kxRecordCollection::kSortByName, true);
}
BENCHMARK(BM_SortByName)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SortByType)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SortByNameDescending)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_WriteMasterFile(benchmark::State& ioState) {
  kxRecordCollection zone(shuffledZone());
  zone.sortRecords(kxRecordCollection::kSortByName);
  size_t bytes = 0;
  for (auto _ : ioState) {
    std::ostringstream out;
    zone.writeMasterFile(out, true);
    bytes = out.view().size();
    benchmark::DoNotOptimize(bytes);
  }
  ioState.SetBytesProcessed(int64_t(bytes) * ioState.iterations());
  ioState.counters["time/record"] =
      benchmark::Counter(double(zone.getRecordCount()),
                         benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_WriteMasterFile)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
