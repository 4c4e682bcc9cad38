#include <cstdlib>
#include <cstring>
#include <fstream>
#include <regex>
#include <string>
#include <utility>

#include "tests/hostrt/standin_test_util.h"

namespace hostrt_test {
namespace {

using StandinLog = StandinLogTest;

// Lengths around the 1 KiB stack buffer, with and without the newline.
TEST_F(StandinLog, MainFileGetsEachLineExpandedWholeAndNewlineTerminated) {
  std::ofstream(Path("main.log")) << "old\n";  // append is off
  Open("main.log");
  Log(5, "loaded %d items from %s\n", 3, "db");
  Log(2, "no newline %c", 'x');
  Log(7, "%s", "");
  std::string expected = "loaded 3 items from db\nno newline x\n\n";
  for (const size_t length : {1021, 1022, 1023, 1024, 5000}) {
    for (const bool newline : {false, true}) {
      std::string text(length, static_cast<char>('a' + length % 26));
      if (newline) text.back() = '\n';
      Log(5, "%s", text.c_str());
      expected += newline ? text : text + '\n';
    }
  }
  EXPECT_EQ(Read("main.log"), expected);
}

TEST_F(StandinLog, ExtraOutputsFilterByLevelUntilReplacedAndExitStopsAll) {
  Open("main.log");
  LogOutput* filtered = Open("filtered.log", 3);
  Open("all.log", 7);
  for (const int level : {2, 3, 5, 6, 7}) Log(level, "level %d\n", level);
  Log_ReplaceOutput(filtered, nullptr, nullptr);
  Log(2, "replaced\n");
  Log_Exit();
  Log(2, "exited\n");
  const std::string all = "level 2\nlevel 3\nlevel 5\nlevel 6\nlevel 7\n";
  EXPECT_EQ(Read("filtered.log"), "level 2\nlevel 3\n");
  EXPECT_EQ(Read("all.log"), all + "replaced\n");
  EXPECT_EQ(Read("main.log"), all + "replaced\n");
}

TEST(StandinProductState, GettersReturnTheLastSetTextsAndStayValid) {
  ProductState_Set(2, "ConfigStore", "1.0", 4711, 0, "p", "7.0", "");
  const char* firstName = ProductState_GetName();
  ProductState_Set(2, nullptr, "2.1", -3, 0, "x", "y", "opt-a");
  EXPECT_STREQ(ProductState_GetName(), "");
  EXPECT_STREQ(ProductState_GetVersion(), "2.1");
  EXPECT_STREQ(ProductState_GetBuildNumberString(), "-3");
  EXPECT_STREQ(ProductState_GetCompilationOption(), "opt-a");
  EXPECT_STREQ(firstName, "ConfigStore");  // earlier texts stay readable
}

constexpr int kSlots = 15;

// Two captures from one activation: the first keeps this frame, the second
// skips it and is bounded to two frames.
__attribute__((noinline)) void CaptureBothWays(void** keep, int* keepCount,
                                               void** skip, int* skipCount) {
  EXPECT_TRUE(CoreDump_CaptureFastBacktrace(0, kSlots, keep, keepCount));
  EXPECT_TRUE(CoreDump_CaptureFastBacktrace(1, 2, skip, skipCount));
  asm volatile("" ::: "memory");  // keeps the calls out of tail position
}

TEST(StandinBacktrace, SkipDropsTheCallersFramesAndTextNamesTheModule) {
  void* keep[kSlots] = {};
  void* skip[3] = {nullptr, nullptr, &skip};
  int keepCount = 0;
  int skipCount = 0;
  CaptureBothWays(keep, &keepCount, skip, &skipCount);
  ASSERT_GE(keepCount, 3);
  ASSERT_EQ(skipCount, 2);
  // keep: [CaptureBothWays, this test, ...]; skip: [this test, ...].
  EXPECT_EQ(skip[0], keep[1]);
  EXPECT_EQ(skip[1], keep[2]);
  EXPECT_EQ(skip[2], static_cast<void*>(&skip));
  char text[1024];
  CoreDump_Base64BacktraceFormat(keepCount, keep, text, sizeof text, "cs");
  EXPECT_EQ(std::string(text).rfind("#0 hostrt_standin_test+0x", 0), 0u)
      << text;
  EXPECT_NE(std::strstr(text, " #1 "), nullptr) << text;
}

// Every size keeps whole entries only, NUL-terminated within the buffer.
TEST(StandinBacktrace, TruncatesToWholeEntriesWithinTheBuffer) {
  void* frames[] = {reinterpret_cast<void*>(0x10),
                    reinterpret_cast<void*>(0x2f)};
  const std::pair<size_t, const char*> cases[] = {{1, ""},
                                                  {9, ""},
                                                  {10, "#0 ?+0x10"},
                                                  {19, "#0 ?+0x10"},
                                                  {20, "#0 ?+0x10 #1 ?+0x2f"}};
  for (const auto& [size, expected] : cases) {
    SCOPED_TRACE(size);
    char buffer[32];
    std::memset(buffer, '\x7f', sizeof buffer);
    CoreDump_Base64BacktraceFormat(2, frames, buffer, size, "cs");
    ASSERT_NE(std::memchr(buffer, '\0', size), nullptr);
    EXPECT_STREQ(buffer, expected);
    EXPECT_EQ(buffer[size], '\x7f');
  }
}

TEST(StandinUuid, RandomVersion4TextsInCanonicalLowerCaseFormDiffer) {
  const std::regex form(
      "[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}");
  char* a = UUID_CreateRandom();
  char* b = UUID_CreateRandom();
  ASSERT_TRUE(a != nullptr && b != nullptr);
  EXPECT_TRUE(std::regex_match(a, form)) << a;
  EXPECT_TRUE(std::regex_match(b, form)) << b;
  EXPECT_STRNE(a, b);
  std::free(a);
  std::free(b);
}

}  // namespace
}  // namespace hostrt_test
