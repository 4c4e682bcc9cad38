#include <dlfcn.h>
#include <gtest/gtest.h>
#include <malloc.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <syslog.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <regex>
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

// Interposed: the process's first registration of fork handlers (the
// stand-in's: nothing else here registers any) fails, as without memory. Not
// under ThreadSanitizer, which registers its own before dlsym(3) can be used.
#if !defined(__SANITIZE_THREAD__)
extern "C" int __register_atfork(void (*prepare)(), void (*parent)(),
                                 void (*child)(), void* dso) {
  static std::atomic<bool> failed{false};
  return failed.exchange(true)
             ? reinterpret_cast<decltype(&__register_atfork)>(dlsym(
                   RTLD_NEXT, "__register_atfork"))(prepare, parent, child, dso)
             : ENOMEM;
}
#endif

// Replaced: the allocation after failNextAllocation is set fails, as without
// memory. Allocated and freed here alike, so a sanitizer's checks agree.
static std::atomic<bool> failNextAllocation{false};
static void* Allocate(std::size_t size) noexcept {
  return failNextAllocation.load(std::memory_order_relaxed) &&
                 failNextAllocation.exchange(false)
             ? nullptr
             : std::malloc(size != 0 ? size : 1);
}
void* operator new(std::size_t size) {
  if (void* memory = Allocate(size)) return memory;
  throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return Allocate(size);
}
// Not inlined: a caller then pairs its new with this delete, not with free.
__attribute__((noinline)) void operator delete(void* memory) noexcept {
  std::free(memory);
}
__attribute__((noinline)) void operator delete(void* memory,
                                               std::size_t) noexcept {
  std::free(memory);
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
  const mode_t umaskBefore = umask(022);
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
  struct stat made {};
  EXPECT_EQ(stat((dir_ + "/all.log").c_str(), &made), 0);
  EXPECT_EQ(made.st_mode & 0777, 0644u);  // under umask 022
  umask(umaskBefore);
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

// Threads write lines (some beyond the 1 KiB stack buffer), set the product
// state and install outputs briefly while another thread forks: each child
// calls at once (one not done within 10 s has hung), and the main file holds
// whole lines only (one write(2) each; service state read under the lock,
// which the ThreadSanitizer stage checks). Run alone: interleaving needs real
// overlap.
TEST_F(StandinLogTest, ThreadsAndForkedChildrenWriteWholeLinesAtOnce) {
  const auto line = [](int t, int i) {
    return std::to_string(t) + "/" + std::to_string(i) + " " +
           std::string(i % 8 == 1 ? 1500 : 40, static_cast<char>('a' + t));
  };
  Open("main.log");
  ProductState_Set(0, "pool-a", "1.0", 0, 0, "", "", "");
  std::atomic<bool> done{false};
  std::vector<int> written(3);
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; ++t)
    threads.emplace_back([&, t] {
      for (int& i = written[t]; !done; ++i) {
        Log(5, "%s\n", line(t, i).c_str());
        ProductState_Set(0, "pool-a", "1.0", i, 0, "", "", "");
        if (t == 0) Log_ReplaceOutput(Open("extra.log", 0), nullptr, nullptr);
      }
    });
  int rounds = 0, status = 0;
  for (; rounds < 30 && status == 0; ++rounds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    const pid_t child = fork();
    if (child == 0) {
      alarm(10);  // ends a child that hangs
      Dict_SetLong(Dictionary_Create(), 0, "log.logMinLevel");
      Log(5, "%s %s\n", line(3, rounds).c_str(), ProductState_GetName());
      _exit(0);
    }
    waitpid(child, &status, 0);
  }
  done = true;
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(status, 0) << "child of round " << rounds - 1 << " hung";
  std::multiset<std::string> expected, lines;
  for (int t = 0; t < 3; ++t)
    for (int i = 0; i < written[t]; ++i) expected.insert(line(t, i));
  for (int r = 0; r < rounds; ++r) expected.insert(line(3, r) + " pool-a");
  std::istringstream in(Read("main.log"));
  for (std::string text; std::getline(in, text);) lines.insert(text);
  EXPECT_TRUE(lines == expected);
}

// A copy of the stand-in loaded, used (a syslog identity, an output left
// installed, product texts) and unloaded again and again keeps no memory
// (counted by glibc's allocator; under sanitizers, LeakSanitizer tells).
TEST_F(StandinLogTest, UnloadingFreesAllTheStandinKept) {
  const std::string copy = dir_ + "/libtessellibs.so";
  std::filesystem::copy_file(HOSTRT_STANDIN_LIBRARY, copy);
#define FN(name) reinterpret_cast<decltype(&name)>(dlsym(library, #name))
  const auto cycle = [&] {
    void* library = dlopen(copy.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    Dictionary* dict = FN(Dictionary_Create)();
    FN(Dict_SetString)(dict, (dir_ + "/copy.log").c_str(), "log.fileName");
    EXPECT_TRUE(FN(Log_InitWithSyslogInt)("ConfigStore", dict, nullptr));
    EXPECT_TRUE(FN(Log_AddOutput)(
        FN(Log_NewFileOutput)("ConfigStore", "file", dict, nullptr)));
    FN(Dictionary_Free)(dict);
    FN(ProductState_Set)(1, "host-01", "1.0", 7, 0, "", "", "opt");
    EXPECT_EQ(dlclose(library), 0);
    systemLog.clear();
  };
#undef FN
  for (int i = 0; i < 8; ++i) cycle();  // fills the allocator's caches
  const size_t used = mallinfo2().uordblks;
  for (int i = 0; i < 8; ++i) cycle();
  EXPECT_EQ(mallinfo2().uordblks - used, 0u) << "bytes lost in 8 cycles";
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
  // Whole entries only, each with room for the NUL after it.
  const size_t entry = std::string(text).find(" #1");
  for (const size_t size : {entry, entry + 1}) {
    char part[sizeof text] = {};
    std::memset(part, 'z', sizeof part - 1);
    CoreDump_Base64BacktraceFormat(keepCount, keep, part, size, "cs");
    EXPECT_EQ(part, std::string(text, size > entry ? entry : 0)) << size;
  }
}

// Null, not an exception across the C interface.
TEST(StandinDictionary, CreateWithoutMemoryReturnsNull) {
  failNextAllocation = true;
  EXPECT_EQ(Dictionary_Create(), nullptr);
}

// Version-4 random identifiers, written in lower case, none repeated.
TEST(StandinUuid, RandomVersionFourInLowerCase) {
  const std::regex kForm(
      "[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}");
  std::set<std::string> seen;
  for (int i = 0; i < 64; ++i) {
    char* id = UUID_CreateRandom();
    ASSERT_NE(id, nullptr);
    EXPECT_TRUE(std::regex_match(id, kForm)) << id;
    seen.insert(id);
    std::free(id);
  }
  EXPECT_EQ(seen.size(), 64u);
}

// The getters return the last call's texts, and a text handed out earlier
// stays readable after a later call.
TEST(StandinProductState, GettersReturnTheLastStoredTexts) {
  ProductState_Set(1, "cs-a", "1.2", 7, 8, "product", "1.2.0", "opt-a");
  const char* firstName = ProductState_GetName();
  ProductState_Set(1, "cs-b", "3.4", -12, 8, "product", "3.4.0", nullptr);
  EXPECT_STREQ(firstName, "cs-a");
  EXPECT_EQ(std::string(ProductState_GetName()) + "|" +
                ProductState_GetVersion() + "|" +
                ProductState_GetBuildNumberString() + "|" +
                ProductState_GetCompilationOption(),
            "cs-b|3.4|-12|");
}

}  // namespace
}  // namespace hostrt_test
