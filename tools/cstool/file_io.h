// cstool's own file access: what the library has no use for.
#ifndef CSSUPPORT_TOOLS_CSTOOL_FILE_IO_H_
#define CSSUPPORT_TOOLS_CSTOOL_FILE_IO_H_

#include <fcntl.h>
#include <sys/stat.h>

#include <chrono>
#include <cstddef>
#include <cstring>
#include <string>

#include "commands.h"
#include "cssupport/events/internal/file_access.h"
#include "cssupport/internal/sys_status.h"
#include "cssupport/internal/whole_file.h"

namespace cstool {

// An flock(2) `operation` (LOCK_EX or LOCK_SH) on the directory that holds a
// file, for the object's life, waited for until `deadline` (kLockWait from
// now unless given) with LockUntil, so that it excludes DumpJot as DumpJot
// excludes it. Unlike DumpJot's, it does not let a process that says it
// waits go first, and it locks the directory it opened: one renamed away
// while it waits stays the one locked. held() tells whether it was taken; a
// caller that goes on without it (no directory, a lock that cannot be taken
// or not given up in time) is unguarded.
class DirectoryLock {
 public:
  DirectoryLock(const std::string& filePath, int operation,
                std::chrono::steady_clock::time_point deadline =
                    std::chrono::steady_clock::now() +
                    KoraConfigStore::internal::kLockWait)
      : opened_(KoraConfigStore::internal::OpenDirectoryOf(filePath)),
        fd_(opened_.value),
        status_(opened_.ok() ? KoraConfigStore::internal::LockUntil(
                                   fd_.get(), operation, deadline)
                             : opened_.status()) {}

  bool held() const { return status_.ok(); }
  // Why not held (EWOULDBLOCK: not given up in time).
  KoraConfigStore::internal::SysStatus status() const { return status_; }

 private:
  const KoraConfigStore::internal::SysResult<int> opened_;
  const KoraConfigStore::internal::DescriptorCloser fd_;  // closing unlocks
  const KoraConfigStore::internal::SysStatus status_;
};

// The whole content of the file (or pipe, or device) at `path`. Throws
// CommandError (status 1) naming the path when it does not open or a read
// fails, and std::bad_alloc, with nothing left open.
inline std::string ReadWholeFile(const std::string& path) {
  namespace internal = KoraConfigStore::internal;
  const internal::SysResult<int> fd =
      internal::DescriptorOrErrno(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.ok()) {
    throw CommandError{kExitFailure,
                       path + ": cannot open: " + std::strerror(fd.error)};
  }
  const internal::DescriptorCloser closer(fd.value);
  struct stat info;
  std::size_t expected = 0;
  if (fstat(fd.value, &info) == 0 && S_ISREG(info.st_mode)) {
    expected = static_cast<std::size_t>(info.st_size);
  }
  std::string text;
  const internal::SysStatus read =
      internal::ReadToEnd(fd.value, expected, text);
  if (!read.ok()) {
    throw CommandError{kExitFailure,
                       path + ": cannot read: " + std::strerror(read.error)};
  }
  return text;
}

}  // namespace cstool

#endif  // CSSUPPORT_TOOLS_CSTOOL_FILE_IO_H_
