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
#include "cssupport/internal/sys_status.h"
#include "cssupport/internal/whole_file.h"
#include "cssupport/internal/write_all.h"
#include "cssupport/json/bounded_parse.h"
#include "cssupport/json/write_json.h"
#include "file_io.h"

namespace cstool {
namespace {

using rapidjson::Document;
using rapidjson::Value;

constexpr char kIdName[] = "cs_generated_id";

std::string ErrnoText(int error) { return std::strerror(error); }

// Parses all of `path` into `document` by the library's rules (iterative
// parser, any depth, nothing but whitespace after the root). Any failure
// ends the command naming the file, the reason and the byte offset.
void LoadJson(const std::string& path, Document& document) {
  rapidjson::ParseResult result;
  if (!KoraConfigStore::internal::ParseJsonText(ReadWholeFile(path), document,
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

// Replaces `path` with `text` so that readers see either the old file or the
// whole new one (WholeFile), synced with its name. Keeps the original's
// owner, group and permission bits; a new file gets the caller's and 0666
// less the umask. A symbolic link is followed.
void ReplaceFile(const std::string& path, const std::string& text) {
  namespace fs = std::filesystem;
  namespace internal = KoraConfigStore::internal;
  fs::path target(path);
  std::error_code ec;
  if (fs::is_symlink(target, ec)) {
    target = fs::canonical(target, ec);
    if (ec) throw CommandError{kExitFailure, path + ": " + ec.message()};
  }

  internal::WholeFileOptions options;
  options.createMode = 0600;
  options.durability = internal::Durability::kFileAndDirectory;
  options.replace = true;
  struct stat st;
  if (::stat(target.c_str(), &st) == 0) {
    options.mode = st.st_mode & 07777;
    // Refused, keeping the original: a configuration that changes hands
    // might no longer be readable by the service it belongs to.
    options.ownership = internal::Ownership::kCopy;
    options.owner = st.st_uid;
    options.group = st.st_gid;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    options.mode = 0666 & ~mask;
  }

  internal::WholeFile file(target.string(), options);
  if (!file.created().ok()) {
    const fs::path directory =
        target.has_parent_path() ? target.parent_path() : fs::path(".");
    throw CommandError{kExitFailure, directory.string() +
                                         ": cannot create a temporary file: " +
                                         ErrnoText(file.created().error)};
  }
  const internal::SysStatus written = file.Write(text.data(), text.size());
  if (!written.ok()) {
    throw CommandError{kExitFailure, target.string() + ": cannot write: " +
                                         ErrnoText(written.error)};
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
  namespace internal = KoraConfigStore::internal;
  const internal::SysResult<int> fd = internal::DescriptorOrErrno(
      ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC));
  const internal::DescriptorCloser closer(fd.value);
  const internal::SysStatus written =
      fd.ok() ? internal::WriteAll(fd.value, text.data(), text.size())
              : fd.status();
  if (!written.ok()) {
    throw CommandError{kExitFailure,
                       path + ": cannot write: " + ErrnoText(written.error)};
  }
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
