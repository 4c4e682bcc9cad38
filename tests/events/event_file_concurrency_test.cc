// 4 processes x 4 threads x 25 overlapping calls lose no record; the file
// does not exist yet, so the first calls also race to create it.
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <exception>
#include <set>
#include <thread>

#include "cssupport/events/bounded_parse.h"
#include "event_test_support.h"

namespace {

using namespace cssupport_test;

constexpr int kNoThreads = 3;  // a child's exit status

// Starts when the pipe's write ends close; exits 0 when no call threw or
// logged.
void Child(int p, int start, const std::string& path) {
  char go;
  std::atomic<bool> failed{read(start, &go, 1) < 0};
  std::vector<std::thread> threads;
  // A thread that cannot start (std::system_error) ends the child here.
  const auto ended = std::set_terminate([] { _exit(kNoThreads); });
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int e = 0; e < 25; ++e) {
        const std::string tag = std::to_string(p * 100 + t * 25 + e);
        try {
          DumpAt(path, "jot.user.cs.schema.file.error", 1, tag.c_str());
        } catch (...) {
          failed = true;
        }
      }
    });
  }
  std::set_terminate(ended);
  for (auto& thread : threads) thread.join();
  _exit(failed || !SyslogLines().empty() ? 1 : 0);
}

TEST(EventFileConcurrency, FourProcessesOfFourThreadsLoseNoRecord) {
  TempDir dir;
  const std::string path = dir.File("loadStoreErrors.json");
  int start[2];
  ASSERT_EQ(pipe(start), 0);
  std::vector<pid_t> children;
  for (int p = 0; p < 4; ++p) {
    children.push_back(fork());
    if (children.back() == 0) close(start[1]), Child(p, start[0], path);
  }
  close(start[0]);
  close(start[1]);
  int started = 0;
  for (const pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    started += WIFEXITED(status) && WEXITSTATUS(status) == kNoThreads ? 0 : 1;
    EXPECT_TRUE(status == 0 || status == kNoThreads << 8) << status;
  }
  if (started < 4) GTEST_SKIP() << 4 - started << " children had no threads";
  rapidjson::Document doc;
  ASSERT_TRUE(KoraConfigStore::internal::ParseJsonText(
      ReadBytes(path).value_or(""), doc));
  ASSERT_TRUE(doc.IsObject() && doc.MemberCount() == 1 &&
              doc["jots"].IsArray());
  std::set<std::string> tags;
  for (const auto& record : doc["jots"].GetArray())
    tags.insert(record["jotArgs"][0].GetString());
  EXPECT_EQ(doc["jots"].Size(), 400u);
  EXPECT_EQ(tags.size(), 400u);
}

}  // namespace
