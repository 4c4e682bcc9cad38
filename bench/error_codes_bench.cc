// ErrorMessageForId: a code in the catalogue, a code outside it, and the
// baseline of a direct index into a flat array of the same texts.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <iterator>

#include "bench/run_order.h"
#include "cssupport/errors/error_codes.h"
#include "cssupport/errors/internal/catalogue.h"

namespace {

using KoraConfigStore::CSErrorCodes;
using KoraConfigStore::internal::kCatalogueRows;

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

// Every catalogued code in turn, so the lookup does not stay on one warm slot.
void BM_ErrorMessageForId_Sweep(benchmark::State& state) {
  std::size_t index = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        KoraConfigStore::ErrorMessageForId(kCatalogueRows[index].code));
    index = index + 1 == std::size(kCatalogueRows) ? 0 : index + 1;
  }
  StampRunOrder(state);
}
BENCHMARK(BM_ErrorMessageForId_Sweep);

// Baseline: the cheapest conceivable lookup, an array index.
void BM_ErrorMessageBaseline_ArrayIndex(benchmark::State& state) {
#define BENCH_TEXT_(name, code, text) text,
  static const char* const kTexts[] = {CSSUPPORT_ERROR_CATALOGUE(BENCH_TEXT_)};
#undef BENCH_TEXT_
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
