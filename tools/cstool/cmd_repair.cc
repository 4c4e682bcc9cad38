// cstool repair [--file PATH]
//
// An event record file that does not parse makes DumpJot record nothing
// until someone removes or repairs it; the records it could not store wait
// in the .held side file. `repair` keeps every complete record of such a
// file, adds the held ones after them, writes it back in the compact form,
// and keeps the damaged original beside it. At every moment the path holds
// either the damaged file (with its second name made first) or the repaired
// one; the held file is emptied only once the repaired file is in place, so
// a repair killed in between leaves those records both in the file and in
// the held file, and the next repair adds them again (twice stored, never
// lost).
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
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
#include "cssupport/events/internal/side_file.h"
#include "cssupport/internal/sys_status.h"
#include "cssupport/internal/whole_file.h"
#include "cssupport/json/bounded_parse.h"
#include "cssupport/json/write_json.h"
#include "file_io.h"

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
  std::string kept;  // JSON text that parses: what is kept, not yet compact
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
  Salvage salvage{"{\"jots\":[]}", 0, ""};
  if (!result.IsError()) {
    salvage.droppedFrom = stream.Tell();
    salvage.reason = "text after the root value";
    salvage.kept = damaged.substr(0, salvage.droppedFrom);
  } else {
    salvage.droppedFrom = bounds.suffix() ? bounds.keep() : 0;
    salvage.reason = internal::DescribeParseFailure(result);
    if (bounds.suffix())
      salvage.kept = damaged.substr(0, bounds.keep()) + bounds.suffix();
  }
  return salvage;
}

// The repaired file, compact, with what it holds.
struct Rebuilt {
  std::string text;
  std::size_t kept = 0;   // records of the base
  std::size_t added = 0;  // records of the held file after them
};

// The held records of `lines` (one JSON value a line; blank lines hold
// none) as the text of one JSON array. Throws CommandError, naming `held`,
// for a line that is not one JSON value.
std::string HeldArray(const std::string& lines, const std::string& held,
                      std::size_t& count) {
  std::string array = "[";
  count = 0;
  std::size_t number = 0;
  for (std::size_t start = 0; start < lines.size(); ++number) {
    const std::size_t end = lines.find('\n', start);
    const std::string line = lines.substr(start, end - start);
    start = end + 1;
    if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
    internal::EventDocument record;
    rapidjson::ParseResult result;
    if (!internal::ParseJsonText(line, record, result)) {
      throw CommandError{kExitFailure,
                         held + ": line " + std::to_string(number + 1) +
                             " does not parse as JSON: " +
                             internal::DescribeParseFailure(result) +
                             "; nothing repaired"};
    }
    array += (count++ == 0 ? "" : ",") + line;
  }
  return array + "]";
}

// `base` (JSON text that parses) with the records of the held file's
// `lines` appended to its "jots" array, as DumpJot would have appended them:
// a root null becomes an object, an object without "jots" gets one. Throws
// CommandError when held records have no place (a root of another type, a
// "jots" that is not an array) or a held line does not parse.
Rebuilt Rebuild(const std::string& base, const std::string& lines,
                const std::string& path, const std::string& held) {
  Rebuilt rebuilt;
  internal::EventDocument document, records;
  if (!internal::ParseJsonText(base, document) ||
      !internal::ParseJsonText(HeldArray(lines, held, rebuilt.added),
                               records)) {
    throw CommandError{kExitFailure, "cannot rebuild the file"};
  }
  auto& allocator = document.GetAllocator();
  if (document.IsNull() && rebuilt.added > 0) document.SetObject();
  internal::EventValue* jots = nullptr;
  if (document.IsObject()) {
    const auto found = document.FindMember("jots");
    if (found != document.MemberEnd()) jots = &found->value;
  }
  if (jots == nullptr && document.IsObject() && rebuilt.added > 0) {
    document.AddMember("jots", internal::EventValue(rapidjson::kArrayType),
                       allocator);
    jots = &(document.MemberEnd() - 1)->value;
  }
  if (jots != nullptr && jots->IsArray()) rebuilt.kept = jots->Size();
  if (rebuilt.added > 0) {
    if (jots == nullptr || !jots->IsArray()) {
      throw CommandError{kExitFailure,
                         path +
                             ": not an event record file, so the records "
                             "of " +
                             held + " stay there; nothing repaired"};
    }
    // The values stay in the pool of `records`, which outlives the writing.
    for (auto& record : records.GetArray()) jots->PushBack(record, allocator);
  }
  internal::EventStringBuffer buffer;
  internal::EventWriter writer(buffer);
  internal::WriteJson(document, writer);
  rebuilt.text.assign(buffer.GetString(), buffer.GetSize());
  return rebuilt;
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

// Gives the file at `path` a second name, a new "<path>.damaged-<UTC time>"
// (never another file's), and returns it; the file stays at `path`.
std::string LinkAside(const std::string& path) {
  const std::string base = path + ".damaged-" + UtcStamp();
  for (int n = 1; n < 100; ++n) {
    std::string name = n == 1 ? base : base + "-" + std::to_string(n);
    if (link(path.c_str(), name.c_str()) == 0) return name;
    if (errno != EEXIST) Fail(path + ": cannot keep the damaged file", errno);
  }
  Fail(path + ": cannot keep the damaged file", EEXIST);
}

// The "<path>.damaged-..." name that an earlier repair, cut short, gave the
// file `info` at `path` (its only other link), or empty when there is none.
std::string FindAside(const std::string& path, const struct stat& info) {
  if (info.st_nlink != 2) return "";
  const std::string directory = internal::DirectoryOf(path);
  const std::string::size_type slash = path.rfind('/');
  const std::string prefix =
      (slash == std::string::npos ? path : path.substr(slash + 1)) +
      ".damaged-";
  DIR* listing = opendir(directory.c_str());
  if (listing == nullptr) return "";
  std::string found;
  while (const dirent* entry = readdir(listing)) {
    const std::string name = entry->d_name;
    struct stat other;
    if (name.rfind(prefix, 0) == 0 && entry->d_ino == info.st_ino &&
        fstatat(dirfd(listing), entry->d_name, &other, AT_SYMLINK_NOFOLLOW) ==
            0 &&
        other.st_dev == info.st_dev && other.st_ino == info.st_ino) {
      found = path + name.substr(prefix.size() - 9);
      break;
    }
  }
  closedir(listing);
  return found;
}

// Reads the event record file at `path` into `text` and `info` when it is
// one that a repair cut short left with a second name (FindAside); returns
// that name, or empty.
std::string ReadLinkedAside(const std::string& path, std::string& text,
                            struct stat& info) {
  const int fd = open(
      path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return "";
  const internal::DescriptorCloser closer(fd);
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return "";
  std::string aside = FindAside(path, info);
  if (!aside.empty()) {
    const internal::SysStatus read =
        internal::ReadToEnd(fd, info.st_size, text);
    if (!read.ok()) Fail(path + ": cannot read", read.error);
  }
  return aside;
}

// Writes `text` as the new file `path`, which must not exist, with the
// owner, group and permission bits of `original`, whole or not at all
// (WholeFile), synced.
internal::SysStatus WriteNew(const std::string& path, const std::string& text,
                             const struct stat& original) {
  internal::WholeFileOptions options;
  options.createMode = 0600;
  options.mode = original.st_mode & 07777;
  // A group the caller is not in may be refused; records stuck in a damaged
  // file matter more than its group, and the owner stays the caller.
  options.ownership = internal::Ownership::kCopyUnlessCallerOwns;
  options.owner = original.st_uid;
  options.group = original.st_gid;
  // The file only; the caller renames it into place.
  options.durability = internal::Durability::kFile;
  internal::WholeFile file(path, options);
  if (!file.created().ok()) return file.created();
  return file.Write(text.data(), text.size());
}

void Repair(const std::string& path) {
  const DirectoryLock lock(path, LOCK_EX);
  if (lock.status().error == EWOULDBLOCK) {
    throw CommandError{kExitFailure, path + ": " +
                                         KeptLocked("the event record file") +
                                         "; nothing repaired"};
  }
  if (!lock.held()) Fail(internal::DirectoryOf(path), lock.status().error);
  // Locked until its records are in the repaired file and it is emptied.
  const std::string heldPath =
      internal::SideFilePath(path, internal::SideFile::kHeld);
  const internal::LockedSideFile held(
      heldPath, false, std::chrono::steady_clock::now() + internal::kLockWait);
  std::string lines;
  if (held.status().error == EWOULDBLOCK) {
    throw CommandError{kExitFailure, heldPath + ": " + KeptLocked(heldPath) +
                                         "; nothing repaired"};
  }
  if (held.status().error != ENOENT) {
    if (const internal::SysStatus read = held.ReadLines(lines); !read.ok()) {
      Fail(heldPath + ": cannot read", read.error);
    }
  }
  if (lines.find_first_not_of(" \t\r\n") == std::string::npos) lines.clear();

  std::string text;
  struct stat original;
  const internal::EventFileStatus found = internal::ReadEventFile(path, text);
  std::string aside;  // the damaged file's second name
  bool present = found.state == internal::EventFileState::kRead &&
                 lstat(path.c_str(), &original) == 0;
  if (found.state == internal::EventFileState::kRefused &&
      found.error == EMLINK) {
    aside = ReadLinkedAside(path, text, original);
    present = !aside.empty();
  }
  const bool absent = found.state == internal::EventFileState::kAbsent &&
                      found.error == ENOENT && !lines.empty();
  if (!present && !absent) {
    throw CommandError{kExitFailure, path + ": cannot open the event record " +
                                         "file: " + DescribeOpenFailure(found)};
  }
  if (absent) {
    const mode_t mask = umask(0);
    umask(mask);
    original = {};
    original.st_uid = geteuid();
    original.st_gid = getegid();
    original.st_mode = 0666 & ~mask;
    text = "{\"jots\":[]}";
  }
  internal::EventDocument whole;
  const bool parses = internal::ParseJsonText(text, whole);
  if (parses && lines.empty() && aside.empty()) {
    std::printf("nothing to repair: %s parses as JSON\n", path.c_str());
    return;
  }
  const Salvage salvage = parses ? Salvage{text, 0, ""} : SalvageRecords(text);
  const Rebuilt rebuilt = Rebuild(salvage.kept, lines, path, heldPath);
  // The path keeps the damaged file until the repaired one replaces it.
  if (!parses && aside.empty()) aside = LinkAside(path);
  const std::string temporary = path + ".repairing";
  if (unlink(temporary.c_str()) != 0 && errno != ENOENT) {
    Fail(temporary + ": cannot remove", errno);
  }
  if (const internal::SysStatus written =
          WriteNew(temporary, rebuilt.text, original);
      !written.ok()) {
    Fail(path + ": cannot write the repaired file", written.error);
  }
  if (rename(temporary.c_str(), path.c_str()) != 0) {
    const int error = errno;
    unlink(temporary.c_str());
    Fail(path + ": cannot put the repaired file in place", error);
  }
  if (const internal::SysStatus emptied =
          lines.empty() ? internal::SysStatus{} : held.Empty();
      !emptied.ok()) {
    Fail(heldPath + ": its records are in " + path +
             " now, but it cannot be emptied (empty it before the next "
             "repair)",
         emptied.error);
  }
  const std::string added =
      rebuilt.added == 0
          ? ""
          : "added " + std::to_string(rebuilt.added) + " record" +
                (rebuilt.added == 1 ? "" : "s") + " of " + heldPath + " after ";
  if (parses && !added.empty()) {
    Print("repaired %s: %sits %zu record%s\n", path.c_str(), added.c_str(),
          rebuilt.kept, rebuilt.kept == 1 ? "" : "s");
    return;
  }
  if (parses) {  // whole, but left with a second name by an earlier repair
    Print(
        "repaired %s: kept its %zu record%s; the damaged file is kept as "
        "%s\n",
        path.c_str(), rebuilt.kept, rebuilt.kept == 1 ? "" : "s",
        aside.c_str());
    return;
  }
  Print(
      "repaired %s: kept %zu record%s; dropped %zu bytes from byte offset %zu "
      "on (%s); %s%sthe damaged file is kept as %s\n",
      path.c_str(), rebuilt.kept, rebuilt.kept == 1 ? "" : "s",
      text.size() - salvage.droppedFrom, salvage.droppedFrom,
      salvage.reason.c_str(), added.c_str(), added.empty() ? "" : "them; ",
      aside.c_str());
}

}  // namespace

void RegisterRepairCommand(CLI::App& app) {
  auto* repair = app.add_subcommand(
      "repair",
      "Make an event record file that does not parse whole again: keep its "
      "complete records, in the compact form, and the damaged file beside it "
      "(<file>.damaged-<UTC time>), then add the records held in <file>.held "
      "while it did not parse (a file that parses gets those too). The path "
      "holds the old file until the repaired one is renamed over it; a repair "
      "cut short is finished by the next repair.");
  auto file = std::make_shared<std::string>(internal::kEventRecordFilePath);
  repair->add_option("--file", *file, "Event record file to repair")
      ->capture_default_str();
  repair->callback([file] { Repair(*file); });
}

}  // namespace cstool
