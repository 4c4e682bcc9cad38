// Every exported operation with its Nth allocation failing, N = 1, 2, ...
// until it makes fewer, each N in a child (a crash or hang is counted): the
// call raises std::bad_alloc or completes, keeps its effect or none (the event
// file byte for byte), succeeds when called again without injection (no lock
// left held), and leaks nothing (no more blocks live than the uninjected run
// leaves; none unreachable under LeakSanitizer). The host is the stand-in.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <new>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "cssupport/config/generated_id.h"
#include "cssupport/config/upgrade_context.h"
#include "cssupport/errors/error_codes.h"
#include "cssupport/errors/exceptions.h"
#include "cssupport/logging/cs_logger.h"
#include "tests/config/json_text.h"
#include "tests/events/event_test_support.h"

#if __has_include(<valgrind/valgrind.h>)
#include <valgrind/valgrind.h>
#else
#define RUNNING_ON_VALGRIND 0
#endif

// The allocator underneath: the sanitizer's when there is one (its malloc is
// what this file replaces), else the C library's. The replacements run before
// the sanitizer is set up.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define SANITIZED 1
#define REAL(f) __interceptor_##f
#else
#define REAL(f) __libc_##f
#endif
#define RAW __attribute__((no_sanitize("address", "thread", "undefined")))

extern "C" {
void* REAL(malloc)(size_t);
void* REAL(calloc)(size_t, size_t);
void* REAL(realloc)(void*, size_t);
void REAL(free)(void*);
int __lsan_do_recoverable_leak_check() __attribute__((weak));
void __lsan_disable() __attribute__((weak));
void __lsan_enable() __attribute__((weak));
// LeakSanitizer tells the loader's blocks by the caller of malloc, here the
// replacement: what back-traces load is loaded with the check off, the rest
// suppressed (a suppression costs ~0.1 s a check).
const char* __lsan_default_suppressions() { return "leak:*ld-linux*\n"; }
const char* __lsan_default_options() { return "print_suppressions=0"; }
}

namespace {

// Zero before any constructor runs; only the single-threaded children arm it.
struct {
  bool armed;
  long count;   // allocations while armed
  long failAt;  // the one that fails; 0: none
  long live;    // blocks allocated and not freed, armed or not
} injection;

// The one place that decides which allocation fails.
RAW bool Fails() {
  return injection.armed && ++injection.count == injection.failAt;
}
RAW void* Live(void* p, bool counts = true) {
  injection.live += p != nullptr && counts;
  return p;
}

}  // namespace

extern "C" {
RAW void* malloc(size_t n) { return Fails() ? nullptr : Live(REAL(malloc)(n)); }
RAW void* calloc(size_t n, size_t size) {
  return Fails() ? nullptr : Live(REAL(calloc)(n, size));
}
RAW void free(void* p) {
  injection.live -= p != nullptr;
  REAL(free)(p);
}
RAW void* realloc(void* old, size_t n) {
  if (n == 0 && old != nullptr) return free(old), nullptr;
  return Fails() ? nullptr : Live(REAL(realloc)(old, n), old == nullptr);
}
}

// A sanitizer's operator new and delete use its allocator without malloc, so
// they are replaced too; elsewhere the C++ runtime's call malloc (and valgrind
// replaces them, and malloc, with its own).
#ifdef SANITIZED
void* operator new(size_t n) {
  if (void* p = std::malloc(n != 0 ? n : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](size_t n) { return operator new(n); }
void* operator new(size_t n, const std::nothrow_t&) noexcept {
  return std::malloc(n != 0 ? n : 1);
}
void* operator new[](size_t n, const std::nothrow_t&) noexcept {
  return std::malloc(n != 0 ? n : 1);
}
#define DELETE_(...)                                           \
  void operator delete(__VA_ARGS__) noexcept { std::free(p); } \
  void operator delete[](__VA_ARGS__) noexcept { std::free(p); }
DELETE_(void* p)
DELETE_(void* p, size_t)
DELETE_(void* p, const std::nothrow_t&)
#endif

namespace KoraConfigStore {
namespace {

using cssupport_test::ReadBytes;
namespace logger = CSLogger;

enum Outcome { kCrashed, kUnreached, kBadAlloc, kCompleted };

// What a child reports, in memory shared with the parent.
struct Point {
  int outcome = kCrashed, lsanLeaks = 0;
  long residue = 0;        // blocks both calls left live
  char failure[512] = "";  // the first failed check
} * shared;

bool retry;  // the call without injection, after the armed one

void Check(bool ok, const std::string& what) {
  if (ok || shared->failure[0] != '\0') return;
  std::snprintf(shared->failure, sizeof shared->failure, "%s%s",
                retry ? "the call without injection: " : "", what.c_str());
}

size_t FileSize(const std::string& path) {
  return ReadBytes(path).value_or("").size();
}

struct Row {
  std::string name;
  std::function<void()> op;
  std::function<void(bool failed)> check = [](bool) {};  // after each call
  std::function<void()> before = [] {};                  // before each call
  bool warm = true;       // called once in the parent first; false: first call
  int expectedLeaks = 0;  // the leak check's own row leaks once

  void Run() const {
    before();
    bool failed = false;  // the call raised std::bad_alloc
    injection.count = 0;
    injection.armed = true;
    const char* other = "";
    try {
      op();
    } catch (const std::bad_alloc&) {
      failed = true;
    } catch (...) {
      other = "raised something other than std::bad_alloc";
    }
    injection.armed = false;
    const bool hit = !retry && injection.count >= injection.failAt;
    Check(*other == '\0', other);
    Check(!failed || hit, "std::bad_alloc, no allocation failed");
    if (!retry)
      shared->outcome = !hit ? kUnreached : failed ? kBadAlloc : kCompleted;
    check(failed);
  }
  // Allocation `failAt` failing (none: 0), then the retry, in a child.
  Point Child(long failAt) const {
    *shared = {};
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
      alarm(30);  // a hang ends as a crash
      if (expectedLeaks != 0) freopen("/dev/null", "w", stderr);
      const long start = injection.live;
      injection.failAt = failAt;
      retry = false;
      Run();
      injection.failAt = 0;
      retry = true;
      Run();
      shared->residue = injection.live - start;
      if (__lsan_do_recoverable_leak_check) {
        shared->lsanLeaks = __lsan_do_recoverable_leak_check();
      }
      _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (status != 0) {
      *shared = {};
      std::snprintf(shared->failure, sizeof shared->failure,
                    "ended with status %#x", status);
    }
    return *shared;
  }
};

TEST(AllocationFailure, EveryOperationRaisesBadAllocOrCompletes) {
  if (RUNNING_ON_VALGRIND) GTEST_SKIP() << "valgrind replaces the allocator";
  shared = new (mmap(nullptr, sizeof(Point), PROT_READ | PROT_WRITE,
                     MAP_SHARED | MAP_ANONYMOUS, -1, 0)) Point;
  const cssupport_test::TempDir dir;
  const std::string mainName = ".." + dir.path + "/main";  // "/tmp/" + ".log"
  const std::string extraName = ".." + dir.path + "/extra";
  const std::string mainLog = dir.File("main.log");
  const std::string extraLog = dir.File("extra.log");
  logger::LogInit(mainName);
  if (__lsan_disable) __lsan_disable();
  logger::LogBacktrace();
  if (__lsan_enable) __lsan_enable();
  logger::CurrentContext["db"] = "main";  // the thread's context exists
  logger::CurrentContext["op"] = "load";
  const std::string events = dir.File("events.json");
  for (const char* arg : {"disk-0", "disk-1", "pool-a"}) {
    cssupport_test::DumpAt(events, "jot.user.cs.schema.file.error", 1, arg);
  }
  const std::string history = *ReadBytes(events);
  const std::string wide(1500, 'x');
  const ConfigStoreException error(CS_ERR_SCHEMA_NOT_FOUND, "no: host-01");
  std::vector<ErrorInfo> errors{{"host-01", "uplink0 is not connected"},
                                {"switch0", "port 7 has no VLAN assigned"}};
  const ValidationException invalid(CS_ERR_VALIDATION, "pool-a", errors);
  void* extra = nullptr;
  std::string text;
  const char* message = nullptr;
  int context = 0;
  size_t logged = 0;
  // Emission: on retry, `line` reaches the main log.
  auto logs = [&](std::string line) {
    return [&, line](bool) {
      Check(
          !retry || ReadBytes(mainLog)->find(line, logged) != std::string::npos,
          "no \"" + line + "\" in the log");
    };
  };
  auto mark = [&] { logged = FileSize(mainLog); };
  // Set-up: a line logged next reaches `log` exactly when `grows` (an armed
  // call that completed may have had a host call fail).
  auto logging = [&](std::string log, bool grows) {
    return [&, log, grows](bool failed) {
      const size_t size = FileSize(log);
      logger::Log(logger::CS_LOG_ERROR, "after a set-up call");
      Check(failed || (grows && !retry) || (FileSize(log) > size) == grows,
            grows ? "nothing logged" : "still logging");
    };
  };
  // Six marked objects lack an identifier; host-01's is kept. Whatever the
  // outcome, nothing but well-formed identifiers is added. The configuration
  // has a pool with a buffer of its own: the caller's allocator is RapidJSON's.
  std::vector<char> buffer(1 << 16);
  std::optional<rapidjson::MemoryPoolAllocator<>> pool;
  rapidjson::Document schema;
  std::optional<rapidjson::Document> config;
  schema.Parse(R"({"properties":{"cs_generated_id":{},"hosts":{"items":{
      "properties":{"cs_generated_id":{},"nics":{"items":{"properties":{
      "cs_generated_id":{}}}}}}}}})");
  auto parse = [&] {
    config.reset();
    pool.emplace(buffer.data(), buffer.size());
    config.emplace(&*pool).Parse(R"({"hosts":[{"nics":[{},{}]},{"nics":[{}]},
                                       {"cs_generated_id":"host-01"}]})");
    text = cssupport_test::ToJson(*config);
  };
  auto walked = [&](bool failed) {
    static const std::regex kAdded(R"(,?"cs_generated_id":"[-0-9a-f]{36}")");
    const std::string after = cssupport_test::ToJson(*config);
    Check(std::regex_replace(after, kAdded, "") == text, after);
    Check(failed || std::distance(std::sregex_iterator(after.begin(),
                                                       after.end(), kAdded),
                                  {}) == 6,
          "not 6 identifiers added");
  };
  auto dump = [&] {
    cssupport_test::DumpAt(events, "jot.user.cs.schema.file.error", 1,
                           "uplink0");
  };
  const Row rows[] = {
      {"ErrorMessageForId, first call",
       [&] { message = ErrorMessageForId(CS_ERR_DB_OPEN); },
       [&](bool failed) {
         Check(failed || std::string(message) == "Failed to open database %s",
               "wrong text");
       },
       [] {}, false},
      {"ConfigStoreException",
       [] { ConfigStoreException(CS_ERR_DB_OPEN, "database main-db"); },
       logs("] [1001] database main-db\n"), mark},
      {"ValidationException",
       [&] { ValidationException(CS_ERR_VALIDATION, "bad", errors); },
       logs("] [1083] bad\n"), mark},
      {"toString, both classes",
       [&] { text = error.toString() + invalid.toString(); },
       [&](bool failed) {
         Check(failed || text == error.toString() + invalid.toString(), text);
       },
       [&] { text.clear(); }},
      {"LogInit", [&] { logger::LogInit(mainName); }, logging(mainLog, true)},
      {"AddFileLogger, the process's first",
       [&] { extra = logger::AddFileLogger(extraName); },
       [&](bool failed) {
         logging(extraLog, true)(failed);
         logger::RemoveFileLogger(extra);
       },
       [&] { extra = nullptr; }, false},
      {"RemoveFileLogger", [&] { logger::RemoveFileLogger(extra); },
       logging(extraLog, false),
       [&] { extra = logger::AddFileLogger(extraName); }},
      {"LogExit", [] { logger::LogExit(); },
       [&](bool failed) {
         logging(mainLog, false)(failed);
         logger::LogInit(mainName);
       }},
      {"Log, two context entries",
       [] { logger::Log(logger::CS_LOG_INFO, "loaded %d items", 42); },
       logs(" db=main op=load] loaded 42 items\n"), mark},
      {"Log, line over 1 KiB",
       [&] { logger::Log(logger::CS_LOG_WARN, "%s", wide.c_str()); },
       [&](bool failed) {
         logs(" wide=" + wide + "] " + wide + "\n")(failed);
         logger::CurrentContext.erase("wide");
       },
       [&] {
         mark();
         logger::CurrentContext["wide"] = wide;
       }},
      {"DBLog",
       [] { logger::DBLog("configdb", logger::CS_LOG_WARN, " %d", 3); },
       logs("] configdb 3\n"), mark},
      {"LogErrCode",
       [] { logger::LogErrCode(logger::CS_LOG_ERROR, CS_ERR_DB_OPEN, "x"); },
       logs("] [1001]Failed to open database x\n"), mark},
      {"LogBacktrace", [] { logger::LogBacktrace(); },
       logs("] ConfigStoreException: #0 "), mark},
      {"DumpJot, file with 3 records", dump,
       [&](bool failed) {
         const std::string record = cssupport_test::RecordJson(
             "jot.user.cs.schema.file.error", {"uplink0"});
         Check(*ReadBytes(events) ==
                   (failed ? history
                           : history.substr(0, history.size() - 2) + "," +
                                 record + "]}"),
               failed ? "the file changed" : "no new record");
       },
       [&] { cssupport_test::WriteBytes(events, history); }},
      {"PopulateGeneratedInstanceId(schema, document)",
       [&] { PopulateGeneratedInstanceId(schema, *config); }, walked, parse},
      {"PopulateGeneratedInstanceId(schema, value, allocator)",
       [&] { PopulateGeneratedInstanceId(schema, *config, *pool); }, walked,
       parse},
      {"SetUpgradeCtxFromLib, GetUpgradeCtx",
       [&] {
         SetUpgradeCtxFromLib("/usr/lib/postLoadStore/libx.so");
         context = GetUpgradeCtx();
       },
       [&](bool failed) {
         Check(failed ? GetUpgradeCtx() == 1 : context == 2, "context");
       },
       [] { SetUpgradeCtxFromLib("/usr/lib/libx.so"); }},
      {"(the leak check's own: a leak on the failure path)",
       [] {
         char* block = new char[32];
         asm volatile("" : : "g"(block) : "memory");
         std::string unfreed(64, 'x');
         asm volatile("" : : "g"(unfreed.data()) : "memory");
         delete[] block;
       },
       [](bool) {}, [] {}, false, 1},
  };

  std::printf("%-54s %6s %9s %9s %7s %5s\n", "operation", "points", "bad_alloc",
              "completed", "crashes", "leaks");
  for (const Row& row : rows) {
    if (row.warm) {
      *shared = {};
      retry = true;
      row.Run();
      ASSERT_STREQ(shared->failure, "") << row.name;
    }
    const Point base = row.Child(0);  // the uninjected run
    EXPECT_STREQ(base.failure, "") << row.name;
    int counts[4] = {}, residues = 0, lsan = 0, leaks = 0;
    for (long n = 1; n < 1000 && counts[kUnreached] == 0; ++n) {
      const Point p = row.Child(n);
      EXPECT_STREQ(p.failure, "") << row.name << ", allocation " << n;
      ++counts[p.outcome];
      if (p.outcome == kCrashed) continue;
      residues += p.residue != base.residue;
      lsan += p.lsanLeaks != 0;
      leaks += p.residue != base.residue || p.lsanLeaks != 0;
    }
    std::printf("%-54s %6d %9d %9d %7d %5d\n", row.name.c_str(),
                counts[kBadAlloc] + counts[kCompleted] + counts[kCrashed],
                counts[kBadAlloc], counts[kCompleted], counts[kCrashed], leaks);
    EXPECT_EQ(counts[kUnreached], 1) << row.name;
    EXPECT_EQ(residues, row.expectedLeaks) << row.name;
    if (__lsan_do_recoverable_leak_check) {
      EXPECT_EQ(lsan, row.expectedLeaks) << row.name;
    }
  }
  std::printf(
      "leaks: points that left more blocks live than the uninjected "
      "run, or where LeakSanitizer found any%s\n",
      __lsan_do_recoverable_leak_check ? "" : " (not in this build)");
  logger::LogExit();
}

}  // namespace
}  // namespace KoraConfigStore
