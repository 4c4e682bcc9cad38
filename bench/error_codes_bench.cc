// ErrorMessageForId: a code in the catalogue, a code outside it, and the
// baseline of a direct index into a flat array of the same texts.
#include <benchmark/benchmark.h>

#include "bench/run_order.h"
#include "cssupport/errors/error_codes.h"

namespace {

using KoraConfigStore::CSErrorCodes;

void BM_ErrorMessageForId_Known(benchmark::State& state) {
  CSErrorCodes code = KoraConfigStore::CS_ERR_INVALID_JSON;
  for (auto _ : state) {
    benchmark::DoNotOptimize(code);
    benchmark::DoNotOptimize(KoraConfigStore::ErrorMessageForId(code));
  }
  StampRunOrder(state);
}
BENCHMARK(BM_ErrorMessageForId_Known);

void BM_ErrorMessageForId_Unknown(benchmark::State& state) {
  CSErrorCodes code = static_cast<CSErrorCodes>(1070);
  for (auto _ : state) {
    benchmark::DoNotOptimize(code);
    benchmark::DoNotOptimize(KoraConfigStore::ErrorMessageForId(code));
  }
  StampRunOrder(state);
}
BENCHMARK(BM_ErrorMessageForId_Unknown);

// Every code in turn, so the lookup does not stay on one warm slot.
void BM_ErrorMessageForId_Sweep(benchmark::State& state) {
  int code = 1001;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        KoraConfigStore::ErrorMessageForId(static_cast<CSErrorCodes>(code)));
    code = code == 1105 ? 1001 : code + 1;
  }
  StampRunOrder(state);
}
BENCHMARK(BM_ErrorMessageForId_Sweep);

// Baseline: the cheapest conceivable lookup, an array index.
void BM_ErrorMessageBaseline_ArrayIndex(benchmark::State& state) {
  static const char* const kTexts[105] = {"Failed to open database %s"};
  unsigned index = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(index);
    const char* text = kTexts[index];
    benchmark::DoNotOptimize(text);
  }
  StampRunOrder(state);
}
BENCHMARK(BM_ErrorMessageBaseline_ArrayIndex);

}  // namespace
