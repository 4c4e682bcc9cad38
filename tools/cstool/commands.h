// cstool's commands: each cmd_*.cc file adds its group of subcommands with
// one of the Register* functions, which main.cc calls in the order of --help.
#ifndef CSSUPPORT_TOOLS_CSTOOL_COMMANDS_H_
#define CSSUPPORT_TOOLS_CSTOOL_COMMANDS_H_

#include <string>

#include <CLI/CLI.hpp>

#include "cssupport/events/internal/file_access.h"

namespace cstool {

// Exit statuses; what each means is stated once, in the footer of every
// --help (kExitStatus in main.cc), which the manual page shows.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// Thrown by a command to end with `status` after printing `message` (with a
// "cstool: " prefix) on stderr; an empty message prints nothing.
struct CommandError {
  int status;
  std::string message;
};

// Each adds its subcommands to `app`; call each once.
void RegisterInfoCommands(CLI::App& app);    // messages, message, build-info
void RegisterEventCommands(CLI::App& app);   // record, events
void RegisterRepairCommand(CLI::App& app);   // repair
void RegisterConfigCommands(CLI::App& app);  // fill-ids, upgrade-ctx
void RegisterDemoCommand(CLI::App& app);     // demo

// "another process kept WHAT locked for N s", N the lock wait of the event
// record file (kLockWait), for a command that gave up waiting.
std::string KeptLocked(const std::string& what);

// Why ReadEventFile did not read the event record file, in words.
std::string DescribeOpenFailure(
    const KoraConfigStore::internal::EventFileStatus& found);

// Prints the records of the event record file at `path` as a table, each
// message template filled with its arguments (what `cstool events` shows),
// or with `json` as JSON Lines, one object a record; with `follow`, then
// each record appended, until SIGINT or SIGTERM (see `events --help`).
// Throws CommandError when the file is absent or not an event record file
// (unless following, which waits), or when standard output cannot be
// written.
void ListEvents(const std::string& path, bool json = false,
                bool follow = false);

// std::printf that throws CommandError (status 1, OutputFailed) when the
// write to standard output fails.
void Print(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Throws CommandError with status 1 and "cannot write standard output" and
// the text of `error` (an errno; 0 when unknown).
[[noreturn]] void OutputFailed(int error);

// Flushes standard output; throws as OutputFailed when that fails or when
// any earlier write to it, by stdio or std::cout, failed.
void FlushOutput();

}  // namespace cstool

#endif  // CSSUPPORT_TOOLS_CSTOOL_COMMANDS_H_
