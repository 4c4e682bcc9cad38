// cstool's command registry. Each cmd_*.cc file registers its subcommands at
// start-up with a static CommandRegistration.
#ifndef CSSUPPORT_TOOLS_CSTOOL_COMMANDS_H_
#define CSSUPPORT_TOOLS_CSTOOL_COMMANDS_H_

#include <string>

#include <CLI/CLI.hpp>

#include "cssupport/events/internal/file_access.h"

namespace cstool {

// Exit statuses. 1: the operation failed (an input file missing, unreadable,
// unparsable or not of the expected kind, an output that cannot be written, a
// code without a message). 2: cstool was used wrongly (an unknown subcommand
// or option, a missing or malformed argument, options that exclude each
// other, an event identifier outside the catalogue).
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// Thrown by a command to end with `status` after printing `message` (with a
// "cstool: " prefix) on stderr; an empty message prints nothing.
struct CommandError {
  int status;
  std::string message;
};

// Adds subcommands to `app`. Called once, in registration order.
using RegisterFn = void (*)(CLI::App& app);

struct CommandRegistration {
  CommandRegistration(int order, RegisterFn fn);
};

// Why ReadEventFile did not read the event record file, in words.
std::string DescribeOpenFailure(
    const KoraConfigStore::internal::EventFileStatus& found);

// Prints the records of the event record file at `path` as a table, each
// message template filled with its arguments (what `cstool events` shows).
// Throws CommandError when the file is absent or not an event record file.
void ListEvents(const std::string& path);

}  // namespace cstool

#endif  // CSSUPPORT_TOOLS_CSTOOL_COMMANDS_H_
