// Its own executable, so the catalogue is certainly unbuilt when the threads
// start.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "cssupport/errors/error_codes.h"

namespace {

const char* Text(int code) {
  return KoraConfigStore::ErrorMessageForId(
      static_cast<KoraConfigStore::CSErrorCodes>(code));
}

TEST(ErrorCatalogue, FirstCallRaceBuildsOnceAndAnswersEveryone) {
  constexpr int kThreads = 8;
  std::atomic<int> ready{0};
  std::vector<const char*> seen(kThreads);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      for (++ready; ready.load() < kThreads;) {
      }
      seen[i] = Text(1001 + i);
    });
  }
  for (auto& t : threads) t.join();
  for (int i = 0; i < kThreads; ++i) EXPECT_EQ(seen[i], Text(1001 + i)) << i;
  EXPECT_STREQ(seen[0], "Failed to open database %s");
}

}  // namespace
