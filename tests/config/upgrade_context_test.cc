#include "cssupport/config/upgrade_context.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace KoraConfigStore {
namespace {

// First in the file: nothing in this process has set the context yet.
TEST(UpgradeContextTest, ZeroUntilTheFirstSet) {
  EXPECT_EQ(upgradeRunner.load(), 0);
  EXPECT_EQ(GetUpgradeCtx(), 0);
}

// 2 when the directory part of the last path given contains "postLoadStore".
TEST(UpgradeContextTest, DirectoryPartOfTheLastPathDecides) {
  const struct {
    std::string path;
    std::int32_t context;
  } kCases[] = {
      {"/usr/lib/postLoadStore/libx.so", 2},
      {"/usr/lib/postLoadStore/sub/libx.so", 2},  // any ancestor
      {"/usr/lib/postLoadStoreOld/libx.so", 2},   // inside a longer name
      {"postLoadStore/libx.so", 2},
      {"/usr/lib/postLoadStore/", 2},  // the directory of an empty file name
      {std::string("/x\0y/postLoadStore/l.so", 23), 2},
      {"/usr/lib/libpostLoadStore.so", 1},  // the file name does not count
      {"/usr/lib/postLoadStore", 1},
      {"/usr/lib/PostLoadStore/libx.so", 1},  // case-sensitive
      {"/usr/lib/postLoad/Store/libx.so", 1},
      {"", 1},
  };
  for (const auto& c : kCases) {
    // From the other value, so that a call that stores nothing fails.
    SetUpgradeCtxFromLib(c.context == 2 ? "/lib/l.so" : "/postLoadStore/l.so");
    SetUpgradeCtxFromLib(c.path);
    EXPECT_EQ(GetUpgradeCtx(), c.context) << '"' << c.path << '"';
    EXPECT_EQ(upgradeRunner.load(), c.context);
  }
}

TEST(UpgradeContextTest, ConcurrentSettersLeaveOneOfTheirValues) {
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
