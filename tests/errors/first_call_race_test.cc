// Its own executable, so the catalogue is certainly unbuilt when the threads
// start.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "cssupport/errors/error_codes.h"

namespace {

TEST(ErrorCatalogue, FirstCallRaceBuildsOnceAndAnswersEveryone) {
  constexpr int kThreads = 8;
  std::atomic<int> ready{0};
  std::atomic<bool> go{false};
  std::vector<const char*> seen(kThreads * 2);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      ++ready;
      while (!go.load()) {
      }
      seen[2 * i] = KoraConfigStore::ErrorMessageForId(
          static_cast<KoraConfigStore::CSErrorCodes>(1001 + i));
      seen[2 * i + 1] =
          KoraConfigStore::ErrorMessageForId(KoraConfigStore::CS_ERR_INTERNAL);
    });
  }
  while (ready.load() < kThreads) {
  }
  go = true;
  for (auto& t : threads) t.join();

  const char* expected[] = {
      "Failed to open database %s",         "Failed to connect to database %s",
      "Failed to disconnect from database %s", "Failed to read",
      "Failed to write",                    "Failed to update",
      "Failed to delete from database",     "Failed to execute prepare call"};
  for (int i = 0; i < kThreads; ++i) {
    EXPECT_STREQ(seen[2 * i], expected[i]);
    EXPECT_STREQ(seen[2 * i + 1], "ConfigStore internal error");
    EXPECT_EQ(seen[2 * i + 1], seen[1]);  // one catalogue, one text
  }
}

}  // namespace
