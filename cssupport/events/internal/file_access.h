// Internal: how the event record file is read and its directory locked.
//
// Header-only, so that cstool, which links the shared library where these
// stay hidden, reads the file by DumpJot's rules (ReadEventFile) and locks
// its directory with the same flock(2) and bounded wait (LockUntil).
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

#include "cssupport/internal/sys_status.h"
#include "cssupport/internal/whole_file.h"

namespace KoraConfigStore {
namespace internal {

// The longest a caller waits for the directory lock before it goes on
// without it.
inline constexpr std::chrono::milliseconds kLockWait{5000};

// Opens the directory that holds `filePath`, to lock it; the descriptor is
// not inherited across execve(2). Locking the directory rather than the file
// covers the moment when the file does not exist yet, without creating
// anything.
inline SysResult<int> OpenDirectoryOf(const std::string& filePath) {
  return DescriptorOrErrno(
      open(DirectoryOf(filePath).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
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
// kLockPoll, and saying that it waits meanwhile (SayWaiting). Succeeds once
// taken; fails with EWOULDBLOCK when another holder kept it until the
// deadline, or with the errno of a lock that cannot be taken at all (ENOLCK,
// ...).
inline SysStatus LockUntil(int fd, int operation,
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
  return {error};
}

// Reads `fd` to its end into `text`, `expected` bytes being the likely size.
// Fails with the errno of the read that failed, the text then ending where
// it happened. Throws std::bad_alloc.
inline SysStatus ReadToEnd(int fd, std::size_t expected, std::string& text) {
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
  return {error};
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
  const SysStatus read =
      ReadToEnd(fd, static_cast<std::size_t>(info.st_size), text);
  return {read.ok() ? EventFileState::kRead : EventFileState::kFailed,
          read.error};
}

}  // namespace internal
}  // namespace KoraConfigStore

#endif  // CSSUPPORT_EVENTS_INTERNAL_FILE_ACCESS_H_
