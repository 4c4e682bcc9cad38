// Internal: how the event record file is read and guarded.
//
// Header-only so that cstool, which links the shared library where these
// stay hidden, reads and locks the file exactly as DumpJot does.
#ifndef CSSUPPORT_EVENTS_INTERNAL_FILE_ACCESS_H_
#define CSSUPPORT_EVENTS_INTERNAL_FILE_ACCESS_H_

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <string>
#include <thread>

#include "cssupport/internal/write_all.h"  // WriteAll, for the writers

namespace KoraConfigStore {
namespace internal {

// The longest a caller waits for the directory lock before it goes on
// without it.
inline constexpr std::chrono::milliseconds kLockWait{5000};

// The directory that holds `path` ("." for a bare name).
inline std::string DirectoryOf(const std::string& path) {
  const std::string::size_type slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Opens the directory that holds `filePath`, to lock it; -1 with errno set
// when it cannot. Locking the directory rather than the file covers the
// moment when the file does not exist yet, without creating anything.
inline int OpenDirectoryOf(const std::string& filePath) {
  return open(DirectoryOf(filePath).c_str(),
              O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

// The longest pause between two attempts of LockUntil.
inline constexpr std::chrono::milliseconds kLockPoll{2};

// A caller that finds the lock taken says that it waits, so that the holder's
// process does not take the lock straight back (OthersWaiting): an OFD read
// lock on the first byte of the directory, which conflicts with nothing but
// the question OthersWaiting asks, and goes with the descriptor. Without
// such locks (a file system that refuses them) nothing is said, and hand-over
// is left to chance. Returns whether it was said.
inline bool SayWaiting(int fd, bool waiting) {
  struct flock lock = {};
  lock.l_type = waiting ? F_RDLCK : F_UNLCK;
  lock.l_whence = SEEK_SET;
  lock.l_len = 1;
  return fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

// Whether a caller holding another descriptor of the directory `fd` says it
// waits for the lock (SayWaiting).
inline bool OthersWaiting(int fd) {
  struct flock lock = {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  lock.l_len = 1;
  return fcntl(fd, F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
}

// Takes flock(2) `operation` (LOCK_EX or LOCK_SH) on `fd`, trying again
// until `deadline` (flock has no timeout of its own), at least every
// kLockPoll, and saying that it waits meanwhile (SayWaiting). Returns 0 once
// taken, EWOULDBLOCK when another holder kept it until the deadline, or the
// errno of a lock that cannot be taken at all (ENOLCK, ...).
inline int LockUntil(int fd, int operation,
                     std::chrono::steady_clock::time_point deadline) {
  std::chrono::milliseconds pause(1);
  bool waiting = false;
  int error = 0;
  for (;;) {
    if (flock(fd, operation | LOCK_NB) == 0) break;
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) {
      error = errno;
      break;
    }
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) {
      error = EWOULDBLOCK;
      break;
    }
    if (!waiting) waiting = SayWaiting(fd, true);
    std::this_thread::sleep_for(
        std::min<std::chrono::nanoseconds>(pause, deadline - now));
    pause = std::min(pause * 2, kLockPoll);
  }
  if (waiting) SayWaiting(fd, false);
  return error;
}

// Owns a descriptor, if it is one (>= 0): closes it when it goes out of
// scope.
class DescriptorCloser {
 public:
  explicit DescriptorCloser(int fd) : fd_(fd) {}
  ~DescriptorCloser() {
    if (fd_ >= 0) close(fd_);
  }
  DescriptorCloser(const DescriptorCloser&) = delete;
  DescriptorCloser& operator=(const DescriptorCloser&) = delete;

  int get() const { return fd_; }

 private:
  int fd_;
};

// An flock(2) on the directory that holds a file, for the object's life,
// waited for until `deadline` (kLockWait from now unless given). held() tells
// whether it was taken; a caller that goes on without it (no directory, a lock
// that cannot be taken or not given up in time) is unguarded.
class DirectoryLock {
 public:
  DirectoryLock(const std::string& filePath, int operation,
                std::chrono::steady_clock::time_point deadline =
                    std::chrono::steady_clock::now() + kLockWait)
      : fd_(OpenDirectoryOf(filePath)) {
    error_ = fd_.get() < 0 ? errno : LockUntil(fd_.get(), operation, deadline);
  }

  bool held() const { return error_ == 0; }
  // 0 when held; else why not (EWOULDBLOCK: not given up in time).
  int error() const { return error_; }

 private:
  const DescriptorCloser fd_;  // closing it gives the lock up
  int error_;
};

// Opens a new unnamed regular file in `directory` for writing (O_TMPFILE),
// `mode` less the umask, which disappears unless LinkUnnamed names it; -1
// with errno set when it cannot, NoUnnamedFiles(errno) where the file system
// has no such files.
inline int OpenUnnamed(const std::string& directory, mode_t mode) {
  return open(directory.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
}

inline bool NoUnnamedFiles(int error) {
  return error == EOPNOTSUPP || error == EISDIR || error == EINVAL;
}

// Gives the unnamed file `fd` (OpenUnnamed) the name `path`, which must not
// exist yet. Returns 0, or the errno of the failure (EEXIST, ...).
inline int LinkUnnamed(int fd, const std::string& path) {
  const std::string name = "/proc/self/fd/" + std::to_string(fd);
  if (linkat(AT_FDCWD, name.c_str(), AT_FDCWD, path.c_str(),
             AT_SYMLINK_FOLLOW) == 0) {
    return 0;
  }
  // Without /proc: naming by descriptor, which needs CAP_DAC_READ_SEARCH.
  if (errno == ENOENT &&
      linkat(fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0) {
    return 0;
  }
  return errno;
}

// Reads `fd` to its end into `text`, `expected` bytes being the likely size.
// Returns 0, or the errno of the read that failed (the text then ends where
// it happened). Throws std::bad_alloc.
inline int ReadToEnd(int fd, std::size_t expected, std::string& text) {
  // One byte beyond the expected size, so that reaching the end usually
  // takes a single read.
  text.resize(std::max<std::size_t>(expected + 1, 4096));
  std::size_t used = 0;
  int error = 0;
  for (;;) {
    if (used == text.size()) text.resize(text.size() * 2);
    const ssize_t n = read(fd, &text[used], text.size() - used);
    if (n > 0) {
      used += static_cast<std::size_t>(n);
    } else if (n == 0) {
      break;
    } else if (errno != EINTR) {
      error = errno;
      break;
    }
  }
  text.resize(used);
  return error;
}

// Reads the whole file (or pipe, or device) into `text`. Returns false, with
// errno set, when it does not open. A failed read ends the text where it
// happened and, when `readError` is given, leaves the errno there (0 when
// all was read). Throws std::bad_alloc, with nothing left open.
inline bool ReadWholeFile(const std::string& path, std::string& text,
                          int* readError = nullptr) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const DescriptorCloser closer(fd);
  struct stat info;
  std::size_t expected = 0;
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    expected = static_cast<std::size_t>(info.st_size);
  }
  const int error = ReadToEnd(fd, expected, text);
  if (readError != nullptr) *readError = error;
  return true;
}

// What ReadEventFile found at the path.
enum class EventFileState {
  kRead,        // a regular file of one link, read whole
  kAbsent,      // no such file (ENOENT), or reading it refused (EACCES)
  kNotRegular,  // a directory (error EISDIR), FIFO, device or socket
                // (error 0): never read, never written
  kRefused,     // a symbolic link (ELOOP; never followed) or a file of more
                // than one link (EMLINK)
  kFailed,      // any other failure of the open or a read (its errno)
};

struct EventFileStatus {
  EventFileState state;
  int error;
};

// Opens the event record file at `path` without following a symbolic link
// and without blocking (a FIFO or a device never holds the call up), and
// reads it whole into `text` only when it is a regular file of one link.
// Throws std::bad_alloc, with nothing left open.
inline EventFileStatus ReadEventFile(const std::string& path,
                                     std::string& text) {
  const int fd = open(
      path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    if (error == ENOENT || error == EACCES) {
      return {EventFileState::kAbsent, error};
    }
    return {error == ELOOP ? EventFileState::kRefused : EventFileState::kFailed,
            error};
  }
  const DescriptorCloser closer(fd);
  struct stat info;
  if (fstat(fd, &info) != 0) return {EventFileState::kFailed, errno};
  if (!S_ISREG(info.st_mode)) {
    return {EventFileState::kNotRegular, S_ISDIR(info.st_mode) ? EISDIR : 0};
  }
  if (info.st_nlink > 1) return {EventFileState::kRefused, EMLINK};
  const int error = ReadToEnd(fd, static_cast<std::size_t>(info.st_size), text);
  return {error == 0 ? EventFileState::kRead : EventFileState::kFailed, error};
}

}  // namespace internal
}  // namespace KoraConfigStore

#endif  // CSSUPPORT_EVENTS_INTERNAL_FILE_ACCESS_H_
