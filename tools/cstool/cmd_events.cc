// cstool record EVENT-ID [ARG...] | record --list | events [--file PATH]
//
// `record` checks what it can before it calls DumpJot, which reports its
// failures only to the system log: the identifier against the catalogue, the
// event directory, and that the event record file parses (DumpJot leaves an
// unparsable file alone and records nothing). The checks and the call are
// not atomic: a file that breaks in between is reported by DumpJot to the
// system log, and the tool, seeing no new record, says nothing was recorded.
#include <sys/file.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "commands.h"
#include "cssupport/errors/json.h"
#include "cssupport/events/dump_jot.h"
#include "cssupport/events/internal/event_catalogue.h"
#include "cssupport/events/internal/event_file.h"
#include "cssupport/events/internal/event_json.h"
#include "cssupport/events/internal/file_access.h"
#include "cssupport/internal/fnv1a.h"
#include "cssupport/json/bounded_parse.h"
#include "cssupport/json/utf8.h"
#include "cssupport/json/write_json.h"
#include "file_io.h"

namespace cstool {
namespace {

constexpr const char* kEventFile =
    KoraConfigStore::internal::kEventRecordFilePath;
constexpr std::size_t kMaxArgs = 16;
constexpr char kRepairHint[] =
    " ('cstool repair' makes it whole again, keeping its complete records)";

using KoraConfigStore::internal::EventFileState;
using KoraConfigStore::internal::kEventCatalogue;
using Value = KoraConfigStore::internal::EventValue;

// The event record file as read at one moment.
struct EventFile {
  bool locked = false;  // read under the shared lock
  bool present = false;
  std::string openError;   // why it is not present
  std::string parseError;  // empty when it parsed
  KoraConfigStore::internal::EventDocument document;
};

// Reads and parses `path` by DumpJot's rules: only a regular file of one
// link, never through a symbolic link. DumpJot rewrites the file in place
// under an exclusive flock(2) on its directory; a shared one here, waited for
// until `deadline`, keeps a half-written file from being read.
std::unique_ptr<EventFile> LoadEventFile(
    const std::string& path, std::chrono::steady_clock::time_point deadline =
                                 std::chrono::steady_clock::now() +
                                 KoraConfigStore::internal::kLockWait) {
  auto file = std::make_unique<EventFile>();
  std::string text;
  {
    const DirectoryLock readers(path, LOCK_SH, deadline);
    file->locked = readers.held();
    const auto found = KoraConfigStore::internal::ReadEventFile(path, text);
    file->present = found.state == EventFileState::kRead;
    if (!file->present) file->openError = DescribeOpenFailure(found);
  }
  if (file->present) {
    rapidjson::ParseResult result;
    if (!KoraConfigStore::internal::ParseJsonText(text, file->document,
                                                  result)) {
      file->parseError =
          KoraConfigStore::internal::DescribeParseFailure(result);
    }
  }
  return file;
}

// The "jots" array DumpJot appends to (the first member of that name), or
// null when the root is an object without one.
const Value* JotsOf(const EventFile& file, const std::string& path) {
  const Value& root = file.document;
  if (!root.IsObject()) {
    throw CommandError{kExitFailure,
                       path +
                           ": not an event record file: the root is not "
                           "a JSON object"};
  }
  for (const auto& member : root.GetObject()) {
    if (member.name == "jots") {
      if (!member.value.IsArray()) {
        throw CommandError{kExitFailure, path +
                                             ": not an event record file: "
                                             "\"jots\" is not an array"};
      }
      return &member.value;
    }
  }
  return nullptr;
}

// Records in the file, or -1 when there is no file or no "jots" array.
long RecordCount(const EventFile& file) {
  if (!file.present || !file.parseError.empty()) return -1;
  if (!file.document.IsObject()) return -1;
  const auto jots = file.document.FindMember("jots");
  if (jots == file.document.MemberEnd() || !jots->value.IsArray()) return -1;
  return static_cast<long>(jots->value.Size());
}

// The "%s" placeholders of `pattern` as Expand fills them ("%%" starts
// none).
std::size_t Placeholders(const std::string& pattern) {
  std::size_t count = 0;
  for (std::size_t i = 0; i + 1 < pattern.size(); ++i) {
    if (pattern[i] == '%') count += pattern[++i] == 's';
  }
  return count;
}

// The widest the EVENT column is padded to: the longest identifier of the
// catalogue. A longer identifier is printed whole and widens only its row.
std::size_t EventColumnCap() {
  std::size_t cap = 0;
  for (const auto& entry : kEventCatalogue) {
    cap = std::max(cap, std::strlen(entry.first));
  }
  return cap;
}

void PrintCatalogue() {
  const int width = static_cast<int>(EventColumnCap());
  std::printf("%-*s  ARGS  MESSAGE\n", width, "EVENT-ID");
  for (const auto& [id, pattern] : kEventCatalogue) {
    std::printf("%-*s  %-4zu  %s\n", width, id, Placeholders(pattern), pattern);
  }
}

CommandError UnknownEvent(const std::string& jotId) {
  return {kExitUsage, "'" + jotId +
                          "' is not an event identifier of the catalogue "
                          "(cstool record --list lists them)"};
}

// Why `path` in `directory` cannot be written as far as access(2) tells,
// else a pointer to DumpJot's own report, on standard error just above.
std::string WhyNotWritten(const std::string& path,
                          const std::string& directory) {
  if (::access(path.c_str(), W_OK) != 0 && errno != ENOENT) {
    return std::strerror(errno);
  }
  if (::access(directory.c_str(), W_OK) != 0) return std::strerror(errno);
  return "the reason is above";
}

void Record(const std::string& jotId, const std::vector<std::string>& args) {
  const auto entry =
      std::find_if(std::begin(kEventCatalogue), std::end(kEventCatalogue),
                   [&](const auto& known) { return jotId == known.first; });
  if (entry == std::end(kEventCatalogue)) throw UnknownEvent(jotId);
  if (args.size() > kMaxArgs) {
    throw CommandError{kExitUsage, "at most " + std::to_string(kMaxArgs) +
                                       " message arguments"};
  }
  const std::size_t wanted = Placeholders(entry->second);
  if (args.size() != wanted) {
    std::fprintf(stderr,
                 "cstool: warning: the message of %s takes %zu argument%s, "
                 "%zu given (the library records them as given)\n",
                 jotId.c_str(), wanted, wanted == 1 ? "" : "s", args.size());
  }
  const std::string path = kEventFile;
  const std::string directory =
      std::filesystem::path(path).parent_path().string();
  std::error_code error;
  const auto status = std::filesystem::status(directory, error);
  if (status.type() == std::filesystem::file_type::not_found) {
    throw CommandError{kExitFailure, directory +
                                         " does not exist (the host makes it "
                                         "at boot); nothing recorded"};
  }
  if (!std::filesystem::is_directory(status)) {
    throw CommandError{kExitFailure,
                       directory + ": " +
                           (error ? error.message() : "not a directory") +
                           "; nothing recorded"};
  }
  // One bounded wait for the whole command: the checks before the call and
  // after it share the lock wait that DumpJot would make.
  const auto deadline =
      std::chrono::steady_clock::now() + KoraConfigStore::internal::kLockWait;
  const auto file = LoadEventFile(path, deadline);
  if (!file->locked) {
    throw CommandError{kExitFailure, KeptLocked(path) + "; nothing recorded"};
  }
  if (file->present && !file->parseError.empty()) {
    throw CommandError{kExitFailure,
                       path + " does not parse as JSON: " + file->parseError +
                           "; nothing recorded" + kRepairHint};
  }
  const long before = RecordCount(*file);

  // What DumpJot reports to the system log shows on standard error too.
  openlog("cstool", LOG_PERROR, LOG_USER);
  const char* a[kMaxArgs] = {};
  for (std::size_t i = 0; i < args.size(); ++i) a[i] = args[i].c_str();
  try {
    KoraConfigStore::DumpJot(jotId, static_cast<int>(args.size()), a[0], a[1],
                             a[2], a[3], a[4], a[5], a[6], a[7], a[8], a[9],
                             a[10], a[11], a[12], a[13], a[14], a[15]);
  } catch (const std::out_of_range&) {
    throw UnknownEvent(jotId);  // a library of another build
  } catch (const KoraConfigStore::ConfigStoreException&) {
    JotsOf(*LoadEventFile(path, deadline), path);  // names what is wrong
    throw;
  }

  const auto written = LoadEventFile(path, deadline);
  const long after = RecordCount(*written);
  if (!written->locked) {
    throw CommandError{kExitFailure, "another process kept " + path +
                                         " locked; whether the record was "
                                         "stored shows in the system log"};
  }
  if (after < 0 && written->present) {
    throw CommandError{kExitFailure, path +
                                         " has no \"jots\" array, so the "
                                         "record was discarded"};
  }
  if (after <= before) {
    throw CommandError{kExitFailure, "cannot write " + path + " (" +
                                         WhyNotWritten(path, directory) +
                                         "); nothing recorded"};
  }
  std::printf("recorded %s in %s (%ld %s)\n", jotId.c_str(), path.c_str(),
              after, after == 1 ? "record" : "records");
}

// `text` with what a terminal would act on written as escapes, so that no
// record can break the table's lines or drive the terminal: C0 controls,
// DEL and C1 controls as JSON escapes (\n, \u001b, \u009b), each byte
// that is not part of well-formed UTF-8 (NextUtf8Sequence, DumpJot's rules)
// as \xNN.
std::string Printable(const char* text, std::size_t length) {
  std::string out;
  out.reserve(length);
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  for (std::size_t i = 0; i < length; ++i) {
    const unsigned char c = bytes[i];
    const KoraConfigStore::internal::Utf8Sequence sequence =
        KoraConfigStore::internal::NextUtf8Sequence(bytes + i, length - i);
    const std::size_t n = sequence.length;
    char escape[8];
    if (!sequence.wellFormed) {
      std::snprintf(escape, sizeof escape, "\\x%02x", c);
      out += escape;
      continue;
    }
    if (n == 2 && c == 0xC2 && bytes[i + 1] < 0xA0) {
      std::snprintf(escape, sizeof escape, "\\u%04x", bytes[++i]);
      out += escape;
      continue;
    }
    if (n > 1) {
      out.append(text + i, n);
      i += n - 1;
      continue;
    }
    switch (c) {
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20 || c == 0x7f) {
          std::snprintf(escape, sizeof escape, "\\u%04x", c);
          out += escape;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out;
}

std::string Compact(const Value& value) {
  KoraConfigStore::internal::EventStringBuffer buffer;
  KoraConfigStore::internal::EventWriter writer(buffer);
  KoraConfigStore::internal::WriteJson(value, writer);
  return std::string(buffer.GetString(), buffer.GetSize());
}

std::string Printable(const Value& value) {
  if (value.IsString()) {
    return Printable(value.GetString(), value.GetStringLength());
  }
  const std::string json = Compact(value);
  return Printable(json.data(), json.size());
}

// Fills each "%s" of `pattern`, left to right, with the next argument;
// placeholders without an argument stay, arguments without a placeholder
// follow as "[extra: a, b]". "%%" is kept as written and starts no
// placeholder; nothing else in the pattern is interpreted.
std::string Expand(const std::string& pattern,
                   const std::vector<std::string>& args) {
  std::string out;
  std::size_t next = 0;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char following = i + 1 < pattern.size() ? pattern[i + 1] : '\0';
    if (pattern[i] == '%' && following == '%') {
      out += "%%";
      ++i;
    } else if (pattern[i] == '%' && following == 's' && next < args.size()) {
      out += args[next++];
      ++i;
    } else {
      out += pattern[i];
    }
  }
  if (next < args.size()) {
    out += " [extra: ";
    for (std::size_t i = next; i < args.size(); ++i) {
      if (i > next) out += ", ";
      out += args[i];
    }
    out += ']';
  }
  return out;
}

struct Row {
  std::string event;
  std::string message;
};

// A string as it is; any other value as its compact JSON.
std::string Raw(const Value& value) {
  if (value.IsString()) {
    return std::string(value.GetString(), value.GetStringLength());
  }
  return Compact(value);
}

// The row of `record`, each text taken through `text` (Printable for the
// terminal, Raw for JSON): a missing identifier is "?", a missing template
// is empty, and a record that is not an object says so in its message.
Row RowFor(const Value& record, std::string (*text)(const Value&)) {
  if (!record.IsObject()) {
    return {"?", "(not an event record: " + text(record) + ")"};
  }
  Row row{"?", ""};
  std::string pattern;
  std::vector<std::string> args;
  const auto id = record.FindMember("jotId");
  if (id != record.MemberEnd()) row.event = text(id->value);
  const auto message = record.FindMember("jotMsg");
  if (message != record.MemberEnd()) pattern = text(message->value);
  const auto jotArgs = record.FindMember("jotArgs");
  if (jotArgs != record.MemberEnd() && jotArgs->value.IsArray()) {
    for (const auto& arg : jotArgs->value.GetArray()) {
      args.push_back(text(arg));
    }
  }
  row.message = Expand(pattern, args);
  return row;
}

// Hands every call of a value's walk (WriteJson) to `Target`, a writer,
// with each string and member name made well-formed UTF-8 (each ill-formed
// sequence U+FFFD), so that what the writer makes is valid JSON whatever
// bytes the file holds.
template <typename Target>
class WellFormedStrings {
 public:
  explicit WellFormedStrings(Target& target) : target_(target) {}

  bool Null() { return target_.Null(); }
  bool Bool(bool b) { return target_.Bool(b); }
  bool Int(int i) { return target_.Int(i); }
  bool Uint(unsigned u) { return target_.Uint(u); }
  bool Int64(std::int64_t i) { return target_.Int64(i); }
  bool Uint64(std::uint64_t u) { return target_.Uint64(u); }
  bool Double(double d) { return target_.Double(d); }
  bool String(const char* s, rapidjson::SizeType n, bool) {
    const std::string text = KoraConfigStore::internal::ToWellFormedUtf8(s, n);
    return target_.String(text.data(),
                          static_cast<rapidjson::SizeType>(text.size()), true);
  }
  bool Key(const char* s, rapidjson::SizeType n, bool) {
    const std::string text = KoraConfigStore::internal::ToWellFormedUtf8(s, n);
    return target_.Key(text.data(),
                       static_cast<rapidjson::SizeType>(text.size()), true);
  }
  bool StartObject() { return target_.StartObject(); }
  bool EndObject(rapidjson::SizeType n) { return target_.EndObject(n); }
  bool StartArray() { return target_.StartArray(); }
  bool EndArray(rapidjson::SizeType n) { return target_.EndArray(n); }

 private:
  Target& target_;
};

// One JSON Lines line for the record at 1-based `index`: "index", then the
// record's own "jotId", "jotMsg" and "jotArgs" as they are (each only when
// present), then "message", the template filled as the table fills it; a
// record that is not an object gives "index" and "record", the value itself.
std::string JsonLine(const Value& record, std::size_t index) {
  KoraConfigStore::internal::EventStringBuffer buffer;
  KoraConfigStore::internal::EventWriter writer(buffer);
  WellFormedStrings<KoraConfigStore::internal::EventWriter> out(writer);
  writer.StartObject();
  writer.Key("index");
  writer.Uint64(index);
  if (!record.IsObject()) {
    writer.Key("record");
    KoraConfigStore::internal::WriteJson(record, out);
  } else {
    for (const char* name : {"jotId", "jotMsg", "jotArgs"}) {
      const auto member = record.FindMember(name);
      if (member == record.MemberEnd()) continue;
      writer.Key(name);
      KoraConfigStore::internal::WriteJson(member->value, out);
    }
    const std::string message = RowFor(record, Raw).message;
    writer.Key("message");
    out.String(message.data(), static_cast<rapidjson::SizeType>(message.size()),
               true);
  }
  writer.EndObject();
  std::string line(buffer.GetString(), buffer.GetSize());
  line += '\n';
  return line;
}

void Write(const std::string& text) {
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size()) {
    OutputFailed(errno);
  }
}

// How the records are printed, and where the numbering stands.
struct Listing {
  bool json = false;
  int numberWidth = 1;     // the table's "#" column
  std::size_t eventWidth;  // the table's EVENT column
};

// Prints the records of `jots` from index `first` (0-based) on; the table's
// header first when `first` is 0.
void PrintRecords(const Value& jots, std::size_t first,
                  const Listing& listing) {
  if (!listing.json && first == 0) {
    Print("%*s  %-*s  %s\n", listing.numberWidth, "#",
          static_cast<int>(listing.eventWidth), "EVENT", "MESSAGE");
  }
  for (std::size_t i = first; i < jots.Size(); ++i) {
    if (listing.json) {
      Write(JsonLine(jots[static_cast<rapidjson::SizeType>(i)], i + 1));
      continue;
    }
    const Row row =
        RowFor(jots[static_cast<rapidjson::SizeType>(i)],
               static_cast<std::string (*)(const Value&)>(Printable));
    Print("%*zu  %-*s  %s\n", listing.numberWidth, i + 1,
          static_cast<int>(listing.eventWidth), row.event.c_str(),
          row.message.c_str());
  }
}

// The records of a file to list: its "jots" array, or null for a root
// object without one. Throws CommandError when the file is absent, does not
// parse or is not an event record file.
const Value* RecordsOf(const EventFile& file, const std::string& path) {
  if (!file.present) {
    throw CommandError{
        kExitFailure,
        path + ": cannot open the event record file: " + file.openError};
  }
  if (!file.parseError.empty()) {
    throw CommandError{kExitFailure, path + ": does not parse as JSON: " +
                                         file.parseError + kRepairHint};
  }
  return JotsOf(file, path);
}

// The event column's width for `jots`: its longest identifier, at most
// EventColumnCap().
std::size_t EventWidth(const Value& jots) {
  const std::size_t cap = EventColumnCap();
  std::size_t width = 5;  // "EVENT"
  for (const auto& record : jots.GetArray()) {
    if (!record.IsObject()) continue;
    const auto id = record.FindMember("jotId");
    if (id == record.MemberEnd()) continue;
    width = std::max(width, std::min(cap, Printable(id->value).size()));
  }
  return width;
}

int Digits(std::size_t n) { return static_cast<int>(std::to_string(n).size()); }

// Set by SIGINT and SIGTERM while Follow runs.
volatile std::sig_atomic_t stopFollowing = 0;

extern "C" void StopFollowing(int) { stopFollowing = 1; }

// How long Follow sleeps between two looks at the file.
constexpr std::chrono::milliseconds kFollowPoll{200};
// How long Follow waits for the lock of one read before it looks again.
constexpr std::chrono::milliseconds kFollowLockWait{1000};

// The hash of the compact JSON of the first `count` records of `jots`.
std::uint64_t PrefixHash(const Value& jots, std::size_t count) {
  std::uint64_t hash = KoraConfigStore::internal::kFnv1aStart;
  for (std::size_t i = 0; i < count; ++i) {
    const std::string text =
        Compact(jots[static_cast<rapidjson::SizeType>(i)]) + "\n";
    hash = KoraConfigStore::internal::Fnv1a(text.data(), text.size(), hash);
  }
  return hash;
}

// What lstat(2) says of the path, or why it cannot: a change in any of it
// makes Follow read the file again.
struct Identity {
  int error = -1;  // -1: never looked
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  struct timespec modified = {}, changed = {};

  bool operator==(const Identity& o) const {
    return error == o.error && device == o.device && inode == o.inode &&
           size == o.size && modified.tv_sec == o.modified.tv_sec &&
           modified.tv_nsec == o.modified.tv_nsec &&
           changed.tv_sec == o.changed.tv_sec &&
           changed.tv_nsec == o.changed.tv_nsec;
  }
};

Identity IdentityOf(const std::string& path) {
  Identity identity;
  struct stat info;
  if (lstat(path.c_str(), &info) != 0) {
    identity.error = errno;
    return identity;
  }
  identity.error = 0;
  identity.device = info.st_dev;
  identity.inode = info.st_ino;
  identity.size = info.st_size;
  identity.modified = info.st_mtim;
  identity.changed = info.st_ctim;
  return identity;
}

// Prints the records of `path` and then each record appended to it, until
// SIGINT or SIGTERM. Looks at the file every kFollowPoll and reads it again
// when it changed. A file whose first records are no longer those printed
// (replaced, repaired, emptied) is printed again from its first record,
// after a line on stderr; a file that is absent, does not parse or is not an
// event record file is waited for, said once on stderr. Throws CommandError
// when standard output cannot be written.
void Follow(const std::string& path, Listing listing) {
  struct sigaction stop = {};
  stop.sa_handler = StopFollowing;  // no SA_RESTART: a sleep ends at once
  sigemptyset(&stop.sa_mask);
  sigaction(SIGINT, &stop, nullptr);
  sigaction(SIGTERM, &stop, nullptr);
  listing.eventWidth = EventColumnCap();
  std::size_t printed = 0;
  std::uint64_t printedHash = KoraConfigStore::internal::kFnv1aStart;
  std::string said;  // the last note on stderr
  const auto note = [&said](const std::string& text) {
    if (text != said) std::fprintf(stderr, "cstool: %s\n", text.c_str());
    said = text;
  };
  Identity seen;
  while (stopFollowing == 0) {
    const Identity now = IdentityOf(path);
    if (!(now == seen)) {
      const auto file = LoadEventFile(
          path, std::chrono::steady_clock::now() + kFollowLockWait);
      const Value* jots = nullptr;
      bool readable = file->locked;
      if (readable) {
        seen = now;
        try {
          jots = RecordsOf(*file, path);
        } catch (const CommandError& e) {
          note(e.message + "; waiting for it");
          readable = false;
        }
      }
      const std::size_t count = jots == nullptr ? 0 : jots->Size();
      if (readable && printed > 0 &&
          (count < printed || PrefixHash(*jots, printed) != printedHash)) {
        note(path + ": its first " + std::to_string(printed) +
             " records are no longer those printed; starting over from its "
             "first record");
        printed = 0;
        printedHash = KoraConfigStore::internal::kFnv1aStart;
      } else if (readable) {
        said.clear();
      }
      if (readable && count > printed) {
        if (printed == 0) listing.numberWidth = Digits(count);
        PrintRecords(*jots, printed, listing);
        printedHash = PrefixHash(*jots, count);
        printed = count;
        FlushOutput();
      }
    }
    const auto pause =
        std::chrono::duration_cast<std::chrono::nanoseconds>(kFollowPoll);
    struct timespec sleep = {0, static_cast<long>(pause.count())};
    if (stopFollowing == 0) nanosleep(&sleep, nullptr);
  }
  FlushOutput();
}

}  // namespace

std::string KeptLocked(const std::string& what) {
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
      KoraConfigStore::internal::kLockWait);
  return "another process kept " + what + " locked for " +
         std::to_string(seconds.count()) + " s";
}

void RegisterEventCommands(CLI::App& app) {
  auto* record = app.add_subcommand(
      "record", "Record one load-store event in " + std::string(kEventFile));
  auto jotId = std::make_shared<std::string>();
  auto args = std::make_shared<std::vector<std::string>>();
  auto list = std::make_shared<bool>(false);
  auto* id = record->add_option(
      "EVENT-ID", *jotId,
      "Event identifier, e.g. jot.user.cs.schema.file.error (see --list)");
  auto* arg = record->add_option(
      "ARG", *args, "Message arguments, in order, one for each %s");
  record
      ->add_flag("--list", *list,
                 "List the event identifiers, each with the number of "
                 "arguments its message takes")
      ->excludes(id)
      ->excludes(arg);
  record->callback([jotId, args, list, id] {
    if (*list) return PrintCatalogue();
    if (id->count() == 0) {
      throw CommandError{kExitUsage,
                         "record: EVENT-ID is required (cstool record "
                         "--list lists them)"};
    }
    Record(*jotId, *args);
  });

  auto* events = app.add_subcommand(
      "events", "List the recorded events with their messages filled in");
  auto file = std::make_shared<std::string>(kEventFile);
  auto json = std::make_shared<bool>(false);
  auto follow = std::make_shared<bool>(false);
  events->add_option("--file", *file, "Event record file to read")
      ->capture_default_str();
  events->add_flag(
      "--json", *json,
      "JSON Lines instead of the table: one object a record, with its "
      "\"index\" (from 1), its own \"jotId\", \"jotMsg\" and \"jotArgs\", and "
      "\"message\", the template filled; a record that is not an object "
      "gives \"index\" and \"record\"");
  events->add_flag(
      "--follow", *follow,
      "After the records, print each record appended, until interrupted "
      "(SIGINT or SIGTERM, exit status 0); the file is looked at every 0.2 s. "
      "A file whose first records are no longer those printed (replaced, "
      "repaired) is printed again from its first record, said on stderr; a "
      "file absent or broken is waited for");
  events->callback([file, json, follow] { ListEvents(*file, *json, *follow); });
}

std::string DescribeOpenFailure(
    const KoraConfigStore::internal::EventFileStatus& found) {
  if (found.state == EventFileState::kNotRegular && found.error == 0) {
    return "not a regular file";
  }
  if (found.error == ELOOP) return "a symbolic link, which is never followed";
  if (found.error == EMLINK) return "it has more than one link";
  return std::strerror(found.error);
}

void ListEvents(const std::string& path, bool json, bool follow) {
  Listing listing;
  listing.json = json;
  if (follow) return Follow(path, listing);
  const auto file = LoadEventFile(path);
  const Value* jots = RecordsOf(*file, path);
  if (jots == nullptr || jots->Empty()) {
    if (!json) Print("no records in %s\n", path.c_str());
    return;
  }
  listing.numberWidth = Digits(jots->Size());
  listing.eventWidth = EventWidth(*jots);
  PrintRecords(*jots, 0, listing);
}

}  // namespace cstool
