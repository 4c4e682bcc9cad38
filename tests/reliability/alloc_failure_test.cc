// Every exported operation with its Nth allocation failing, for N = 1, 2, ...
// until the operation no longer makes N allocations.
//
// The executable replaces the process's allocation functions (operator new
// and delete; malloc, calloc, realloc and free, which RapidJSON's CrtAllocator
// and the host's UUID_CreateRandom use), counting only while a call is armed.
// Each N runs in a child process, so a crash or hang is counted, not fatal,
// and the child checks that the call raised std::bad_alloc or completed; that
// the same call without injection then succeeds with its effect (no lock left
// held); what the call keeps on failure (the event file byte for byte, the
// upgrade context, well-formed identifiers); and that nothing leaked: no more
// blocks left live than two uninjected calls leave, and no unreachable block
// where LeakSanitizer runs. The host is the stand-in. Documents for the
// identifier walk get a pool with a buffer of its own: failure inside the
// caller's allocator is RapidJSON's.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <new>
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
// what this file replaces), else the C library's.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define REAL(f) __interceptor_##f
#else
#define REAL(f) __libc_##f
#endif
// The replacements run before the sanitizer is set up.
#define RAW __attribute__((no_sanitize("address", "thread", "undefined")))

extern "C" {
void* REAL(malloc)(size_t);
void* REAL(calloc)(size_t, size_t);
void* REAL(realloc)(void*, size_t);
void REAL(free)(void*);
int __lsan_do_recoverable_leak_check() __attribute__((weak));
void __lsan_disable() __attribute__((weak));
void __lsan_enable() __attribute__((weak));
// LeakSanitizer tells the dynamic loader's blocks by the caller of malloc,
// here the replacement: the test loads what back-traces need with the check
// off, and suppresses anything else the loader keeps (matching a suppression
// costs ~0.1 s a check, a check without one ~1 ms).
const char* __lsan_default_suppressions() { return "leak:*ld-linux*\n"; }
const char* __lsan_default_options() { return "print_suppressions=0"; }
}

namespace {

// Zero-initialised, so usable before any constructor runs. Only the
// single-threaded children arm it.
struct {
  bool armed, hit;  // counting; the allocation to fail was reached
  long count;       // allocations while armed
  long failAt;      // the one that fails; 0: none
  long live;        // blocks allocated and not freed, armed or not
} injection;

RAW bool Fails() {
  if (!injection.armed || ++injection.count != injection.failAt) return false;
  return injection.hit = true;
}

}  // namespace

extern "C" {
RAW void* malloc(size_t size) {
  void* p = Fails() ? nullptr : REAL(malloc)(size);
  injection.live += p != nullptr;
  return p;
}
RAW void* calloc(size_t n, size_t size) {
  void* p = Fails() ? nullptr : REAL(calloc)(n, size);
  injection.live += p != nullptr;
  return p;
}
RAW void* realloc(void* old, size_t size) {
  if (size != 0 && Fails()) return nullptr;  // size 0 frees
  void* p = REAL(realloc)(old, size);
  injection.live += (old == nullptr) - (p == nullptr && old != nullptr);
  return p;
}
RAW void free(void* p) {
  injection.live -= p != nullptr;
  REAL(free)(p);
}
}

// A sanitizer's operator new and delete use its allocator without malloc, so
// they are replaced too; elsewhere the C++ runtime's call malloc (and valgrind
// replaces them, and malloc, with its own).
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
void* operator new(size_t size) {
  if (void* p = std::malloc(size != 0 ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](size_t size) { return operator new(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept {
  return std::malloc(size != 0 ? size : 1);
}
void* operator new[](size_t size, const std::nothrow_t& t) noexcept {
  return operator new(size, t);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept {
  std::free(p);
}
#endif

namespace KoraConfigStore {
namespace {

using cssupport_test::ReadBytes;
namespace logger = CSLogger;

enum Outcome { kCrashed = -1, kUnreached, kBadAlloc, kCompleted };

// What a child reports, in memory shared with the parent.
struct Point {
  int outcome;
  long residue;  // blocks both calls left live
  int lsanLeaks;
  char failure[512];  // the first failed check
};

// One run of a row's body: armed, or the uninjected retry.
class Step {
 public:
  Step(Point* point, long failAt)
      : retry(failAt == 0), point_(point), failAt_(failAt) {}
  const bool retry;
  bool failed = false;  // the call raised std::bad_alloc

  void Call(const std::function<void()>& op) {
    injection.count = 0;
    injection.failAt = failAt_;
    injection.hit = false;
    const char* error = nullptr;
    injection.armed = true;
    try {
      op();
    } catch (const std::bad_alloc&) {
      failed = true;
    } catch (...) {
      error = "raised something other than std::bad_alloc";
    }
    injection.armed = false;
    Check(error == nullptr, error != nullptr ? error : "");
    Check(!failed || (injection.hit && !retry),
          "std::bad_alloc, no allocation failed");
    if (!retry) {
      point_->outcome = !injection.hit ? kUnreached
                        : failed       ? kBadAlloc
                                       : kCompleted;
    }
  }
  void Check(bool ok, const std::string& what) {
    if (ok || point_->failure[0] != '\0') return;
    std::snprintf(point_->failure, sizeof point_->failure, "%s%s",
                  retry ? "the call without injection: " : "", what.c_str());
  }

 private:
  Point* point_;
  long failAt_;
};

struct Row {
  std::string name;
  std::function<void(Step&)> body;  // set-up, Step::Call, checks
  bool warm = true;       // called once in the parent first; false: first call
  int expectedLeaks = 0;  // the leak check's own row leaks once
};

// Runs `row` in a child with allocation `n` failing, then uninjected.
Point RunPoint(const Row& row, long n, Point* shared) {
  *shared = Point{kCrashed, 0, 0, {}};
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    alarm(30);  // a hang ends as a crash
    if (row.expectedLeaks != 0) freopen("/dev/null", "w", stderr);
    const long start = injection.live;
    {
      Step armed(shared, n), retry(shared, 0);
      row.body(armed);
      row.body(retry);
    }
    shared->residue = injection.live - start;
    if (__lsan_do_recoverable_leak_check) {
      shared->lsanLeaks = __lsan_do_recoverable_leak_check();
    }
    _exit(0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  Point point = *shared;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    point.outcome = kCrashed;
    std::snprintf(point.failure, sizeof point.failure, "ended with status %#x",
                  status);
  }
  return point;
}

size_t FileSize(const std::string& path) {
  return ReadBytes(path).value_or("").size();
}

// Emission: on retry, `line` reaches `log`.
Row LogRow(const std::string& name, const std::string& log,
           std::function<void()> op, const std::string& line) {
  return {name, [=](Step& s) {
            const size_t before = FileSize(log);
            s.Call(op);
            s.Check(!s.retry ||
                        ReadBytes(log)->find(line, before) != std::string::npos,
                    "no \"" + line + "\" in the log");
          }};
}

// Set-up: after the call, a line reaches `log` exactly when `grows` (an armed
// call that completed may have had a host call fail).
Row SetupRow(const std::string& name, const std::string& log, bool grows,
             std::function<void()> op, std::function<void()> before = {},
             std::function<void()> after = {}, bool warm = true) {
  return {name,
          [=](Step& s) {
            if (before) before();
            s.Call(op);
            const size_t size = FileSize(log);
            logger::Log(logger::CS_LOG_ERROR, "after %s", name.c_str());
            s.Check(s.failed || (grows && !s.retry) ||
                        (FileSize(log) > size) == grows,
                    grows ? "nothing logged" : "still logging");
            if (after) after();
          },
          warm};
}

// Six marked objects lack an identifier; host-01's is kept. Whatever the
// outcome, nothing but well-formed identifiers is added.
Row WalkRow(const std::string& name, bool whole) {
  return {name, [whole](Step& s) {
            std::vector<char> buffer(1 << 16);
            rapidjson::MemoryPoolAllocator<> pool(buffer.data(), buffer.size());
            rapidjson::Document schema, config(&pool);
            schema.Parse(R"({"properties":{"cs_generated_id":{},"hosts":{
                "items":{"properties":{"cs_generated_id":{},"nics":{"items":{
                "properties":{"cs_generated_id":{}}}}}}}}})");
            config.Parse(R"({"hosts":[{"nics":[{},{}]},{"nics":[{}]},
                                      {"cs_generated_id":"host-01"}]})");
            const std::string before = cssupport_test::ToJson(config);
            s.Call([&] {
              whole ? PopulateGeneratedInstanceId(schema, config)
                    : PopulateGeneratedInstanceId(schema, config, pool);
            });
            static const std::regex kAdded(
                R"(,?"cs_generated_id":"[-0-9a-f]{36}")");
            const std::string after = cssupport_test::ToJson(config);
            s.Check(std::regex_replace(after, kAdded, "") == before, after);
            s.Check(s.failed ||
                        std::distance(std::sregex_iterator(after.begin(),
                                                           after.end(), kAdded),
                                      {}) == 6,
                    "not 6 identifiers added");
          }};
}

TEST(AllocationFailure, EveryOperationRaisesBadAllocOrCompletes) {
  if (RUNNING_ON_VALGRIND) GTEST_SKIP() << "valgrind replaces the allocator";
  auto* shared =
      static_cast<Point*>(mmap(nullptr, sizeof(Point), PROT_READ | PROT_WRITE,
                               MAP_SHARED | MAP_ANONYMOUS, -1, 0));
  ASSERT_NE(shared, MAP_FAILED);
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
  const std::string record =
      cssupport_test::RecordJson("jot.user.cs.schema.file.error", {"uplink0"});
  const std::string wide(1500, 'x');
  const ConfigStoreException error(CS_ERR_SCHEMA_NOT_FOUND, "no: host-01");
  std::vector<ErrorInfo> errors{{"host-01", "uplink0 is not connected"},
                                {"switch0", "port 7 has no VLAN assigned"}};
  const ValidationException invalid(CS_ERR_VALIDATION, "pool-a", errors);
  void* extra = nullptr;

  const Row rows[] = {
      {"ErrorMessageForId, first call",
       [](Step& s) {
         const char* text = nullptr;
         s.Call([&] { text = ErrorMessageForId(CS_ERR_DB_OPEN); });
         s.Check(s.failed || std::string(text) == "Failed to open database %s",
                 "wrong text");
       },
       false},
      LogRow(
          "ConfigStoreException", mainLog,
          [] { ConfigStoreException(CS_ERR_DB_OPEN, "database main-db"); },
          "] [1001] database main-db\n"),
      LogRow(
          "ValidationException", mainLog,
          [&] { ValidationException(CS_ERR_VALIDATION, "bad", errors); },
          "] [1083] bad\n"),
      {"toString, both classes",
       [&](Step& s) {
         std::string text;
         s.Call([&] { text = error.toString() + invalid.toString(); });
         s.Check(s.failed || text == error.toString() + invalid.toString(),
                 "wrong text");
       }},
      SetupRow("LogInit", mainLog, true, [&] { logger::LogInit(mainName); }),
      SetupRow(
          "AddFileLogger, the process's first", extraLog, true,
          [&] { extra = logger::AddFileLogger(extraName); },
          [&] { extra = nullptr; }, [&] { logger::RemoveFileLogger(extra); },
          false),
      SetupRow(
          "RemoveFileLogger", extraLog, false,
          [&] { logger::RemoveFileLogger(extra); },
          [&] { extra = logger::AddFileLogger(extraName); }),
      SetupRow(
          "LogExit", mainLog, false, [] { logger::LogExit(); }, {},
          [&] { logger::LogInit(mainName); }),
      LogRow(
          "Log, two context entries", mainLog,
          [] { logger::Log(logger::CS_LOG_INFO, "loaded %d items", 42); },
          " db=main op=load] loaded 42 items\n"),
      {"Log, line over 1 KiB",
       [&](Step& s) {
         logger::CurrentContext["wide"] = wide;
         LogRow(
             "", mainLog,
             [&] { logger::Log(logger::CS_LOG_WARN, "%s", wide.c_str()); },
             " wide=" + wide + "] " + wide + "\n")
             .body(s);
         logger::CurrentContext.erase("wide");
       }},
      LogRow(
          "DBLog", mainLog,
          [] { logger::DBLog("configdb", logger::CS_LOG_WARN, " %d", 3); },
          "] configdb 3\n"),
      LogRow(
          "LogErrCode", mainLog,
          [] { logger::LogErrCode(logger::CS_LOG_ERROR, CS_ERR_DB_OPEN, "x"); },
          "] [1001]Failed to open database x\n"),
      LogRow(
          "LogBacktrace", mainLog, [] { logger::LogBacktrace(); },
          "] ConfigStoreException: #0 "),
      {"DumpJot, file with 3 records",
       [&](Step& s) {
         const std::string before = *ReadBytes(events);
         s.Call([&] {
           cssupport_test::DumpAt(events, "jot.user.cs.schema.file.error", 1,
                                  "uplink0");
         });
         s.Check(ReadBytes(events) ==
                     (s.failed ? before
                               : before.substr(0, before.size() - 2) + "," +
                                     record + "]}"),
                 s.failed ? "the file changed" : "no new record");
         cssupport_test::WriteBytes(events, before);
       }},
      WalkRow("PopulateGeneratedInstanceId(schema, document)", true),
      WalkRow("PopulateGeneratedInstanceId(schema, value, allocator)", false),
      {"SetUpgradeCtxFromLib, GetUpgradeCtx",
       [](Step& s) {
         SetUpgradeCtxFromLib("/usr/lib/libx.so");
         int context = 0;
         s.Call([&] {
           SetUpgradeCtxFromLib("/usr/lib/postLoadStore/libx.so");
           context = GetUpgradeCtx();
         });
         s.Check(s.failed ? GetUpgradeCtx() == 1 : context == 2, "context");
       }},
      {"(the leak check's own: a leak on the failure path)",
       [](Step& s) {
         s.Call([] {
           char* block = new char[32];
           asm volatile("" : : "g"(block) : "memory");
           std::string text(64, 'x');
           asm volatile("" : : "g"(text.data()) : "memory");
           delete[] block;
         });
       },
       false, 1},
  };

  std::printf("%-50s %6s %9s %9s %7s %5s\n", "operation", "points", "bad_alloc",
              "completed", "crashes", "leaks");
  for (const Row& row : rows) {
    if (row.warm) {
      *shared = Point{};
      Step warm(shared, 0);
      row.body(warm);
      ASSERT_STREQ(shared->failure, "") << row.name;
    }
    std::vector<Point> points;
    do {
      points.push_back(RunPoint(row, points.size() + 1, shared));
    } while (points.back().outcome != kUnreached && points.size() < 1000);
    int counts[3] = {}, crashes = 0, leaks = 0, residues = 0, lsan = 0;
    for (size_t n = 1; n <= points.size(); ++n) {
      const Point& p = points[n - 1];
      const std::string where = row.name + ", allocation " + std::to_string(n);
      EXPECT_STREQ(p.failure, "") << where;
      if (p.outcome == kCrashed) {
        ++crashes;
        continue;
      }
      ++counts[p.outcome];
      residues += p.residue != points.back().residue;
      lsan += p.lsanLeaks != 0;
      leaks += p.residue != points.back().residue || p.lsanLeaks != 0;
    }
    std::printf("%-50s %6zu %9d %9d %7d %5d\n", row.name.c_str(),
                points.size() - 1, counts[kBadAlloc], counts[kCompleted],
                crashes, leaks);
    EXPECT_EQ(points.back().outcome, kUnreached) << row.name;
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
  munmap(shared, sizeof(Point));
}

}  // namespace
}  // namespace KoraConfigStore
