#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/hostrt/standin_test_util.h"

namespace hostrt_test {
namespace {

using StandinThreads = StandinLogTest;

TEST_F(StandinThreads, ConcurrentWritersProduceOnlyWholeLines) {
  constexpr int kThreads = 4;
  constexpr int kLines = 200;
  // Every other line is longer than the stand-in's stack buffer.
  const auto line = [](int t, int i) {
    return "t" + std::to_string(t) + " l" + std::to_string(i) + " " +
           std::string(i % 2 == 0 ? 40 : 1500,
                       static_cast<char>('a' + (t * kLines + i) % 26));
  };
  Open("main.log");
  std::vector<std::thread> writers;
  std::multiset<std::string> expected;
  for (int t = 0; t < kThreads; ++t) {
    for (int i = 0; i < kLines; ++i) expected.insert(line(t, i));
    writers.emplace_back([t, &line] {
      for (int i = 0; i < kLines; ++i) Log(5, "%s\n", line(t, i).c_str());
    });
  }
  for (std::thread& writer : writers) writer.join();

  std::istringstream in(Read("main.log"));
  std::multiset<std::string> lines;
  for (std::string text; std::getline(in, text);) lines.insert(text);
  EXPECT_TRUE(lines == expected);
}

}  // namespace
}  // namespace hostrt_test
