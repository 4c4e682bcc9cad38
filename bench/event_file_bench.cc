// DumpJotAt on event record files of 100, 1,000 and 10,000 records, each
// beside its baseline: RapidJSON parsing the same file through FileReadStream
// and writing it back through FileWriteStream (64 KiB buffers, recursive
// parser, compact writer). Both sides read and rewrite the whole file once
// per iteration; DumpJotAt also appends one record, which is undone outside
// the timed region. Then a lone burst of calls in wall time, and calls
// against another process that records in a tight loop.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <string>

#include "bench/run_order.h"
#include "cssupport/errors/json.h"
#include "cssupport/events/internal/event_file.h"

namespace {

constexpr char kSchema[] = "jot.user.cs.schema.file.error";

// A file as DumpJot leaves it after `records` calls, with varied arguments.
std::string EventFileText(int records) {
  std::string text = "{\"jots\":[";
  for (int i = 0; i < records; ++i) {
    if (i > 0) text += ',';
    text +=
        "{\"jotId\":\"jot.user.cs.schema.file.error\","
        "\"jotMsg\":\"Error processing schema file %s.\",\"jotArgs\":"
        "[\"/etc/configstore/schema/object-" +
        std::to_string(i) + ".json\"]}";
  }
  return text + "]}";
}

class EventFile {
 public:
  explicit EventFile(int records) : text_(EventFileText(records)) {
    std::string pattern = "/tmp/cssupport-bench-XXXXXX";
    if (const char* base = std::getenv("TMPDIR"); base && *base) {
      pattern = std::string(base) + "/cssupport-bench-XXXXXX";
    }
    dir_ = mkdtemp(&pattern[0]) != nullptr ? pattern : ".";
    path_ = dir_ + "/loadStoreErrors.json";
    Restore();
  }
  ~EventFile() {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
    if (dir_ != ".") std::filesystem::remove(dir_, ignored);
  }

  void Restore() const {
    std::FILE* out = std::fopen(path_.c_str(), "wb");
    if (out == nullptr) return;
    std::fwrite(text_.data(), 1, text_.size(), out);
    std::fclose(out);
  }
  const std::string& path() const { return path_; }
  std::size_t size() const { return text_.size(); }

 private:
  std::string text_;
  std::string dir_;
  std::string path_;
};

void Record(const std::string& path, int count, ...) {
  va_list args;
  va_start(args, count);
  KoraConfigStore::internal::DumpJotAt(path, kSchema, count, args);
  va_end(args);
}

void BM_EventFileBaseline(benchmark::State& state) {
  const EventFile file(static_cast<int>(state.range(0)));
  char buffer[65536];
  for (auto _ : state) {
    rapidjson::Document document;
    std::FILE* in = std::fopen(file.path().c_str(), "rb");
    rapidjson::FileReadStream input(in, buffer, sizeof buffer);
    document.ParseStream(input);
    std::fclose(in);
    std::FILE* out = std::fopen(file.path().c_str(), "wb");
    rapidjson::FileWriteStream output(out, buffer, sizeof buffer);
    rapidjson::Writer<rapidjson::FileWriteStream> writer(output);
    document.Accept(writer);
    output.Flush();
    std::fclose(out);
    state.PauseTiming();
    file.Restore();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(
      static_cast<int64_t>(state.iterations() * file.size()));
  StampRunOrder(state);
}

void BM_EventFileDumpJotAt(benchmark::State& state) {
  const EventFile file(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    Record(file.path(), 1, "/etc/configstore/schema/new.json");
    state.PauseTiming();
    file.Restore();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(
      static_cast<int64_t>(state.iterations() * file.size()));
  StampRunOrder(state);
}

double CpuSeconds() {
  timespec now;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + now.tv_nsec / 1e9;
}

double WallSeconds() {
  return std::chrono::duration<double>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// A lone process's burst of calls on a 100-record file, in wall time; the
// counter "wall_per_cpu" is the burst's wall time over the CPU time it used
// (a fixed pause per call shows here, not in CPU time).
void BM_EventFileLoneBurst(benchmark::State& state) {
  const EventFile file(100);
  double wall = 0, cpu = 0;
  int calls = 0;
  for (auto _ : state) {
    const double wall0 = WallSeconds(), cpu0 = CpuSeconds();
    Record(file.path(), 1, "/etc/configstore/schema/new.json");
    wall += WallSeconds() - wall0;
    cpu += CpuSeconds() - cpu0;
    if (++calls % 100 == 0) {
      state.PauseTiming();
      file.Restore();
      state.ResumeTiming();
    }
  }
  state.counters["wall_per_cpu"] = cpu > 0 ? wall / cpu : 0;
  StampRunOrder(state);
}

// Calls on a 100-record file while another process records on it in a
// tight loop; the counter "worst_wait_ms" is the longest a call took, from
// its start to its return.
void BM_EventFileAgainstATightLoop(benchmark::State& state) {
  const EventFile file(100);
  const pid_t rival = fork();
  if (rival == 0) {
    for (int i = 0; i < 1000000; ++i) {
      Record(file.path(), 1, "/etc/configstore/schema/rival.json");
      if (i % 100 == 99) file.Restore();
    }
    _exit(0);
  }
  double worst = 0;
  for (auto _ : state) {
    const double start = WallSeconds();
    Record(file.path(), 1, "/etc/configstore/schema/new.json");
    worst = std::max(worst, WallSeconds() - start);
  }
  kill(rival, SIGKILL);
  waitpid(rival, nullptr, 0);
  state.counters["worst_wait_ms"] = worst * 1000;
  StampRunOrder(state);
}

// Each size's baseline directly before its case.
const bool kRegistered = [] {
  for (const int records : {100, 1000, 10000}) {
    benchmark::RegisterBenchmark("BM_EventFileBaseline", BM_EventFileBaseline)
        ->Arg(records)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("BM_EventFileDumpJotAt", BM_EventFileDumpJotAt)
        ->Arg(records)
        ->Unit(benchmark::kMicrosecond);
  }
  benchmark::RegisterBenchmark("BM_EventFileLoneBurst", BM_EventFileLoneBurst)
      ->UseRealTime()
      ->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("BM_EventFileAgainstATightLoop",
                               BM_EventFileAgainstATightLoop)
      ->UseRealTime()
      ->Iterations(200)
      ->Unit(benchmark::kMicrosecond);
  return true;
}();

}  // namespace
