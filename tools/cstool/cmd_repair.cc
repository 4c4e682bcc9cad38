// cstool repair [--file PATH]
//
// An event record file that does not parse makes DumpJot record nothing
// until someone removes or repairs it. `repair` keeps every complete record
// of such a file, writes it back in the compact form, and keeps the damaged
// original beside it.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>

#include "commands.h"
#include "cssupport/errors/json.h"
#include "cssupport/events/internal/event_file.h"
#include "cssupport/events/internal/event_json.h"
#include "cssupport/events/internal/file_access.h"
#include "cssupport/json/bounded_parse.h"
#include "cssupport/json/write_json.h"

namespace cstool {
namespace {

namespace internal = KoraConfigStore::internal;

// Follows an iterative parse of the event record file and remembers the
// longest prefix that, closed by `suffix`, is a whole root object: one that
// ends after the '[' of the root's (first) "jots" array, after a complete
// object or array in it, or after a complete object or array member that
// follows the array. (The iterative reader reports each token with Tell()
// at the token's first character.)
class RecordBounds
    : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, RecordBounds> {
 public:
  explicit RecordBounds(const rapidjson::StringStream& stream)
      : stream_(stream) {}

  bool Default() { return jotsNext_ = false, true; }
  bool String(const char*, rapidjson::SizeType, bool) { return Default(); }
  bool Key(const char* name, rapidjson::SizeType length, bool) {
    jotsNext_ = depth_ == 1 && !jotsSeen_ && length == 4 &&
                std::memcmp(name, "jots", 4) == 0;
    jotsSeen_ = jotsSeen_ || jotsNext_;
    return true;
  }
  bool StartObject() { return jotsNext_ = false, ++depth_, true; }
  bool EndObject(rapidjson::SizeType) { return Ended(); }
  bool StartArray() {
    if (jotsNext_) inJots_ = true, Keep("]}");
    return jotsNext_ = false, ++depth_, true;
  }
  bool EndArray(rapidjson::SizeType) {
    if (depth_ == 2 && inJots_) inJots_ = false, jotsDone_ = true;
    return Ended();
  }

  std::size_t keep() const { return keep_; }
  const char* suffix() const { return suffix_; }

 private:
  bool Ended() {
    --depth_;
    if (inJots_ && depth_ == 2) Keep("]}");
    if (jotsDone_ && depth_ == 1) Keep("}");
    return true;
  }
  void Keep(const char* suffix) {
    keep_ = stream_.Tell() + 1;  // after the bracket
    suffix_ = suffix;
  }

  const rapidjson::StringStream& stream_;
  int depth_ = 0;
  bool jotsNext_ = false, jotsSeen_ = false, inJots_ = false, jotsDone_ = false;
  std::size_t keep_ = 0;
  const char* suffix_ = nullptr;  // null: no "jots" array was reached
};

struct Salvage {
  std::string text;     // the repaired file, compact
  std::size_t records;  // in its "jots" array
  std::size_t droppedFrom;
  std::string reason;  // why the original stops parsing there
};

// What is worth keeping of `damaged`, which does not parse: the whole root
// value when only text after it is wrong; else the members and complete
// records before the damage; else an empty "jots" array.
Salvage SalvageRecords(const std::string& damaged) {
  rapidjson::StringStream stream(damaged.c_str());
  RecordBounds bounds(stream);
  rapidjson::Reader reader;
  const rapidjson::ParseResult result =
      reader.Parse<rapidjson::kParseIterativeFlag |
                   rapidjson::kParseStopWhenDoneFlag>(stream, bounds);
  Salvage salvage{"", 0, 0, ""};
  std::string kept = "{\"jots\":[]}";
  if (!result.IsError()) {
    salvage.droppedFrom = stream.Tell();
    salvage.reason = "text after the root value";
    kept = damaged.substr(0, salvage.droppedFrom);
  } else {
    salvage.droppedFrom = bounds.suffix() ? bounds.keep() : 0;
    salvage.reason = internal::DescribeParseFailure(result);
    if (bounds.suffix())
      kept = damaged.substr(0, bounds.keep()) + bounds.suffix();
  }
  internal::EventDocument document;
  if (!internal::ParseJsonText(kept, document)) {
    throw CommandError{kExitFailure, "cannot rebuild the file"};
  }
  if (document.IsObject()) {
    const auto jots = document.FindMember("jots");
    if (jots != document.MemberEnd() && jots->value.IsArray()) {
      salvage.records = jots->value.Size();
    }
  }
  internal::EventStringBuffer buffer;
  internal::EventWriter writer(buffer);
  internal::WriteJson(document, writer);
  salvage.text.assign(buffer.GetString(), buffer.GetSize());
  return salvage;
}

std::string UtcStamp() {
  const std::time_t now = std::time(nullptr);
  std::tm utc;
  gmtime_r(&now, &utc);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &utc);
  return stamp;
}

[[noreturn]] void Fail(const std::string& what, int error) {
  throw CommandError{kExitFailure, what + ": " + std::strerror(error)};
}

// Moves the file at `path` aside to a new "<path>.damaged-<UTC time>" name,
// never over another file, and returns that name.
std::string MoveAside(const std::string& path) {
  const std::string base = path + ".damaged-" + UtcStamp();
  for (int n = 1; n < 100; ++n) {
    const std::string name = n == 1 ? base : base + "-" + std::to_string(n);
    if (renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, name.c_str(),
                  RENAME_NOREPLACE) == 0) {
      return name;
    }
    if (errno != EEXIST) Fail(path + ": cannot keep the damaged file", errno);
  }
  Fail(path + ": cannot keep the damaged file", EEXIST);
}

// Writes `text` as the new file `path`, which must not exist, with the
// owner, group and permission bits of `original`: unnamed until it is whole
// where the file system allows, so that a repair cut short leaves no partial
// file. Returns 0 or the errno of the failure.
int WriteNew(const std::string& path, const std::string& text,
             const struct stat& original) {
  int fd = internal::OpenUnnamed(internal::DirectoryOf(path), 0600);
  const bool unnamed = fd >= 0;
  if (!unnamed && internal::NoUnnamedFiles(errno)) {
    fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  }
  if (fd < 0) return errno;
  const internal::DescriptorCloser closer(fd);
  int error = internal::WriteAll(fd, text.data(), text.size());
  // The owner first: changing it may clear the set-ID bits that fchmod sets.
  if (error == 0 && fchown(fd, original.st_uid, original.st_gid) != 0 &&
      (original.st_uid != geteuid() || errno != EPERM)) {
    error = errno;
  }
  if (error == 0 &&
      (fchmod(fd, original.st_mode & 07777) != 0 || fsync(fd) != 0)) {
    error = errno;
  }
  if (error == 0 && unnamed) error = internal::LinkUnnamed(fd, path);
  if (error != 0 && !unnamed) unlink(path.c_str());
  return error;
}

void Repair(const std::string& path) {
  const internal::DirectoryLock lock(path, LOCK_EX);
  if (lock.error() == EWOULDBLOCK) {
    throw CommandError{kExitFailure, path + ": " +
                                         KeptLocked("the event record file") +
                                         "; nothing repaired"};
  }
  if (!lock.held()) Fail(internal::DirectoryOf(path), lock.error());
  std::string text;
  const internal::EventFileStatus found = internal::ReadEventFile(path, text);
  struct stat original;
  if (found.state != internal::EventFileState::kRead ||
      lstat(path.c_str(), &original) != 0) {
    throw CommandError{kExitFailure, path + ": cannot open the event record " +
                                         "file: " + DescribeOpenFailure(found)};
  }
  internal::EventDocument whole;
  if (internal::ParseJsonText(text, whole)) {
    std::printf("nothing to repair: %s parses as JSON\n", path.c_str());
    return;
  }
  const Salvage salvage = SalvageRecords(text);
  const std::string aside = MoveAside(path);
  if (const int error = WriteNew(path, salvage.text, original)) {
    renameat2(AT_FDCWD, aside.c_str(), AT_FDCWD, path.c_str(),
              RENAME_NOREPLACE);
    Fail(path + ": cannot write the repaired file", error);
  }
  std::printf(
      "repaired %s: kept %zu record%s; dropped %zu bytes from byte offset %zu "
      "on (%s); the damaged file is kept as %s\n",
      path.c_str(), salvage.records, salvage.records == 1 ? "" : "s",
      text.size() - salvage.droppedFrom, salvage.droppedFrom,
      salvage.reason.c_str(), aside.c_str());
}

}  // namespace

void RegisterRepairCommand(CLI::App& app) {
  auto* repair = app.add_subcommand(
      "repair",
      "Make an event record file that does not parse whole again: keep its "
      "complete records, in the compact form, and the damaged file beside it "
      "(<file>.damaged-<UTC time>)");
  auto file = std::make_shared<std::string>(internal::kEventRecordFilePath);
  repair->add_option("--file", *file, "Event record file to repair")
      ->capture_default_str();
  repair->callback([file] { Repair(*file); });
}

}  // namespace cstool
