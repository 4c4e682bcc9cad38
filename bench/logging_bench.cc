// The logging facade's cost over the host's own work.
//
// The host here is a sink: its LogV expands the line into a buffer and
// discards it, which is the work every real host does at least. This
// definition takes the place of the stand-in's LogV for the whole benchmark
// binary. The baseline hands LogV the already composed format directly.
//
// Heap allocations are counted through the global operator new and reported
// per call as the "allocs" counter.
#include <benchmark/benchmark.h>
#include <pthread.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "cssupport/hostrt/hostrt.h"
#include "cssupport/logging/cs_logger.h"

namespace {

std::atomic<long> gAllocations{0};

}  // namespace

// GCC flags a replacement operator delete that calls free() as mismatched with
// the operator new it cannot see is replaced too.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
  gAllocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

extern "C" void LogV(int level, const char* format, va_list args) {
  thread_local char line[4096];
  benchmark::DoNotOptimize(level);
  benchmark::DoNotOptimize(std::vsnprintf(line, sizeof line, format, args));
  benchmark::ClobberMemory();
}

namespace {

using CSLogger::CS_LOG_ERROR;
using CSLogger::CS_LOG_INFO;

// Runs `body` per iteration and reports heap allocations per call.
template <typename Body>
void Measure(benchmark::State& state, Body body) {
  const long before = gAllocations.load();
  for (auto _ : state) body();
  state.counters["allocs"] =
      benchmark::Counter(static_cast<double>(gAllocations.load() - before),
                         benchmark::Counter::kAvgIterations);
}

void SetContext(int entries) {
  CSLogger::CurrentContext.clear();
  if (entries >= 1) CSLogger::CurrentContext["db"] = "main";
  if (entries >= 2) CSLogger::CurrentContext["op"] = "load";
}

void BM_Log_EmptyContext(benchmark::State& state) {
  SetContext(0);
  Measure(state, [] {
    CSLogger::Log(CS_LOG_INFO, "loaded %d items from %s", 42, "store");
  });
}
BENCHMARK(BM_Log_EmptyContext);

void BM_Log_TwoContextEntries(benchmark::State& state) {
  SetContext(2);
  Measure(state, [] {
    CSLogger::Log(CS_LOG_INFO, "loaded %d items from %s", 42, "store");
  });
  SetContext(0);
}
BENCHMARK(BM_Log_TwoContextEntries);

void BM_DBLog_TwoContextEntries(benchmark::State& state) {
  SetContext(2);
  const std::string database = "configdb";
  Measure(state, [&database] {
    CSLogger::DBLog(database, CS_LOG_INFO, "loaded %d items from %s", 42,
                    "store");
  });
  SetContext(0);
}
BENCHMARK(BM_DBLog_TwoContextEntries);

void BM_LogErrCode_TwoContextEntries(benchmark::State& state) {
  SetContext(2);
  Measure(state, [] {
    CSLogger::LogErrCode(CS_LOG_ERROR, KoraConfigStore::CS_ERR_DB_OPEN, "main");
  });
  SetContext(0);
}
BENCHMARK(BM_LogErrCode_TwoContextEntries);

void CallLogV(int level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  LogV(level, format, args);
  va_end(args);
}

// Baseline: the host's LogV with the format Log composes for two context
// entries, built once outside the loop.
void BM_Baseline_LogV_Precomposed(benchmark::State& state) {
  char id[32];
  std::snprintf(id, sizeof id, "%lx",
                static_cast<unsigned long>(pthread_self()));
  const std::string format = std::string("info [ConfigStore:") + id +
                             " db=main op=load] loaded %d items from %s\n";
  Measure(state, [&format] { CallLogV(5, format.c_str(), 42, "store"); });
}
BENCHMARK(BM_Baseline_LogV_Precomposed);

}  // namespace
