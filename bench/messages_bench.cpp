// Cost of a parse error's final text, of block replacement and of line-end conversion.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "orvo/messages/kxerrormessage.h"
#include "orvo/util/kxstringutils.h"

namespace {

void BM_ParseErrorText(benchmark::State& state) {
  kxErrorMessage message(kxErr_parserExpectedEndOfLine,
                         "Error in file \"$f\" line $l. Expected $e, found \"$t\".", 'f', "example.com.zone", 'l',
                         12345u);
  message.addParam('t', "IN");
  message.addParam('e', "end of line");
  for (auto _ : state) benchmark::DoNotOptimize(message.getText());
}
BENCHMARK(BM_ParseErrorText);

void BM_ReplaceAllInBlock(benchmark::State& state) {
  const size_t size = static_cast<size_t>(state.range(0));
  std::string source;
  while (source.size() + 6 <= size) source += "$e-ab ";
  std::vector<char> block(size * 2 + 1);
  for (auto _ : state) {
    std::copy(source.begin(), source.end(), block.begin());
    benchmark::DoNotOptimize(replaceInBlock(block.data(), static_cast<uint32_t>(source.size()),
                                            static_cast<uint32_t>(size * 2), "$e", 2, "value", 5, true));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * source.size()));
}
BENCHMARK(BM_ReplaceAllInBlock)->Arg(256)->Arg(4096);

void BM_ConvertLineEndsToCRLF(benchmark::State& state) {
  std::string source;
  while (source.size() < static_cast<size_t>(state.range(0))) source += "www 3600 IN A 192.0.2.1\n";
  for (auto _ : state) {
    std::string text = source;
    convertLineEnds(text, kLineEndCRLF, true);
    benchmark::DoNotOptimize(text.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * source.size()));
}
BENCHMARK(BM_ConvertLineEndsToCRLF)->Arg(1 << 20);

}  // namespace
