// Alone in its executable: nothing in this process has set the context yet.
#include <gtest/gtest.h>

#include "cssupport/config/upgrade_context.h"

namespace KoraConfigStore {
namespace {

TEST(UpgradeContextInitialTest, ZeroUntilTheFirstSet) {
  EXPECT_EQ(upgradeRunner.load(), 0);
  EXPECT_EQ(GetUpgradeCtx(), 0);
  SetUpgradeCtxFromLib("");
  EXPECT_EQ(GetUpgradeCtx(), 1);
}

}  // namespace
}  // namespace KoraConfigStore
