// cstool fill-ids | upgrade-ctx
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "commands.h"
#include "cssupport/config/generated_id.h"
#include "cssupport/config/upgrade_context.h"
#include "cssupport/errors/json.h"
#include "cssupport/events/internal/file_access.h"
#include "cssupport/internal/write_all.h"
#include "cssupport/json/bounded_parse.h"
#include "cssupport/json/write_json.h"

namespace cstool {
namespace {

using rapidjson::Document;
using rapidjson::Value;

constexpr char kIdName[] = "cs_generated_id";

std::string ErrnoText(int error) { return std::strerror(error); }

std::string ReadWhole(const std::string& path) {
  std::string text;
  int readError = 0;
  if (!KoraConfigStore::internal::ReadWholeFile(path, text, &readError)) {
    throw CommandError{kExitFailure,
                       path + ": cannot open: " + ErrnoText(errno)};
  }
  if (readError != 0) {
    throw CommandError{kExitFailure,
                       path + ": cannot read: " + ErrnoText(readError)};
  }
  return text;
}

// Parses all of `path` into `document` by the library's rules (iterative
// parser, any depth, nothing but whitespace after the root). Any failure
// ends the command naming the file, the reason and the byte offset.
void LoadJson(const std::string& path, Document& document) {
  rapidjson::ParseResult result;
  if (!KoraConfigStore::internal::ParseJsonText(ReadWhole(path), document,
                                                result)) {
    throw CommandError{
        kExitFailure,
        path + ": invalid JSON: " +
            KoraConfigStore::internal::DescribeParseFailure(result)};
  }
}

// Members named "cs_generated_id" anywhere in `value`, counted in constant
// stack space whatever the nesting.
size_t CountIds(const Value& value) {
  size_t count = 0;
  std::vector<const Value*> pending{&value};
  while (!pending.empty()) {
    const Value& next = *pending.back();
    pending.pop_back();
    if (next.IsObject()) {
      for (const auto& m : next.GetObject()) {
        if (m.name.GetStringLength() == sizeof(kIdName) - 1 &&
            std::memcmp(m.name.GetString(), kIdName, sizeof(kIdName) - 1) ==
                0) {
          ++count;
        }
        if (m.value.IsObject() || m.value.IsArray())
          pending.push_back(&m.value);
      }
    } else if (next.IsArray()) {
      for (const auto& e : next.GetArray()) {
        if (e.IsObject() || e.IsArray()) pending.push_back(&e);
      }
    }
  }
  return count;
}

// The indented form stops here: its indentation grows with the square of the
// nesting depth (two spaces a level on every line), so a small but deeply
// nested document would otherwise need gigabytes.
constexpr size_t kMaxPrettyBytes = size_t{256} << 20;

// An output stream for rapidjson's writers that ends the command once its
// text would pass kMaxPrettyBytes.
class CappedText {
 public:
  using Ch = char;
  void Put(char c) {
    if (text_.size() >= kMaxPrettyBytes) {
      throw CommandError{kExitFailure,
                         "the indented result would exceed " +
                             std::to_string(kMaxPrettyBytes >> 20) +
                             " MiB; leave out --pretty"};
    }
    text_.push_back(c);
  }
  void Flush() {}
  std::string& text() { return text_; }

 private:
  std::string text_;
};

std::string Render(const Document& document, bool pretty) {
  using KoraConfigStore::internal::WriteJson;
  std::string text;
  bool complete;
  if (pretty) {
    CappedText capped;
    rapidjson::PrettyWriter<CappedText> writer(capped);
    writer.SetIndent(' ', 2);
    complete = WriteJson(document, writer);
    text = std::move(capped.text());
  } else {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    complete = WriteJson(document, writer);
    text.assign(buffer.GetString(), buffer.GetSize());
  }
  if (!complete)
    throw CommandError{kExitFailure, "cannot serialise the result"};
  text.push_back('\n');
  return text;
}

bool WriteAll(int fd, const std::string& text) {
  const int error =
      KoraConfigStore::internal::WriteAll(fd, text.data(), text.size());
  return error == 0 || (errno = error, false);
}

// Names the unnamed file `fd` "<base><pid>.<n>", the first such name free,
// and returns that name; empty, with errno set, when it cannot.
std::string NameTemporary(int fd, const std::string& base) {
  for (int n = 0; n < 100; ++n) {
    const std::string name =
        base + std::to_string(::getpid()) + "." + std::to_string(n);
    errno = KoraConfigStore::internal::LinkUnnamed(fd, name);
    if (errno == 0) return name;
    if (errno != EEXIST) break;
  }
  return {};
}

// Replaces `path` with `text` so that readers see either the old file or the
// whole new one: a file in the same directory, synced, then renamed over the
// original. Keeps the original's owner, group and permission bits
// (failing, and leaving the original, when the owner and group cannot be
// kept); a new file gets the caller's and 0666 less the umask. A symbolic
// link is followed.
void ReplaceFile(const std::string& path, const std::string& text) {
  namespace fs = std::filesystem;
  fs::path target(path);
  std::error_code ec;
  if (fs::is_symlink(target, ec)) {
    target = fs::canonical(target, ec);
    if (ec) throw CommandError{kExitFailure, path + ": " + ec.message()};
  }

  mode_t mode;
  struct stat st;
  const bool existed = ::stat(target.c_str(), &st) == 0;
  if (existed) {
    mode = st.st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }

  const fs::path directory =
      target.has_parent_path() ? target.parent_path() : fs::path(".");
  const std::string base =
      (directory / ("." + target.filename().string() + ".")).string();
  // Unnamed until it is whole, and then named only to be renamed into place,
  // so that a tool killed on the way leaves nothing behind (a temporary file
  // by name where the file system has no unnamed files).
  int fd = KoraConfigStore::internal::OpenUnnamed(directory.string(), 0600);
  const bool unnamed = fd >= 0;
  std::string temp;  // the file's name, once it has one
  if (!unnamed && KoraConfigStore::internal::NoUnnamedFiles(errno)) {
    temp = base + "XXXXXX";
    fd = ::mkstemp(temp.data());
  }
  if (fd < 0) {
    throw CommandError{kExitFailure, directory.string() +
                                         ": cannot create a temporary file: " +
                                         ErrnoText(errno)};
  }
  // The owner first: changing it may clear the set-user-ID and set-group-ID
  // bits that fchmod then sets.
  bool ok = WriteAll(fd, text) &&
            (!existed || ::fchown(fd, st.st_uid, st.st_gid) == 0) &&
            ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
  if (ok && unnamed) {
    temp = NameTemporary(fd, base);
    ok = !temp.empty();
  }
  int error = ok ? 0 : errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (ok && ::rename(temp.c_str(), target.c_str()) != 0) {
    ok = false;
    error = errno;
  }
  if (!ok) {
    if (!temp.empty()) ::unlink(temp.c_str());
    throw CommandError{kExitFailure,
                       target.string() + ": cannot write: " + ErrnoText(error)};
  }
  // Make the rename itself durable; a failure here leaves a complete file.
  const int dir_fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY);
  if (dir_fd >= 0) {
    ::fsync(dir_fd);
    ::close(dir_fd);
  }
}

// Writes to anything that is not a regular file (a terminal, a pipe,
// /dev/stdout) in place; regular files are replaced whole.
void WriteOutput(const std::string& path, const std::string& text) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode)) {
    ReplaceFile(path, text);
    return;
  }
  const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0 || !WriteAll(fd, text)) {
    const int error = errno;
    if (fd >= 0) ::close(fd);
    throw CommandError{kExitFailure,
                       path + ": cannot write: " + ErrnoText(error)};
  }
  ::close(fd);
}

struct FillIdsOptions {
  std::string schema;
  std::string config;
  std::string output;
  bool in_place = false;
  bool pretty = false;
};

void FillIds(const FillIdsOptions& options) {
  // Checked before anything is read: in place, a pipe or a device would be
  // consumed and then not replaced.
  struct stat st;
  if (options.in_place && ::stat(options.config.c_str(), &st) == 0 &&
      !S_ISREG(st.st_mode)) {
    throw CommandError{kExitFailure,
                       options.config + ": --in-place needs a regular file"};
  }
  Document schema;
  LoadJson(options.schema, schema);
  Document config;
  LoadJson(options.config, config);

  const size_t before = CountIds(config);
  KoraConfigStore::PopulateGeneratedInstanceId(schema, config);
  const size_t added = CountIds(config) - before;
  const std::string text = Render(config, options.pretty);

  if (options.in_place) {
    ReplaceFile(options.config, text);
  } else if (!options.output.empty()) {
    WriteOutput(options.output, text);
  } else if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() ||
             std::fflush(stdout) != 0) {
    throw CommandError{kExitFailure,
                       "cannot write standard output: " + ErrnoText(errno)};
  }
  std::fprintf(stderr, "fill-ids: added %zu identifier%s\n", added,
               added == 1 ? "" : "s");
}

}  // namespace

void RegisterConfigCommands(CLI::App& app) {
  auto options = std::make_shared<FillIdsOptions>();
  auto* fill = app.add_subcommand(
      "fill-ids",
      "Add the missing \"cs_generated_id\" identifiers that the schema asks "
      "for");
  fill->add_option("--schema", options->schema, "Schema of the configuration")
      ->required();
  fill->add_option("CONFIG", options->config, "Configuration document")
      ->required();
  auto* output =
      fill->add_option("-o,--output", options->output,
                       "Write the result here instead of standard output");
  fill->add_flag("--in-place", options->in_place,
                 "Replace CONFIG with the result (atomically)")
      ->excludes(output);
  fill->add_flag("--pretty", options->pretty, "Indent the output");
  fill->callback([options] { FillIds(*options); });

  auto path = std::make_shared<std::string>();
  auto* ctx = app.add_subcommand(
      "upgrade-ctx",
      "Print the upgrade context (1 or 2, then why) that a library path "
      "selects");
  ctx->add_option("LIBPATH", *path, "Path of a library file (need not exist)")
      ->required();
  ctx->callback([path] {
    KoraConfigStore::SetUpgradeCtxFromLib(*path);
    const int context = KoraConfigStore::GetUpgradeCtx();
    std::printf("%d (%sthe library's directory %s \"postLoadStore\")\n",
                context, context == 2 ? "post-load-store: " : "",
                context == 2 ? "contains" : "does not contain");
  });
}

}  // namespace cstool
