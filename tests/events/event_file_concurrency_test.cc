#include <sys/wait.h>
#include <unistd.h>

#include <exception>
#include <set>
#include <thread>

#include "cssupport/errors/json.h"
#include "tests/support/event_test_support.h"

namespace {

using namespace cssupport_test;

constexpr int kNoThreads = 3;  // a child's exit status

// Starts when the pipe's write ends close; exits 0 if no call threw or logged.
void Child(int p, int start, const std::string& path) {
  for (char go; read(start, &go, 1) > 0;) continue;
  std::vector<std::thread> threads;
  const auto ended = std::set_terminate([] { _exit(kNoThreads); });
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int e = 0; e < 25; ++e) {
        const std::string tag = std::to_string(p * 100 + t * 25 + e);
        try {
          DumpAt(path, "jot.user.cs.schema.file.error", 1, tag.c_str());
        } catch (...) {
          _exit(1);
        }
      }
    });
  }
  std::set_terminate(ended);  // a thread that cannot start ended the child
  for (auto& thread : threads) thread.join();
  _exit(SyslogLines().empty() ? 0 : 1);
}

TEST(EventFileConcurrency, FourProcessesOfFourThreadsCreateTheFileLosingNone) {
  TempDir dir;
  const std::string path = dir.File("loadStoreErrors.json");
  int start[2];
  ASSERT_EQ(pipe(start), 0);
  pid_t children[4];
  for (int p = 0; p < 4; ++p)
    if ((children[p] = fork()) == 0) close(start[1]), Child(p, start[0], path);
  close(start[0]), close(start[1]);
  int started = 0, status = 0;
  for (const pid_t pid : children) {
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    started += WIFEXITED(status) && WEXITSTATUS(status) == kNoThreads ? 0 : 1;
    EXPECT_TRUE(status == 0 || status == kNoThreads << 8) << status;
  }
  if (started < 4) GTEST_SKIP() << 4 - started << " children had no threads";
  rapidjson::Document doc;  // a non-object makes the JSON assertion hook throw
  ASSERT_FALSE(doc.Parse(ReadBytes(path).value_or("").c_str()).HasParseError());
  ASSERT_TRUE(doc.MemberCount() == 1 && doc["jots"].IsArray());
  std::set<std::string> tags;
  for (const auto& record : doc["jots"].GetArray())
    EXPECT_TRUE(tags.insert(record["jotArgs"][0].GetString()).second);
  EXPECT_EQ(tags.size(), 400u);
}

}  // namespace
