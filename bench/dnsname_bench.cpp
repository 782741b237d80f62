// Domain-name recognition throughput over long names, through the validators (whole-text
// feed) and, for comparison, through per-character processString.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "orvo/dns/kxdnsstatemachine.h"
#include "orvo/util/kxstringparser.h"

#include "kxallocationcounter.h"

namespace {

// Names of about 250 characters: labels of 20 to 63 letters, digits and inner hyphens.
const std::vector<std::string>& longNames() {
  static const std::vector<std::string> names = [] {
    std::mt19937 random(8);
    static const char alphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    std::vector<std::string> out;
    for (int n = 0; n < 64; ++n) {
      std::string name;
      while (name.size() < 190) {
        const size_t length = 20 + random() % 44;
        for (size_t i = 0; i < length; ++i)
          name += (i > 0 && i + 1 < length && random() % 12 == 0) ? '-' : alphabet[random() % 62];
        name += '.';
      }
      name += "example.test.";
      out.push_back(name);
    }
    return out;
  }();
  return names;
}

// Runs inBody once per iteration; reports bytes per second and heap allocations per name.
template <typename Body>
void run(benchmark::State& ioState, const std::vector<std::string>& inNames, Body inBody) {
  size_t allocations = 0;
  for (auto _ : ioState) {
    const size_t before = gAllocations.load(std::memory_order_relaxed);
    for (const std::string& name : inNames) inBody(name);
    allocations += gAllocations.load(std::memory_order_relaxed) - before;
  }
  size_t bytes = 0;
  for (const std::string& name : inNames) bytes += name.size();
  ioState.SetBytesProcessed(int64_t(ioState.iterations() * bytes));
  ioState.counters["allocs"] = double(allocations) / double(ioState.iterations() * inNames.size());
}

void DomainName_isDomainNameText(benchmark::State& ioState) {
  run(ioState, longNames(),
      [](const std::string& inName) { benchmark::DoNotOptimize(isDomainNameText(inName.data(), inName.size())); });
}

void DomainName_isValidDomainName(benchmark::State& ioState) {
  run(ioState, longNames(),
      [](const std::string& inName) { benchmark::DoNotOptimize(isValidDomainName(inName.c_str(), false)); });
}

void DomainName_processStringPerCharacter(benchmark::State& ioState) {
  run(ioState, longNames(), [](const std::string& inName) {
    kxDNSStateMachine machine(true, false, false);
    benchmark::DoNotOptimize(machine.processString(inName.data(), uint32_t(inName.size())));
  });
}

BENCHMARK(DomainName_isDomainNameText);
BENCHMARK(DomainName_isValidDomainName);
BENCHMARK(DomainName_processStringPerCharacter);

}  // namespace
