// cstool: the command-line companion of libcssupport.
#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "commands.h"
#include "cssupport/buildinfo/build_info.h"

namespace {

constexpr char kExitStatus[] =
    "Exit status:\n"
    "  0  success\n"
    "  1  the operation failed: an input file missing, unreadable, "
    "unparsable\n"
    "     or not of the expected kind, an output that cannot be written, a\n"
    "     code without a message\n"
    "  2  cstool was used wrongly: an unknown subcommand or option, a missing\n"
    "     or malformed argument, options that exclude each other, an event\n"
    "     identifier outside the catalogue";

// The first line is what a manual page generator reads as name and version;
// the rest comes from the loaded library, which may be of another build.
std::string VersionText() {
  std::string text = "cstool " CSTOOL_VERSION;
  for (const auto& [name, value] :
       {std::pair{"gProductVersionString", gProductVersionString},
        std::pair{"gBuildNumber", gBuildNumber},
        std::pair{"gKoraReleaseVersionString", gKoraReleaseVersionString}}) {
    std::string line = name;
    line.resize(27, ' ');
    text += "\n" + line + value;
  }
  return text;
}

// Edits (insertions, deletions, substitutions) that turn `a` into `b`.
std::size_t Distance(const std::string& a, const std::string& b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1,
                         diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// The subcommands of `app`, comma-separated, in the order of its help.
std::string SubcommandList(const CLI::App& app) {
  std::string list;
  for (const CLI::App* sub : app.get_subcommands({})) {
    list += (list.empty() ? "" : ", ") + sub->get_name();
  }
  return list;
}

// Throws a usage error when the first word of the command line is not a
// subcommand, naming the subcommands and the nearest one to a misspelling.
void CheckSubcommand(const CLI::App& app, int argc, char** argv) {
  const auto word = std::find_if(argv + 1, argv + argc,
                                 [](const char* arg) { return arg[0] != '-'; });
  if (word == argv + argc) return;
  std::size_t best = 3;  // farther than this suggests nothing
  std::string suggestion;
  for (const CLI::App* sub : app.get_subcommands({})) {
    const std::size_t distance = Distance(*word, sub->get_name());
    if (distance == 0) return;
    if (distance < best) {
      best = distance;
      suggestion = "; did you mean '" + sub->get_name() + "'?";
    }
  }
  throw cstool::CommandError{cstool::kExitUsage,
                             "'" + std::string(*word) +
                                 "' is not a cstool subcommand; the "
                                 "subcommands are: " +
                                 SubcommandList(app) + suggestion};
}

int Run(int argc, char** argv) {
  CLI::App app{
      "cstool: inspect and exercise the ConfigStore support library "
      "(error codes, build data, event records, configuration identifiers)"};
  app.require_subcommand(1);
  app.set_version_flag("--version", VersionText,
                       "Print cstool's version and the library's build data");
  app.footer(kExitStatus);
  cstool::RegisterInfoCommands(app);
  cstool::RegisterEventCommands(app);
  cstool::RegisterRepairCommand(app);
  cstool::RegisterConfigCommands(app);
  cstool::RegisterDemoCommand(app);
  CheckSubcommand(app, argc, argv);
  try {
    app.parse(argc, argv);
  } catch (const CLI::RequiredError& e) {
    if (!app.get_subcommands().empty()) {
      app.exit(e);
      return cstool::kExitUsage;
    }
    throw cstool::CommandError{
        cstool::kExitUsage, "a subcommand is required; the subcommands are: " +
                                SubcommandList(app) +
                                "\nRun with --help for more information."};
  } catch (const CLI::ParseError& e) {
    const int status = app.exit(e);
    return status == 0 ? cstool::kExitOk : cstool::kExitUsage;
  }
  return cstool::kExitOk;
}

}  // namespace

namespace cstool {

void Print(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  const int written = std::vprintf(format, args);
  const int error = errno;
  va_end(args);
  if (written < 0) OutputFailed(error);
}

void OutputFailed(int error) {
  throw CommandError{
      kExitFailure,
      std::string("cannot write standard output") +
          (error != 0 ? ": " + std::string(std::strerror(error)) : "")};
}

void FlushOutput() {
  errno = 0;
  if (std::fflush(stdout) != 0) OutputFailed(errno);
  if (std::ferror(stdout) || std::cout.fail()) OutputFailed(0);
}

}  // namespace cstool

int main(int argc, char** argv) {
  try {
    const int status = Run(argc, argv);
    cstool::FlushOutput();
    return status;
  } catch (const cstool::CommandError& e) {
    if (!e.message.empty())
      std::fprintf(stderr, "cstool: %s\n", e.message.c_str());
    return e.status;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "cstool: %s\n", e.what());
    return cstool::kExitFailure;
  } catch (...) {
    std::fprintf(stderr, "cstool: unexpected failure\n");
    return cstool::kExitFailure;
  }
}
