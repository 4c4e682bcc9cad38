#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <set>
#include <sstream>
#include <thread>

#include "tests/hostrt/standin_test_util.h"

namespace hostrt_test {
namespace {

using StandinThreads = StandinLogTest;

// Two processes of three writers each share the main file, all starting
// together, while a fourth thread in each keeps adding and replacing an extra
// output. Every other line is longer than the stand-in's stack buffer.
TEST_F(StandinThreads, ConcurrentWritersProduceOnlyWholeLines) {
  const auto line = [](int p, int t, int i) {
    return std::to_string(p * 10000 + t * 1000 + i) + " " +
           std::string(i % 2 == 0 ? 40 : 1500, static_cast<char>('a' + t));
  };
  Open("main.log");
  std::multiset<std::string> expected, lines;
  for (int n = 0; n < 2 * 3 * 1000; ++n)
    expected.insert(line(n / 3000, n / 1000 % 3, n % 1000));
  int start[2];
  ASSERT_EQ(pipe(start), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  const int p = child == 0 ? 1 : 0;
  std::atomic<bool> done{false};
  std::thread churn([&] {
    while (!done) {  // an output taking no lines, briefly installed
      Log_ReplaceOutput(Open("extra.log", 0), nullptr, nullptr);
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
  });
  std::vector<std::thread> writers;
  for (int t = 0; t < 3; ++t) {
    writers.emplace_back([t, p, &line, &start] {
      char go;
      if (read(start[0], &go, 1) != 0) return;  // until both write ends close
      for (int i = 0; i < 1000; ++i) Log(5, "%s\n", line(p, t, i).c_str());
    });
  }
  close(start[1]);
  for (std::thread& writer : writers) writer.join();
  done = true;
  churn.join();
  if (child == 0) _exit(0);
  int status = -1;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_EQ(status, 0);

  std::istringstream in(Read("main.log"));
  for (std::string text; std::getline(in, text);) lines.insert(text);
  EXPECT_TRUE(lines == expected);
}

}  // namespace
}  // namespace hostrt_test
