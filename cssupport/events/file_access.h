// Internal: how the event record file is read and guarded.
//
// Header-only so that cstool, which links the shared library where these
// stay hidden, reads and locks the file exactly as DumpJot does.
#ifndef CSSUPPORT_EVENTS_FILE_ACCESS_H_
#define CSSUPPORT_EVENTS_FILE_ACCESS_H_

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <string>

namespace KoraConfigStore {
namespace internal {

// The directory that holds `path` ("." for a bare name).
inline std::string DirectoryOf(const std::string& path) {
  const std::string::size_type slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// An flock(2) (LOCK_EX or LOCK_SH) on the directory that holds a file, held
// for the object's life. Locking the directory rather than the file covers
// the moment when the file does not exist yet, without creating anything. A
// directory that cannot be opened leaves the caller unguarded; without a
// directory there is no file to guard.
class DirectoryLock {
 public:
  DirectoryLock(const std::string& filePath, int operation)
      : fd_(open(DirectoryOf(filePath).c_str(),
                 O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    if (fd_ < 0) return;
    while (flock(fd_, operation) != 0 && errno == EINTR) {
    }
  }
  ~DirectoryLock() {
    if (fd_ >= 0) close(fd_);
  }
  DirectoryLock(const DirectoryLock&) = delete;
  DirectoryLock& operator=(const DirectoryLock&) = delete;

 private:
  int fd_;
};

// Reads the whole file into `text`. Returns false, with errno set, when it
// does not open. A failed read ends the text where it happened and, when
// `readError` is given, leaves the errno there (0 when all was read).
inline bool ReadWholeFile(const std::string& path, std::string& text,
                          int* readError = nullptr) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info;
  std::size_t expected = 0;
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    expected = static_cast<std::size_t>(info.st_size);
  }
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
  close(fd);
  if (readError != nullptr) *readError = error;
  return true;
}

}  // namespace internal
}  // namespace KoraConfigStore

#endif  // CSSUPPORT_EVENTS_FILE_ACCESS_H_
