#include "event_test_support.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdarg>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "cssupport/events/event_file.h"
#include "cssupport/hostrt/recording/recording_host.h"

namespace cssupport_test {

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern =
      std::string(base != nullptr && *base != '\0' ? base : "/tmp") +
      "/cssupport-events-XXXXXX";
  if (mkdtemp(&pattern[0]) == nullptr) {
    ADD_FAILURE() << "mkdtemp failed for " << pattern;
  }
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::optional<std::string> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << "cannot write " << path;
}

void RecordAt(const std::string& path, const std::string& jotId, int count,
              ...) {
  struct Arguments {
    va_list list;
    ~Arguments() { va_end(list); }
  } args;
  va_start(args.list, count);
  KoraConfigStore::internal::DumpJotAt(path, jotId, count, args.list);
}

void RecordAt(const std::string& path, const std::string& jotId,
              const std::vector<std::string>& args) {
  const char* a[4] = {};
  if (args.size() > 4) {
    ADD_FAILURE() << "at most four arguments";
    return;
  }
  for (size_t i = 0; i < args.size(); ++i) a[i] = args[i].c_str();
  RecordAt(path, jotId, static_cast<int>(args.size()), a[0], a[1], a[2], a[3]);
}

std::vector<std::string> SyslogLines() {
  std::vector<std::string> lines;
  for (const auto& call : hostrt_recording::CallsNamed("syslog")) {
    lines.push_back(call.args.at(0) + ":" + call.args.at(1));
  }
  return lines;
}

std::string RecordJson(const std::string& jotId,
                       const std::vector<std::string>& args) {
  std::string text = "{\"jotId\":\"" + jotId + "\",\"jotMsg\":\"" +
                     KoraConfigStore::jotMsgMap.at(jotId) + "\",\"jotArgs\":[";
  for (size_t i = 0; i < args.size(); ++i) {
    if (i > 0) text += ',';
    text += '"' + args[i] + '"';
  }
  return text + "]}";
}

}  // namespace cssupport_test
