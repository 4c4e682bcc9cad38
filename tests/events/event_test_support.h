// Helpers for the event record file tests.
#ifndef CSSUPPORT_TESTS_EVENTS_EVENT_TEST_SUPPORT_H_
#define CSSUPPORT_TESTS_EVENTS_EVENT_TEST_SUPPORT_H_

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>

#include "cssupport/events/event_file.h"
#include "hostrt/recording/recording_host.h"
#include "tests/data_lines.h"

namespace cssupport_test {

// A fresh directory, removed with everything in it at the end of the scope.
struct TempDir {
  std::string path = [] {
    std::string p = std::filesystem::temp_directory_path() / "cs-events-XXXXXX";
    if (mkdtemp(&p[0]) == nullptr) ADD_FAILURE() << "mkdtemp " << p;
    return p;
  }();
  std::error_code ignored;
  ~TempDir() { std::filesystem::remove_all(path, ignored); }
  std::string File(const std::string& name) const { return path + "/" + name; }
};

inline std::optional<std::string> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

inline void DumpAt(const std::string& path, const std::string& id, int count,
                   ...) {
  struct Args {
    va_list list;
    ~Args() { va_end(list); }  // also when DumpJotAt throws
  } args;
  va_start(args.list, count);
  KoraConfigStore::internal::DumpJotAt(path, id, count, args.list);
}

// "<priority>:<text>" of each syslog call since the last Reset().
inline std::vector<std::string> SyslogLines() {
  std::vector<std::string> lines;
  for (const auto& call : hostrt_recording::CallsNamed("syslog"))
    lines.push_back(call.args.at(0) + ":" + call.args.at(1));
  return lines;
}

// The compact record DumpJot writes (arguments need no JSON escaping), with
// the template of `id` from tests/data/event_templates.tsv.
inline std::string RecordJson(const std::string& id,
                              const std::vector<std::string>& args = {}) {
  std::string text = "{\"jotId\":\"" + id + "\",\"jotMsg\":\"";
  for (const std::string& row : DataLines("event_templates.tsv"))
    if (row.rfind(id + '\t', 0) == 0) text += row.substr(id.size() + 1);
  text += "\",\"jotArgs\":[";
  for (size_t i = 0; i < args.size(); ++i)
    text += (i > 0 ? ",\"" : "\"") + args[i] + '"';
  return text + "]}";
}

}  // namespace cssupport_test

#endif  // CSSUPPORT_TESTS_EVENTS_EVENT_TEST_SUPPORT_H_
