// Address text to value and back, side by side with the C library's inet_pton/inet_ntop on
// the same texts and values. "allocs" counts heap allocations per operation (must be 0).
#include <arpa/inet.h>
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "orvo/util/kxipv4address.h"
#include "orvo/util/kxipv6.h"

#include "kxallocationcounter.h"

namespace {

constexpr size_t kTexts = 256;

const std::vector<std::string>& ipv4Texts() {
  static const std::vector<std::string> texts = [] {
    std::mt19937 random(4);
    std::vector<std::string> out;
    for (size_t i = 0; i < kTexts; ++i) {
      // Mostly full-size octets, as in real address lists.
      std::string text;
      for (int o = 0; o < 4; ++o) {
        if (o > 0) text += '.';
        text += std::to_string(random() % 4 == 0 ? random() % 100 : 100 + random() % 156);
      }
      out.push_back(text);
    }
    return out;
  }();
  return texts;
}

const std::vector<std::string>& ipv6Texts() {
  static const std::vector<std::string> texts = [] {
    std::mt19937 random(6);
    std::vector<std::string> out;
    char text[INET6_ADDRSTRLEN];
    for (size_t i = 0; i < kTexts; ++i) {
      uint8_t bytes[16] = {0x20, 0x01, 0x0d, 0xb8};
      const int shape = int(i % 4);
      for (int b = 4; b < 16; ++b) bytes[b] = uint8_t(random());
      if (shape == 1) std::fill(bytes + 6, bytes + 12, 0);   // a gap in the middle
      if (shape == 2) std::fill(bytes + 8, bytes + 15, 0);   // a gap near the end
      if (shape == 3) {                                       // IPv4-mapped
        std::fill(bytes, bytes + 10, 0);
        bytes[10] = bytes[11] = 0xFF;
      }
      inet_ntop(AF_INET6, bytes, text, sizeof text);
      out.push_back(text);
    }
    return out;
  }();
  return texts;
}

template <typename Body>
void run(benchmark::State& ioState, Body inBody) {
  size_t allocations = 0;
  size_t operations = 0;
  for (auto _ : ioState) {
    const size_t before = gAllocations.load(std::memory_order_relaxed);
    inBody();
    allocations += gAllocations.load(std::memory_order_relaxed) - before;
    operations += kTexts;
  }
  ioState.SetItemsProcessed(int64_t(operations));
  ioState.counters["allocs"] = double(allocations) / double(operations);
}

void IPv4TextToValue_orvo(benchmark::State& ioState) {
  const auto& texts = ipv4Texts();
  run(ioState, [&] {
    for (const std::string& text : texts) {
      kxIPv4Address address(text.c_str());
      benchmark::DoNotOptimize(address);
    }
  });
}
void IPv4TextToValue_inet_pton(benchmark::State& ioState) {
  const auto& texts = ipv4Texts();
  run(ioState, [&] {
    for (const std::string& text : texts) {
      in_addr address;
      benchmark::DoNotOptimize(inet_pton(AF_INET, text.c_str(), &address));
      benchmark::DoNotOptimize(address);
    }
  });
}
void IPv6TextToValue_orvo(benchmark::State& ioState) {
  const auto& texts = ipv6Texts();
  run(ioState, [&] {
    for (const std::string& text : texts) {
      kxIPv6 address(text.c_str());
      benchmark::DoNotOptimize(address);
    }
  });
}
void IPv6TextToValue_inet_pton(benchmark::State& ioState) {
  const auto& texts = ipv6Texts();
  run(ioState, [&] {
    for (const std::string& text : texts) {
      in6_addr address;
      benchmark::DoNotOptimize(inet_pton(AF_INET6, text.c_str(), &address));
      benchmark::DoNotOptimize(address);
    }
  });
}

template <typename Address>
std::vector<Address> parsedAll(const std::vector<std::string>& inTexts) {
  std::vector<Address> out;
  for (const std::string& text : inTexts) out.emplace_back(text.c_str());
  return out;
}

void IPv4ValueToText_orvo(benchmark::State& ioState) {
  const auto values = parsedAll<kxIPv4Address>(ipv4Texts());
  char text[kxIPv4Address::kTextSize];
  run(ioState, [&] {
    for (const kxIPv4Address& value : values) benchmark::DoNotOptimize(value.toString(text));
  });
}
void IPv4ValueToText_inet_ntop(benchmark::State& ioState) {
  const auto values = parsedAll<kxIPv4Address>(ipv4Texts());
  char text[INET_ADDRSTRLEN];
  run(ioState, [&] {
    for (const kxIPv4Address& value : values) benchmark::DoNotOptimize(inet_ntop(AF_INET, &value, text, sizeof text));
  });
}
void IPv6ValueToText_orvo(benchmark::State& ioState) {
  const auto values = parsedAll<kxIPv6>(ipv6Texts());
  char text[kxIPv6::kTextSize];
  run(ioState, [&] {
    for (const kxIPv6& value : values) benchmark::DoNotOptimize(value.toString(text));
  });
}
void IPv6ValueToText_inet_ntop(benchmark::State& ioState) {
  const auto values = parsedAll<kxIPv6>(ipv6Texts());
  char text[INET6_ADDRSTRLEN];
  run(ioState, [&] {
    for (const kxIPv6& value : values)
      benchmark::DoNotOptimize(inet_ntop(AF_INET6, value.getBytes(), text, sizeof text));
  });
}

BENCHMARK(IPv4TextToValue_orvo);
BENCHMARK(IPv4TextToValue_inet_pton);
BENCHMARK(IPv6TextToValue_orvo);
BENCHMARK(IPv6TextToValue_inet_pton);
BENCHMARK(IPv4ValueToText_orvo);
BENCHMARK(IPv4ValueToText_inet_ntop);
BENCHMARK(IPv6ValueToText_orvo);
BENCHMARK(IPv6ValueToText_inet_ntop);

}  // namespace
