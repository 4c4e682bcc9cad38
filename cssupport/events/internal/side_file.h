// Internal: the side files of records that could not go into the event
// record file.
//
// Beside the event record file P lie two append-only files, each holding
// one record a line (its compact JSON, then '\n'):
//   P.unstored  records that a call could not store for want of the lock or
//               because its write failed; the next call that stores its own
//               record merges them first, oldest first, and empties the file;
//   P.held      records that a call could not store because P did not parse;
//               only `cstool repair` merges them, after the records it
//               salvages, and empties the file.
// Neither is ever removed or renamed, only emptied, so that the flock(2)
// taken on an open descriptor of one always guards the file at its name.
// Every writer holds that exclusive lock; a line goes in whole or not at all
// (a short write is cut back), and a reader takes only the lines ended by
// '\n', so a kill never leaves half a record for a reader.
//
// Header-only, so that the library and cstool share one definition.
#ifndef CSSUPPORT_EVENTS_INTERNAL_SIDE_FILE_H_
#define CSSUPPORT_EVENTS_INTERNAL_SIDE_FILE_H_

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstddef>
#include <string>

#include "cssupport/events/internal/file_access.h"
#include "cssupport/internal/sys_status.h"
#include "cssupport/internal/whole_file.h"
#include "cssupport/internal/write_all.h"

namespace KoraConfigStore {
namespace internal {

enum class SideFile { kUnstored, kHeld };

// The side file `which` of the event record file at `eventPath`.
inline std::string SideFilePath(const std::string& eventPath, SideFile which) {
  return eventPath + (which == SideFile::kUnstored ? ".unstored" : ".held");
}

// One side file, opened (created, 0666 less the umask, when `create`) and
// locked exclusively for the object's life, the lock waited for until
// `deadline`. status() is ok when open and locked, else the failure of the
// open (ENOENT: absent and not created) or the lock (EWOULDBLOCK: not given
// up in time). Never follows a symbolic link. Any thread; never throws.
class LockedSideFile {
 public:
  LockedSideFile(const std::string& path, bool create,
                 std::chrono::steady_clock::time_point deadline)
      : fd_(open(path.c_str(),
                 O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC |
                     (create ? O_CREAT : 0),
                 0666)) {
    status_ = fd_.get() < 0 ? SysStatus::FromErrno()
                            : LockUntil(fd_.get(), LOCK_EX, deadline);
    struct stat info;
    if (status_.ok() && fstat(fd_.get(), &info) != 0) {
      status_ = SysStatus::FromErrno();
    }
    // Only a regular file of one name is written.
    if (status_.ok() && (!S_ISREG(info.st_mode) || info.st_nlink != 1)) {
      status_ = {EINVAL};
    }
  }
  LockedSideFile(const LockedSideFile&) = delete;
  LockedSideFile& operator=(const LockedSideFile&) = delete;

  SysStatus status() const { return status_; }

  // Appends `size` bytes of `record` and a '\n' as one line: first cuts off
  // a torn line that an earlier writer left (no '\n' at the end), then
  // writes; a write that comes up short is cut back, so the line is whole or
  // absent. Never throws.
  SysStatus Append(const char* record, std::size_t size) const {
    if (!status_.ok()) return status_;
    struct stat info;
    if (fstat(fd_.get(), &info) != 0) return SysStatus::FromErrno();
    off_t end = info.st_size;
    while (end > 0) {  // back to the last '\n'
      char c;
      const ssize_t n = pread(fd_.get(), &c, 1, end - 1);
      if (n < 0 && errno == EINTR) continue;
      if (n != 1) return {n < 0 ? errno : EIO};
      if (c == '\n') break;
      --end;
    }
    if (end != info.st_size && ftruncate(fd_.get(), end) != 0) {
      return SysStatus::FromErrno();
    }
    SysStatus written = WriteAll(fd_.get(), record, size, end);
    if (written.ok()) {
      written = WriteAll(fd_.get(), "\n", 1, end + static_cast<off_t>(size));
    }
    if (!written.ok()) (void)ftruncate(fd_.get(), end);
    return written;
  }

  // Reads the whole lines of the file (up to and including its last '\n')
  // into `lines`. Throws std::bad_alloc.
  SysStatus ReadLines(std::string& lines) const {
    if (!status_.ok()) return status_;
    if (lseek(fd_.get(), 0, SEEK_SET) != 0) return SysStatus::FromErrno();
    const SysStatus read = ReadToEnd(fd_.get(), 0, lines);
    const std::string::size_type last = lines.rfind('\n');
    lines.resize(last == std::string::npos ? 0 : last + 1);
    return read;
  }

  // Empties the file, once its records are stored elsewhere.
  SysStatus Empty() const {
    if (!status_.ok()) return status_;
    return ftruncate(fd_.get(), 0) == 0 ? SysStatus{} : SysStatus::FromErrno();
  }

 private:
  const DescriptorCloser fd_;
  SysStatus status_;
};

}  // namespace internal
}  // namespace KoraConfigStore

#endif  // CSSUPPORT_EVENTS_INTERNAL_SIDE_FILE_H_
