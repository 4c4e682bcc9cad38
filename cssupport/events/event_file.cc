#include "cssupport/events/internal/event_file.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <iterator>
#include <mutex>
#include <new>
#include <thread>

#include "cssupport/errors/json.h"
#include "cssupport/events/dump_jot.h"
#include "cssupport/events/internal/event_catalogue.h"
#include "cssupport/events/internal/event_json.h"
#include "cssupport/events/internal/file_access.h"
#include "cssupport/internal/load_order.h"
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
using internal::EventValue;
using AllocatorType = EventDocument::AllocatorType;

constexpr char kParseFailedText[] =
    "Failed parsing Config Store JOT json file.";
constexpr char kOpenFailedText[] =
    "Failed opening Load Store workflow error file.";

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

// The exclusive flock(2) on the directory of the file at `path`, held for
// the object's life by the call that has the turn, waited for at most the
// lock wait. Right after this process gave it up, and while another process
// says it waits for it, the process lets it be for up to two poll intervals,
// so that the waiter, which polls, gets its turn; a lone process never
// pauses.
class ProcessesLock {
 public:
  explicit ProcessesLock(const std::string& path) {
    {
      const Locked descriptors(descriptorMutex);
      lockDescriptor = internal::OpenDirectoryOf(path);
      error_ = lockDescriptor >= 0 ? 0 : errno;
    }
    if (lockDescriptor < 0) return;
    const auto yieldUntil = lockReleased + 2 * internal::kLockPoll;
    while (std::chrono::steady_clock::now() < yieldUntil &&
           internal::OthersWaiting(lockDescriptor)) {
      std::this_thread::sleep_for(
          std::chrono::microseconds(internal::kLockPoll) / 8);
    }
    error_ = internal::LockUntil(lockDescriptor, LOCK_EX,
                                 std::chrono::steady_clock::now() + wait_);
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

  // Writes to the system log why the lock was not taken, and `record`, the
  // compact JSON of the record that therefore was not stored, so that an
  // operator still has it.
  void ReportUnstored(const char* record) const {
    if (error_ == ENOENT || error_ == ENOTDIR) {
      syslog(LOG_ERR, "%s", kOpenFailedText);
      syslog(LOG_ERR, "Load Store workflow error record not stored: %s",
             record);
    } else if (error_ == EWOULDBLOCK) {
      syslog(LOG_ERR,
             "Load Store workflow error file lock not taken within %g s; "
             "record not stored: %s",
             static_cast<double>(wait_.count()) / 1000, record);
    } else {
      syslog(LOG_ERR,
             "Load Store workflow error file lock cannot be taken (%s); "
             "record not stored: %s",
             std::strerror(error_), record);
    }
  }

 private:
  const std::chrono::milliseconds wait_{lockWaitMs.load()};
  int error_;
};

void ReportUnwritten(int error, bool restored) {
  syslog(LOG_ERR,
         "Failed writing Load Store workflow error file (%s); previous "
         "content %s.",
         std::strerror(error), restored ? "restored" : "not restored");
}

// Creates the file at `path` with `size` bytes of `text`, all or nothing: it
// is written unnamed in the directory (O_TMPFILE) and named only once whole,
// so a call that dies on the way leaves no file rather than an empty or a
// partial one. Returns false, having done nothing, where the file system
// has no unnamed files.
bool CreateWhole(const std::string& path, const char* text, std::size_t size) {
  const int fd = internal::OpenUnnamed(internal::DirectoryOf(path), 0666);
  if (fd < 0 && internal::NoUnnamedFiles(errno)) return false;
  const internal::DescriptorCloser closer(fd);
  if (fd < 0) {
    syslog(LOG_ERR, "%s", kOpenFailedText);
    return true;
  }
  int error = internal::WriteAll(fd, text, size, /*offset=*/0);
  if (error == 0) error = internal::LinkUnnamed(fd, path);
  if (error != 0) ReportUnwritten(error, true);
  return true;
}

// Rewrites the file at `path` with `size` bytes of `text`: the one step that
// changes it. `found` is what the read found there and `previous` its
// content when it was read. An absent file is created whole (CreateWhole).
// Otherwise only a regular file of one link is written, in place over its
// own content and then cut to length, so that the blocks it held take its
// previous content back when the rewrite comes up short (a full file
// system); a file the call created by name is removed again.
void Rewrite(const std::string& path, const char* text, std::size_t size,
             const EventFileStatus& found, const std::string& previous) {
  const bool read = found.state == EventFileState::kRead;
  const bool absent = found.state == EventFileState::kAbsent;
  if (absent && found.error == ENOENT && CreateWhole(path, text, size)) return;
  const int fd = read || absent ? open(path.c_str(),
                                       O_WRONLY | O_CREAT | O_NOFOLLOW |
                                           O_NONBLOCK | O_NOCTTY | O_CLOEXEC,
                                       0666)
                                : -1;
  const internal::DescriptorCloser closer(fd);
  struct stat info;
  if (fd < 0 || fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
      info.st_nlink > 1) {
    syslog(LOG_ERR, "%s", kOpenFailedText);
    return;
  }
  int error = internal::WriteAll(fd, text, size, /*offset=*/0);
  if (error == 0 && ftruncate(fd, static_cast<off_t>(size)) == 0) return;
  if (error == 0) error = errno;
  bool restored = false;
  if (read) {
    restored = internal::WriteAll(fd, previous.data(), previous.size(),
                                  /*offset=*/0) == 0 &&
               ftruncate(fd, static_cast<off_t>(previous.size())) == 0;
  } else if (found.error == ENOENT) {
    restored = unlink(path.c_str()) == 0;
  }
  ReportUnwritten(error, restored);
}

EventValue CopiedString(const char* text, std::size_t length,
                        AllocatorType& allocator) {
  return EventValue(text, static_cast<rapidjson::SizeType>(length), allocator);
}

EventValue CopiedString(const std::string& text, AllocatorType& allocator) {
  return CopiedString(text.data(), text.size(), allocator);
}

// The record {"jotId", "jotMsg", "jotArgs"}, each argument made well-formed
// UTF-8; throws std::out_of_range for an identifier outside the catalogue.
EventValue BuildRecord(const std::string& jotId, int argCount, va_list args,
                       AllocatorType& allocator) {
  EventValue record(rapidjson::kObjectType);
  record.AddMember(CopiedString("jotId", 5, allocator),
                   CopiedString(jotId, allocator), allocator);
  const std::string& message = jotMsgMap.at(jotId);
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
  return record;
}

// Adds `record` by the type of the document's root. The failures are
// RapidJSON's own preconditions, so they carry its "IsObject()" and
// "IsArray()" assertion messages.
void Merge(EventDocument& document, EventValue& record) {
  AllocatorType& allocator = document.GetAllocator();
  if (document.IsNull()) {
    EventValue jots(rapidjson::kArrayType);
    jots.PushBack(record, allocator);
    document.SetObject();
    document.AddMember(CopiedString("jots", 4, allocator), jots, allocator);
    return;
  }
  const auto jots = document.FindMember("jots");
  if (jots != document.MemberEnd()) jots->value.PushBack(record, allocator);
}

}  // namespace

namespace internal {

void SetLockWait(std::chrono::milliseconds wait) {
  lockWaitMs.store(wait.count());
}

void DumpJotAt(const std::string& path, const std::string& jotId, int argCount,
               va_list args) {
  std::call_once(forkHandlersInstalled, InstallForkHandlers);
  const Locked turn(turnMutex);
  const ProcessesLock processes(path);

  EventDocument document;
  std::string previous;
  EventFileStatus found{EventFileState::kAbsent, ENOENT};
  if (processes.held()) {
    found = ReadEventFile(path, previous);
    if (found.state == EventFileState::kRead &&
        !ParseJsonText(previous, document)) {
      syslog(LOG_ERR, "%s", kParseFailedText);
      return;
    }
  }
  EventValue record =
      BuildRecord(jotId, argCount, args, document.GetAllocator());
  EventStringBuffer out;
  EventWriter writer(out);
  if (!processes.held()) {
    WriteJson(record, writer);
    processes.ReportUnstored(out.GetString());
    return;
  }
  Merge(document, record);
  WriteJson(document, writer);
  const char* text = out.GetString();  // the last allocation of the call
  Rewrite(path, text, out.GetSize(), found, previous);
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
