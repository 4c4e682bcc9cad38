// Concurrent threads' lines carry their own id and (fresh) context; their
// first catalogue lookups, made at once, build the catalogue once.
#include <pthread.h>

#include <cstdio>
#include <map>
#include <thread>

#include <gtest/gtest.h>

#include "cssupport/errors/error_codes.h"
#include "cssupport/logging/cs_logger.h"
#include "hostrt/recording/recording_host.h"

namespace {

TEST(LoggerThreads, EachLineCarriesItsOwnThreadAndContext) {
  hostrt_recording::Reset();
  std::vector<std::string> prefixes(6);
  std::vector<std::string> texts(6);
  std::vector<std::thread> threads;
  for (int t = 0; t < 6; ++t) {
    threads.emplace_back([t, &prefixes, &texts] {
      texts[t] = KoraConfigStore::ErrorMessageForId(
          t % 2 ? KoraConfigStore::CS_ERR_DB_OPEN
                : KoraConfigStore::CS_ERR_INTERNAL);
      CSLogger::CurrentContext["worker"] = std::to_string(t);
      CSLogger::CurrentContext["share"] = std::string(t + 1, '%');
      char id[32];
      std::snprintf(id, sizeof id, "%lx",
                    static_cast<unsigned long>(pthread_self()));
      prefixes[t] = std::string("info [ConfigStore:") + id +
                    " share=" + std::string(t + 1, '%') +
                    " worker=" + std::to_string(t) + "] line ";
      for (int i = 0; i < 200; ++i)
        CSLogger::Log(CSLogger::CS_LOG_INFO, "line %d", i);
    });
  }
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < 6; ++t) {
    EXPECT_EQ(texts[t], t % 2 ? "Failed to open database %s"
                              : "ConfigStore internal error");
  }
  std::map<std::string, int> lines;  // per prefix
  for (const auto& call : hostrt_recording::CallsNamed("LogV")) {
    const std::string& line = call.args.at(2);
    ++lines[line.substr(0, line.find("] line ") + 7)];
  }
  std::map<std::string, int> expected;
  for (const std::string& prefix : prefixes) expected[prefix] = 200;
  EXPECT_EQ(lines, expected);
}

}  // namespace
