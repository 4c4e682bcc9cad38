#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "cssupport/config/upgrade_context.h"

namespace KoraConfigStore {
namespace {

constexpr int kSetters = 4;
constexpr int kRounds = 2000;

// Setters race; readers must only ever see values some setter stored, and
// once the context is set it never reads 0 again.
TEST(UpgradeContextThreadsTest, ConcurrentSettersLeaveOneOfTheirValues) {
  std::atomic<bool> go{false};
  std::atomic<int> bad_reads{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kSetters; ++t) {
    threads.emplace_back([&go, t] {
      while (!go.load()) std::this_thread::yield();
      for (int i = 0; i < kRounds; ++i) {
        SetUpgradeCtxFromLib((t + i) % 2 == 0 ? "/opt/postLoadStore/l.so"
                                              : "/opt/lib/l.so");
      }
    });
  }
  threads.emplace_back([&go, &bad_reads] {
    while (!go.load()) std::this_thread::yield();
    bool seen_set = false;
    for (int i = 0; i < kRounds * kSetters; ++i) {
      const std::int32_t value = GetUpgradeCtx();
      if (value < 0 || value > 2 || (seen_set && value == 0)) ++bad_reads;
      seen_set = seen_set || value != 0;
    }
  });
  go.store(true);
  for (auto& thread : threads) thread.join();

  const std::int32_t final_value = GetUpgradeCtx();
  EXPECT_TRUE(final_value == 1 || final_value == 2) << final_value;
  EXPECT_EQ(bad_reads.load(), 0);
}

}  // namespace
}  // namespace KoraConfigStore
