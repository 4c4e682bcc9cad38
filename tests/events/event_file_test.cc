// DumpJotAt on the event record file: outcomes, file kinds, failures, corpus.

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <future>
#include <map>
#include <random>
#include <set>
#include <thread>

#include "cssupport/errors/exceptions.h"
#include "cssupport/errors/json.h"
#include "cssupport/events/internal/file_access.h"
#include "cssupport/events/internal/side_file.h"
#include "tests/support/event_test_support.h"
#include "tests/support/json_text.h"

namespace {
// Which open(2) fails with failErrno (0: none fails): the read of the file at
// failPath, the lock's or the unnamed file's open of the directory failPath;
// or (kReadData) each read(2) or pread(2) of the file at failPath, the first
// interrupted (EINTR), the next failing, and so on.
enum Opens { kNone, kRead, kLock, kUnnamed, kReadData } failing = kNone;
bool readInterrupted = false;
std::string failPath;
int failErrno = 0;
// pwrite(2) is interrupted `interrupts` times, then stores nothing at or past
// `room` (ENOSPC, a full file system; returns 0 when `stalls`; or the process
// dies there when `dies`); the next `truncateFailures` ftruncate(2) calls fail
// with EIO.
long room = LONG_MAX;
int interrupts = 0, truncateFailures = 0;
bool dies = false, stalls = false;
// A child forked by the next pwrite(2) lives this long (the lock is held).
std::chrono::milliseconds forkInWrite{0};
int sleeps = 0;  // nanosleep(2) calls
// fchown(2), fchmod(2) or fsync(2), as named, fails with attributeErrno.
std::string failingAttribute;
int attributeErrno = 0;
int historyReads = 0;  // read-only opens of a file named *.json
}  // namespace

extern "C" int open(const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = flags & (O_CREAT | O_TMPFILE) ? va_arg(args, mode_t) : 0;
  va_end(args);
  const Opens kind = (flags & O_TMPFILE) == O_TMPFILE  ? kUnnamed
                     : flags & O_DIRECTORY             ? kLock
                     : (flags & O_ACCMODE) == O_RDONLY ? kRead
                                                       : kNone;
  if (failErrno != 0 && failing == kind && failPath == path)
    return errno = failErrno, -1;
  const std::string_view name(path);
  historyReads += kind == kRead && name.size() > 5 &&
                  name.substr(name.size() - 5) == ".json";
  return static_cast<int>(syscall(SYS_openat, AT_FDCWD, path, flags, mode));
}

std::string PathOf(int fd) {
  char name[PATH_MAX];
  const ssize_t n = readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(),
                             name, sizeof name);
  return std::string(name, n > 0 ? n : 0);
}

// The room is that of the event file only, not of the files beside it.
bool BesideTheFile(int fd) {
  const std::string link = PathOf(fd);
  return link.size() > 9 && (link.substr(link.size() - 9) == ".unstored" ||
                             link.substr(link.size() - 9) == ".identity");
}

bool ReadFails(int fd) {
  if (failErrno == 0 || failing != kReadData || PathOf(fd) != failPath)
    return false;
  errno = (readInterrupted = !readInterrupted) ? EINTR : failErrno;
  return true;
}

extern "C" ssize_t read(int fd, void* data, size_t n) {
  return ReadFails(fd) ? -1 : syscall(SYS_read, fd, data, n);
}

extern "C" ssize_t pread(int fd, void* data, size_t n, off_t at) {
  return ReadFails(fd) ? -1 : syscall(SYS_pread64, fd, data, n, at);
}

extern "C" ssize_t pwrite(int fd, const void* data, size_t n, off_t at) {
  if (forkInWrite.count() > 0 && fork() == 0)
    std::this_thread::sleep_for(forkInWrite), _exit(0);
  forkInWrite = {};
  if (BesideTheFile(fd)) return syscall(SYS_pwrite64, fd, data, n, at);
  if (interrupts > 0) return --interrupts, errno = EINTR, -1;
  if (at >= room && dies) raise(SIGKILL);
  if (at >= room && stalls) return 0;
  if (at >= room) return errno = ENOSPC, -1;
  return syscall(SYS_pwrite64, fd, data, std::min(n, size_t(room - at)), at);
}

extern "C" int ftruncate(int fd, off_t size) {
  if (truncateFailures > 0) return --truncateFailures, errno = EIO, -1;
  return static_cast<int>(syscall(SYS_ftruncate, fd, size));
}

bool AttributeFails(const char* call) {
  return failingAttribute == call && (errno = attributeErrno) != 0;
}

extern "C" int fchown(int fd, uid_t owner, gid_t group) {
  return AttributeFails("fchown")
             ? -1
             : static_cast<int>(syscall(SYS_fchown, fd, owner, group));
}

extern "C" int fchmod(int fd, mode_t mode) {
  return AttributeFails("fchmod")
             ? -1
             : static_cast<int>(syscall(SYS_fchmod, fd, mode));
}

extern "C" int fsync(int fd) {
  return AttributeFails("fsync") ? -1
                                 : static_cast<int>(syscall(SYS_fsync, fd));
}

extern "C" int nanosleep(const timespec* duration, timespec* left) {
  ++sleeps;
  return static_cast<int>(syscall(SYS_nanosleep, duration, left));
}

namespace {

using namespace cssupport_test;
using Lines = std::vector<std::string>;

const std::string kDb = "jot.user.cs.db.operation.error";
const std::string kSchema = "jot.user.cs.schema.file.error";
const std::string kOpenFailed =
                      "3:Failed opening Load Store workflow error file.",
                  kParseFailed = "3:Failed parsing Config Store JOT json file.";

std::string Jots(const std::string& r) { return "{\"jots\":[" + r + "]}"; }
std::string Nested(int n) { return std::string(n, '[') + std::string(n, ']'); }

// kWritten leaves `after`, the rest the file unchanged; kNot*: 1082 thrown.
enum Outcome { kWritten, kParseFailure, kOutOfRange, kNotObject, kNotArray };

struct Case {
  const char* name;
  std::optional<std::string> before;  // nullopt: no file
  Outcome outcome;
  std::optional<std::string> after = "";  // kWritten only
  std::string jotId = kDb;
};

// Writes c.before, records one event and tells how the call ended.
Outcome RecordOver(const std::string& path, const Case& c) {
  hostrt_recording::Reset();
  if (c.before) WriteBytes(path, *c.before);
  Outcome outcome = kWritten;
  try {
    DumpAt(path, c.jotId, 0);
  } catch (const KoraConfigStore::ConfigStoreException& e) {
    // The JSON assertion hook's text: JSON error:"<header>":<line>: <condition>
    const std::string what = e.what(), cond = what.substr(what.rfind(": ") + 2);
    EXPECT_TRUE(e.GetErrorCode() == 1082 &&
                what.rfind("JSON error:\"", 0) == 0 &&
                (cond == "IsArray()" || cond == "IsObject()"))
        << what;
    outcome = cond == "IsArray()" ? kNotArray : kNotObject;
  } catch (const std::out_of_range&) {
    outcome = kOutOfRange;
  }
  const Lines syslog = SyslogLines();
  const std::string held = path + ".held", record = RecordJson(c.jotId);
  const auto kept = ReadBytes(held);
  std::filesystem::remove(held);
  if (outcome == kWritten && !syslog.empty() && syslog[0] == kParseFailed) {
    // The record is kept, when the identifier lets it be made.
    const bool known = KoraConfigStore::jotMsgMap.count(c.jotId);
    EXPECT_EQ(syslog, (known ? Lines{kParseFailed, UnstoredLine(record, held)}
                             : Lines{kParseFailed}));
    EXPECT_EQ(kept, known ? std::optional(record + "\n") : std::nullopt);
    return kParseFailure;
  }
  EXPECT_TRUE(outcome >= kNotObject || hostrt_recording::Calls().empty());
  EXPECT_EQ(syslog, Lines{});  // nor anything but the exception's own lines
  return outcome;
}

void Check(const std::string& path, const Case& c) {
  EXPECT_EQ(RecordOver(path, c), c.outcome);
  EXPECT_EQ(ReadBytes(path), c.outcome == kWritten ? c.after : c.before);
}

void* CheckEveryCase(void*) {
  std::string deep;  // every scalar the writer has a call for, 50,000 deep
  for (int i = 0; i < 50000; ++i) deep += "{\"a\":";
  deep +=
      R"([-1,4294967295,-5000000000,18446744073709551615,0.5,"s\n",true,null])" +
      std::string(50000, '}');
  const Case cases[] = {
      {"Absent", std::nullopt, kWritten, Jots(RecordJson(kDb))},
      {"Null", " \r\n\tnull \r\n", kWritten, Jots(RecordJson(kDb))},
      // Other members and records keep their order; the file comes back
      // compact.
      {"AppendIndented", "{\n \"a\": 1,\n \"jots\": [7],\n \"b\": [2.5]\n}\n",
       kWritten, "{\"a\":1,\"jots\":[7," + RecordJson(kDb) + "],\"b\":[2.5]}"},
      {"JotsInOtherCase", "{ \"x\" : [ 1 ] ,\n\"Jots\": [] }", kWritten,
       R"({"x":[1],"Jots":[]})"},
      // Any depth parses and comes back byte for byte.
      {"DeepArrays", "{\"jots\":[],\"a\": " + Nested(200000) + " }", kWritten,
       "{\"jots\":[" + RecordJson(kDb) + "],\"a\":" + Nested(200000) + "}"},
      {"DeepObjects", "{\"a\":" + deep + ",\"jots\":[]}", kWritten,
       "{\"a\":" + deep + ",\"jots\":[" + RecordJson(kDb) + "]}"},
      {"DeepUnclosed", std::string(100000, '['), kParseFailure},
      {"Whitespace", " \n\t\r ", kParseFailure},
      {"TwoValues", "{}{}", kParseFailure},
      {"NulAfterRoot", std::string("{\"jots\":[]}\0", 12), kParseFailure},
      // The parse comes first, then the identifier, then the root's type.
      {"UnknownIdUnparsable", "{", kParseFailure, "", "jot.user.cs.no.such"},
      {"UnknownIdNoFile", std::nullopt, kOutOfRange, "", "jot.user.cs.no.such"},
      {"IdInOtherCase", Jots(""), kOutOfRange, "",
       "JOT.USER.CS.DB.OPERATION.ERROR"},
      {"UnknownIdArrayRoot", "[]", kOutOfRange, "", ""},
      {"ArrayRoot", "[{\"jots\":[]}]", kNotObject},
      {"NumberRoot", " 42 ", kNotObject},
      {"FirstOfDuplicateJots", "{\"jots\":{},\"jots\":[]}", kNotArray},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    Check(dir.File("loadStoreErrors.json"), c);
  }
  return nullptr;
}

// On a 256 KiB stack: reading and writing the file must not recurse.
TEST(EventFile, EachCaseEndsWithItsTableOutcome) {
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  ASSERT_EQ(pthread_attr_setstacksize(&attr, 256 * 1024), 0);
  pthread_t thread;
  ASSERT_EQ(pthread_create(&thread, &attr, CheckEveryCase, nullptr), 0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);
}

// Templates stay unexpanded, a count <= 0 reads none, arguments are stored
// as well-formed UTF-8, every event is known; a call on the file that the
// last one wrote reads none of it.
TEST(EventFile, EveryCallAppendsOneRecordOfCountArguments) {
  TempDir dir;
  const std::string path = dir.File("loadStoreErrors.json");
  historyReads = 0;
  DumpAt(path, kSchema, 1, "/etc/s.json");
  DumpAt(path, kSchema, 0, "not read");
  DumpAt(path, kSchema, -2, "not read", "not read");
  DumpAt(path, kSchema, 3, "a", "", "c", "not read");
  DumpAt(path, kDb, 1, "q\"b\\n\nt\tc\x01/\xC3\xA9%s");
  // Each ill-formed sequence (overlong, surrogate, cut short, stray, beyond
  // U+10FFFF, cut by the end) becomes one U+FFFD; a no-break space, U+0800
  // and U+10FFFF stay.
  DumpAt(path, kDb, 1,
         "a\xc0\xaf"
         "b\xed\xa0\x80"
         "c\xf0\x90\x80"
         "d\xff\xc2\xa0"
         "e\xf4\x90\x80\x80\xf4\x8f\xbf\xbf"
         "f\xe0\x80\x80\xe0\xa0\x80"
         "g\xe2\x82");
  std::string records =
      R"({"jotId":"jot.user.cs.schema.file.error",)"
      R"("jotMsg":"Error processing schema file %s.","jotArgs":["/etc/s.json"]},)" +
      RecordJson(kSchema) + "," + RecordJson(kSchema) + "," +
      RecordJson(kSchema, {"a", "", "c"}) + "," +
      RecordJson(kDb, {"q\\\"b\\\\n\\nt\\tc\\u0001/\xC3\xA9%s"}) + "," +
      RecordJson(kDb, {"a\uFFFD\uFFFDb\uFFFD\uFFFD\uFFFDc\uFFFDd\uFFFD\u00A0"
                       "e\uFFFD\uFFFD\uFFFD\uFFFD\U0010FFFF"
                       "f\uFFFD\uFFFD\uFFFD\u0800g\uFFFD"});
  const Lines table = DataLines("event_templates.tsv");
  for (const std::string& row : table) {
    DumpAt(path, row.substr(0, row.find('\t')), 0);
    records += "," + RecordJson(row.substr(0, row.find('\t')));
  }
  EXPECT_EQ(KoraConfigStore::jotMsgMap.size(), table.size());
  EXPECT_EQ(ReadBytes(path), Jots(records));
  EXPECT_EQ(historyReads, 1);  // only the first call looked for a file
}

// A new file is 0666 & ~umask.
TEST(EventFile, ANewFileFollowsTheUmask) {
  TempDir dir;
  for (const mode_t mask : {022, 0}) {
    const std::string file = dir.File(std::to_string(mask));
    const mode_t old = umask(mask);
    DumpAt(file, kDb, 0);
    umask(old);
    EXPECT_EQ(std::filesystem::status(file).permissions(),
              std::filesystem::perms(0666 & ~mask));
  }
  EXPECT_EQ(KoraConfigStore::internal::DirectoryOf("/x"), "/");  // lock on "/"
}

// Only a regular file of one link is used, in a directory that exists and
// can be locked; failed reads (not EACCES) spare it; a failed rewrite writes
// the previous content back; a new file appears whole or not at all.
TEST(EventFile, OnlyARegularFileIsWrittenAndAFailedWriteIsUndone) {
  const std::string old = Jots(RecordJson(kSchema)),
                    added = Jots(RecordJson(kSchema) + "," + RecordJson(kDb));
  const Lines failed{kOpenFailed};
  const auto unwritten = [](std::string error, const char* restored) {
    return Lines{"3:Failed writing Load Store workflow error file (" + error +
                 "); previous content " + restored + "."};
  };
  const char *full = "No space left on device", *eio = "Input/output error";
  enum Kind { kFile, kAbsent, kNoDir, kFifo, kDir, kSymlink, kHardLink };
  const struct {
    const char* name;
    Kind kind;
    Lines syslog;
    std::optional<std::string> after = std::nullopt;  // a file's content
    Opens fails = kNone;
    int error = 0;  // of the failing open
    int interrupts = 0, truncateFailures = 0;
    long room = LONG_MAX;  // what the file system holds of a file
    bool dies = false;     // the caller dies when the room runs out
    bool stalls = false;   // a write past the room stores nothing, says 0
  } cases[] = {
      {"NoDirectory", kNoDir, failed},
      {"Fifo", kFifo, failed},
      {"Directory", kDir, failed},
      {"Symlink", kSymlink, failed, old},
      {"HardLink", kHardLink, failed, old},
      {"LockEMFILE",
       kFile,
       {"3:Load Store workflow error file lock cannot be taken (Too many "
        "open files)."},
       old,
       kLock,
       EMFILE},
      {"ReadEMFILE", kFile, failed, old, kRead, EMFILE},
      {"ReadEIO", kFile, failed, old, kRead, EIO},
      {"ReadDataEIO", kFile, failed, old, kReadData, EIO},
      {"ReadEACCES", kFile, {}, Jots(RecordJson(kDb)), kRead, EACCES},
      {"UnnamedEACCES", kAbsent, failed, {}, kUnnamed, EACCES},
      {"WriteInterrupted", kFile, {}, added, kNone, 0, 2},
      {"FullFileSystem", kFile, unwritten(full, "restored"), old, kNone, 0, 0,
       0, long(old.size())},
      {"WriteStoresNothing", kFile, unwritten(eio, "restored"), old, kNone, 0,
       0, 0, long(old.size()), false, true},
      {"FullForANewFile",
       kAbsent,
       unwritten(full, "restored"),
       {},
       kNone,
       0,
       0,
       0,
       0},
      {"FullForANewFileByName",
       kAbsent,
       unwritten(full, "restored"),
       {},
       kUnnamed,
       EOPNOTSUPP,
       0,
       0,
       0},
      {"DiesCreating", kAbsent, {}, {}, kNone, 0, 0, 0, 9, true},
      {"TruncateFails", kFile, unwritten(eio, "restored"), old, kNone, 0, 0, 1},
      {"RestoreFails", kFile, unwritten(full, "not restored"), old, kNone, 0, 0,
       0, 9},
      {"RestoreTruncateFails", kFile, unwritten(eio, "not restored"),
       old + added.substr(old.size()), kNone, 0, 0, 2},
  };
  {  // A file longer than the first read's buffer is read whole.
    TempDir dir;
    const std::string big(5000, 'x');
    std::string text;
    WriteBytes(dir.File("big"), big);
    EXPECT_EQ(
        KoraConfigStore::internal::ReadEventFile(dir.File("big"), text).state,
        KoraConfigStore::internal::EventFileState::kRead);
    EXPECT_EQ(text, big);
  }
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string path = dir.File(c.kind == kNoDir ? "no/file.json"
                                                       : "file.json"),
                      other = dir.File("other.json");
    WriteBytes(c.kind == kFile ? path : other, old);
    ASSERT_EQ(c.kind == kFifo       ? mkfifo(path.c_str(), 0600)
              : c.kind == kDir      ? mkdir(path.c_str(), 0700)
              : c.kind == kSymlink  ? symlink(other.c_str(), path.c_str())
              : c.kind == kHardLink ? link(other.c_str(), path.c_str())
                                    : 0,
              0);
    const auto type = std::filesystem::symlink_status(path).type();
    // The read alone: never through a symbolic link, only one link.
    using State = KoraConfigStore::internal::EventFileState;
    const std::pair<State, int> found[] = {{State::kRead, 0},
                                           {State::kAbsent, ENOENT},
                                           {State::kAbsent, ENOENT},
                                           {State::kNotRegular, 0},
                                           {State::kNotRegular, EISDIR},
                                           {State::kRefused, ELOOP},
                                           {State::kRefused, EMLINK}};
    std::string text;
    const auto read = KoraConfigStore::internal::ReadEventFile(path, text);
    EXPECT_EQ(std::pair(read.state, read.error), found[c.kind]);
    EXPECT_EQ(text, c.kind == kFile ? old : "");
    hostrt_recording::Reset();
    failPath = c.fails == kRead || c.fails == kReadData ? path : dir.path;
    std::tie(failing, failErrno, room, interrupts, truncateFailures, dies,
             stalls) = std::tuple(c.fails, c.error, c.room, c.interrupts,
                                  c.truncateFailures, c.dies, c.stalls);
    int status = 0;
    if (const pid_t pid = c.dies ? fork() : 0) {
      waitpid(pid, &status, 0);
    } else {
      DumpAt(path, kDb, 0);
      if (c.dies) _exit(0);
    }
    std::tie(failErrno, room, interrupts, truncateFailures, dies, stalls) =
        std::tuple(0, LONG_MAX, 0, 0, false, false);
    EXPECT_EQ(WIFSIGNALED(status), c.dies);
    // A record not stored is kept beside the file, and said where.
    const std::string unstored = path + ".unstored",
                      identity = path + ".identity";
    Lines syslog = c.syslog;
    if (!syslog.empty())
      syslog.push_back(c.kind == kNoDir
                           ? UnstoredLine(RecordJson(kDb), "", ENOENT)
                           : UnstoredLine(RecordJson(kDb), unstored));
    EXPECT_EQ(SyslogLines(), syslog);
    EXPECT_EQ(ReadBytes(unstored), c.syslog.empty() || c.kind == kNoDir
                                       ? std::nullopt
                                       : std::optional(RecordJson(kDb) + "\n"));
    EXPECT_EQ(std::filesystem::exists(identity),
              c.syslog.empty() && c.after.has_value());
    EXPECT_EQ(std::filesystem::symlink_status(path).type(), type);
    EXPECT_EQ(c.after ? ReadBytes(path) : std::nullopt, c.after);
    EXPECT_EQ(ReadBytes(other),
              c.kind == kFile ? std::nullopt : std::optional<std::string>(old));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path), {}),
              (c.kind != kFile) + (c.after || c.kind >= kFifo) +
                  std::filesystem::exists(unstored) +
                  std::filesystem::exists(identity));
  }
}

// A foreign lock delays a call by the bound, and the record goes to the
// system log instead; a fork delays nothing, and a child forked while a call
// holds the lock does not keep it.
TEST(EventFile, ForeignLockDelaysACallByTheBoundAndAForkNotAtAll) {
  TempDir dir, childDir;
  const std::string path = dir.File("loadStoreErrors.json");
  KoraConfigStore::internal::SetLockWait(std::chrono::milliseconds(300));
  const int foreign = open(dir.path.c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_EQ(flock(foreign, LOCK_EX), 0);
  hostrt_recording::Reset();
  auto call = std::async(std::launch::async, [&] { DumpAt(path, kDb, 0); });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  auto forked = std::async(std::launch::async, [&] {
    int status = -1;  // a call in the child neither waits nor reports
    if (const pid_t pid = fork()) return waitpid(pid, &status, 0), status;
    DumpAt(childDir.File("loadStoreErrors.json"), kDb, 0);
    _exit(SyslogLines().empty() ? 0 : 1);
  });
  const auto ready = std::future_status::ready;
  const bool bounded = forked.wait_for(std::chrono::seconds(3)) == ready &&
                       call.wait_for(std::chrono::seconds(3)) == ready;
  close(foreign);  // lets an unbounded wait end
  EXPECT_TRUE(bounded);
  EXPECT_EQ(forked.get(), 0);
  call.get();
  EXPECT_EQ(ReadBytes(path), std::nullopt);
  EXPECT_EQ(SyslogLines(),
            (Lines{"3:Load Store workflow error file lock not taken within "
                   "0.3 s.",
                   UnstoredLine(RecordJson(kDb), path + ".unstored")}));
  EXPECT_EQ(ReadBytes(path + ".unstored"), RecordJson(kDb) + "\n");
  // The next call that stores its record stores the kept one first.
  forkInWrite = std::chrono::milliseconds(1000);
  DumpAt(path, kSchema, 0);
  DumpAt(path, kDb, 0);
  KoraConfigStore::internal::SetLockWait(std::chrono::seconds(5));
  EXPECT_EQ(ReadBytes(path), Jots(RecordJson(kDb) + "," + RecordJson(kSchema) +
                                  "," + RecordJson(kDb)));
  EXPECT_EQ(ReadBytes(path + ".unstored"), "");
}

// A lone caller never pauses; one that finds another process waiting for
// the lock right after giving it up lets that one have it first.
TEST(EventFile, ACallPausesOnlyForAWaitingProcess) {
  TempDir dir;
  const std::string path = dir.File("loadStoreErrors.json");
  sleeps = 0;
  for (int i = 0; i < 20; ++i) DumpAt(path, kDb, 0);
  EXPECT_EQ(sleeps, 0);
  const int waiter = open(dir.path.c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_TRUE(KoraConfigStore::internal::SayWaiting(waiter, true));
  const auto start = std::chrono::steady_clock::now();
  DumpAt(path, kDb, 0);
  EXPECT_GE(std::chrono::steady_clock::now() - start,
            2 * KoraConfigStore::internal::kLockPoll -
                std::chrono::microseconds(500));
  EXPECT_GT(sleeps, 0);
  close(waiter);
}

// The directory lock's descriptor stays out of programs the holder runs; a
// caller that waits for it says so to the holder, and tries again at least
// every kLockPoll, however long it has waited.
TEST(EventFile, AWaiterSaysItWaitsAndTakesTheLockSoonAfterItsRelease) {
  namespace ki = KoraConfigStore::internal;
  using Clock = std::chrono::steady_clock;
  TempDir dir;
  const std::string path = dir.File("loadStoreErrors.json");
  const ki::SysResult<int> holder = ki::OpenDirectoryOf(path);
  ASSERT_TRUE(holder.ok());
  EXPECT_EQ(fcntl(holder.value, F_GETFD), FD_CLOEXEC);
  ASSERT_EQ(flock(holder.value, LOCK_EX), 0);
  const ki::SysResult<int> waiter = ki::OpenDirectoryOf(path);
  const Clock::time_point start = Clock::now();
  auto taken = std::async(std::launch::async, [&] {
    const ki::SysStatus status =
        ki::LockUntil(waiter.value, LOCK_EX, start + std::chrono::seconds(3));
    return std::pair(status.error, Clock::now());
  });
  bool said = false;
  while (!said && Clock::now() < start + std::chrono::seconds(1))
    said = ki::OthersWaiting(holder.value);
  EXPECT_TRUE(said);
  // Between two tries of a pause doubled from 1 ms (at 127 and 255 ms).
  std::this_thread::sleep_until(start + std::chrono::milliseconds(180));
  close(holder.value);
  const Clock::time_point released = Clock::now();
  const auto [error, at] = taken.get();
  EXPECT_EQ(error, 0);
  EXPECT_LT(at - released, std::chrono::milliseconds(50));
  close(waiter.value);
}

// What a valid file dictates, by RapidJSON's ordinary parser; sets c.after.
Outcome ExpectedFor(Case& c) {
  rapidjson::Document doc;
  EXPECT_FALSE(doc.Parse(c.before->data(), c.before->size()).HasParseError());
  rapidjson::Value empty(rapidjson::kArrayType);
  if (doc.IsNull())
    doc.SetObject().AddMember("jots", empty, doc.GetAllocator());
  if (!doc.IsObject()) return kNotObject;
  const auto jots = doc.FindMember("jots");
  if (jots != doc.MemberEnd()) {
    if (!jots->value.IsArray()) return kNotArray;
    rapidjson::Document record(&doc.GetAllocator());
    jots->value.PushBack(record.Parse(RecordJson(c.jotId).c_str()),
                         doc.GetAllocator());
  }
  c.after = ToJson(doc);
  return kWritten;
}

// The corpus labels each file by the prefix of its name: y_ files end as
// their root dictates, n_ files must not parse, i_ either way.
TEST(EventFile, EveryCorpusFileTakesItsPath) {
  enum Verdict { kParses, kFails, kEither };
  const std::map<std::string, Verdict> verdicts{
      {"y_", kParses}, {"n_", kFails}, {"i_", kEither}};
  const std::filesystem::path corpus = std::filesystem::path(
      CSSUPPORT_SOURCE_DIR "/../shared/corpora/json-parsing");
  if (!std::filesystem::is_directory(corpus))
    GTEST_SKIP() << "no JSON parsing corpus at " << corpus.string();
  TempDir dir;
  const std::string path = dir.File("loadStoreErrors.json");
  std::set<Verdict> seen;
  for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
    const std::string name = entry.path().filename().string();
    if (entry.path().extension() != ".json") continue;
    SCOPED_TRACE(name);
    const auto verdict = verdicts.find(name.substr(0, 2));
    ASSERT_TRUE(verdict != verdicts.end()) << "no verdict in the name";
    seen.insert(verdict->second);
    Case c{"", ReadBytes(entry.path()), kParseFailure};
    if (verdict->second == kParses) c.outcome = ExpectedFor(c);
    if (verdict->second != kEither) {
      Check(path, c);
    } else if (RecordOver(path, c) != kWritten) {
      EXPECT_EQ(ReadBytes(path), c.before);
    }
  }
  EXPECT_EQ(seen.size(), verdicts.size());
}

// Foreign edits of the file and of what lies beside it, each applied alike
// to both directories of the differential test below, `n` a random number.
void Edit(const std::string& path, int kind, unsigned n) {
  std::string text = ReadBytes(path).value_or("");
  const std::string identity = path + ".identity";
  struct stat info = {};
  stat(path.c_str(), &info);
  switch (kind) {
    case 0:  // indented
      if (!text.empty())
        WriteBytes(path, text.substr(0, 1) + "\n  " + text.substr(1));
      break;
    case 1:  // a member after "jots"
      if (!text.empty())
        WriteBytes(path, text.substr(0, text.size() - 1) + ",\"b\":[1]}");
      break;
    case 2:  // a record of another shape
      if (text.size() > 2)
        WriteBytes(path, text.substr(0, text.size() - 2) + ",{\"x\":1.50}]}");
      break;
    case 3:
      WriteBytes(path, text.substr(0, n % (text.size() + 1)));
      break;
    case 4:
      WriteBytes(path, "null");
      break;
    case 5: {  // a touch
      const timespec now[2] = {{0, UTIME_NOW}, {0, UTIME_NOW}};
      utimensat(AT_FDCWD, path.c_str(), now, 0);
      break;
    }
    case 6: {  // same size, modification time put back: an 'o' in a string
      const auto at = text.find('o', n % (text.size() + 1));
      const int fd = open(path.c_str(), O_WRONLY);
      if (at != std::string::npos) pwrite(fd, "0", 1, at);
      const timespec times[2] = {{0, UTIME_OMIT}, info.st_mtim};
      futimens(fd, times);
      close(fd);
      break;
    }
    case 7:
      unlink(identity.c_str());
      break;
    case 8:  // a byte of the identity changed
      if (const auto line = ReadBytes(identity); line && !line->empty()) {
        std::string edited = *line;
        edited[n % edited.size()] ^= 1 << (n % 7);
        WriteBytes(identity, edited);
      }
      break;
    case 9:
      unlink(path.c_str());
      break;
    default: {  // a line kept beside the file: a record in any form, or not
      const char* lines[] = {"{ \"jotId\" : 1E2 }\n", "not json\n", "[1]\n",
                             "{\"a\":\"\\u00e9\"}\n", "{\"torn\":"};
      std::ofstream(path + ".unstored", std::ios::app) << lines[n % 5];
    }
  }
}

// Random calls and foreign edits, from the same files, through the append in
// place and through the full read-merge-rewrite: the same bytes (of the file
// and of the files beside it), exceptions and system-log lines at every step;
// and the append reads the history far less often.
TEST(EventFile, AppendingInPlaceEndsAsTheFullRewrite) {
  const std::string ids[] = {kDb, kSchema, "jot.user.cs.no.such"};
  const char* args[] = {"uplink0", "\"q\"\\ \xC3\xA9\x01", "", "\xff"};
  int reads[2] = {};
  for (const unsigned seed : {1u, 2u, 3u, 4u}) {
    std::mt19937 random(seed);
    TempDir dirs[2];
    for (int step = 0; step < 150; ++step) {
      const unsigned kind = random() % 30, n = random();
      std::string seen[2];
      for (const bool fast : {true, false}) {
        const TempDir& dir = dirs[fast];
        const std::string path = dir.File("loadStoreErrors.json");
        std::string& got = seen[fast];
        if (kind < 11) {
          Edit(path, kind, n);
        } else {
          KoraConfigStore::internal::SetFastAppend(fast);
          hostrt_recording::Reset();
          historyReads = 0;
          try {
            DumpAt(path, ids[n % 11 == 0 ? 2 : n % 2], n % 3, args[n % 4],
                   args[(n >> 4) % 4]);
          } catch (const std::exception& e) {
            got = e.what();
          }
          reads[fast] += historyReads;
          for (const std::string& line : SyslogLines())
            got += "\n" + line.substr(0, line.find(dir.path)) + "D" +
                   (line.find(dir.path) == std::string::npos
                        ? ""
                        : line.substr(line.find(dir.path) + dir.path.size()));
        }
        for (const char* file : {"", ".unstored", ".held"})
          got += "\n" + ReadBytes(path + file).value_or("(absent)");
      }
      ASSERT_EQ(seen[true], seen[false])
          << "seed " << seed << ", step " << step << ", kind " << kind;
    }
  }
  KoraConfigStore::internal::SetFastAppend(true);
  EXPECT_LT(reads[true], reads[false]);
}

// Waits in the system log while `stalled` says so, on the thread `stalledIn`.
std::atomic<bool> stalled{false}, inLog{false};
std::thread::id stalledIn;
void StallInLog() {
  if (std::this_thread::get_id() != stalledIn) return;
  for (inLog = true; stalled;)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

// A caller stalled in syslog(3), as by a log reader that stopped reading,
// holds up no other call, and a record longer than a datagram goes to the
// log over numbered lines, each cut between UTF-8 sequences.
TEST(EventFile, TheSystemLogHoldsUpOnlyItsOwnCaller) {
  TempDir dir;
  const std::string path = dir.File("loadStoreErrors.json");
  WriteBytes(path, "{");  // every call logs
  hostrt_recording::Reset();
  hostrt_recording::Controls controls;
  controls.beforeSyslog = StallInLog;
  hostrt_recording::SetControls(controls);
  stalled = true;
  auto first = std::async(std::launch::async, [&] {
    stalledIn = std::this_thread::get_id();
    DumpAt(path, kDb, 0);
  });
  while (!inLog) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  auto second =
      std::async(std::launch::async, [&] { DumpAt(path, kSchema, 0); });
  EXPECT_EQ(second.wait_for(std::chrono::seconds(3)),
            std::future_status::ready);
  stalled = false;
  first.get();
  hostrt_recording::Reset();
  EXPECT_EQ(ReadBytes(path + ".held"),
            RecordJson(kDb) + "\n" + RecordJson(kSchema) + "\n");

  std::string arg;
  for (int i = 0; i < 150000; ++i) arg += "\xC3\xA9";
  DumpAt(path, kSchema, 1, arg.c_str());
  const Lines lines = SyslogLines();
  const std::string
      record = RecordJson(kSchema, {arg}),
      prefix = "3:Load Store workflow error record not stored (kept in " +
               path + ".held) (part ";
  std::string joined;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::string head = prefix + std::to_string(i) + " of " +
                             std::to_string(lines.size() - 1) + "): ";
    ASSERT_EQ(lines[i].substr(0, head.size()), head);
    const std::string part = lines[i].substr(head.size());
    EXPECT_TRUE(part.size() <= 8000 && (part[0] & 0xC0) != 0x80) << i;
    joined += part;
  }
  EXPECT_EQ(lines.size(), 2 + record.size() / 8000);
  EXPECT_EQ(joined, record);
}

// The lock is had on the directory at the path: one replaced while a call
// waits for its lock is let go, and the call waits for the new one's.
TEST(EventFile, ACallLocksTheDirectoryThatIsAtThePath) {
  TempDir root;
  const std::string dir = root.File("d"), path = dir + "/loadStoreErrors.json";
  ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
  const int old = open(dir.c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_EQ(flock(old, LOCK_EX), 0);
  hostrt_recording::Reset();
  auto call = std::async(std::launch::async, [&] { DumpAt(path, kDb, 0); });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ASSERT_EQ(rename(dir.c_str(), root.File("old").c_str()), 0);
  ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
  const int now = open(dir.c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_EQ(flock(now, LOCK_EX), 0);
  close(old);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(ReadBytes(path), std::nullopt);  // not while the lock is held
  close(now);
  call.get();
  EXPECT_EQ(ReadBytes(path), Jots(RecordJson(kDb)));
  EXPECT_EQ(SyslogLines(), Lines{});
}

// On real file systems, full and read-only, in a private mount namespace:
// the record goes to the system log, which is then the last place, and the
// file stays as it was. Skips where no namespace can be made.
TEST(EventFile, OnAFullOrReadOnlyFileSystemTheLogKeepsTheRecord) {
  const std::string big(6000, 'x'), record = RecordJson(kSchema, {big});
  const struct {
    const char* name;
    const char* reason;  // the first line
    int error;           // of the side file
  } cases[] = {
      {"Full",
       "3:Failed writing Load Store workflow error file (No space left on "
       "device); previous content restored.",
       ENOSPC},
      {"ReadOnly", kOpenFailed.c_str(), EROFS},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string path = dir.File("loadStoreErrors.json");
    const pid_t pid = fork();
    if (pid == 0) {
      if (unshare(CLONE_NEWNS) != 0 ||
          mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
          mount("none", dir.path.c_str(), "tmpfs", 0, "size=64k") != 0)
        _exit(77);
      DumpAt(path, kDb, 0);
      const std::string before = ReadBytes(path).value_or("");
      if (c.error == ENOSPC) {
        std::ofstream(dir.File("filler")) << std::string(1 << 20, 'f');
      } else {
        mount(nullptr, dir.path.c_str(), nullptr, MS_REMOUNT | MS_RDONLY,
              nullptr);
      }
      hostrt_recording::Reset();
      DumpAt(path, kSchema, 1, big.c_str());
      EXPECT_EQ(SyslogLines(),
                (Lines{c.reason, UnstoredLine(record, "", c.error)}));
      EXPECT_EQ(ReadBytes(path), before);
      _exit(testing::Test::HasFailure());
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "no private mount namespace";
    EXPECT_EQ(status, 0);
  }
}

// A whole file, unnamed until complete or (where the file system has no
// unnamed files) by name: it takes the path only when complete, with the
// owner, mode and replacement asked; a write that fails leaves nothing behind,
// neither the path nor a replacing write's temporary file.
TEST(WholeFile, TakesThePathCompleteWithTheOptionsAskedOrLeavesNothing) {
  namespace ki = KoraConfigStore::internal;
  using O = ki::Ownership;
  using D = ki::Durability;
  enum Before { kNothing, kFile, kTemporaryTaken };
  const bool root = geteuid() == 0;
  const struct {
    Before before;
    bool replace;
    mode_t mode;  // 0: none asked
    O owner;
    D durability;
    long room;
    int error;                // of created(), else of Write
    std::string content;      // at the path afterwards
    mode_t expectMode;        // of the path afterwards
    std::string fails;        // the attribute call that fails with `error`
    bool callerOwns = false;  // else owner 1, group 2
  } cases[] = {
      {kNothing, false, 0, O::kUnchanged, D::kNone, LONG_MAX, 0, "new", 0644,
       ""},
      {kFile, false, 0, O::kUnchanged, D::kFile, LONG_MAX, EEXIST, "old", 0600,
       ""},
      {kFile, true, 04751, O::kCopy, D::kFileAndDirectory, LONG_MAX,
       root ? 0 : EPERM, root ? "new" : "old", root ? 04751u : 0600u, ""},
      {kTemporaryTaken, true, 0640, O::kUnchanged, D::kFile, LONG_MAX, 0, "new",
       0640, ""},
      {kNothing, false, 0, O::kUnchanged, D::kNone, 0, ENOSPC, "", 0, ""},
      {kFile, true, 0, O::kUnchanged, D::kNone, 0, ENOSPC, "old", 0600, ""},
      {kFile, true, 0640, O::kCopy, D::kNone, LONG_MAX, EPERM, "old", 0600,
       "fchown", true},
      {kFile, true, 0640, O::kCopyUnlessCallerOwns, D::kNone, LONG_MAX, EPERM,
       "old", 0600, "fchown"},
      {kNothing, false, 0640, O::kCopyUnlessCallerOwns, D::kNone, LONG_MAX, 0,
       "new", 0640, "fchown", true},
      {kNothing, false, 0640, O::kUnchanged, D::kNone, LONG_MAX, EIO, "", 0,
       "fchmod"},
      {kFile, true, 0, O::kUnchanged, D::kFile, LONG_MAX, EIO, "old", 0600,
       "fsync"},
  };
  // Where it is made, and what an event file's lock locks.
  EXPECT_EQ(
      std::vector<std::string>({ki::DirectoryOf("f"), ki::DirectoryOf("/f"),
                                ki::DirectoryOf("a/b/f")}),
      std::vector<std::string>({".", "/", "a/b"}));
  const mode_t mask = umask(022);
  for (const bool unnamed : {true, false}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(testing::Message() << unnamed << " " << &c - cases);
      TempDir dir;
      const std::string path = dir.File("f"),
                        taken =
                            dir.File(".f." + std::to_string(getpid()) + ".0");
      if (c.before != kNothing) WriteBytes(path, "old");
      chmod(path.c_str(), 0600);
      if (c.before == kTemporaryTaken) WriteBytes(taken, "");
      ki::WholeFileOptions options;
      if (c.mode != 0) options.mode = c.mode;
      std::tie(options.replace, options.ownership, options.owner, options.group,
               options.durability) =
          std::tuple(c.replace, c.owner, c.callerOwns ? geteuid() : 1,
                     c.callerOwns ? getegid() : 2, c.durability);
      std::tie(failing, failPath, failErrno, room) =
          std::tuple(kUnnamed, dir.path, unnamed ? 0 : EOPNOTSUPP, c.room);
      std::tie(failingAttribute, attributeErrno) =
          std::tuple(c.fails, c.fails.empty()       ? 0
                              : c.fails == "fchown" ? EPERM
                                                    : EIO);
      {
        ki::WholeFile file(path, options);
        EXPECT_EQ(file.created().ok() ? file.Write("new", 3).error
                                      : file.created().error,
                  c.error);
      }
      std::tie(failErrno, room, failingAttribute) = std::tuple(0, LONG_MAX, "");
      struct stat info = {};
      EXPECT_EQ(ReadBytes(path).value_or(""), c.content);
      EXPECT_EQ(stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0,
                c.expectMode);
      if (c.owner == O::kCopy && c.error == 0) {
        EXPECT_EQ(std::pair(info.st_uid, info.st_gid), std::pair(1u, 2u));
      }
      EXPECT_EQ(
          std::distance(std::filesystem::directory_iterator(dir.path), {}),
          (c.before != kNothing || c.error == 0) +
              (c.before == kTemporaryTaken));
    }
  }
  umask(mask);
}

// A side file takes a line only while it is a regular file of one name,
// cuts a line torn by an earlier writer before its own, takes a line whole
// or not at all, and waits for its lock no longer than it is told.
TEST(SideFile, TakesWholeLinesOnlyInARegularFileOfOneName) {
  using KoraConfigStore::internal::LockedSideFile;
  enum Kind { kPlain, kDirectory, kFifo, kSecondName, kLocked };
  const struct {
    Kind kind;
    bool create;
    int error;  // of the open and lock
    std::optional<std::string> before, after;
    int appendError = error, emptyError = error;
    long room = LONG_MAX;  // of the file system (pwrite's ENOSPC)
    int truncateFailures = 0;
    int readError = 0;  // of the append's read of the last byte
  } cases[] = {
      {kPlain, false, ENOENT, {}, {}},
      {kPlain, true, 0, {}, "{\"a\":1}\n"},
      {kPlain, true, 0, {}, "{\"a\":1}\n", 0, EIO, LONG_MAX, 1},
      {kPlain, false, 0, "{}\n{\"to", "{}\n{\"a\":1}\n"},
      {kPlain, false, 0, "{}\n{\"to", "{}\n{\"to", EIO, 0, LONG_MAX, 1},
      {kPlain, false, 0, "{}\n", "{}\n", ENOSPC, 0, 6},
      {kPlain, false, 0, "{}\n", "{}\n", ENOSPC, 0, 10},
      // Not cut back: the torn line is a reader's to skip, a writer's to cut.
      {kPlain, false, 0, "{}\n", "{}\n{\"a", ENOSPC, 0, 6, 1},
      {kPlain, false, 0, "{}\n", "{}\n", EIO, 0, LONG_MAX, 0, EIO},
      {kDirectory, true, EISDIR, {}, {}},
      {kFifo, false, EINVAL, {}, {}},
      {kSecondName, false, EINVAL, "{}\n", "{}\n"},
      {kLocked, false, EWOULDBLOCK, "{}\n", "{}\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << c.kind << " " << c.before.value_or("-") << " " << c.room);
    TempDir dir;
    const std::string path = dir.File("f.held");
    if (c.before) WriteBytes(path, *c.before);
    ASSERT_EQ(c.kind == kSecondName  ? link(path.c_str(), dir.File("g").c_str())
              : c.kind == kDirectory ? mkdir(path.c_str(), 0700)
              : c.kind == kFifo      ? mkfifo(path.c_str(), 0600)
                                     : 0,
              0);
    const int other = open(path.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_EQ(c.kind == kLocked ? flock(other, LOCK_EX) : 0, 0);
    const LockedSideFile side(
        path, c.create,
        std::chrono::steady_clock::now() + std::chrono::milliseconds(50));
    close(other);
    EXPECT_EQ(side.status().error, c.error);
    std::tie(room, truncateFailures, failing, failPath, failErrno) =
        std::tuple(c.room, c.truncateFailures, kReadData, path, c.readError);
    EXPECT_EQ(side.Append("{\"a\":1}", 7).error, c.appendError);
    std::tie(room, failErrno) = std::tuple(LONG_MAX, 0);
    std::string lines;
    EXPECT_EQ(side.ReadLines(lines).error, c.error);
    EXPECT_EQ(lines,
              c.error == 0 ? c.after->substr(0, c.after->rfind('\n') + 1) : "");
    // What a plain file holds (a directory or FIFO is not read).
    const auto held = [&] {
      return c.kind == kDirectory || c.kind == kFifo ? c.after
                                                     : ReadBytes(path);
    };
    EXPECT_EQ(held(), c.after);
    EXPECT_EQ(side.Empty().error, c.emptyError);
    truncateFailures = 0;
    EXPECT_EQ(held(), c.error == 0 && c.emptyError == 0 ? "" : c.after);
  }
}

}  // namespace
