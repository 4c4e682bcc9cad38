// Overlapping calls from several processes and threads lose no record.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "cssupport/events/bounded_parse.h"
#include "event_test_support.h"

namespace {

using cssupport_test::ReadBytes;
using cssupport_test::RecordAt;
using cssupport_test::SyslogLines;
using cssupport_test::TempDir;

constexpr int kProcesses = 4;
constexpr int kThreads = 4;
constexpr int kEvents = 25;
const std::string kSchema = "jot.user.cs.schema.file.error";

std::string Tag(int process, int thread, int event) {
  return std::to_string(process) + "/" + std::to_string(thread) + "/" +
         std::to_string(event);
}

// The child's work: returns its exit status (0 when every call returned
// normally and nothing was reported).
int RunChild(const std::string& path, int process, int startFd) {
  char go;
  if (read(startFd, &go, 1) < 0) return 3;
  std::atomic<bool> failed{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int e = 0; e < kEvents; ++e) {
        try {
          RecordAt(path, kSchema, {Tag(process, t, e)});
        } catch (...) {
          failed = true;
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  if (failed) return 1;
  return SyslogLines().empty() ? 0 : 2;
}

TEST(EventFileConcurrency, FourProcessesOfFourThreadsLoseNoRecord) {
  TempDir dir;
  const std::string path = dir.File("loadStoreErrors.json");
  int start[2];
  ASSERT_EQ(pipe(start), 0);
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      close(start[1]);
      _exit(RunChild(path, p, start[0]));
    }
    children.push_back(pid);
  }
  close(start[0]);
  // Closing the write end releases every child at once; the file does not
  // exist yet, so the first calls also race to create it.
  close(start[1]);
  for (const pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
  }

  const auto bytes = ReadBytes(path);
  ASSERT_TRUE(bytes.has_value());
  rapidjson::Document document;
  ASSERT_TRUE(KoraConfigStore::internal::ParseJsonText(*bytes, document));
  ASSERT_TRUE(document.IsObject());
  ASSERT_EQ(document.MemberCount(), 1u);
  const rapidjson::Value& jots = document["jots"];
  ASSERT_TRUE(jots.IsArray());
  EXPECT_EQ(jots.Size(),
            static_cast<unsigned>(kProcesses * kThreads * kEvents));
  std::set<std::string> seen;
  for (const auto& record : jots.GetArray()) {
    ASSERT_TRUE(record.IsObject());
    EXPECT_EQ(std::string(record["jotId"].GetString()), kSchema);
    ASSERT_EQ(record["jotArgs"].Size(), 1u);
    seen.insert(record["jotArgs"][0].GetString());
  }
  EXPECT_EQ(seen.size(), static_cast<size_t>(kProcesses * kThreads * kEvents));
}

}  // namespace
