#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <syslog.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

#include "cssupport/hostrt/hostrt.h"

// Interposed: "openlog IDENT OPTION FACILITY", "PRIORITY:TEXT", "closelog".
static std::vector<std::string> systemLog;
extern "C" void openlog(const char* ident, int option, int facility) {
  systemLog.push_back("openlog " + std::string(ident) + " " +
                      std::to_string(option) + " " + std::to_string(facility));
}
extern "C" void closelog() { systemLog.push_back("closelog"); }
extern "C" void syslog(int priority, const char* format, ...) {
  char text[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  systemLog.push_back(std::to_string(priority) + ":" + text);
}

namespace hostrt_test {
namespace {

HOSTRT_PRINTF(2, 3) void Log(int level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  LogV(level, format, args);
  va_end(args);
}

// Fresh directory, logging ended after; level 99: no minimum; append -1: unset.
struct StandinLogTest : ::testing::Test {
  void SetUp() override { ASSERT_NE(mkdtemp(&dir_[0]), nullptr); }
  void TearDown() override { Log_Exit(), std::filesystem::remove_all(dir_); }
  std::string Read(const std::string& name) const {
    std::ifstream in(dir_ + "/" + name);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  LogOutput* Open(const std::string& name, long level = -1, int append = 0) {
    Dictionary* dict = Dictionary_Create();
    Dict_SetString(dict, (dir_ + "/" + name).c_str(), "log.%s", "fileName");
    if (append >= 0) Dict_SetBool(dict, append, "log.append");
    if (0ul + level < 99) Dict_SetLong(dict, level, "log.%sMinLevel", "log");
    LogOutput* output = nullptr;
    EXPECT_TRUE(level < 0
                    ? Log_InitWithFileInt("ConfigStore", dict, nullptr, 0)
                    : Log_AddOutput(output = Log_NewFileOutput(
                                        "ConfigStore", "file", dict, nullptr)));
    Dictionary_Free(dict);
    return output;
  }
  std::string dir_ = "/tmp/hostrt_test.XXXXXX";
};

// Lines whole and newline-terminated around the 1 KiB buffer; outputs closed.
TEST_F(StandinLogTest, OutputsGetWholeLinesByLevelUntilReplacedOrExit) {
  using std::filesystem::directory_iterator;
  const auto open = [] {
    return std::distance(directory_iterator("/proc/self/fd"), {});
  };
  const auto descriptors = open();
  Dictionary* missing = Dictionary_Create();
  Dict_SetString(missing, (dir_ + "/no/such.log").c_str(), "log.fileName");
  EXPECT_FALSE(Log_InitWithFileInt("ConfigStore", missing, nullptr, 0));
  EXPECT_EQ(Log_NewFileOutput("ConfigStore", "file", missing, nullptr),
            nullptr);
  Dict_SetString(missing, (dir_ + "/later.log").c_str(), "log.fileName");
  LogOutput* later = Log_NewFileOutput("ConfigStore", "file", missing, nullptr);
  Dictionary_Free(missing);
  std::ofstream(dir_ + "/main.log") << "old\n";
  Open("main.log");  // "log.append" false: truncated
  Log(2, "first\n");
  Open("main.log", -1, -1);  // replaces the first; appends
  Log(5, "loaded %d items from %s\n", 3, "db");
  Log(2, "no newline %c", 'x');
  Log(7, "%s", "");
  std::string main = "first\nloaded 3 items from db\nno newline x\n\n";
  for (const size_t length : {1021, 1022, 1023, 1024, 5000})
    for (const char end : {'y', '\n'}) {
      const std::string text = std::string(length - 1, 'a') + end;
      Log(5, "%s", text.c_str());
      main += end == '\n' ? text : text + '\n';
    }
  LogOutput* filtered = Open("filtered.log", 3);
  Open("all.log", 99);  // no minimum level: all
  EXPECT_FALSE(Log_AddOutput(filtered));
  for (const int level : {0, 2, 3, 5, 7}) Log(level, "level %d\n", level);
  Log_ReplaceOutput(filtered, later, nullptr);  // installs `later`
  Log(2, "replaced\n");
  Log_Exit();
  Log(2, "exited\n");
  EXPECT_EQ(open(), descriptors);
  const std::string all = "level 0\nlevel 2\nlevel 3\nlevel 5\nlevel 7\n";
  EXPECT_EQ(Read("filtered.log"), "level 0\nlevel 2\nlevel 3\n");
  EXPECT_EQ(Read("all.log"), all + "replaced\n");
  EXPECT_EQ(Read("later.log"), "replaced\n");
  EXPECT_EQ(Read("main.log"), main + all + "replaced\n");
}

// Syslog: every level at its priority, no newline; stderr: its range.
TEST_F(StandinLogTest, SystemLogGetsEveryLevelAndStderrItsRangeUntilExit) {
  systemLog.clear();
  Dictionary* dict = Dictionary_Create();
  EXPECT_TRUE(Log_InitWithSyslogInt("ConfigStore", dict, nullptr));
  Dictionary_Free(dict);
  testing::internal::CaptureStderr();
  Log_SetStderrLevel(3, 5);
  for (int level = 0; level <= 7; ++level) Log(level, "level %d\n", level);
  Log_Exit();
  Log(5, "after exit");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "level 3\nlevel 4\nlevel 5\n");
  EXPECT_EQ(systemLog, (std::vector<std::string>{
                           "openlog ConfigStore 1 8", "2:level 0", "3:level 1",
                           "3:level 2", "4:level 3", "5:level 4", "5:level 5",
                           "6:level 6", "7:level 7", "closelog"}));
}

// Writers of two processes, started together by a pipe's end, share the main
// file while an output is briefly installed and replaced: only whole lines
// (one write(2) each; service state read under the lock, which the
// ThreadSanitizer stage checks). Run alone: interleaving needs real overlap.
TEST_F(StandinLogTest, WritersOfTwoProcessesAndThreadsWriteWholeLines) {
  const auto line = [](int p, int t, int i) {
    return std::to_string(p * 10 + t) + "/" + std::to_string(i) + " " +
           std::string(i % 2 ? 1500 : 40, static_cast<char>('a' + t));
  };
  std::multiset<std::string> expected, lines;
  for (int p = 0; p < 2; ++p)
    for (int t = 0; t < 3; ++t)
      for (int i = 0; i < 1000; ++i) expected.insert(line(p, t, i));
  Open("main.log");
  int start[2];
  ASSERT_EQ(pipe(start), 0);
  const pid_t child = fork();
  std::atomic<bool> done{false};
  std::thread churn([&] {
    for (; !done; std::this_thread::sleep_for(std::chrono::microseconds(100)))
      Log_ReplaceOutput(Open("extra.log", 0), nullptr, nullptr);
  });
  std::vector<std::thread> writers;
  for (int t = 0; t < 3; ++t)
    writers.emplace_back([&, t] {
      char go;  // read returns once every write end is closed
      for (int i = read(start[0], &go, 1) == 0 ? 0 : 1000; i < 1000; ++i)
        Log(5, "%s\n", line(child == 0, t, i).c_str());
    });
  close(start[1]);
  for (auto& writer : writers) writer.join();
  done = true;
  churn.join();
  if (child == 0) _exit(0);
  ASSERT_EQ(waitpid(child, nullptr, 0), child);
  std::istringstream in(Read("main.log"));
  for (std::string text; std::getline(in, text);) lines.insert(text);
  EXPECT_TRUE(lines == expected);
}

constexpr int kSlots = 15;

// Two captures: the first keeps this frame, the second skips it (two slots).
__attribute__((noinline)) void CaptureBothWays(void** keep, int* keepCount,
                                               void** skip, int* skipCount) {
  EXPECT_TRUE(CoreDump_CaptureFastBacktrace(0, kSlots, keep, keepCount));
  EXPECT_TRUE(CoreDump_CaptureFastBacktrace(1, 2, skip, skipCount));
  asm volatile("" ::: "memory");  // keeps the calls out of tail position
}

TEST(StandinBacktrace, SkipDropsTheCallersFramesAndTextNamesModuleOffsets) {
  void* keep[kSlots] = {};
  void* skip[3] = {nullptr, nullptr, &skip};
  int keepCount = 0, skipCount = 0;
  CaptureBothWays(keep, &keepCount, skip, &skipCount);
  ASSERT_GE(keepCount, 3);
  ASSERT_EQ(skipCount, 2);
  EXPECT_EQ(std::vector<void*>(skip, skip + 3),
            (std::vector<void*>{keep[1], keep[2], &skip}));
  char text[1024];
  CoreDump_Base64BacktraceFormat(keepCount, keep, text, sizeof text, "cs");
  Dl_info module{};
  ASSERT_NE(dladdr(keep[0], &module), 0);
  char first[64];
  std::snprintf(
      first, sizeof first, "#0 hostrt_standin_test+0x%tx #1 ",
      static_cast<char*>(keep[0]) - static_cast<char*>(module.dli_fbase));
  EXPECT_EQ(std::string(text).rfind(first, 0), 0u) << text;
}

}  // namespace
}  // namespace hostrt_test
