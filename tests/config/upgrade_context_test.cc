#include "cssupport/config/upgrade_context.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>

namespace KoraConfigStore {
namespace {

struct PathCase {
  const char* name;
  const char* path;
  std::int32_t context;
};

class UpgradeContextPathTest : public testing::TestWithParam<PathCase> {};

const PathCase kPathCases[] = {
    {"Direct", "/usr/lib/postLoadStore/libx.so", 2},
    {"Ancestor", "/usr/lib/postLoadStore/sub/libx.so",
     2},  // any ancestor counts
    {"LongerNameSuffix", "/usr/lib/postLoadStoreOld/libx.so",
     2},  // inside a longer name
    {"LongerNamePrefix", "/usr/lib/oldpostLoadStore/libx.so", 2},
    {"Relative", "postLoadStore/libx.so", 2},  // relative
    {"TrailingSeparator", "/usr/lib/postLoadStore/",
     2},  // parent of "" is the dir
    {"DoubledSeparator", "/usr/lib/postLoadStore//libx.so", 2},
    {"OnlyFileName", "/usr/lib/libpostLoadStore.so",
     1},  // only the file name has it
    {"DirectoryAsLastComponent", "/usr/lib/postLoadStore",
     1},                                                   // the last component
    {"CaseDiffers", "/usr/lib/PostLoadStore/libx.so", 1},  // case-sensitive
    {"LowerCase", "/usr/lib/postloadstore/libx.so", 1},
    {"SplitBySeparator", "/usr/lib/postLoad/Store/libx.so",
     1},  // not across a separator
    {"Truncated", "/usr/lib/postLoadStor/libx.so", 1},
    {"BareFileName", "libx.so", 1},
    {"BareFragment", "postLoadStore", 1},
    {"Empty", "", 1},
    {"Root", "/", 1},
};

TEST_P(UpgradeContextPathTest, DirectoryPartDecides) {
  const PathCase& c = GetParam();
  // Start from the opposite value so that a call that stores nothing fails.
  SetUpgradeCtxFromLib(c.context == 2 ? "/lib/libx.so"
                                      : "/postLoadStore/libx.so");
  ASSERT_EQ(GetUpgradeCtx(), 3 - c.context);

  SetUpgradeCtxFromLib(c.path);

  EXPECT_EQ(GetUpgradeCtx(), c.context) << '"' << c.path << '"';
  EXPECT_EQ(upgradeRunner.load(), c.context);
}

INSTANTIATE_TEST_SUITE_P(Paths, UpgradeContextPathTest,
                         testing::ValuesIn(kPathCases),
                         [](const auto& info) { return info.param.name; });

TEST(UpgradeContextTest, EachCallOverwritesTheLast) {
  const char* const kSequence[] = {"/a/postLoadStore/l.so",
                                   "/a/l.so",
                                   "/a/l.so",
                                   "/b/postLoadStore/x/l.so",
                                   "/b/postLoadStore/x/l.so",
                                   "l.so"};
  const std::int32_t kExpected[] = {2, 1, 1, 2, 2, 1};
  for (size_t i = 0; i < std::size(kSequence); ++i) {
    SetUpgradeCtxFromLib(kSequence[i]);
    EXPECT_EQ(GetUpgradeCtx(), kExpected[i]) << kSequence[i];
  }
}

TEST(UpgradeContextTest, PathsWithUnusualBytesAreAccepted) {
  constexpr char kWithNul[] = "/x\0y/postLoadStore/l.so";
  SetUpgradeCtxFromLib(std::string(kWithNul, sizeof(kWithNul) - 1));
  EXPECT_EQ(GetUpgradeCtx(), 2);
  SetUpgradeCtxFromLib("/\xff\xfe/l.so");
  EXPECT_EQ(GetUpgradeCtx(), 1);
}

}  // namespace
}  // namespace KoraConfigStore
