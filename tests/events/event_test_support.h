// Helpers for the event record file tests.
#ifndef CSSUPPORT_TESTS_EVENTS_EVENT_TEST_SUPPORT_H_
#define CSSUPPORT_TESTS_EVENTS_EVENT_TEST_SUPPORT_H_

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <optional>

#include "cssupport/events/event_file.h"
#include "hostrt/recording/recording_host.h"
#include "tests/data_lines.h"

namespace cssupport_test {

struct TempDir {
  std::string path = [] {
    std::string p = std::filesystem::temp_directory_path() / "cs-events-XXXXXX";
    if (mkdtemp(&p[0]) == nullptr) ADD_FAILURE() << "mkdtemp " << p;
    return p;
  }();
  ~TempDir() {
    std::error_code e;
    std::filesystem::remove_all(path, e);
  }
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
    ~Args() { va_end(list); }
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

// The nine events and their templates, tab-separated, as users see them.
inline std::vector<std::string> EventTable() {
  return DataLines("event_templates.tsv");
}

// The compact record DumpJot writes (arguments need no JSON escaping), with
// the template of `id` from the event table.
inline std::string RecordJson(const std::string& id,
                              const std::vector<std::string>& args = {}) {
  std::string message;
  for (const std::string& row : EventTable())
    if (row.rfind(id + '\t', 0) == 0) message = row.substr(id.size() + 1);
  std::string text =
      "{\"jotId\":\"" + id + "\",\"jotMsg\":\"" + message + "\",\"jotArgs\":[";
  for (size_t i = 0; i < args.size(); ++i)
    text += (i > 0 ? ",\"" : "\"") + args[i] + '"';
  return text + "]}";
}

}  // namespace cssupport_test

#endif  // CSSUPPORT_TESTS_EVENTS_EVENT_TEST_SUPPORT_H_
