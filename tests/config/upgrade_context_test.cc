#include "cssupport/config/upgrade_context.h"

#include <gtest/gtest.h>

#include <string>

namespace KoraConfigStore {
namespace {

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

}  // namespace
}  // namespace KoraConfigStore
