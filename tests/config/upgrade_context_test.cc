#include "cssupport/config/upgrade_context.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using namespace KoraConfigStore;

// 0 until set; then 2 when the last path's directory has "postLoadStore".
TEST(UpgradeContextTest, DirectoryPartOfTheLastPathDecides) {
  EXPECT_EQ(upgradeRunner.load(), 0);
  EXPECT_EQ(GetUpgradeCtx(), 0);
  const std::pair<std::string, std::int32_t> kCases[] = {
      {"/usr/postLoadStoreOld/lib/libx.so", 2},  // any ancestor, any name in it
      {"/usr/lib/postLoadStore/", 2},  // the directory of an empty file name
      {std::string("/x\0y/postLoadStore/l.so", 23), 2},
      {"/usr/lib/libpostLoadStore.so", 1},  // the file name does not count
      {"", 1},
      {"/usr/lib/PostLoadStore/libx.so", 1},  // case-sensitive
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
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([t] {
      for (int i = 0; i < 2000; ++i)
        SetUpgradeCtxFromLib((t + i) % 2 ? "/lib/l.so" : "/postLoadStore/l.so");
    });
  for (auto& thread : threads) thread.join();
  EXPECT_PRED1([](int v) { return v == 1 || v == 2; }, GetUpgradeCtx());
}

}  // namespace
