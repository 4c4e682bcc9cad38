// What DumpJot costs beyond time, through the shared library on its fixed
// path in a private tmpfs (the probe enters a mount namespace of its own):
//
//   cssupport_event_probe memory RECORDS...
//       for each size, the resident memory one call adds at its peak: the
//       file is prepared as DumpJot leaves it, then a fresh process (fork,
//       exec) makes one call and reports its peak RSS (VmHWM, reset through
//       /proc/self/clear_refs just before the call) minus its RSS before;
//   cssupport_event_probe contend PROCESSES CALLS RECORDS
//       PROCESSES processes, started together, make CALLS calls each, every
//       record distinct, on a file prepared with RECORDS records; then
//       counts the records in the file (and those left in the side files)
//       and reports each call's wall time, worst and median.
//
// Exit status 0 when the figures were taken (whatever they are), 1 when
// they could not be, 2 for a wrong command line.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "bench/event_history.h"
#include "cssupport/errors/json.h"
#include "cssupport/events/dump_jot.h"
#include "cssupport/events/internal/event_file.h"
#include "cssupport/events/internal/side_file.h"

namespace {

using cssupport_bench::kHistoryEvent;
using cssupport_bench::kNewArgument;

const std::string kEventPath = KoraConfigStore::internal::kEventRecordFilePath;

int Fail(const std::string& what) {
  std::fprintf(stderr, "cssupport_event_probe: %s\n", what.c_str());
  return 1;
}

// The kilobytes of the /proc/self/status field `name` ("VmHWM"), or -1.
long StatusKb(const char* name) {
  std::string status;
  if (!cssupport_bench::ReadWhole("/proc/self/status", status)) return -1;
  const std::string key = std::string("\n") + name + ":";
  const std::size_t at = status.find(key);
  return at == std::string::npos
             ? -1
             : std::strtol(status.c_str() + at + key.size(), nullptr, 10);
}

// The process that memory execs: one call, then "<kB>" on stdout.
int CallOnce() {
  const int fd = open("/proc/self/clear_refs", O_WRONLY | O_CLOEXEC);
  const bool reset = fd >= 0 && write(fd, "5", 1) == 1;  // VmHWM := VmRSS
  if (fd >= 0) close(fd);
  const long before = reset ? StatusKb("VmRSS") : StatusKb("VmHWM");
  KoraConfigStore::DumpJot(kHistoryEvent, 1, kNewArgument);
  const long peak = StatusKb("VmHWM");
  if (before < 0 || peak < 0) return Fail("no VmHWM in /proc/self/status");
  std::printf("%ld\n", peak - before);
  return 0;
}

int Memory(char** sizes, int count) {
  for (int i = 0; i < count; ++i) {
    const long records = std::atol(sizes[i]);
    if (records < 2) return Fail("a size is a whole number of records >= 2");
    std::string error;
    off_t size;
    {
      const cssupport_bench::EventHistoryText history(records);
      error = cssupport_bench::PrepareEventFile(history);
      size = static_cast<off_t>(history.text.size());
    }
    if (!error.empty()) return Fail(error);
    int out[2];
    if (pipe(out) != 0) return Fail("pipe failed");
    const pid_t child = fork();
    if (child == 0) {
      dup2(out[1], STDOUT_FILENO);
      char self[] = "cssupport_event_probe", mode[] = "call-once";
      char* argv[] = {self, mode, nullptr};
      execv("/proc/self/exe", argv);
      _exit(127);
    }
    close(out[1]);
    char text[64] = {};
    const ssize_t n = read(out[0], text, sizeof text - 1);
    close(out[0]);
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child ||
        !WIFEXITED(status) || WEXITSTATUS(status) != 0 || n <= 0)
      return Fail("the measuring process failed");
    const off_t grown = cssupport_bench::FileSize(kEventPath) - size;
    const off_t step = static_cast<off_t>(
        cssupport_bench::RecordJson(kNewArgument).size() + 1);
    std::printf("%ld records: peak RSS growth of one call %ld KiB%s\n", records,
                std::atol(text),
                grown == step ? "" : " (its record was NOT stored)");
  }
  return 0;
}

std::string WorkerArgument(int process, int call) {
  return "/etc/configstore/schema/worker-" + std::to_string(process) +
         "-call-" + std::to_string(call) + ".json";
}

// Counts, in the file's "jots" and in the side files' lines, every record
// and those whose argument is in `wanted` (each found is removed from it).
struct Census {
  long inFile = 0;
  long wantedInFile = 0;
  long inSideFiles = 0;
  bool parsed = false;
};

void CountArguments(const rapidjson::Value& record,
                    std::set<std::string>& wanted, long& found) {
  if (!record.IsObject()) return;
  const auto args = record.FindMember("jotArgs");
  if (args == record.MemberEnd() || !args->value.IsArray()) return;
  for (const auto& arg : args->value.GetArray())
    if (arg.IsString() && wanted.erase(arg.GetString()) > 0) ++found;
}

Census Count(std::set<std::string>& wanted) {
  Census census;
  std::string text;
  rapidjson::Document document;
  if (cssupport_bench::ReadWhole(kEventPath, text) &&
      !document.Parse(text.c_str(), text.size()).HasParseError() &&
      document.IsObject() && document.HasMember("jots") &&
      document["jots"].IsArray()) {
    census.parsed = true;
    for (const auto& record : document["jots"].GetArray()) {
      ++census.inFile;
      CountArguments(record, wanted, census.wantedInFile);
    }
  }
  using KoraConfigStore::internal::SideFile;
  for (const SideFile which : {SideFile::kUnstored, SideFile::kHeld}) {
    if (!cssupport_bench::ReadWhole(
            KoraConfigStore::internal::SideFilePath(kEventPath, which), text))
      continue;
    census.inSideFiles += std::count(text.begin(), text.end(), '\n');
  }
  return census;
}

int Contend(int processes, int calls, long records) {
  if (processes < 1 || calls < 1 || records < 2)
    return Fail("PROCESSES, CALLS >= 1 and RECORDS >= 2");
  {
    const cssupport_bench::EventHistoryText history(records);
    const std::string error = cssupport_bench::PrepareEventFile(history);
    if (!error.empty()) return Fail(error);
  }
  int start[2], results[2];
  if (pipe(start) != 0 || pipe(results) != 0) return Fail("pipe failed");
  std::vector<pid_t> children;
  for (int p = 0; p < processes; ++p) {
    const pid_t child = fork();
    if (child < 0) break;
    if (child == 0) {
      close(start[1]);
      char go;
      if (read(start[0], &go, 1) != 0) _exit(1);  // all start when it closes
      for (int c = 0; c < calls; ++c) {
        const std::string argument = WorkerArgument(p, c);
        const auto begin = std::chrono::steady_clock::now();
        KoraConfigStore::DumpJot(kHistoryEvent, 1, argument.c_str());
        const double seconds = std::chrono::duration<double>(
                                   std::chrono::steady_clock::now() - begin)
                                   .count();
        if (write(results[1], &seconds, sizeof seconds) != sizeof seconds)
          _exit(1);
      }
      _exit(0);
    }
    children.push_back(child);
  }
  close(start[0]);
  close(start[1]);
  close(results[1]);
  std::vector<double> times;
  double seconds;
  while (read(results[0], &seconds, sizeof seconds) == sizeof seconds)
    times.push_back(seconds);
  close(results[0]);
  bool allRan = children.size() == static_cast<std::size_t>(processes);
  for (const pid_t child : children) {
    int status = 0;
    allRan = waitpid(child, &status, 0) == child && WIFEXITED(status) &&
             WEXITSTATUS(status) == 0 && allRan;
  }
  if (!allRan || times.size() != static_cast<std::size_t>(processes) * calls)
    return Fail("not every process made its calls");

  std::set<std::string> wanted;
  for (int p = 0; p < processes; ++p)
    for (int c = 0; c < calls; ++c) wanted.insert(WorkerArgument(p, c));
  const long made = static_cast<long>(wanted.size());
  const Census census = Count(wanted);
  std::sort(times.begin(), times.end());
  std::printf(
      "%d processes x %d calls from %ld records: records expected %ld, "
      "found %ld%s (%ld of the %ld new; %ld in side files)\n",
      processes, calls, records, records + made, census.inFile,
      census.parsed ? "" : " (the file does not parse)", census.wantedInFile,
      made, census.inSideFiles);
  std::printf(
      "%d processes x %d calls from %ld records: worst call %.3f s, "
      "median %.3f s\n",
      processes, calls, records, times.back(), times[times.size() / 2]);
  return 0;
}

int Usage() {
  std::fprintf(stderr,
               "usage: cssupport_event_probe memory RECORDS...\n"
               "       cssupport_event_probe contend PROCESSES CALLS "
               "RECORDS\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string mode = argv[1];
  // Already in the namespace of the probe that started it.
  if (mode == "call-once" && argc == 2) return CallOnce();
  if (mode != "memory" && mode != "contend") return Usage();
  if (mode == "contend" && argc != 5) return Usage();
  const std::string error = cssupport_bench::EnterPrivateRunDirectory();
  if (!error.empty()) return Fail("no private /var/run: " + error);
  if (mode == "memory") return Memory(argv + 2, argc - 2);
  return Contend(std::atoi(argv[2]), std::atoi(argv[3]), std::atol(argv[4]));
}
