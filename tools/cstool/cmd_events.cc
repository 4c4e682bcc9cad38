// cstool record EVENT-ID [ARG...] | events [--file PATH]
//
// `record` checks the event record file before it calls DumpJot. DumpJot
// itself reports an unparsable file only to the system log and then does
// not look at the identifier at all, so with such a file the tool says that
// nothing was recorded and that the identifier could not be checked (exit
// 1), rather than calling DumpJot. The check and the call are not atomic: a
// file that breaks in between is reported by DumpJot to the system log, and
// the tool, seeing no new record, says nothing was recorded.
#include <sys/file.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "commands.h"
#include "cssupport/errors/json.h"
#include "cssupport/events/bounded_parse.h"
#include "cssupport/events/dump_jot.h"
#include "cssupport/events/event_file.h"
#include "cssupport/events/event_json.h"
#include "cssupport/events/file_access.h"
#include "cssupport/events/write_json.h"

namespace cstool {
namespace {

constexpr const char* kEventFile =
    KoraConfigStore::internal::kEventRecordFilePath;
constexpr std::size_t kMaxArgs = 16;

using KoraConfigStore::internal::EventFileState;
using Value = KoraConfigStore::internal::EventValue;

// The event record file as read at one moment.
struct EventFile {
  bool present = false;
  std::string openError;   // why it is not present
  std::string parseError;  // empty when it parsed
  KoraConfigStore::internal::EventDocument document;
};

// Reads and parses `path` by DumpJot's rules: only a regular file of one
// link, never through a symbolic link. DumpJot rewrites the file in place
// under an exclusive flock(2) on its directory; a shared one here keeps a
// half-written file from being read.
std::unique_ptr<EventFile> LoadEventFile(const std::string& path) {
  auto file = std::make_unique<EventFile>();
  std::string text;
  {
    const KoraConfigStore::internal::DirectoryLock readers(path, LOCK_SH);
    const auto found = KoraConfigStore::internal::ReadEventFile(path, text);
    file->present = found.state == EventFileState::kRead;
    if (found.state == EventFileState::kNotRegular && found.error == 0) {
      file->openError = "not a regular file";
    } else if (found.error == ELOOP) {
      file->openError = "a symbolic link, which is never followed";
    } else if (found.error == EMLINK) {
      file->openError = "it has more than one link";
    } else if (!file->present) {
      file->openError = std::strerror(found.error);
    }
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
long RecordCount(const std::string& path) {
  const auto file = LoadEventFile(path);
  if (!file->present || !file->parseError.empty()) return -1;
  if (!file->document.IsObject()) return -1;
  const auto jots = file->document.FindMember("jots");
  if (jots == file->document.MemberEnd() || !jots->value.IsArray()) return -1;
  return static_cast<long>(jots->value.Size());
}

void Record(const std::string& jotId, const std::vector<std::string>& args) {
  if (args.size() > kMaxArgs) {
    throw CommandError{kExitUsage, "at most " + std::to_string(kMaxArgs) +
                                       " message arguments"};
  }
  const std::string path = kEventFile;
  {
    const auto file = LoadEventFile(path);
    if (file->present && !file->parseError.empty()) {
      throw CommandError{kExitFailure,
                         path + " does not parse as JSON: " + file->parseError +
                             "; nothing recorded, and '" + jotId +
                             "' could not be checked"};
    }
  }
  const long before = RecordCount(path);

  const char* a[kMaxArgs] = {};
  for (std::size_t i = 0; i < args.size(); ++i) a[i] = args[i].c_str();
  try {
    KoraConfigStore::DumpJot(jotId, static_cast<int>(args.size()), a[0], a[1],
                             a[2], a[3], a[4], a[5], a[6], a[7], a[8], a[9],
                             a[10], a[11], a[12], a[13], a[14], a[15]);
  } catch (const std::out_of_range&) {
    throw CommandError{kExitUsage, "'" + jotId +
                                       "' is not an event identifier of the "
                                       "catalogue (jot.user.cs.*)"};
  } catch (const KoraConfigStore::ConfigStoreException&) {
    const auto file = LoadEventFile(path);
    JotsOf(*file, path);  // names what is wrong with the file
    throw;
  }

  const long after = RecordCount(path);
  if (after < 0) {
    const auto file = LoadEventFile(path);
    if (!file->present) {
      throw CommandError{kExitFailure, "cannot write " + path +
                                           " (see the system log); nothing "
                                           "recorded"};
    }
    throw CommandError{kExitFailure, path +
                                         " has no \"jots\" array, so the "
                                         "record was discarded"};
  }
  if (after <= before) {
    throw CommandError{kExitFailure, "cannot write " + path +
                                         " (see the system log); nothing "
                                         "recorded"};
  }
  std::printf("recorded %s in %s (%ld %s)\n", jotId.c_str(), path.c_str(),
              after, after == 1 ? "record" : "records");
}

// The length of the well-formed UTF-8 sequence that starts `s` (1 to 4),
// or 0 when the bytes there are not one.
std::size_t Utf8Length(const unsigned char* s, std::size_t left) {
  std::size_t n = 0;
  unsigned char low = 0x80, high = 0xBF;  // the second byte's range
  if (s[0] < 0x80) return 1;
  if (s[0] >= 0xC2 && s[0] <= 0xDF) n = 2;
  if (s[0] >= 0xE0 && s[0] <= 0xEF) n = 3;
  if (s[0] >= 0xF0 && s[0] <= 0xF4) n = 4;
  if (s[0] == 0xE0) low = 0xA0;   // no overlong form
  if (s[0] == 0xED) high = 0x9F;  // no surrogate
  if (s[0] == 0xF0) low = 0x90;   // no overlong form
  if (s[0] == 0xF4) high = 0x8F;  // nothing beyond U+10FFFF
  if (n == 0 || left < n || s[1] < low || s[1] > high) return 0;
  for (std::size_t i = 2; i < n; ++i) {
    if (s[i] < 0x80 || s[i] > 0xBF) return 0;
  }
  return n;
}

// `text` with what a terminal would act on written as escapes, so that no
// record can break the table's lines or drive the terminal: C0 controls,
// DEL and C1 controls as JSON escapes (\n, \u001b, \u009b), each byte
// that is not part of well-formed UTF-8 as \xNN.
std::string Printable(const char* text, std::size_t length) {
  std::string out;
  out.reserve(length);
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  for (std::size_t i = 0; i < length; ++i) {
    const unsigned char c = bytes[i];
    const std::size_t n = Utf8Length(bytes + i, length - i);
    char escape[8];
    if (n == 0) {
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

Row RowFor(const Value& record) {
  if (!record.IsObject()) {
    return {"?", "(not an event record: " + Printable(record) + ")"};
  }
  Row row{"?", ""};
  std::string pattern;
  std::vector<std::string> args;
  const auto id = record.FindMember("jotId");
  if (id != record.MemberEnd()) row.event = Printable(id->value);
  const auto message = record.FindMember("jotMsg");
  if (message != record.MemberEnd()) pattern = Printable(message->value);
  const auto jotArgs = record.FindMember("jotArgs");
  if (jotArgs != record.MemberEnd() && jotArgs->value.IsArray()) {
    for (const auto& arg : jotArgs->value.GetArray()) {
      args.push_back(Printable(arg));
    }
  }
  row.message = Expand(pattern, args);
  return row;
}

void Register(CLI::App& app) {
  auto* record = app.add_subcommand(
      "record", "Record one load-store event in " + std::string(kEventFile));
  auto jotId = std::make_shared<std::string>();
  auto args = std::make_shared<std::vector<std::string>>();
  record
      ->add_option("EVENT-ID", *jotId,
                   "Event identifier, e.g. jot.user.cs.schema.file.error")
      ->required();
  record->add_option("ARG", *args, "Message arguments, in order");
  record->callback([jotId, args] { Record(*jotId, *args); });

  auto* events = app.add_subcommand(
      "events", "List the recorded events with their messages filled in");
  auto file = std::make_shared<std::string>(kEventFile);
  events->add_option("--file", *file, "Event record file to read")
      ->capture_default_str();
  events->callback([file] { ListEvents(*file); });
}

const CommandRegistration kRegistration(30, Register);

}  // namespace

void ListEvents(const std::string& path) {
  const auto file = LoadEventFile(path);
  if (!file->present) {
    throw CommandError{
        kExitFailure,
        path + ": cannot open the event record file: " + file->openError};
  }
  if (!file->parseError.empty()) {
    throw CommandError{kExitFailure,
                       path + ": does not parse as JSON: " + file->parseError};
  }
  const Value* jots = JotsOf(*file, path);
  if (jots == nullptr || jots->Empty()) {
    std::printf("no records in %s\n", path.c_str());
    return;
  }
  std::vector<Row> rows;
  rows.reserve(jots->Size());
  std::size_t eventWidth = 5;
  for (const auto& record : jots->GetArray()) {
    rows.push_back(RowFor(record));
    eventWidth = std::max(eventWidth, rows.back().event.size());
  }
  const int numberWidth =
      std::max<int>(1, static_cast<int>(std::to_string(rows.size()).size()));
  std::printf("%*s  %-*s  %s\n", numberWidth, "#", static_cast<int>(eventWidth),
              "EVENT", "MESSAGE");
  for (std::size_t i = 0; i < rows.size(); ++i) {
    std::printf("%*zu  %-*s  %s\n", numberWidth, i + 1,
                static_cast<int>(eventWidth), rows[i].event.c_str(),
                rows[i].message.c_str());
  }
}

}  // namespace cstool
