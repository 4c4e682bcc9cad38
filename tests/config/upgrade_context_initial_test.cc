// Runs alone in its own executable: nothing in this process has set the
// context before these checks.
#include <gtest/gtest.h>

#include "cssupport/config/upgrade_context.h"

namespace KoraConfigStore {
namespace {

TEST(UpgradeContextInitialTest, ZeroUntilTheFirstSetThenNeverZero) {
  EXPECT_EQ(upgradeRunner.load(), 0);
  EXPECT_EQ(GetUpgradeCtx(), 0);

  SetUpgradeCtxFromLib("/usr/lib/libx.so");
  EXPECT_EQ(GetUpgradeCtx(), 1);
  SetUpgradeCtxFromLib("");
  EXPECT_EQ(GetUpgradeCtx(), 1);
}

}  // namespace
}  // namespace KoraConfigStore
