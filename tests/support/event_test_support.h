// Helpers for the event record file tests.
#ifndef CSSUPPORT_TESTS_SUPPORT_EVENT_TEST_SUPPORT_H_
#define CSSUPPORT_TESTS_SUPPORT_EVENT_TEST_SUPPORT_H_

#include <cstring>
#include <filesystem>
#include <optional>

#include "cssupport/events/internal/event_file.h"
#include "hostrt/recording/recording_host.h"
#include "tests/support/data_lines.h"

namespace cssupport_test {

// A fresh directory, removed with everything in it at the end of the scope.
struct TempDir {
  std::string path = std::filesystem::temp_directory_path() / "cs-ev-XXXXXX";
  TempDir() { EXPECT_NE(mkdtemp(&path[0]), nullptr) << path; }
  ~TempDir() { std::filesystem::remove_all(path, ignored); }
  std::error_code ignored;
  std::string File(const std::string& name) const { return path + "/" + name; }
};

inline std::optional<std::string> ReadBytes(const std::string& path) {
  if (std::ifstream in{path, std::ios::binary})
    return std::string(std::istreambuf_iterator<char>(in), {});
  return std::nullopt;
}

inline void WriteBytes(const std::string& path, const std::string& data) {
  std::ofstream(path, std::ios::binary) << data;
}

inline void DumpAt(const std::string& path, const std::string& id, int n, ...) {
  struct Args {
    va_list list;
    ~Args() { va_end(list); }  // also when DumpJotAt throws
  } args;
  va_start(args.list, n);
  KoraConfigStore::internal::DumpJotAt(path, id, n, args.list);
}

// "<priority>:<text>" of each syslog call since the last Reset().
inline std::vector<std::string> SyslogLines() {
  std::vector<std::string> lines;
  for (const auto& call : hostrt_recording::CallsNamed("syslog"))
    lines.push_back(call.args.at(0) + ":" + call.args.at(1));
  return lines;
}

// The compact record of `id` (template from tests/data), args unescaped.
inline std::string RecordJson(const std::string& id,
                              const std::vector<std::string>& args = {}) {
  std::string text = "{\"jotId\":\"" + id + "\",\"jotMsg\":\"";
  for (const std::string& row : DataLines("event_templates.tsv"))
    if (row.rfind(id + '\t', 0) == 0) text += row.substr(id.size() + 1);
  text += "\",\"jotArgs\":[";
  for (const std::string& arg : args) text += '"' + arg + "\",";
  return text.substr(0, text.size() - !args.empty()) + "]}";
}

// The system-log line of `record`, not stored and kept in the file `kept`,
// or not kept (kept empty) for the reason `error`.
inline std::string UnstoredLine(const std::string& record,
                                const std::string& kept, int error = 0) {
  return "3:Load Store workflow error record not stored (" +
         (kept.empty() ? "not kept: " + std::string(std::strerror(error))
                       : "kept in " + kept) +
         "): " + record;
}

}  // namespace cssupport_test

#endif  // CSSUPPORT_TESTS_SUPPORT_EVENT_TEST_SUPPORT_H_
