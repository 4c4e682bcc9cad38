// Lines of concurrent threads each carry their own thread's id and context
// (each thread starts with an empty one).
#include <pthread.h>

#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "cssupport/logging/cs_logger.h"
#include "hostrt/recording/recording_host.h"

namespace {

TEST(LoggerThreads, EachLineCarriesItsOwnThreadAndContext) {
  constexpr int kThreads = 6;
  constexpr int kLines = 200;
  hostrt_recording::Reset();

  std::vector<std::string> ids(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &ids] {
      char id[32];
      std::snprintf(id, sizeof id, "%lx",
                    static_cast<unsigned long>(pthread_self()));
      ids[t] = id;
      CSLogger::CurrentContext["worker"] = std::to_string(t);
      CSLogger::CurrentContext["share"] = std::string(t + 1, '%');
      for (int i = 0; i < kLines; ++i) {
        CSLogger::Log(CSLogger::CS_LOG_INFO, "line %d", i);
      }
    });
  }
  for (auto& thread : threads) thread.join();

  std::map<std::string, int> linesPerWorker;
  for (const auto& call : hostrt_recording::CallsNamed("LogV")) {
    const std::string& line = call.args.at(2);
    const auto at = line.find("worker=");
    ASSERT_NE(at, std::string::npos) << line;
    const int worker = std::stoi(line.substr(at + 7));
    ASSERT_GE(worker, 0);
    ASSERT_LT(worker, kThreads);
    const std::string expectedPrefix =
        "info [ConfigStore:" + ids[worker] +
        " share=" + std::string(worker + 1, '%') +
        " worker=" + std::to_string(worker) + "] line ";
    ASSERT_EQ(line.compare(0, expectedPrefix.size(), expectedPrefix), 0)
        << line;
    ++linesPerWorker[ids[worker]];
  }
  ASSERT_EQ(linesPerWorker.size(), static_cast<size_t>(kThreads));
  for (const auto& [id, count] : linesPerWorker) EXPECT_EQ(count, kLines) << id;
}

}  // namespace
