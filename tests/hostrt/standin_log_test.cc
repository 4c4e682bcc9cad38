#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "cssupport/hostrt/hostrt.h"
#include "cssupport/tests/hostrt/standin_test_util.h"

namespace hostrt_test {
namespace {

using StandinLog = StandinLogTest;

TEST_F(StandinLog, MainFileGetsEachLineExpandedAndNewlineTerminated) {
  const std::string path = PathOf("main.log");
  InitMainFile(path);
  Log(5, "loaded %d items from %s\n", 3, "db");
  Log(2, "no newline %c", 'x');
  Log(7, "%s", "");
  EXPECT_EQ(ReadFile(path), "loaded 3 items from db\nno newline x\n\n");
}

TEST_F(StandinLog, AppendFlagDecidesWhetherOldContentStays) {
  for (const bool append : {true, false}) {
    SCOPED_TRACE(append);
    const std::string path = PathOf(append ? "kept.log" : "cut.log");
    {
      std::ofstream old(path);
      old << "old\n";
    }
    InitMainFile(path, append);
    Log(5, "new\n");
    Log_Exit();
    EXPECT_EQ(ReadFile(path), append ? "old\nnew\n" : "new\n");
  }
}

// Lengths around the 1 KiB line buffer, with and without the newline.
TEST_F(StandinLog, LinesOfAnyLengthArriveWhole) {
  const std::string path = PathOf("long.log");
  InitMainFile(path);
  std::string expected;
  for (const size_t length : {1, 1021, 1022, 1023, 1024, 1025, 5000}) {
    for (const bool newline : {false, true}) {
      std::string text(length, static_cast<char>('a' + length % 26));
      if (newline) text.back() = '\n';
      Log(5, "%s", text.c_str());
      expected += text;
      if (!newline) expected += '\n';
    }
  }
  EXPECT_EQ(ReadFile(path), expected);
}

TEST_F(StandinLog, ExtraOutputKeepsOnlyLevelsAtOrBelowItsMinimum) {
  const std::string mainPath = PathOf("main.log");
  const std::string extraPath = PathOf("extra.log");
  InitMainFile(mainPath);
  AddExtraFile(extraPath, 3);
  for (const int level : {2, 3, 5, 6, 7}) Log(level, "level %d\n", level);
  EXPECT_EQ(ReadFile(extraPath), "level 2\nlevel 3\n");
  EXPECT_EQ(SplitLines(ReadFile(mainPath)).size(), 5u);
}

TEST_F(StandinLog, ExtraOutputWithoutMinimumOrMainOutputGetsEverything) {
  const std::string path = PathOf("all.log");
  Dictionary* dict = FileDict(path);
  Dict_SetString(dict, "3", "log.logMinLevel");  // wrong kind: ignored
  LogOutput* output = Log_NewFileOutput("ConfigStore", "file", dict, nullptr);
  Dictionary_Free(dict);
  ASSERT_NE(output, nullptr);
  ASSERT_TRUE(Log_AddOutput(output));
  Log(7, "trivia\n");
  Log(0, "critical\n");
  EXPECT_EQ(ReadFile(path), "trivia\ncritical\n");
}

TEST_F(StandinLog, ReplacedOutputReceivesNothingMore) {
  const std::string mainPath = PathOf("main.log");
  const std::string extraPath = PathOf("extra.log");
  InitMainFile(mainPath);
  LogOutput* output = AddExtraFile(extraPath, 7);
  Log(5, "before\n");
  Log_ReplaceOutput(output, nullptr, nullptr);
  Log(5, "after\n");
  EXPECT_EQ(ReadFile(extraPath), "before\n");
  EXPECT_EQ(ReadFile(mainPath), "before\nafter\n");
}

TEST_F(StandinLog, ReplacementTakesOverAndUnknownOutputIsIgnored) {
  const std::string firstPath = PathOf("first.log");
  const std::string secondPath = PathOf("second.log");
  LogOutput* first = AddExtraFile(firstPath, 7);
  Dictionary* dict = FileDict(secondPath);
  LogOutput* second = Log_NewFileOutput("ConfigStore", "file", dict, nullptr);
  Dictionary_Free(dict);
  ASSERT_NE(second, nullptr);

  Log_ReplaceOutput(first, second, nullptr);
  Log(5, "one\n");
  // `first` is gone now: replacing it again must change nothing.
  Log_ReplaceOutput(first, nullptr, nullptr);
  Log(5, "two\n");
  EXPECT_EQ(ReadFile(firstPath), "");
  EXPECT_EQ(ReadFile(secondPath), "one\ntwo\n");
}

TEST_F(StandinLog, AddOutputRefusesNullAndDuplicates) {
  LogOutput* output = AddExtraFile(PathOf("extra.log"), 7);
  EXPECT_FALSE(Log_AddOutput(output));
  EXPECT_FALSE(Log_AddOutput(nullptr));
}

TEST_F(StandinLog, ExitStopsEveryOutput) {
  const std::string mainPath = PathOf("main.log");
  const std::string extraPath = PathOf("extra.log");
  InitMainFile(mainPath);
  AddExtraFile(extraPath, 7);
  Log(5, "kept\n");
  Log_Exit();
  Log(5, "dropped\n");
  EXPECT_EQ(ReadFile(mainPath), "kept\n");
  EXPECT_EQ(ReadFile(extraPath), "kept\n");
}

TEST_F(StandinLog, ReinitMovesMainOutput) {
  const std::string firstPath = PathOf("first.log");
  const std::string secondPath = PathOf("second.log");
  InitMainFile(firstPath);
  Log(5, "one\n");
  InitMainFile(secondPath);
  Log(5, "two\n");
  EXPECT_EQ(ReadFile(firstPath), "one\n");
  EXPECT_EQ(ReadFile(secondPath), "two\n");
}

TEST_F(StandinLog, UnopenableOrMissingFileYieldsNoOutput) {
  const std::string missingDir = dir_ + "/no/such/dir.log";
  Dictionary* bad = FileDict(missingDir);
  Dictionary* none = Dictionary_Create();
  EXPECT_FALSE(Log_InitWithFileInt("ConfigStore", bad, nullptr, 0));
  EXPECT_FALSE(Log_InitWithFileInt("ConfigStore", none, nullptr, 0));
  EXPECT_EQ(Log_NewFileOutput("ConfigStore", "file", bad, nullptr), nullptr);
  EXPECT_EQ(Log_NewFileOutput("ConfigStore", "file", none, nullptr), nullptr);
  EXPECT_EQ(Log_NewFileOutput("ConfigStore", "file", nullptr, nullptr),
            nullptr);
  Dictionary_Free(bad);
  Dictionary_Free(none);
  Dictionary_Free(nullptr);
}

TEST_F(StandinLog, FailedReinitLeavesNoMainOutput) {
  const std::string path = PathOf("main.log");
  InitMainFile(path);
  Dictionary* bad = FileDict(dir_ + "/no/such/dir.log");
  EXPECT_FALSE(Log_InitWithFileInt("ConfigStore", bad, nullptr, 0));
  Dictionary_Free(bad);
  Log(5, "dropped\n");
  EXPECT_EQ(ReadFile(path), "");
}

TEST_F(StandinLog, DictionaryKeysAreFormatsAndLaterValuesWin) {
  const std::string stale = PathOf("stale.log");
  const std::string path = PathOf("fresh.log");
  Dictionary* dict = Dictionary_Create();
  Dict_SetString(dict, stale.c_str(), "log.fileName");
  Dict_SetString(dict, path.c_str(), "log.%s%s", "file", "Name");
  Dict_SetLong(dict, 2, "log.%sMinLevel", "log");
  LogOutput* output = Log_NewFileOutput("ConfigStore", "file", dict, nullptr);
  Dictionary_Free(dict);
  ASSERT_TRUE(Log_AddOutput(output));
  Log(2, "error\n");
  Log(3, "warn\n");
  EXPECT_EQ(ReadFile(path), "error\n");
  EXPECT_NE(access(stale.c_str(), F_OK), 0);
}

// Runs `body` with stderr sent to `path`.
template <typename Body>
void WithStderrIn(const std::string& path, Body body) {
  fflush(stderr);
  const int saved = dup(STDERR_FILENO);
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  dup2(fd, STDERR_FILENO);
  close(fd);
  body();
  fflush(stderr);
  dup2(saved, STDERR_FILENO);
  close(saved);
}

TEST_F(StandinLog, StderrEchoesOnlyItsRangeAndExitEmptiesIt) {
  const std::string path = PathOf("stderr.txt");
  WithStderrIn(path, [] {
    Log(2, "unset range\n");
    Log_SetStderrLevel(2, 3);
    for (const int level : {1, 2, 3, 5}) Log(level, "level %d\n", level);
    Log_SetStderrLevel(0, -1);
    Log(2, "empty range\n");
    Log_SetStderrLevel(0, 7);
    Log_Exit();
    Log(2, "after exit\n");
  });
  EXPECT_EQ(ReadFile(path), "level 2\nlevel 3\n");
}

TEST(StandinProductState, GettersReturnTheLastSetTextsAndStayValid) {
  ProductState_Set(2, "ConfigStore", "1.0", 4711, 0, "Tessel Kora Server",
                   "7.0", "opt-a");
  const char* firstName = ProductState_GetName();
  const char* firstOption = ProductState_GetCompilationOption();
  EXPECT_STREQ(firstName, "ConfigStore");
  EXPECT_STREQ(ProductState_GetVersion(), "1.0");
  EXPECT_STREQ(ProductState_GetBuildNumberString(), "4711");
  EXPECT_STREQ(firstOption, "opt-a");

  ProductState_Set(2, nullptr, "2.1", -3, 0, "x", "y", "");
  EXPECT_STREQ(ProductState_GetName(), "");
  EXPECT_STREQ(ProductState_GetVersion(), "2.1");
  EXPECT_STREQ(ProductState_GetBuildNumberString(), "-3");
  EXPECT_STREQ(ProductState_GetCompilationOption(), "");
  // Texts handed out earlier are still readable.
  EXPECT_STREQ(firstName, "ConfigStore");
  EXPECT_STREQ(firstOption, "opt-a");
}

}  // namespace
}  // namespace hostrt_test
