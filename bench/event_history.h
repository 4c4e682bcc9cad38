// Shared by the event-history benchmark and its probe: both run DumpJot as
// a component does, through the shared library, on the fixed event record
// file, inside a private mount namespace whose /var/run is a fresh tmpfs.
#ifndef CSSUPPORT_BENCH_EVENT_HISTORY_H_
#define CSSUPPORT_BENCH_EVENT_HISTORY_H_

#include <sys/types.h>

#include <string>

namespace cssupport_bench {

// The event every prepared and timed record carries, and the argument of
// the records the benchmark's own calls add.
extern const char kHistoryEvent[];
extern const char kNewArgument[];

// Moves the process into a private mount namespace (a user namespace too
// when it lacks the privilege) with a tmpfs on /var/run that holds only the
// event record file's directory, so that DumpJot's fixed path is the
// process's own. Returns "" or what failed. Call before any thread starts;
// children inherit the namespace.
std::string EnterPrivateRunDirectory();

// The compact JSON of a record of kHistoryEvent with one argument, as
// DumpJot writes it; `argument` needs no escaping.
std::string RecordJson(const std::string& argument);

// The argument of the i-th prepared record.
std::string PreparedArgument(long i);

// The event record file as DumpJot leaves it after `records` (>= 2) calls,
// the i-th with PreparedArgument(i), and the length of its first
// `records` - 1 records' text up to the comma before the last record.
struct EventHistoryText {
  explicit EventHistoryText(long records);
  long records;
  std::string text;
  std::size_t beforeLast;
};

// Makes the event record file hold `history.records` records, the state in
// which DumpJot leaves it: writes all but the last directly, then records
// the last through DumpJot, so that the file is what the library last
// wrote, and checks that DumpJot left exactly history.text. Returns "" or
// what failed.
std::string PrepareEventFile(const EventHistoryText& history);

// The size of the file at `path`, or -1.
off_t FileSize(const std::string& path);

// The whole file at `path` into `text`; false when it cannot be read.
bool ReadWhole(const std::string& path, std::string& text);

// A JSON-lines file at `path` of `records` lines, RecordJson of
// PreparedArgument(i) each; returns "" or what failed.
std::string WriteJsonLines(const std::string& path, long records);

// Appends one line, RecordJson(argument) and '\n', to the JSON-lines file
// at `path` as a minimal record log does: open with O_APPEND, flock(2)
// LOCK_EX, write, unlock, close. Returns false when a step fails.
bool AppendJsonLine(const std::string& path, const std::string& argument);

}  // namespace cssupport_bench

#endif  // CSSUPPORT_BENCH_EVENT_HISTORY_H_
