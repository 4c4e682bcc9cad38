// Nth allocation failing per operation: bad_alloc or done, no leak or change.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <new>

#include "cssupport/config/generated_id.h"
#include "cssupport/config/upgrade_context.h"
#include "cssupport/errors/error_codes.h"
#include "cssupport/errors/exceptions.h"
#include "cssupport/json/throwing_allocator.h"
#include "cssupport/logging/cs_logger.h"
#include "tests/support/event_test_support.h"

#if __has_include(<valgrind/valgrind.h>)
#include <valgrind/valgrind.h>
#else
#define RUNNING_ON_VALGRIND 0
#endif

// Underneath: the sanitizer's allocator if any, else the C library's.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
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
// Loader blocks (malloc's caller is here) are suppressed for LeakSanitizer.
const char* __lsan_default_suppressions() { return "leak:*ld-linux*\n"; }
const char* __lsan_default_options() { return "print_suppressions=0"; }
}

namespace {

struct {  // zero before any constructor runs; armed only in the children
  bool armed;
  long count, failAt, live;  // allocations armed, the one failing, blocks live
} inject;
RAW void* Live(void* p, bool counts = true) {
  inject.live += p != nullptr && counts;
  return p;
}
// The one place that decides which allocation fails.
RAW bool Fails() { return inject.armed && ++inject.count == inject.failAt; }
#define ALLOCATE(...) (Fails() ? nullptr : Live(__VA_ARGS__))

}  // namespace

extern "C" {
RAW void* malloc(size_t n) { return ALLOCATE(REAL(malloc)(n)); }
RAW void* calloc(size_t n, size_t k) { return ALLOCATE(REAL(calloc)(n, k)); }
RAW void free(void* p) { inject.live -= p != nullptr, REAL(free)(p); }
RAW void* realloc(void* old, size_t n) {
  if (n == 0 && old != nullptr) return free(old), nullptr;
  return ALLOCATE(REAL(realloc)(old, n), old == nullptr);
}
}

// A sanitizer's new and delete bypass malloc; elsewhere they call it.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
void* operator new(size_t n) {
  if (void* p = std::malloc(n + !n)) return p;
  throw std::bad_alloc();
}
void* operator new[](size_t n) { return operator new(n); }
#define NEW_(...) \
  void* operator new __VA_ARGS__ noexcept { return std::malloc(n + !n); }
NEW_((size_t n, const std::nothrow_t&))
NEW_([](size_t n, const std::nothrow_t&))
#define DELETE_(...)                                           \
  void operator delete(__VA_ARGS__) noexcept { std::free(p); } \
  void operator delete[](__VA_ARGS__) noexcept { std::free(p); }
DELETE_(void* p)
DELETE_(void* p, size_t)
DELETE_(void* p, const std::nothrow_t&)
#endif

namespace KoraConfigStore {
namespace {

using namespace cssupport_test;
using namespace CSLogger;

enum Outcome { kCrashed, kUnreached, kBadAlloc, kCompleted };

struct Point {  // what a child reports, in memory shared with the parent
  int outcome = kCrashed, lsanLeaks = 0;
  long residue = 0;        // blocks the calls left live
  char failure[512] = "";  // the first failed check
} * shared;

std::string events, history;  // the event file, and what it holds
const void* volatile sink;    // what is stored here is not optimised away

struct Row {
  std::string name;
  std::function<void()> op;
  bool warm = true;  // called once unarmed first; false: a first call
  std::function<void()> prepare = [] {};  // after the history is written

  void Call(long failAt) const {
    WriteBytes(events, history);
    prepare();
    const std::string before = *ReadBytes(events);
    auto check = [failAt](bool ok, const char* what) {
      if (!ok && !*shared->failure)
        std::snprintf(shared->failure, 512, failAt ? "%s" : "retry: %s", what);
    };
    bool failed = false;  // the call raised std::bad_alloc
    inject = {true, 0, failAt, inject.live};
    try {
      op();
    } catch (const std::bad_alloc&) {
      failed = true;
    } catch (...) {
      check(false, "raised something other than std::bad_alloc");
    }
    inject.armed = false;
    const bool hit = failAt && inject.count >= failAt;
    check(!failed || hit, "std::bad_alloc, no allocation failed");
    check(!failed || *ReadBytes(events) == before, "the event file changed");
    if (failAt)
      shared->outcome = !hit ? kUnreached : failed ? kBadAlloc : kCompleted;
  }
  // In a child: the call with allocation `failAt` failing, then the retry.
  Point Child(long failAt) const {
    *shared = {};
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
      alarm(30);  // a hang ends as a crash
      if (name.empty()) freopen("/dev/null", "w", stderr);  // leaks on purpose
      if (warm) Call(0);
      const long start = inject.live;
      Call(failAt);
      Call(0);
      shared->residue = inject.live - start;
      if (__lsan_do_recoverable_leak_check)
        shared->lsanLeaks = __lsan_do_recoverable_leak_check();
      _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (status != 0)
      std::snprintf((*shared = {}).failure, 512, "ended with %#x", status);
    return *shared;
  }
};

TEST(AllocationFailure, EveryOperationRaisesBadAllocOrCompletes) {
  if (RUNNING_ON_VALGRIND) GTEST_SKIP() << "valgrind replaces the allocator";
  shared = new (mmap(nullptr, sizeof(Point), PROT_READ | PROT_WRITE,
                     MAP_SHARED | MAP_ANONYMOUS, -1, 0)) Point;
  const TempDir dir;
  // "/tmp/" + name + ".log"
  const std::string mainName = ".." + dir.path + "/main", wide(1500, 'x');
  LogInit(mainName);
  if (__lsan_disable) __lsan_disable();
  LogBacktrace();
  if (__lsan_enable) __lsan_enable();
  CurrentContext["db"] = "main";  // the thread's context exists
  CurrentContext["op"] = "load";
  events = dir.File("events.json");
  DumpAt(events, "jot.user.cs.schema.file.error", 1, "disk-0");
  history = *ReadBytes(events);
  std::vector<ErrorInfo> errors{{"host-01", "uplink0 is down"}, {"a", "b"}};
  // Five marked objects each, walked first in the child; their pool has a
  // buffer of its own (the caller's allocator is RapidJSON's).
  static char buffer[1 << 16];
  rapidjson::MemoryPoolAllocator<> pool(buffer, sizeof buffer);
  rapidjson::Document schema, config(&pool), value(&pool);
  schema.Parse(R"({"properties":{"cs_generated_id":{},"hosts":{"items":{
      "properties":{"cs_generated_id":{},"nics":{"items":{"properties":{
      "cs_generated_id":{}}}}}}}}})");
  for (auto* doc : {&config, &value})
    doc->Parse(
        R"({"hosts":[{"nics":[{},{}]},{},{"cs_generated_id":"host-01"}]})");
  const Row rows[] = {
      {"first calls: ErrorMessageForId, Add/RemoveFileLogger, LogExit/Init, "
       "Set/GetUpgradeCtx, PopulateGeneratedInstanceId (both overloads)",
       [&] {
         sink = ErrorMessageForId(CS_ERR_DB_OPEN);
         RemoveFileLogger(AddFileLogger(".." + dir.path + "/extra"));
         LogExit();
         LogInit(mainName);
         SetUpgradeCtxFromLib("/usr/lib/postLoadStore/libx.so");
         GetUpgradeCtx();
         PopulateGeneratedInstanceId(schema, config);
         PopulateGeneratedInstanceId(schema, value, pool);
       },
       false},
      {"exceptions, toString, Log, DBLog, LogErrCode, LogBacktrace",
       [&] {
         ConfigStoreException(CS_ERR_DB_OPEN, "host-01").toString();
         ValidationException(CS_ERR_VALIDATION, "pool-a", errors).toString();
         Log(CS_LOG_INFO, "loaded %d items", 42);  // 2 context entries
         DBLog("configdb", CS_LOG_WARN, " %d", 3);
         LogErrCode(CS_LOG_ERROR, CS_ERR_DB_OPEN, "x");
         LogBacktrace();
         CurrentContext["wide"] = wide;  // a line over 1 KiB
         Log(CS_LOG_WARN, "%s", wide.c_str());
         CurrentContext.erase("wide");
       }},
      {"DumpJot, file with a record",
       [] { DumpAt(events, "jot.user.cs.schema.file.error", 1, "uplink0"); }},
      {"DumpJot appending in place, with a kept record",
       [] { DumpAt(events, "jot.user.cs.schema.file.error", 1, "uplink0"); },
       true,
       [] {
         DumpAt(events, "jot.user.cs.db.operation.error", 0);
         WriteBytes(events + ".unstored",
                    history.substr(9, history.size() - 11) + "\n");
       }},
  };
  std::printf("points bad_alloc completed crashes leaks  operation\n");
  for (const Row& row : rows) {
    const Point base = row.Child(0);  // uninjected, as is the last point
    int counts[4] = {}, leaks = 0, n = 1;
    for (; n < 1000 && counts[kUnreached] == 0; ++n) {
      const Point p = row.Child(n);
      EXPECT_STREQ(p.failure, "")
          << row.name << ", allocation " << n << ": " << p.failure;
      ++counts[p.outcome];
      leaks += p.outcome != kCrashed &&
               (p.residue != base.residue || p.lsanLeaks != 0);
    }
    std::printf("%6d %9d %9d %7d %5d  %s\n", n - 2, counts[kBadAlloc],
                counts[kCompleted], counts[kCrashed], leaks, row.name.c_str());
    EXPECT_EQ(counts[kUnreached], 1) << row.name;
    EXPECT_EQ(leaks, 0) << row.name;
  }
  // The leak check's own: a block lost by each call is seen by both means.
  const Point lost = Row{"", [] { sink = new char[32]; }}.Child(0);
  EXPECT_EQ(lost.residue, 2);
  EXPECT_EQ(lost.lsanLeaks != 0, __lsan_do_recoverable_leak_check != nullptr);
  LogExit();
}

}  // namespace
}  // namespace KoraConfigStore

// RapidJSON's contract for an allocator: a zero-byte request gives null, and
// a zero-byte Realloc frees the block (the leak check of the sanitizer
// stage sees one that does not).
TEST(AllocationFailure, ZeroByteRequestsGiveNull) {
  KoraConfigStore::internal::ThrowingCrtAllocator allocator;
  EXPECT_EQ(allocator.Malloc(0), nullptr);
  EXPECT_EQ(allocator.Realloc(allocator.Malloc(8), 8, 0), nullptr);
}
