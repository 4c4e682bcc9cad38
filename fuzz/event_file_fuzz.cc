// libFuzzer: the input becomes the event record file and one event is
// recorded over it with a valid identifier. Accepted outcomes, and nothing
// else (any other exception or a violated check aborts):
//   - the file does not parse: the parse failure alone is reported to the
//     system log and the file keeps its bytes;
//   - a record is merged: nothing is reported and the file now holds a JSON
//     object whose first "jots", if any, ends with the new record;
//   - ConfigStoreException 1082 for "IsObject()" or "IsArray()", with nothing
//     reported and the file unchanged.
#include <stdlib.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "cssupport/errors/exceptions.h"
#include "cssupport/events/internal/event_file.h"
#include "cssupport/json/bounded_parse.h"
#include "hostrt/recording/recording_host.h"

namespace {

constexpr char kJotId[] = "jot.user.cs.schema.file.error";
constexpr char kArg[] = "fuzz";

void Require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "event_file_fuzz: outcome not allowed: %s\n", what);
  std::abort();
}

const std::string& EventFilePath() {
  static const std::string path = [] {
    std::string dir = "/tmp/cssupport-fuzz-XXXXXX";
    Require(mkdtemp(&dir[0]) != nullptr, "scratch directory");
    return dir + "/loadStoreErrors.json";
  }();
  return path;
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  Require(out.good(), "writing the input");
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void Record(const std::string& path, int count, ...) {
  va_list args;
  va_start(args, count);
  KoraConfigStore::internal::DumpJotAt(path, kJotId, count, args);
  va_end(args);
}

bool EndsWith(const std::string& text, const char* suffix) {
  const std::size_t n = std::strlen(suffix);
  return text.size() >= n && text.compare(text.size() - n, n, suffix) == 0;
}

bool IsNewRecord(const rapidjson::Value& record) {
  if (!record.IsObject() || record.MemberCount() != 3) return false;
  const auto id = record.FindMember("jotId");
  const auto args = record.FindMember("jotArgs");
  return id != record.MemberEnd() && id->value == kJotId &&
         args != record.MemberEnd() && args->value.IsArray() &&
         args->value.Size() == 1 && args->value[0] == kArg;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string& path = EventFilePath();
  const std::string input(reinterpret_cast<const char*>(data), size);
  WriteFile(path, input);
  // Each input starts with no record kept aside and no identity of an
  // earlier write.
  for (const char* side : {".held", ".unstored", ".identity"}) {
    std::remove((path + side).c_str());
  }
  hostrt_recording::Reset();

  try {
    Record(path, 1, kArg);
  } catch (const KoraConfigStore::ConfigStoreException& e) {
    Require(e.GetErrorCode() == 1082, "a code other than 1082");
    const std::string what = e.what();
    Require(EndsWith(what, ": IsObject()") || EndsWith(what, ": IsArray()"),
            "a JSON error other than IsObject()/IsArray()");
    Require(hostrt_recording::CallsNamed("syslog").empty(),
            "a system-log report with an exception");
    Require(ReadFile(path) == input, "the file changed although it raised");
    return 0;
  }

  const auto reports = hostrt_recording::CallsNamed("syslog");
  const std::string after = ReadFile(path);
  if (!reports.empty()) {
    // The parse failure, then the record it kept aside for a repair.
    Require(reports.size() == 2 && reports[0].args.size() == 2 &&
                reports[0].args[0] == "3" &&
                reports[0].args[1] ==
                    "Failed parsing Config Store JOT json file." &&
                reports[1].args.size() == 2 &&
                reports[1].args[1].rfind(
                    "Load Store workflow error record not stored (kept in ",
                    0) == 0,
            "a report other than the parse failure and the record kept");
    Require(after == input, "an unparsable file changed");
    return 0;
  }
  rapidjson::Document document;
  Require(KoraConfigStore::internal::ParseJsonText(after, document),
          "the written file does not parse");
  Require(document.IsObject(), "the written root is not an object");
  const auto jots = document.FindMember("jots");
  if (jots != document.MemberEnd()) {
    Require(jots->value.IsArray() && !jots->value.Empty() &&
                IsNewRecord(jots->value[jots->value.Size() - 1]),
            "the first \"jots\" does not end with the new record");
  }
  return 0;
}
