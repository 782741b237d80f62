// A zone of a million mixed records: storing them, the memory each stored record takes
// (resident memory growth over the records, the records' own strings included), cached
// counts, and walking the records of one type by index, whose cost per step must not grow
// with the zone.
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>

#include "orvo/datastruct/kxrecordcollection.h"

namespace {

constexpr uint32_t kZoneRecords = 1000000;

// Resident memory of this process in bytes (Linux).
double residentBytes() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return double(resident) * double(sysconf(_SC_PAGESIZE));
}

// Record i of the mixed zone, as the master-file reader builds it: absolute names, owned
// by the collection, then stored. About three records per owner name.
void addMixed(kxRecordCollection& ioZone, uint32_t inIndex) {
  const uint32_t i = inIndex;
  const std::string host = "host" + std::to_string(i / 3) + ".bench.example.";
  const std::string n = std::to_string(i % 65536);
  kxResRecType type;
  std::string data;
  switch (i % 8) {
    case 0:
    case 1:
      type = kTypeA;
      data = "10." + std::to_string(i >> 16 & 255) + "." + std::to_string(i >> 8 & 255) + "." + std::to_string(i & 255);
      break;
    case 2:
      type = kTypeAAAA;
      data = "2001:db8::" + std::to_string(i % 10000);
      break;
    case 3:
      type = kTypeMX;
      data = std::to_string(i % 50) + "\tmail" + std::to_string(i % 100) + ".bench.example.";
      break;
    case 4:
      type = kTypeTXT;
      data = "v=spf1 -all\tid " + n;
      break;
    case 5:
      type = kTypeCNAME;
      data = "alias" + n + ".bench.example.";
      break;
    case 6:
      type = kTypeSRV;
      data = "0\t" + std::to_string(i % 10) + "\t5060\tsip" + n + ".bench.example.";
      break;
    default:
      type = kTypeNS;
      data = "ns" + std::to_string(i % 4) + ".other.example.";
      break;
  }
  const kxResourceRecord record(&ioZone, host, "", type, data, "");
  ioZone.insertRecord(record, -1, kxRecordCollection::kAnswerSection);
}

std::unique_ptr<kxRecordCollection> buildZone(uint32_t inRecords) {
  auto zone = std::make_unique<kxRecordCollection>("bench.example.");
  zone->addRecord("", "", kTypeSOA, "ns1\thostmaster\t2026121001\t3600\t600\t1209600\t300");
  for (uint32_t i = 1; i < inRecords; ++i) addMixed(*zone, i);
  return zone;
}

// One zone at a time, kept between benchmarks of the same size.
kxRecordCollection& zoneOfSize(uint32_t inRecords) {
  static std::unique_ptr<kxRecordCollection> zone;
  if (!zone || zone->getRecordCount() != inRecords) {
    zone.reset();
    zone = buildZone(inRecords);
  }
  return *zone;
}

// Storing a million records; bytes/record is the growth of the resident memory while the
// zone is built, over its records (freed memory is handed back first, so earlier runs do
// not hide the growth).
void BM_InsertMixed(benchmark::State& ioState) {
  double bytesPerRecord = 0;
  double heapPerRecord = 0;
  for (auto _ : ioState) {
    malloc_trim(0);
    const double before = residentBytes();
    const double heapBefore = double(mallinfo2().uordblks);
    std::unique_ptr<kxRecordCollection> zone = buildZone(kZoneRecords);
    bytesPerRecord = (residentBytes() - before) / kZoneRecords;
    heapPerRecord = (double(mallinfo2().uordblks) - heapBefore) / kZoneRecords;
    benchmark::DoNotOptimize(zone->getRecord(0));
    ioState.PauseTiming();
    zone.reset();
    ioState.ResumeTiming();
  }
  ioState.counters["bytes/record"] = bytesPerRecord;
  ioState.counters["heap/record"] = heapPerRecord;  // bytes handed out by malloc
  ioState.counters["time/record"] = benchmark::Counter(
      double(kZoneRecords), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_InsertMixed)->Iterations(2)->Unit(benchmark::kMillisecond);

// getRecordCount after its first call, per type and section.
void BM_RecordCountCached(benchmark::State& ioState) {
  kxRecordCollection& zone = zoneOfSize(kZoneRecords);
  benchmark::DoNotOptimize(zone.getRecordCount(kTypeMX, kxRecordCollection::kAnswerSection));
  for (auto _ : ioState) {
    benchmark::DoNotOptimize(zone.getRecordCount(kTypeMX, kxRecordCollection::kAnswerSection));
    benchmark::DoNotOptimize(zone.getRecordCount(kAnyRecordType, kxRecordCollection::kAnswerSection));
  }
}
BENCHMARK(BM_RecordCountCached);

// getRecord (0), (1), ... over every A record, for zones of growing size: time/step stays
// flat when each step continues from the last one.
void BM_WalkType(benchmark::State& ioState) {
  kxRecordCollection& zone = zoneOfSize(uint32_t(ioState.range(0)));
  const uint32_t count = zone.getRecordCount(kTypeA, kxRecordCollection::kAnswerSection);
  for (auto _ : ioState) {
    for (uint32_t i = 0; i < count; ++i)
      benchmark::DoNotOptimize(zone.getRecord(i, kTypeA, kxRecordCollection::kAnswerSection));
  }
  ioState.counters["steps"] = double(count);
  ioState.counters["time/step"] =
      benchmark::Counter(double(count), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_WalkType)->Arg(10000)->Arg(100000)->Arg(kZoneRecords)->Unit(benchmark::kMillisecond);

}  // namespace
