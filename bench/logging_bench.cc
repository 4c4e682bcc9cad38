// The logging facade's cost over the host's own work, against the least any
// logger does and against a peer a component could pick instead, all on the
// same line:
//
//   info [ConfigStore:<thread> db=main op=load] loaded 42 items from store
//
// The facade runs in the shared library, called through its exported entry
// points as a component calls it. The host is a sink: its LogV, defined here,
// expands the line into a stack buffer and discards it, the least a real host
// does. This executable exports its LogV, so it takes the stand-in's place for
// the shared library as well.
//
// Each line case has its baseline: LogV handed the format the facade composes
// for that line, composed once outside the loop. Beside them:
//   - the floor, one snprintf of the whole line into a stack buffer;
//   - spdlog with a pattern formatter whose custom flag renders the thread
//     and its context, into a sink that formats into memory and discards it.
// Every case checks, before it is timed, that it produces the line byte for
// byte, and reports heap allocations per line (malloc, calloc and realloc,
// operator new included) as the counter "allocs".
#include <benchmark/benchmark.h>
#include <pthread.h>
#include <spdlog/details/null_mutex.h>
#include <spdlog/logger.h>
#include <spdlog/pattern_formatter.h>
#include <spdlog/sinks/base_sink.h>

#include <algorithm>
#include <charconv>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "bench/run_order.h"
#include "cssupport/hostrt/hostrt.h"
#include "cssupport/logging/cs_logger.h"

namespace {

// Heap allocations made by the calling thread.
thread_local long tAllocations = 0;

// When set, the sinks and the floor write the line here instead of their
// stack buffer, so that a case can check it once before it is timed.
thread_local char* tCapture = nullptr;
constexpr std::size_t kLineBuffer = 1024;

}  // namespace

// The C library's allocator under its internal names; the replacements below
// count and forward, for every caller in the process.
extern "C" {
void* __libc_malloc(std::size_t size) noexcept;
void* __libc_calloc(std::size_t count, std::size_t size) noexcept;
void* __libc_realloc(void* p, std::size_t size) noexcept;
void __libc_free(void* p) noexcept;

void* malloc(std::size_t size) noexcept {
  ++tAllocations;
  return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) noexcept {
  ++tAllocations;
  return __libc_calloc(count, size);
}
void* realloc(void* p, std::size_t size) noexcept {
  ++tAllocations;
  return __libc_realloc(p, size);
}
void free(void* p) noexcept { __libc_free(p); }

void LogV(int level, const char* format, va_list args) {
  char line[kLineBuffer];
  char* out = tCapture != nullptr ? tCapture : line;
  benchmark::DoNotOptimize(level);
  benchmark::DoNotOptimize(std::vsnprintf(out, kLineBuffer, format, args));
  benchmark::ClobberMemory();
}
}  // extern "C"

namespace {

using CSLogger::CS_LOG_ERROR;
using CSLogger::CS_LOG_INFO;

std::string ThreadHex() {
  char id[32];
  std::snprintf(id, sizeof id, "%lx",
                static_cast<unsigned long>(pthread_self()));
  return id;
}

// "<severity> [ConfigStore:<this thread> db=main op=load] <rest>".
std::string TwoContextLine(const char* severity, const char* rest) {
  return std::string(severity) + " [ConfigStore:" + ThreadHex() +
         " db=main op=load] " + rest;
}

void SetContext(int entries) {
  CSLogger::CurrentContext.clear();
  if (entries >= 1) CSLogger::CurrentContext["db"] = "main";
  if (entries >= 2) CSLogger::CurrentContext["op"] = "load";
}

// Sets the context, checks that one call of `emit` produces `expected`, then
// times `emit` and reports its allocations per line. The context is left
// empty afterwards.
template <typename Emit>
void MeasureLine(benchmark::State& state, int context,
                 const std::string& expected, Emit emit) {
  SetContext(context);
  char captured[kLineBuffer] = "";
  tCapture = captured;
  emit();
  tCapture = nullptr;
  if (expected != captured) {
    state.SkipWithError(("produced \"" + std::string(captured) +
                         "\", expected \"" + expected + "\"")
                            .c_str());
  }
  const long before = tAllocations;
  for (auto _ : state) emit();
  state.counters["allocs"] =
      benchmark::Counter(static_cast<double>(tAllocations - before),
                         benchmark::Counter::kAvgIterations);
  StampRunOrder(state);
  SetContext(0);
}

void LogTheLine() {
  CSLogger::Log(CS_LOG_INFO, "loaded %d items from %s", 42, "store");
}

void BM_Log_EmptyContext(benchmark::State& state) {
  MeasureLine(
      state, 0,
      "info [ConfigStore:" + ThreadHex() + "] loaded 42 items from store\n",
      LogTheLine);
}
BENCHMARK(BM_Log_EmptyContext);

void BM_Log_TwoContextEntries(benchmark::State& state) {
  MeasureLine(state, 2, TwoContextLine("info", "loaded 42 items from store\n"),
              LogTheLine);
}
BENCHMARK(BM_Log_TwoContextEntries);

// The same line from two threads at once: the cost per line stays that of
// one thread when nothing shared is written on the path.
void BM_Log_TwoThreads(benchmark::State& state) {
  BM_Log_TwoContextEntries(state);
}
BENCHMARK(BM_Log_TwoThreads)->Threads(2);

void BM_DBLog_TwoContextEntries(benchmark::State& state) {
  const std::string database = "configdb";
  MeasureLine(state, 2,
              TwoContextLine("info", "configdbloaded 42 items from store\n"),
              [&database] {
                CSLogger::DBLog(database, CS_LOG_INFO,
                                "loaded %d items from %s", 42, "store");
              });
}
BENCHMARK(BM_DBLog_TwoContextEntries);

void BM_LogErrCode_TwoContextEntries(benchmark::State& state) {
  MeasureLine(state, 2,
              TwoContextLine("error", "[1001]Failed to open database main\n"),
              [] {
                CSLogger::LogErrCode(CS_LOG_ERROR,
                                     KoraConfigStore::CS_ERR_DB_OPEN, "main");
              });
}
BENCHMARK(BM_LogErrCode_TwoContextEntries);

// Log writing the very line LogErrCode writes: what LogErrCode adds to Log.
void BM_Log_LogErrCodeLine(benchmark::State& state) {
  MeasureLine(
      state, 2, TwoContextLine("error", "[1001]Failed to open database main\n"),
      [] {
        CSLogger::Log(CS_LOG_ERROR, "[1001]Failed to open database %s", "main");
      });
}
BENCHMARK(BM_Log_LogErrCodeLine);

void CallLogV(int level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  LogV(level, format, args);
  va_end(args);
}

// Baselines: LogV with the format the facade composes for the line, built
// once outside the loop; the caller's arguments are the facade case's.
void BM_LogV_EmptyContextLine(benchmark::State& state) {
  const std::string format =
      "info [ConfigStore:" + ThreadHex() + "] loaded %d items from %s\n";
  MeasureLine(
      state, 0,
      "info [ConfigStore:" + ThreadHex() + "] loaded 42 items from store\n",
      [&format] { CallLogV(5, format.c_str(), 42, "store"); });
}
BENCHMARK(BM_LogV_EmptyContextLine);

void BM_LogV_TwoContextLine(benchmark::State& state) {
  const std::string format =
      TwoContextLine("info", "loaded %d items from %s\n");
  MeasureLine(state, 2, TwoContextLine("info", "loaded 42 items from store\n"),
              [&format] { CallLogV(5, format.c_str(), 42, "store"); });
}
BENCHMARK(BM_LogV_TwoContextLine);

void BM_LogV_DBLogLine(benchmark::State& state) {
  const std::string format =
      TwoContextLine("info", "configdbloaded %d items from %s\n");
  MeasureLine(state, 2,
              TwoContextLine("info", "configdbloaded 42 items from store\n"),
              [&format] { CallLogV(5, format.c_str(), 42, "store"); });
}
BENCHMARK(BM_LogV_DBLogLine);

// The least a facade that composes the format adds: the finished format
// copied into a stack buffer (strlen and memcpy), then handed to LogV.
void CopyThenLogV(int level, const char* format, ...) {
  char copy[kLineBuffer];
  std::memcpy(copy, format, std::strlen(format) + 1);
  va_list args;
  va_start(args, format);
  LogV(level, copy, args);
  va_end(args);
}

// LogErrCode's line: the format the facade composes for it, built once
// outside the loop, handed on by `Call` with LogErrCode's argument.
template <void (*Call)(int, const char*, ...)>
void MeasureLogErrCodeFormat(benchmark::State& state) {
  const std::string format =
      TwoContextLine("error", "[1001]Failed to open database %s\n");
  MeasureLine(state, 2,
              TwoContextLine("error", "[1001]Failed to open database main\n"),
              [&format] { Call(2, format.c_str(), "main"); });
}

void BM_LogV_LogErrCodeLine(benchmark::State& state) {
  MeasureLogErrCodeFormat<CallLogV>(state);
}
BENCHMARK(BM_LogV_LogErrCodeLine);

void BM_Floor_CopyFormatThenLogV(benchmark::State& state) {
  MeasureLogErrCodeFormat<CopyThenLogV>(state);
}
BENCHMARK(BM_Floor_CopyFormatThenLogV);

// The floor: the whole line from its parts in one snprintf into a stack
// buffer, the least any logger that writes this line does.
void BM_Floor_SnprintfWholeLine(benchmark::State& state) {
  MeasureLine(
      state, 2, TwoContextLine("info", "loaded 42 items from store\n"), [] {
        char line[kLineBuffer];
        char* out = tCapture != nullptr ? tCapture : line;
        benchmark::DoNotOptimize(std::snprintf(
            out, kLineBuffer,
            "%s [ConfigStore:%lx db=%s op=%s] loaded %d items from %s\n",
            "info", static_cast<unsigned long>(pthread_self()), "main", "load",
            42, "store"));
        benchmark::ClobberMemory();
      });
}
BENCHMARK(BM_Floor_SnprintfWholeLine);

// spdlog's custom flag: the calling thread in hexadecimal, then its context
// entries as " key=value", as the facade writes them.
class ThreadContextFlag final : public spdlog::custom_flag_formatter {
 public:
  void format(const spdlog::details::log_msg&, const std::tm&,
              spdlog::memory_buf_t& dest) override {
    char id[2 * sizeof(std::uintptr_t)];
    const char* end =
        std::to_chars(id, id + sizeof id,
                      static_cast<std::uintptr_t>(pthread_self()), 16)
            .ptr;
    dest.append(id, end);
    for (const auto& [key, value] : CSLogger::CurrentContext) {
      dest.push_back(' ');
      dest.append(key.data(), key.data() + key.size());
      dest.push_back('=');
      dest.append(value.data(), value.data() + value.size());
    }
  }
  std::unique_ptr<custom_flag_formatter> clone() const override {
    return std::make_unique<ThreadContextFlag>();
  }
};

// Formats each message into memory and discards it; no lock.
class DiscardSink final
    : public spdlog::sinks::base_sink<spdlog::details::null_mutex> {
 protected:
  void sink_it_(const spdlog::details::log_msg& msg) override {
    spdlog::memory_buf_t line;
    formatter_->format(msg, line);
    if (tCapture != nullptr) {
      const std::size_t size = std::min(line.size(), kLineBuffer - 1);
      std::memcpy(tCapture, line.data(), size);
      tCapture[size] = '\0';
    }
    benchmark::DoNotOptimize(line.data());
    benchmark::ClobberMemory();
  }
  void flush_() override {}
};

void BM_Spdlog_PatternWithContextFlag(benchmark::State& state) {
  spdlog::logger logger("bench", std::make_shared<DiscardSink>());
  auto formatter = std::make_unique<spdlog::pattern_formatter>();
  formatter->add_flag<ThreadContextFlag>('*').set_pattern(
      "%l [ConfigStore:%*] %v");
  logger.set_formatter(std::move(formatter));
  MeasureLine(
      state, 2, TwoContextLine("info", "loaded 42 items from store\n"),
      [&logger] { logger.info("loaded {} items from {}", 42, "store"); });
}
BENCHMARK(BM_Spdlog_PatternWithContextFlag);

}  // namespace
