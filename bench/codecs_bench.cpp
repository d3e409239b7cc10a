// Throughput of the Quoted-Printable and Base64 codecs on values of the sizes
// found in vCard files: short text (a note, an address) and photos.
//
//   build-*/bin/codecs_bench --benchmark_counters_tabular=true
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "coding/codecs.h"

namespace {

using namespace tarvovcard::coding;

// Mostly printable text with the odd accented letter and line break, as in a
// note written in a Western European language.
std::string SampleText(std::size_t size) {
  std::mt19937 engine(42);
  const std::string letters = "abcdefghijklmnopqrstuvwxyz      ,.;ABCDEFG0123456789";
  std::string text(size, '\0');
  for (char& c : text) {
    const auto pick = engine() % 100;
    c = pick < 2 ? '\xE9' : pick < 3 ? '\n' : letters[engine() % letters.size()];
  }
  return text;
}

std::vector<unsigned char> SampleBytes(std::size_t size) {
  std::mt19937 engine(7);
  std::vector<unsigned char> bytes(size);
  for (auto& b : bytes) b = static_cast<unsigned char>(engine());
  return bytes;
}

void BM_EncodeQuotedPrintable(benchmark::State& state) {
  const std::string text = SampleText(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(EncodeQuotedPrintable(text));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_EncodeQuotedPrintable)->Arg(64)->Arg(4 << 10)->Arg(1 << 20);

void BM_DecodeQuotedPrintable(benchmark::State& state) {
  const std::string encoded =
      EncodeQuotedPrintable(SampleText(static_cast<std::size_t>(state.range(0))));
  for (auto _ : state) benchmark::DoNotOptimize(DecodeQuotedPrintable(encoded));
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(encoded.size()));
}
BENCHMARK(BM_DecodeQuotedPrintable)->Arg(64)->Arg(4 << 10)->Arg(1 << 20);

void BM_EncodeBase64(benchmark::State& state) {
  const std::vector<unsigned char> bytes = SampleBytes(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(EncodeBase64(bytes));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_EncodeBase64)->Arg(64)->Arg(4 << 10)->Arg(1 << 20);

void BM_DecodeBase64(benchmark::State& state) {
  const std::string encoded = EncodeBase64(SampleBytes(static_cast<std::size_t>(state.range(0))));
  std::vector<unsigned char> bytes;
  for (auto _ : state) {
    DecodeBase64(encoded, bytes);
    benchmark::DoNotOptimize(bytes.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(encoded.size()));
}
BENCHMARK(BM_DecodeBase64)->Arg(64)->Arg(4 << 10)->Arg(1 << 20);

// The baseline the codecs are measured against: copying the same input.
void BM_CopyBaseline(benchmark::State& state) {
  const std::string text = SampleText(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(std::string(text));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_CopyBaseline)->Arg(64)->Arg(4 << 10)->Arg(1 << 20);

}  // namespace
