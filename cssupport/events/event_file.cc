#include "cssupport/events/internal/event_file.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <mutex>
#include <new>
#include <optional>
#include <thread>

#include "cssupport/errors/json.h"
#include "cssupport/events/dump_jot.h"
#include "cssupport/events/internal/event_catalogue.h"
#include "cssupport/events/internal/event_json.h"
#include "cssupport/events/internal/file_access.h"
#include "cssupport/events/internal/side_file.h"
#include "cssupport/internal/fnv1a.h"
#include "cssupport/internal/load_order.h"
#include "cssupport/internal/sys_status.h"
#include "cssupport/internal/whole_file.h"
#include "cssupport/internal/write_all.h"
#include "cssupport/json/bounded_parse.h"
#include "cssupport/json/utf8.h"
#include "cssupport/json/write_json.h"

namespace KoraConfigStore {

const std::unordered_map<std::string, std::string> jotMsgMap
    __attribute__((init_priority(CSSUPPORT_INIT_EVENT_CATALOGUE))) (
        std::begin(internal::kEventCatalogue),
        std::end(internal::kEventCatalogue));

namespace {

using internal::EventDocument;
using internal::EventFileState;
using internal::EventFileStatus;
using internal::EventStringBuffer;
using internal::EventValue;
using internal::EventWriter;
using AllocatorType = EventDocument::AllocatorType;

constexpr char kParseFailedText[] =
    "Failed parsing Config Store JOT json file.";
constexpr char kOpenFailedText[] =
    "Failed opening Load Store workflow error file.";
// A record longer than this goes to the system log over numbered lines of at
// most this many of its bytes, far below the largest datagram that a
// system-log socket takes.
constexpr std::size_t kLogPart = 8000;
// The longest wait for a side file's lock.
constexpr std::chrono::milliseconds kSideFileWait{1000};

// Holds a pthread mutex for the object's life.
class Locked {
 public:
  explicit Locked(pthread_mutex_t& mutex) : mutex_(mutex) {
    pthread_mutex_lock(&mutex_);
  }
  ~Locked() { pthread_mutex_unlock(&mutex_); }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;

 private:
  pthread_mutex_t& mutex_;
};

// The calls of this process take turns: the read-merge-rewrite of one never
// overlaps another's, whatever happens to the directory lock.
pthread_mutex_t turnMutex = PTHREAD_MUTEX_INITIALIZER;
// The directory descriptor of the call that has the turn (-1: none), opened
// and closed only under descriptorMutex, so that a fork() finds it either
// open and recorded here or closed.
pthread_mutex_t descriptorMutex = PTHREAD_MUTEX_INITIALIZER;
int lockDescriptor = -1;
// When this process last gave the directory lock up (under the turn).
std::chrono::steady_clock::time_point lockReleased;
std::atomic<std::chrono::milliseconds::rep> lockWaitMs{
    internal::kLockWait.count()};
std::once_flag forkHandlersInstalled;
std::atomic<bool> fastAppend{true};

// A fork() waits for no call in progress, only for an open(2) or close(2)
// of the directory. The child closes its copy of the directory descriptor
// of a call in progress in the parent (the copy would hold the parent's
// flock for as long as the child lives) and starts with the turn free.
// Throws std::bad_alloc when the handlers cannot be registered.
void InstallForkHandlers() {
  const int error =
      pthread_atfork([] { pthread_mutex_lock(&descriptorMutex); },
                     [] { pthread_mutex_unlock(&descriptorMutex); },
                     [] {
                       if (lockDescriptor >= 0) close(lockDescriptor);
                       lockDescriptor = -1;
                       // Held by a thread that the child does not have: made
                       // anew.
                       if (pthread_mutex_trylock(&turnMutex) != 0) {
                         pthread_mutex_init(&turnMutex, nullptr);
                       } else {
                         pthread_mutex_unlock(&turnMutex);
                       }
                       pthread_mutex_unlock(&descriptorMutex);
                     });
  if (error != 0) throw std::bad_alloc();  // ENOMEM is its only failure
}

// Why a call reports, gathered under its locks and written to the system log
// only after it has let them go.
enum class Trouble {
  kNone,
  kNoDirectory,  // the directory cannot be opened: ENOENT or ENOTDIR
  kLockTimeout,  // another holder kept the lock for the whole wait
  kLockFailed,   // the directory or its lock cannot be had (error)
  kParseFailed,  // the file is not one JSON value
  kOpenFailed,   // the file cannot be read or written
  kWriteFailed,  // the write came up short (error, restored)
};

// What the call raises once its locks are let go.
enum class Raise { kNone, kOutOfRange, kNotObject, kNotArray };

struct Outcome {
  Trouble trouble = Trouble::kNone;
  int error = 0;
  bool restored = false;
  // The record was not stored in the file: kept in the side file `keptIn`
  // when keepError is 0, else the system log is the only place left.
  bool unstored = false;
  internal::SideFile keptIn = internal::SideFile::kUnstored;
  int keepError = 0;
  int emptyError = 0;  // merged records that stay in the unstored file
  Raise raise = Raise::kNone;
};

// The files beside the event record file, named before any change is made.
struct Paths {
  explicit Paths(const std::string& path)
      : event(path),
        unstored(internal::SideFilePath(path, internal::SideFile::kUnstored)),
        held(internal::SideFilePath(path, internal::SideFile::kHeld)),
        identity(path + ".identity") {}
  const std::string& side(internal::SideFile which) const {
    return which == internal::SideFile::kHeld ? held : unstored;
  }
  const std::string& event;
  const std::string unstored, held, identity;
};

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The exclusive flock(2) on the directory of the file at `path`, held for
// the object's life by the call that has the turn, waited for until
// `deadline`, on the directory that is at the path once taken (one replaced
// meanwhile is let go and the new one locked). Right after this process gave
// it up, and while another process says it waits for it, the process lets it
// be for up to two poll intervals, so that the waiter, which polls, gets its
// turn; a lone process never pauses.
class ProcessesLock {
 public:
  ProcessesLock(const std::string& path,
                std::chrono::steady_clock::time_point deadline)
      : directory_(internal::DirectoryOf(path)) {
    const auto yieldUntil = lockReleased + 2 * internal::kLockPoll;
    for (bool first = true;; first = false) {
      {
        const Locked descriptors(descriptorMutex);
        if (lockDescriptor >= 0) close(lockDescriptor);
        const internal::SysResult<int> opened = internal::OpenDirectoryOf(path);
        lockDescriptor = opened.value;
        error_ = opened.error;
      }
      if (lockDescriptor < 0) return;
      while (first && std::chrono::steady_clock::now() < yieldUntil &&
             internal::OthersWaiting(lockDescriptor)) {
        std::this_thread::sleep_for(
            std::chrono::microseconds(internal::kLockPoll) / 8);
      }
      error_ = internal::LockUntil(lockDescriptor, LOCK_EX, deadline).error;
      struct stat locked, named;
      if (error_ != 0 ||
          (fstat(lockDescriptor, &locked) == 0 &&
           stat(directory_.c_str(), &named) == 0 && SameFile(locked, named))) {
        return;
      }
      if (std::chrono::steady_clock::now() >= deadline) {
        error_ = EWOULDBLOCK;
        return;
      }
    }
  }
  ~ProcessesLock() {
    const Locked descriptors(descriptorMutex);
    if (lockDescriptor >= 0) close(lockDescriptor);
    lockDescriptor = -1;
    lockReleased = std::chrono::steady_clock::now();
  }
  ProcessesLock(const ProcessesLock&) = delete;
  ProcessesLock& operator=(const ProcessesLock&) = delete;

  bool held() const { return error_ == 0; }

  // Why the lock was not taken.
  void Explain(Outcome& outcome) const {
    outcome.error = error_;
    outcome.trouble = error_ == ENOENT || error_ == ENOTDIR
                          ? Trouble::kNoDirectory
                      : error_ == EWOULDBLOCK ? Trouble::kLockTimeout
                                              : Trouble::kLockFailed;
  }

 private:
  const std::string directory_;
  int error_ = 0;
};

// The identity of the event record file as this library last wrote it, one
// fixed-width line in P.identity: device, inode, size, modification and
// change times, and a checksum of all of it, so that a torn or edited line
// matches no file. Written only for a file whose root ends with its one
// member "jots", an array that holds a record (as every file does that this
// library stored a record in), so that the file ends with "]}" and a record
// goes in after a comma.
constexpr std::size_t kIdentitySize = 154;

// Formats the identity line of a file of `info` into `line` (kIdentitySize
// bytes and a NUL).
void FormatIdentity(const struct stat& info, char* line) {
  using Hex = unsigned long long;
  int n = std::snprintf(
      line, kIdentitySize + 1,
      "jots-identity-1 %016llx %016llx %016llx %016llx %016llx %016llx "
      "%016llx %d ",
      Hex(info.st_dev), Hex(info.st_ino), Hex(info.st_size),
      Hex(info.st_mtim.tv_sec), Hex(info.st_mtim.tv_nsec),
      Hex(info.st_ctim.tv_sec), Hex(info.st_ctim.tv_nsec), 0);
  std::snprintf(line + n, kIdentitySize + 1 - n, "%016llx\n",
                Hex(internal::Fnv1a(line, static_cast<std::size_t>(n))));
}

// Records the identity of the file just written (`info`), or removes a
// recorded one when there is none to record (`valid` false). A failure
// leaves no identity that could match. Allocates nothing; never throws.
void RecordIdentity(const std::string& identityPath, bool valid,
                    const struct stat& info) {
  if (!valid) {
    unlink(identityPath.c_str());
    return;
  }
  char line[kIdentitySize + 1];
  FormatIdentity(info, line);
  const int fd =
      open(identityPath.c_str(),
           O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC,
           0666);
  const internal::DescriptorCloser closer(fd);
  struct stat own;
  if (fd < 0 || fstat(fd, &own) != 0 || !S_ISREG(own.st_mode) ||
      own.st_nlink != 1 ||
      !internal::WriteAll(fd, line, kIdentitySize, /*offset=*/0).ok() ||
      (own.st_size != off_t(kIdentitySize) &&
       ftruncate(fd, off_t(kIdentitySize)) != 0)) {
    unlink(identityPath.c_str());
  }
}

// Whether the file open at `fd` (`info`) is the one whose identity is
// recorded.
bool IdentityMatches(const std::string& identityPath, const struct stat& info) {
  const int fd = open(identityPath.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK |
                                                O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  char found[kIdentitySize + 1], line[kIdentitySize + 1];
  const ssize_t n = pread(fd, found, sizeof found, 0);
  close(fd);
  if (n != ssize_t(kIdentitySize)) return false;
  FormatIdentity(info, line);
  return std::memcmp(found, line, kIdentitySize) == 0;
}

// After a write: sets the file's modification time 1 ns past what the write
// left, which no later write by the kernel's coarse clock can reproduce, and
// reads it back into `info`. False where the file system keeps coarser
// times (or the time cannot be set): such a file gets no identity.
bool Stamp(int fd, struct stat& info) {
  if (fstat(fd, &info) != 0) return false;
  timespec times[2] = {{0, UTIME_OMIT}, info.st_mtim};
  if (++times[1].tv_nsec == 1000000000) times[1] = {times[1].tv_sec + 1, 0};
  return futimens(fd, times) == 0 && fstat(fd, &info) == 0 &&
         info.st_mtim.tv_sec == times[1].tv_sec &&
         info.st_mtim.tv_nsec == times[1].tv_nsec;
}

// How a rewrite of the file ended.
struct Written {
  Trouble trouble = Trouble::kNone;  // kNone, kOpenFailed or kWriteFailed
  int error = 0;
  bool restored = false;
  bool stamped = false;  // Stamp succeeded; `info` holds the result
  struct stat info = {};
};

// Creates the file at `path` with `size` bytes of `text`, all or nothing: it
// is written unnamed in the directory (O_TMPFILE) and named only once whole,
// so a call that dies on the way leaves no file rather than an empty or a
// partial one. Nothing where the file system has no unnamed files, having
// done nothing.
std::optional<Written> CreateWhole(const std::string& path, const char* text,
                                   std::size_t size) {
  internal::WholeFileOptions options;
  options.createMode = 0666;
  // Not synced, as no write of DumpJot is: its caller is never held up for
  // the disk.
  options.durability = internal::Durability::kNone;
  // Rewrite writes by name itself, in place, where there are no unnamed
  // files.
  options.byName = false;
  internal::WholeFile file(path, options);
  if (!file.created().ok() && internal::NoUnnamedFiles(file.created().error))
    return std::nullopt;
  Written written;
  if (!file.created().ok()) {
    written.trouble = Trouble::kOpenFailed;
    return written;
  }
  const internal::SysStatus status = file.Write(text, size);
  if (!status.ok()) return Written{Trouble::kWriteFailed, status.error, true};
  written.stamped = Stamp(file.descriptor(), written.info);
  return written;
}

// Rewrites the file at `path` with `size` bytes of `text`: the one step of
// the full path that changes it. `found` is what the read found there and
// `previous` its content when it was read. An absent file is created whole
// (CreateWhole). Otherwise only a regular file of one link is written, in
// place over its own content and then cut to length, so that the blocks it
// held take its previous content back when the rewrite comes up short (a
// full file system); a file the call created by name is removed again.
Written Rewrite(const std::string& path, const char* text, std::size_t size,
                const EventFileStatus& found, const std::string& previous) {
  const bool read = found.state == EventFileState::kRead;
  const bool absent = found.state == EventFileState::kAbsent;
  if (absent && found.error == ENOENT) {
    if (std::optional<Written> created = CreateWhole(path, text, size))
      return *created;
  }
  Written written;
  const int fd = read || absent ? open(path.c_str(),
                                       O_WRONLY | O_CREAT | O_NOFOLLOW |
                                           O_NONBLOCK | O_NOCTTY | O_CLOEXEC,
                                       0666)
                                : -1;
  const internal::DescriptorCloser closer(fd);
  struct stat info;
  if (fd < 0 || fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
      info.st_nlink > 1) {
    written.trouble = Trouble::kOpenFailed;
    return written;
  }
  int error = internal::WriteAll(fd, text, size, /*offset=*/0).error;
  if (error == 0 && ftruncate(fd, static_cast<off_t>(size)) == 0) {
    written.stamped = Stamp(fd, written.info);
    return written;
  }
  if (error == 0) error = errno;
  bool restored = false;
  if (read) {
    restored = internal::WriteAll(fd, previous.data(), previous.size(),
                                  /*offset=*/0)
                   .ok() &&
               ftruncate(fd, static_cast<off_t>(previous.size())) == 0;
  } else if (found.error == ENOENT) {
    restored = unlink(path.c_str()) == 0;
  }
  return {Trouble::kWriteFailed, error, restored, false, {}};
}

EventValue CopiedString(const char* text, std::size_t length,
                        AllocatorType& allocator) {
  return EventValue(text, static_cast<rapidjson::SizeType>(length), allocator);
}

EventValue CopiedString(const std::string& text, AllocatorType& allocator) {
  return CopiedString(text.data(), text.size(), allocator);
}

// The compact JSON of the record {"jotId", "jotMsg", "jotArgs"} of event
// `jotId` with template `message`, each argument made well-formed UTF-8.
std::string RecordText(const std::string& jotId, const std::string& message,
                       int argCount, va_list args) {
  EventDocument document;
  AllocatorType& allocator = document.GetAllocator();
  EventValue record(rapidjson::kObjectType);
  record.AddMember(CopiedString("jotId", 5, allocator),
                   CopiedString(jotId, allocator), allocator);
  record.AddMember(CopiedString("jotMsg", 6, allocator),
                   CopiedString(message, allocator), allocator);
  EventValue jotArgs(rapidjson::kArrayType);
  for (int i = 0; i < argCount; ++i) {
    const char* arg = va_arg(args, const char*);
    const std::size_t length = std::strlen(arg);
    jotArgs.PushBack(
        internal::IsWellFormedUtf8(arg, length)
            ? CopiedString(arg, length, allocator)
            : CopiedString(internal::ToWellFormedUtf8(arg, length), allocator),
        allocator);
  }
  record.AddMember(CopiedString("jotArgs", 7, allocator), jotArgs, allocator);
  EventStringBuffer out;
  EventWriter writer(out);
  WriteJson(record, writer);
  return std::string(out.GetString(), out.GetSize());
}

// Calls `take` with each line of `lines` that holds one JSON object, parsed
// with `allocator`, in order. A line that holds anything else (a torn or
// foreign line) is skipped: it is not a record, and emptying the file drops
// it.
template <typename Take>
void ForEachRecordLine(const std::string& lines, AllocatorType& allocator,
                       Take take) {
  std::string line;
  for (std::size_t at = 0, end; at < lines.size(); at = end + 1) {
    end = lines.find('\n', at);
    line.assign(lines, at, end - at);
    EventDocument parsed(&allocator);
    if (internal::ParseJsonText(line, parsed) && parsed.IsObject()) {
      take(static_cast<EventValue&>(parsed));
    }
  }
}

// The side file of unstored records, locked for the rest of the call, and
// its records, when it exists and its lock is had within the side-file
// wait.
struct Unstored {
  std::optional<internal::LockedSideFile> file;
  std::string lines;
  bool merged = false;  // `lines` go into the file with the call's record

  void Open(const Paths& paths, std::chrono::milliseconds wait) {
    file.emplace(paths.unstored, false,
                 std::chrono::steady_clock::now() + wait);
    merged = file->status().ok() && file->ReadLines(lines).ok();
  }
};

// Keeps `record`, which the call does not store, in the side file `which`
// (the one already open in `unstored`, if given), and says where in
// `outcome`. Allocates nothing; never throws.
void Keep(const Paths& paths, internal::SideFile which,
          const std::string& record, std::chrono::milliseconds wait,
          Outcome& outcome, const Unstored* unstored = nullptr) {
  outcome.unstored = true;
  outcome.keptIn = which;
  if (unstored != nullptr && unstored->file && unstored->file->status().ok()) {
    outcome.keepError =
        unstored->file->Append(record.data(), record.size()).error;
    return;
  }
  const internal::LockedSideFile side(paths.side(which), true,
                                      std::chrono::steady_clock::now() + wait);
  outcome.keepError = side.Append(record.data(), record.size()).error;
}

// Ends a call that stored its record after the unstored ones it merged:
// empties their file.
void EmptyMerged(const Unstored& unstored, Outcome& outcome) {
  if (unstored.merged && unstored.file && !unstored.lines.empty()) {
    outcome.emptyError = unstored.file->Empty().error;
  }
}

// The append that reads none of the history: when the file at the path is
// the one whose identity this library recorded, its last bytes are "]}" of
// "jots", and the records (the unstored ones, then the call's own) go in
// over them, byte for byte as the full path would write them. Returns false,
// having changed nothing, on any doubt; true when it stored the records or
// failed writing them (`outcome` says which).
bool AppendInPlace(const Paths& paths, const std::string& record,
                   std::chrono::milliseconds sideWait, Outcome& outcome) {
  const int fd = open(paths.event.c_str(),
                      O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  const internal::DescriptorCloser closer(fd);
  struct stat info;
  char tail[3];
  if (fd < 0 || fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
      info.st_nlink != 1 || info.st_size < off_t(sizeof tail) ||
      !IdentityMatches(paths.identity, info) ||
      pread(fd, tail, sizeof tail, info.st_size - 3) != ssize_t(sizeof tail) ||
      std::memcmp(tail + 1, "]}", 2) != 0) {
    return false;
  }
  Unstored unstored;
  unstored.Open(paths, sideWait);
  EventDocument scratch;
  EventStringBuffer out;
  auto add = [&out](const char* text, std::size_t size) {
    out.Put(',');
    std::memcpy(out.Push(size), text, size);
  };
  if (unstored.merged) {
    ForEachRecordLine(unstored.lines, scratch.GetAllocator(),
                      [&](EventValue& value) {
                        EventStringBuffer one;
                        EventWriter writer(one);
                        WriteJson(value, writer);
                        add(one.GetString(), one.GetSize());
                      });
  }
  add(record.data(), record.size());
  std::memcpy(out.Push(2), "]}", 2);
  const off_t at = info.st_size - 2;
  const internal::SysStatus written =
      internal::WriteAll(fd, out.GetString(), out.GetSize(), at);
  if (!written.ok()) {
    const bool restored = internal::WriteAll(fd, "]}", 2, at).ok() &&
                          ftruncate(fd, info.st_size) == 0;
    outcome.trouble = Trouble::kWriteFailed;
    outcome.error = written.error;
    outcome.restored = restored;
    RecordIdentity(paths.identity, false, info);
    Keep(paths, internal::SideFile::kUnstored, record, sideWait, outcome,
         &unstored);
    return true;
  }
  RecordIdentity(paths.identity, Stamp(fd, info), info);
  EmptyMerged(unstored, outcome);
  return true;
}

// Whether the root of `document` has exactly one member "jots", a non-empty
// array, and last, so that its compact text ends with "]}" and the next
// record goes in after a comma.
bool EndsWithJots(const EventDocument& document) {
  if (!document.IsObject() || document.MemberCount() == 0) return false;
  auto isJots = [](const EventValue& name) {
    return name.GetStringLength() == 4 &&
           std::memcmp(name.GetString(), "jots", 4) == 0;
  };
  int count = 0;
  for (const auto& member : document.GetObject()) count += isJots(member.name);
  const auto& last = *(document.MemberEnd() - 1);
  return count == 1 && isJots(last.name) && last.value.IsArray() &&
         !last.value.Empty();
}

// Today's read-merge-rewrite of the whole file, under the directory lock.
void ReadMergeRewrite(const Paths& paths, bool known, const std::string& record,
                      std::chrono::milliseconds sideWait, Outcome& outcome) {
  EventDocument document;
  std::string previous;
  const EventFileStatus found = internal::ReadEventFile(paths.event, previous);
  if (found.state == EventFileState::kRead &&
      !ParseJsonText(previous, document)) {
    outcome.trouble = Trouble::kParseFailed;
    if (known) {
      Keep(paths, internal::SideFile::kHeld, record, sideWait, outcome);
    }
    return;
  }
  if (!known) {
    outcome.raise = Raise::kOutOfRange;
    return;
  }
  AllocatorType& allocator = document.GetAllocator();
  if (document.IsNull()) {
    document.SetObject();
    document.AddMember(CopiedString("jots", 4, allocator),
                       EventValue(rapidjson::kArrayType), allocator);
  }
  if (!document.IsObject()) {
    outcome.raise = Raise::kNotObject;
    return;
  }
  const auto jots = document.FindMember("jots");
  const bool stores = jots != document.MemberEnd();
  if (stores && !jots->value.IsArray()) {
    outcome.raise = Raise::kNotArray;
    return;
  }
  const bool writable = found.state == EventFileState::kRead ||
                        found.state == EventFileState::kAbsent;
  Unstored unstored;
  if (stores && writable) {
    unstored.Open(paths, sideWait);
    if (unstored.merged) {
      ForEachRecordLine(unstored.lines, allocator, [&](EventValue& value) {
        jots->value.PushBack(value, allocator);
      });
    }
    EventDocument own(&allocator);
    internal::ParseJsonText(record, own);
    jots->value.PushBack(static_cast<EventValue&>(own), allocator);
  }
  const bool identifiable = EndsWithJots(document);
  EventStringBuffer out;
  EventWriter writer(out);
  WriteJson(document, writer);
  const char* text = out.GetString();  // the last allocation of the call
  const Written written =
      Rewrite(paths.event, text, out.GetSize(), found, previous);
  if (written.trouble != Trouble::kNone) {
    outcome.trouble = written.trouble;
    outcome.error = written.error;
    outcome.restored = written.restored;
    if (written.trouble == Trouble::kWriteFailed) {
      RecordIdentity(paths.identity, false, written.info);
    }
    if (stores) {
      Keep(paths, internal::SideFile::kUnstored, record, sideWait, outcome,
           &unstored);
    }
    return;
  }
  RecordIdentity(paths.identity, identifiable && written.stamped, written.info);
  EmptyMerged(unstored, outcome);
}

// Writes `record` to the system log as not stored, saying where it is kept,
// in parts of at most kLogPart bytes cut between UTF-8 sequences when it is
// longer. Allocates nothing.
void LogUnstored(const std::string& record, const char* where,
                 const char* place) {
  if (record.size() <= kLogPart) {
    syslog(LOG_ERR, "Load Store workflow error record not stored (%s%s): %s",
           where, place, record.c_str());
    return;
  }
  auto next = [&record](std::size_t at) {
    std::size_t end = std::min(at + kLogPart, record.size());
    while (end < record.size() && (record[end] & 0xC0) == 0x80) --end;
    return end;
  };
  int parts = 0;
  for (std::size_t at = 0; at < record.size(); at = next(at)) ++parts;
  int part = 0;
  for (std::size_t at = 0, end; at < record.size(); at = end) {
    end = next(at);
    syslog(LOG_ERR,
           "Load Store workflow error record not stored (%s%s) (part %d of "
           "%d): %.*s",
           where, place, ++part, parts, static_cast<int>(end - at),
           record.data() + at);
  }
}

// Writes what the call gathered to the system log, with no lock held.
void Report(const Outcome& outcome, const Paths& paths,
            const std::string& record, std::chrono::milliseconds wait) {
  switch (outcome.trouble) {
    case Trouble::kNone:
      break;
    case Trouble::kNoDirectory:
    case Trouble::kOpenFailed:
      syslog(LOG_ERR, "%s", kOpenFailedText);
      break;
    case Trouble::kLockTimeout:
      syslog(LOG_ERR,
             "Load Store workflow error file lock not taken within %g s.",
             static_cast<double>(wait.count()) / 1000);
      break;
    case Trouble::kLockFailed:
      syslog(LOG_ERR,
             "Load Store workflow error file lock cannot be taken (%s).",
             std::strerror(outcome.error));
      break;
    case Trouble::kParseFailed:
      syslog(LOG_ERR, "%s", kParseFailedText);
      break;
    case Trouble::kWriteFailed:
      syslog(LOG_ERR,
             "Failed writing Load Store workflow error file (%s); previous "
             "content %s.",
             std::strerror(outcome.error),
             outcome.restored ? "restored" : "not restored");
      break;
  }
  if (outcome.unstored) {
    if (outcome.keepError == 0) {
      LogUnstored(record, "kept in ", paths.side(outcome.keptIn).c_str());
    } else {
      LogUnstored(record, "not kept: ", std::strerror(outcome.keepError));
    }
  }
  if (outcome.emptyError != 0) {
    syslog(LOG_ERR,
           "Load Store workflow error records in %s stored but not removed "
           "from it (%s); they will be stored again.",
           paths.unstored.c_str(), std::strerror(outcome.emptyError));
  }
}

// Raises what the call found, with no lock held: the lookup's own
// std::out_of_range, or RapidJSON's "IsObject()" and "IsArray()"
// preconditions, raised by the very calls that the merge would make.
void RaiseFound(Raise raise, const std::string& jotId) {
  if (raise == Raise::kOutOfRange) jotMsgMap.at(jotId);
  if (raise != Raise::kNotObject && raise != Raise::kNotArray) return;
  EventDocument document;
  if (raise == Raise::kNotObject) document.SetArray().FindMember("jots");
  document.SetObject().PushBack(EventValue().Move(), document.GetAllocator());
}

}  // namespace

namespace internal {

void SetLockWait(std::chrono::milliseconds wait) {
  lockWaitMs.store(wait.count());
}

void SetFastAppend(bool enabled) { fastAppend.store(enabled); }

void DumpJotAt(const std::string& path, const std::string& jotId, int argCount,
               va_list args) {
  std::call_once(forkHandlersInstalled, InstallForkHandlers);
  const auto message = jotMsgMap.find(jotId);
  const bool known = message != jotMsgMap.end();
  const std::string record =
      known ? RecordText(jotId, message->second, argCount, args) : "";
  const Paths paths(path);
  const std::chrono::milliseconds wait{lockWaitMs.load()};
  const auto sideWait = std::min(wait, kSideFileWait);
  Outcome outcome;
  {
    const Locked turn(turnMutex);
    const ProcessesLock processes(path,
                                  std::chrono::steady_clock::now() + wait);
    if (!processes.held() && !known) {
      outcome.raise = Raise::kOutOfRange;
    } else if (!processes.held()) {
      processes.Explain(outcome);
      Keep(paths, SideFile::kUnstored, record, sideWait, outcome);
    } else if (!known || !fastAppend.load() ||
               !AppendInPlace(paths, record, sideWait, outcome)) {
      ReadMergeRewrite(paths, known, record, sideWait, outcome);
    }
  }
  Report(outcome, paths, record, wait);
  RaiseFound(outcome.raise, jotId);
}

}  // namespace internal

void DumpJot(const std::string& jotId, int argCount, ...) {
  va_list args;
  va_start(args, argCount);
  try {
    internal::DumpJotAt(internal::kEventRecordFilePath, jotId, argCount, args);
  } catch (...) {
    va_end(args);
    throw;
  }
  va_end(args);
}

}  // namespace KoraConfigStore
