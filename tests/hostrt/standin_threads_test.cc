#include <set>
#include <string>
#include <thread>
#include <vector>

#include "cssupport/hostrt/hostrt.h"
#include "cssupport/tests/hostrt/standin_test_util.h"

namespace hostrt_test {
namespace {

using StandinThreads = StandinLogTest;

constexpr int kThreads = 4;
constexpr int kLines = 200;

// Every other line is longer than the stand-in's stack buffer.
std::string Payload(int thread, int line) {
  return std::string(line % 2 == 0 ? 40 : 1500,
                     static_cast<char>('a' + (thread * kLines + line) % 26));
}

TEST_F(StandinThreads, ConcurrentWritersProduceOnlyWholeLines) {
  const std::string mainPath = PathOf("main.log");
  const std::string extraPath = PathOf("extra.log");
  InitMainFile(mainPath);
  AddExtraFile(extraPath, 7);

  std::vector<std::thread> writers;
  for (int t = 0; t < kThreads; ++t) {
    writers.emplace_back([t] {
      for (int i = 0; i < kLines; ++i) {
        Log(5, "t%d l%d %s\n", t, i, Payload(t, i).c_str());
      }
    });
  }
  for (std::thread& writer : writers) writer.join();

  for (const std::string& path : {mainPath, extraPath}) {
    SCOPED_TRACE(path);
    std::set<std::string> expected;
    for (int t = 0; t < kThreads; ++t) {
      for (int i = 0; i < kLines; ++i) {
        expected.insert("t" + std::to_string(t) + " l" + std::to_string(i) +
                        " " + Payload(t, i));
      }
    }
    const std::vector<std::string> lines = SplitLines(ReadFile(path));
    EXPECT_EQ(lines.size(), expected.size());
    for (const std::string& line : lines) {
      EXPECT_EQ(expected.erase(line), 1u) << line.substr(0, 60);
    }
  }
}

}  // namespace
}  // namespace hostrt_test
