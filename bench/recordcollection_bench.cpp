// Record collections at zone scale: the zone of bench/zone_compare (the same generator, so
// the same mix of types, names and data), stored record by record as the master-file
// reader stores it. Measured: the memory each stored record takes, the operations whose
// cost must not grow with the zone (removals in random order, counts after insertions,
// lookups by name, positions and walks by index), and the passes over the whole zone that
// follow its reading (the name index, the zone checks).
//
// Every benchmark takes the zone size as its argument, so that a build of an older library
// can be run at a size it manages in reasonable time beside this one.
#include <benchmark/benchmark.h>

#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "orvo/datastruct/kxrecordcollection.h"
#include "orvo/dns/kxzonecheck.h"

namespace {

constexpr int32_t kAnswer = kxRecordCollection::kAnswerSection;

// Resident memory of this process in bytes (Linux).
double residentBytes() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return double(resident) * double(sysconf(_SC_PAGESIZE));
}

std::string hex(unsigned inValue, bool inPad) {
  char text[16];
  std::snprintf(text, sizeof text, inPad ? "%08x" : "%x", inValue);
  return text;
}

// Record inIndex (from 3) of the zone of bench/zone_compare, with the generator's state in
// ioSeed: the same linear congruential sequence and the same choices as its awk program.
void addZoneRecord(kxRecordCollection& ioZone, uint32_t inIndex, uint64_t& ioSeed) {
  const uint32_t i = inIndex;
  ioSeed = (ioSeed * 1103515245 + 12345) % 2147483648;
  const uint32_t r = uint32_t(ioSeed / 65536) % 100;
  const std::string n = std::to_string(i / 2);
  if (i % 100 == 0) ioZone.addRecord("", "", kNoRecordType, "", "block " + std::to_string(i / 100));
  std::string name, ttl, data;
  kxResRecType type;
  if (r < 35) {
    type = kTypeA;
    name = "h" + n;
    ttl = r < 5 ? "600" : "";
    data = "10." + std::to_string(i / 65536 % 256) + "." + std::to_string(i / 256 % 256) + "." + std::to_string(i % 256);
  } else if (r < 50) {
    type = kTypeAAAA;
    name = "h" + n;
    data = "2001:db8:" + hex(i / 65536, false) + "::" + hex(i % 65536, false);
  } else if (r < 60) {
    type = kTypeCNAME;
    name = "c" + std::to_string(i);
    data = "h" + std::to_string(ioSeed % 500000);
  } else if (r < 68) {
    type = kTypeMX;
    name = "m" + n;
    data = std::to_string(10 * (i % 3)) + "\tmx" + std::to_string(i % 7) + ".example.net.";
  } else if (r < 78) {
    type = kTypeTXT;
    name = "t" + n;
    data = "v=spf1 ip4:10." + std::to_string(i % 256) + ".0.0/16 -all\ttoken=" + hex(unsigned(ioSeed), true);
  } else if (r < 83) {
    type = kTypeSRV;
    name = "_s" + n + "._tcp";
    data = std::to_string(i % 10) + "\t" + std::to_string(i % 100) + "\t" + std::to_string(5060 + i % 10) + "\tsip" +
           std::to_string(i % 5) + ".example.net.";
  } else if (r < 88) {
    type = kTypeNS;
    name = "d" + n;
    data = "ns" + std::to_string(i % 4) + ".example.net.";
  } else if (r < 96) {
    type = kTypePTR;
    name = std::to_string(i) + ".p";
    data = "h" + n + ".bench.example.com.";
  } else {
    type = kTypeHINFO;
    name = "x" + n;
    data = "PC-" + std::to_string(i % 9) + "\tLinux";
  }
  ioZone.insertRecord(kxResourceRecord(&ioZone, name + ".bench.example.com.", ttl, type, data, ""), -1, kAnswer);
}

std::unique_ptr<kxRecordCollection> buildZone(uint32_t inRecords) {
  auto zone = std::make_unique<kxRecordCollection>("bench.example.com.");
  zone->setDefaultTTL("3600");
  zone->addRecord("", "", kTypeSOA, "ns1.example.net.\thostmaster.example.net.\t2024010101\t7200\t3600\t1209600\t300");
  zone->addRecord("", "", kTypeNS, "ns1.example.net.");
  zone->addRecord("", "", kTypeNS, "ns2.example.net.");
  uint64_t seed = 12345;
  for (uint32_t i = 3; zone->getRecordCount() < inRecords; ++i) addZoneRecord(*zone, i, seed);
  return zone;
}

// One zone at a time, kept between benchmarks of the same size; a benchmark that changes it
// puts it back as it was.
kxRecordCollection& zoneOfSize(uint32_t inRecords) {
  static std::unique_ptr<kxRecordCollection> zone;
  static uint32_t size = 0;
  if (!zone || size != inRecords) {
    zone.reset();
    zone = buildZone(inRecords);
    size = inRecords;
  }
  return *zone;
}

// Owner names of the zone, for lookups, drawn at random from its records.
std::vector<std::string> sampleNames(kxRecordCollection& ioZone, size_t inCount) {
  std::mt19937 random(7);
  std::vector<std::string> names;
  const uint32_t records = ioZone.getRecordCount();
  while (names.size() < inCount) {
    const kxResourceRecord* rec = ioZone.getRecord(uint32_t(random() % records));
    if (rec->type() != kNoRecordType) names.push_back(rec->getFullName());
  }
  return names;
}

// Storing the zone; bytes/record is the growth of the resident memory while the zone is
// built, over its records (freed memory is handed back first, so earlier runs do not hide
// the growth); heap/record the bytes malloc handed out for it; named/record the resident
// growth once a name has been looked up (which builds the name index, where there is one).
void BM_StoreZone(benchmark::State& ioState) {
  const auto records = uint32_t(ioState.range(0));
  double bytesPerRecord = 0;
  double heapPerRecord = 0;
  double namedPerRecord = 0;
  for (auto _ : ioState) {
    malloc_trim(0);
    const double before = residentBytes();
    const double heapBefore = double(mallinfo2().uordblks);
    std::unique_ptr<kxRecordCollection> zone = buildZone(records);
    bytesPerRecord = (residentBytes() - before) / records;
    heapPerRecord = (double(mallinfo2().uordblks) - heapBefore) / records;
    ioState.PauseTiming();
    benchmark::DoNotOptimize(zone->findRecords(nullptr, "h7.bench.example.com.", kAnyRecordType));
    namedPerRecord = (residentBytes() - before) / records;
    zone.reset();
    ioState.ResumeTiming();
  }
  ioState.counters["bytes/record"] = bytesPerRecord;
  ioState.counters["heap/record"] = heapPerRecord;
  ioState.counters["named/record"] = namedPerRecord;
  ioState.counters["time/record"] = benchmark::Counter(
      double(records), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_StoreZone)->Arg(1000000)->Iterations(2)->Unit(benchmark::kMillisecond);

// The first lookup by name, which builds the name index over the whole zone (as the zone
// checks do once the zone is read); the zone is built again outside the timing.
void BM_BuildNameIndex(benchmark::State& ioState) {
  const auto records = uint32_t(ioState.range(0));
  for (auto _ : ioState) {
    ioState.PauseTiming();
    std::unique_ptr<kxRecordCollection> zone = buildZone(records);
    ioState.ResumeTiming();
    benchmark::DoNotOptimize(zone->firstNamed("h7"));
    ioState.PauseTiming();
    zone.reset();
    ioState.ResumeTiming();
  }
  ioState.counters["time/record"] = benchmark::Counter(
      double(records), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_BuildNameIndex)->Arg(1000000)->Iterations(5)->Unit(benchmark::kMillisecond);

// The zone checks over the whole zone (the name index built first, as the checks build it),
// as kxzone check runs them once the zone is read; the zone is built again outside the timing.
void BM_CheckZone(benchmark::State& ioState) {
  const auto records = uint32_t(ioState.range(0));
  size_t findings = 0;
  for (auto _ : ioState) {
    ioState.PauseTiming();
    std::unique_ptr<kxRecordCollection> zone = buildZone(records);
    findings = 0;
    ioState.ResumeTiming();
    kxCheckZone(*zone, [&findings](const kxZoneFinding&) { ++findings; });
    ioState.PauseTiming();
    zone.reset();
    ioState.ResumeTiming();
  }
  ioState.counters["findings"] = double(findings);
  ioState.counters["time/record"] = benchmark::Counter(
      double(records), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_CheckZone)->Arg(1000000)->Iterations(5)->Unit(benchmark::kMillisecond);

// removeRecord of a tenth of the zone's records, one by one in random order; the time is
// that of all the removals (the zone is built again outside the timing).
void BM_RemoveTenthInRandomOrder(benchmark::State& ioState) {
  const auto records = uint32_t(ioState.range(0));
  for (auto _ : ioState) {
    ioState.PauseTiming();
    std::unique_ptr<kxRecordCollection> zone = buildZone(records);
    std::vector<const kxResourceRecord*> victims;
    for (uint32_t i = 0; i < records; i += 10) victims.push_back(zone->getRecord(i));
    std::shuffle(victims.begin(), victims.end(), std::mt19937(11));
    ioState.ResumeTiming();
    for (const kxResourceRecord* rec : victims) zone->removeRecord(rec);
    ioState.PauseTiming();
    benchmark::DoNotOptimize(zone->getRecordCount());
    zone.reset();
    ioState.ResumeTiming();
  }
  ioState.counters["removals"] = double(records / 10);
  ioState.counters["time/removal"] = benchmark::Counter(
      double(records / 10), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_RemoveTenthInRandomOrder)->Arg(200000)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond);

// An insertion followed by the counts a caller asks for then: of the record's type and of
// all types, in its section. 10,000 insertions (100 at the smaller size, which is there for
// libraries that count by walking); the records are removed afterwards. The time is that
// of the two counts (manual timing); time/insert that of the insertion before them.
void BM_CountAfterInsert(benchmark::State& ioState) {
  kxRecordCollection& zone = zoneOfSize(uint32_t(ioState.range(0)));
  std::vector<const kxResourceRecord*> added;
  added.reserve(10000);
  uint64_t total = 0;
  double insertSeconds = 0;
  for (auto _ : ioState) {
    const auto start = std::chrono::steady_clock::now();
    const kxResourceRecord* rec = zone.addRecord("new" + std::to_string(added.size()), "", kTypeMX, "10\tmx.example.net.");
    const auto inserted = std::chrono::steady_clock::now();
    total += zone.getRecordCount(kTypeMX, kAnswer);
    total += zone.getRecordCount(kAnyRecordType, kAnswer);
    const auto counted = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(total);
    added.push_back(rec);
    insertSeconds += std::chrono::duration<double>(inserted - start).count();
    ioState.SetIterationTime(std::chrono::duration<double>(counted - inserted).count());
  }
  for (const kxResourceRecord* rec : added) zone.removeRecord(rec);
  ioState.counters["time/insert"] = insertSeconds / double(added.size());
}
BENCHMARK(BM_CountAfterInsert)->Arg(200000)->Iterations(100)->UseManualTime();
BENCHMARK(BM_CountAfterInsert)->Arg(1000000)->Iterations(10000)->UseManualTime();

// findRecords by a name of the zone, counting only, and copying the records into an
// output collection.
void BM_FindRecordsByName(benchmark::State& ioState) {
  kxRecordCollection& zone = zoneOfSize(uint32_t(ioState.range(0)));
  const std::vector<std::string> names = sampleNames(zone, 1000);
  kxRecordCollection found;
  size_t i = 0;
  uint32_t total = 0;
  for (auto _ : ioState) {
    const std::string& name = names[i++ % names.size()];
    total += ioState.range(1) ? zone.findRecords(&found, name.c_str(), kAnyRecordType)
                              : zone.findRecords(nullptr, name.c_str(), kAnyRecordType);
  }
  benchmark::DoNotOptimize(total);
}
BENCHMARK(BM_FindRecordsByName)->ArgsProduct({{200000, 1000000}, {0, 1}});

// recordExists for a record of the zone.
void BM_RecordExists(benchmark::State& ioState) {
  kxRecordCollection& zone = zoneOfSize(uint32_t(ioState.range(0)));
  std::mt19937 random(5);
  std::vector<const kxResourceRecord*> samples;
  while (samples.size() < 1000) {
    const kxResourceRecord* rec = zone.getRecord(uint32_t(random() % zone.getRecordCount()));
    if (rec->type() != kNoRecordType && rec->type() < kNumRecordTypes) samples.push_back(rec);
  }
  size_t i = 0;
  bool all = true;
  for (auto _ : ioState) {
    const kxResourceRecord* rec = samples[i++ % samples.size()];
    all &= zone.recordExists(rec->getName(), rec->type(), rec->getData());
  }
  if (!all) ioState.SkipWithError("a record of the zone was not found");
}
BENCHMARK(BM_RecordExists)->Arg(200000)->Arg(1000000);

// getRecordIndex and containsRecord of records spread over the zone.
void BM_RecordIndex(benchmark::State& ioState) {
  kxRecordCollection& zone = zoneOfSize(uint32_t(ioState.range(0)));
  std::mt19937 random(3);
  std::vector<const kxResourceRecord*> samples;
  for (int k = 0; k < 1000; ++k) samples.push_back(zone.getRecord(uint32_t(random() % zone.getRecordCount())));
  size_t i = 0;
  uint64_t total = 0;
  for (auto _ : ioState) {
    const kxResourceRecord* rec = samples[i++ % samples.size()];
    total += zone.getRecordIndex(rec, kAnswer) + zone.containsRecord(rec);
  }
  benchmark::DoNotOptimize(total);
}
BENCHMARK(BM_RecordIndex)->Arg(200000)->Arg(1000000);

// Walks by index over the A records: forwards, backwards, and over A and AAAA records in
// turn (two walks interleaved). time/step must not grow with the zone. (The smallest size
// is there for libraries whose walks restart from the first record.)
void BM_WalkByIndex(benchmark::State& ioState) {
  kxRecordCollection& zone = zoneOfSize(uint32_t(ioState.range(0)));
  const int mode = int(ioState.range(1));
  const uint32_t count = std::min(zone.getRecordCount(kTypeA, kAnswer), zone.getRecordCount(kTypeAAAA, kAnswer));
  for (auto _ : ioState) {
    for (uint32_t i = 0; i < count; ++i) {
      if (mode == 0) {
        benchmark::DoNotOptimize(zone.getRecord(i, kTypeA, kAnswer));
      } else if (mode == 1) {
        benchmark::DoNotOptimize(zone.getRecord(count - 1 - i, kTypeA, kAnswer));
      } else {
        benchmark::DoNotOptimize(zone.getRecord(i, kTypeA, kAnswer));
        benchmark::DoNotOptimize(zone.getRecord(i, kTypeAAAA, kAnswer));
      }
    }
  }
  const double steps = double(count) * (mode == 2 ? 2 : 1);
  ioState.counters["time/step"] =
      benchmark::Counter(steps, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_WalkByIndex)->ArgsProduct({{20000, 200000, 1000000}, {0, 1, 2}})->Unit(benchmark::kMillisecond);

}  // namespace
