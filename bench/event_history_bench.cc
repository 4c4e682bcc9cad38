// DumpJot per call against the records already in the event record file,
// from 100 to 300,000, called as a component calls it: through the shared
// library, on its fixed path, here a private tmpfs (the process enters a
// mount namespace of its own first). Each size beside its baseline, in the
// same run: one JSON line appended under flock(2) to a JSON-lines file of as
// many lines, as a minimal record log does.
//
// Each file is prepared once per size, in the state DumpJot leaves it, and
// the cases' own calls grow it by at most a tenth (ten calls at 100
// records) before it is prepared again outside the timed region; the
// counter "records" is the mean size the timed calls saw. Every call's
// record is checked to be in the file.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

#include "bench/event_history.h"
#include "bench/run_order.h"
#include "cssupport/events/dump_jot.h"
#include "cssupport/events/internal/event_file.h"

namespace {

using cssupport_bench::kHistoryEvent;
using cssupport_bench::kNewArgument;

const std::string kEventPath = KoraConfigStore::internal::kEventRecordFilePath;
const std::string kJsonLinesPath =
    kEventPath.substr(0, kEventPath.rfind('/')) + "/records.jsonl";

// Calls after which a file is prepared again.
long GrowthLimit(long records) { return std::max(10L, records / 10); }

// What one of the two files holds: the size it was prepared with, and the
// calls made on it since.
struct PreparedFile {
  long records = 0;
  long calls = 0;
  off_t size = -1;
  off_t step = 0;  // bytes each call adds
};

// The record and the comma before it, or the line and its '\n'.
const off_t kStep =
    static_cast<off_t>(cssupport_bench::RecordJson(kNewArgument).size() + 1);
PreparedFile eventFile{0, 0, -1, kStep};
PreparedFile jsonLines{0, 0, -1, kStep};

// "" when the file at `path` holds every record the calls since it was
// prepared added.
std::string CheckGrowth(const PreparedFile& file, const std::string& path) {
  const off_t expected = file.size + file.calls * file.step;
  const off_t found = cssupport_bench::FileSize(path);
  if (found == expected) return "";
  return path + " is " + std::to_string(found) + " bytes after " +
         std::to_string(file.calls) + " calls, not " +
         std::to_string(expected) + ": a record was not stored";
}

std::string PrepareEvents(long records) {
  const cssupport_bench::EventHistoryText history(records);
  std::string error = cssupport_bench::PrepareEventFile(history);
  eventFile = {records, 0, static_cast<off_t>(history.text.size()), kStep};
  if (!error.empty()) eventFile.records = 0;
  return error;
}

std::string PrepareJsonLines(long records) {
  std::string error =
      jsonLines.records == records
          ? (truncate(kJsonLinesPath.c_str(), jsonLines.size)
                 ? "truncating " + kJsonLinesPath + " failed"
                 : "")
          : cssupport_bench::WriteJsonLines(kJsonLinesPath, records);
  jsonLines = {records, 0, cssupport_bench::FileSize(kJsonLinesPath), kStep};
  if (!error.empty()) jsonLines.records = 0;
  return error;
}

// Runs `call` (false: it failed) once per iteration on `file` of
// state.range(0) records, which `prepare` makes ready (again after
// GrowthLimit calls, untimed).
template <typename Call>
void GrowingFileCase(benchmark::State& state, PreparedFile& file,
                     const std::string& path,
                     std::string (*prepare)(long records), Call call) {
  const long records = state.range(0);
  const long limit = GrowthLimit(records);
  std::string error;
  if (file.records != records || file.calls >= limit ||
      !CheckGrowth(file, path).empty())
    error = prepare(records);
  double seen = 0;
  for (auto _ : state) {
    if (file.calls == limit) {
      state.PauseTiming();
      error = CheckGrowth(file, path);
      if (error.empty()) error = prepare(records);
      state.ResumeTiming();
    }
    if (!error.empty()) break;
    if (!call()) {
      error = "the call failed";
      break;
    }
    seen += static_cast<double>(records + file.calls++);
  }
  if (error.empty()) error = CheckGrowth(file, path);
  if (!error.empty()) {
    file.records = 0;
    state.SkipWithError(error.c_str());
    return;
  }
  state.counters["records"] = seen / static_cast<double>(state.iterations());
  StampRunOrder(state);
}

void BM_EventHistoryDumpJot(benchmark::State& state) {
  GrowingFileCase(state, eventFile, kEventPath, PrepareEvents, [] {
    KoraConfigStore::DumpJot(kHistoryEvent, 1, kNewArgument);
    return true;  // a record not stored shows in the file's size
  });
}

void BM_EventHistoryJsonLines(benchmark::State& state) {
  GrowingFileCase(state, jsonLines, kJsonLinesPath, PrepareJsonLines, [] {
    return cssupport_bench::AppendJsonLine(kJsonLinesPath, kNewArgument);
  });
}

// Each size's baseline directly before its case.
const bool kRegistered = [] {
  for (const long records : {100L, 1000L, 10000L, 100000L, 300000L}) {
    benchmark::RegisterBenchmark("BM_EventHistoryJsonLines",
                                 BM_EventHistoryJsonLines)
        ->Arg(records)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("BM_EventHistoryDumpJot",
                                 BM_EventHistoryDumpJot)
        ->Arg(records)
        ->Unit(benchmark::kMicrosecond);
  }
  return true;
}();

}  // namespace

int main(int argc, char** argv) {
  const std::string error = cssupport_bench::EnterPrivateRunDirectory();
  if (!error.empty()) {
    std::fprintf(stderr, "%s: no private /var/run: %s\n", argv[0],
                 error.c_str());
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
