#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "cssupport/config/upgrade_context.h"

namespace KoraConfigStore {
namespace {

TEST(UpgradeContextThreadsTest, ConcurrentSettersLeaveOneOfTheirValues) {
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&go, t] {
      while (!go.load()) std::this_thread::yield();
      for (int i = 0; i < 2000; ++i) {
        SetUpgradeCtxFromLib((t + i) % 2 ? "/opt/lib/l.so"
                                         : "/opt/postLoadStore/l.so");
      }
    });
  }
  go.store(true);
  for (auto& thread : threads) thread.join();
  const std::int32_t value = GetUpgradeCtx();
  EXPECT_TRUE(value == 1 || value == 2) << value;
}

}  // namespace
}  // namespace KoraConfigStore
