#include "cssupport/config/upgrade_context.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace KoraConfigStore {
namespace {

// 0 until the first set (first in the file); then 2 when the directory part of
// the last path given contains "postLoadStore".
TEST(UpgradeContextTest, DirectoryPartOfTheLastPathDecides) {
  EXPECT_EQ(upgradeRunner.load(), 0);
  EXPECT_EQ(GetUpgradeCtx(), 0);
  const std::pair<std::string, std::int32_t> kCases[] = {
      {"/usr/lib/postLoadStore/libx.so", 2},
      {"/usr/lib/postLoadStore/sub/libx.so", 2},  // any ancestor
      {"/usr/lib/postLoadStoreOld/libx.so", 2},   // inside a longer name
      {"/usr/lib/postLoadStore/", 2},  // the directory of an empty file name
      {std::string("/x\0y/postLoadStore/l.so", 23), 2},
      {"/usr/lib/libpostLoadStore.so", 1},    // the file name does not count
      {"/usr/lib/PostLoadStore/libx.so", 1},  // case-sensitive
      {"", 1},
  };
  for (const auto& [path, context] : kCases) {
    // From the other value, so that a call that stores nothing fails.
    SetUpgradeCtxFromLib(context == 2 ? "/lib/l.so" : "/postLoadStore/l.so");
    SetUpgradeCtxFromLib(path);
    EXPECT_EQ(GetUpgradeCtx(), context) << '"' << path << '"';
    EXPECT_EQ(upgradeRunner.load(), context);
  }
}

TEST(UpgradeContextTest, ConcurrentSettersLeaveOneOfTheirValues) {
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&go, t] {
      while (!go.load()) std::this_thread::yield();
      for (int i = 0; i < 2000; ++i)
        SetUpgradeCtxFromLib((t + i) % 2 ? "/lib/l.so" : "/postLoadStore/l.so");
    });
  }
  go.store(true);
  for (auto& thread : threads) thread.join();
  const std::int32_t value = GetUpgradeCtx();
  EXPECT_TRUE(value == 1 || value == 2) << value;
}

}  // namespace
}  // namespace KoraConfigStore
