// Internal: descriptors, and writing a new file whole.
//
// Header-only, so that the library and cstool, which links the shared
// library where these stay hidden, write files by one set of rules.
#ifndef CSSUPPORT_INTERNAL_WHOLE_FILE_H_
#define CSSUPPORT_INTERNAL_WHOLE_FILE_H_

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>

#include "cssupport/internal/sys_status.h"
#include "cssupport/internal/write_all.h"

namespace KoraConfigStore {
namespace internal {

// The directory that holds `path` ("." for a bare name).
inline std::string DirectoryOf(const std::string& path) {
  const std::string::size_type slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
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

// Opens a new unnamed regular file in `directory` for writing (O_TMPFILE),
// `mode` less the umask, which disappears unless LinkUnnamed names it. Fails
// with NoUnnamedFiles(error) where the file system has no such files.
inline SysResult<int> OpenUnnamed(const std::string& directory, mode_t mode) {
  return DescriptorOrErrno(
      open(directory.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode));
}

inline bool NoUnnamedFiles(int error) {
  return error == EOPNOTSUPP || error == EISDIR || error == EINVAL;
}

// Gives the unnamed file `fd` (OpenUnnamed) the name `path`, which must not
// exist yet (else EEXIST).
inline SysStatus LinkUnnamed(int fd, const std::string& path) {
  const std::string name = "/proc/self/fd/" + std::to_string(fd);
  if (linkat(AT_FDCWD, name.c_str(), AT_FDCWD, path.c_str(),
             AT_SYMLINK_FOLLOW) == 0) {
    return {};
  }
  // Without /proc: naming by descriptor, which needs CAP_DAC_READ_SEARCH.
  if (errno == ENOENT &&
      linkat(fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0) {
    return {};
  }
  return SysStatus::FromErrno();
}

// How far a WholeFile is made to survive a crash of the machine.
enum class Durability {
  kNone,              // as the page cache has it
  kFile,              // the content and attributes synced (fsync)
  kFileAndDirectory,  // and then its name too (fsync of the directory)
};

// Whose a WholeFile is.
enum class Ownership {
  kUnchanged,  // the caller's, as created
  kCopy,       // `owner` and `group`; failing to set them fails the write
  // The same, except that EPERM is let pass when `owner` is the caller
  // (only the group could not be set).
  kCopyUnlessCallerOwns,
};

struct WholeFileOptions {
  mode_t createMode = 0666;  // given to open(2), less the umask
  // Set exactly after the owner (fchmod), set-ID bits included.
  std::optional<mode_t> mode;
  Ownership ownership = Ownership::kUnchanged;
  uid_t owner = 0;
  gid_t group = 0;
  Durability durability = Durability::kNone;
  // false: the path must not exist (EEXIST). true: the file is renamed over
  // what is there, a symbolic link included.
  bool replace = false;
  // Where the file system has no unnamed files: create a file by name (the
  // path itself, or a temporary name beside it to replace it), removed
  // again when the write fails. false: fail with the O_TMPFILE errno.
  bool byName = true;
};

// A new file for `path`, written whole or not at all: unnamed (O_TMPFILE) in
// the directory of `path` until it is complete, so that a writer killed on
// the way leaves nothing behind (by name, see `byName`, where the file
// system has no unnamed files; a kill then leaves that name). Readers of
// `path` see no file or the whole one (or, replacing, the old or the new
// one). Not for sharing between threads; never throws but std::bad_alloc.
class WholeFile {
 public:
  // Creates the file; created() tells whether it was.
  WholeFile(std::string path, const WholeFileOptions& options)
      : path_(std::move(path)), options_(options) {
    SysResult<int> fd = OpenUnnamed(DirectoryOf(path_), options_.createMode);
    unnamed_ = fd.ok();
    if (!unnamed_ && NoUnnamedFiles(fd.error) && options_.byName) {
      std::string name = options_.replace ? TemporaryBase() + "XXXXXX" : path_;
      fd = DescriptorOrErrno(options_.replace
                                 ? mkostemp(name.data(), O_CLOEXEC)
                                 : open(name.c_str(),
                                        O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                                        options_.createMode));
      if (fd.ok()) byName_ = std::move(name);
    }
    fd_ = fd.value;
    created_ = fd.status();
  }
  ~WholeFile() {
    if (fd_ >= 0) close(fd_);
    if (!byName_.empty()) unlink(byName_.c_str());
  }
  WholeFile(const WholeFile&) = delete;
  WholeFile& operator=(const WholeFile&) = delete;

  SysStatus created() const { return created_; }

  // The file, for touches after Write; -1 once a replacing Write has
  // closed it.
  int descriptor() const { return fd_; }

  // Writes all of `size` bytes of `data`, sets the owner and the mode, syncs
  // as asked and gives the file its name; call once, after created(). On
  // failure nothing is left at the path (nor, replacing, beside it). A
  // failure to sync the directory is not one: the file is complete.
  SysStatus Write(const char* data, std::size_t size) {
    if (!created_.ok()) return created_;
    SysStatus status = WriteAll(fd_, data, size, /*offset=*/0);
    // The owner first: changing it may clear the set-ID bits that the mode
    // then sets.
    if (status.ok() && options_.ownership != Ownership::kUnchanged &&
        fchown(fd_, options_.owner, options_.group) != 0 &&
        (options_.ownership == Ownership::kCopy || errno != EPERM ||
         options_.owner != geteuid())) {
      status = SysStatus::FromErrno();
    }
    if (status.ok() && options_.mode && fchmod(fd_, *options_.mode) != 0) {
      status = SysStatus::FromErrno();
    }
    if (status.ok() && options_.durability != Durability::kNone &&
        fsync(fd_) != 0) {
      status = SysStatus::FromErrno();
    }
    if (status.ok() && unnamed_) status = Name();
    if (status.ok() && options_.replace) status = CloseAndRename();
    if (!status.ok()) return status;
    byName_.clear();
    if (options_.durability == Durability::kFileAndDirectory) {
      const DescriptorCloser directory(
          open(DirectoryOf(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
      if (directory.get() >= 0) (void)fsync(directory.get());
    }
    return status;
  }

 private:
  // "<directory>/.<name>.": the start of a temporary name beside the path.
  std::string TemporaryBase() const {
    const std::string::size_type name = path_.rfind('/') + 1;  // npos: 0
    std::string base(path_, 0, name);
    base += '.';
    base.append(path_, name, std::string::npos);
    base += '.';
    return base;
  }

  // Names the unnamed file: the path itself, or, to replace it, the first
  // free "<TemporaryBase><pid>.<n>".
  SysStatus Name() {
    if (!options_.replace) return LinkUnnamed(fd_, path_);
    const std::string base = TemporaryBase() + std::to_string(getpid()) + ".";
    SysStatus status;
    for (int n = 0; n < 100; ++n) {
      std::string name = base + std::to_string(n);
      status = LinkUnnamed(fd_, name);
      if (status.ok()) byName_ = std::move(name);
      if (status.error != EEXIST) break;
    }
    return status;
  }

  SysStatus CloseAndRename() {
    const int fd = fd_;
    fd_ = -1;
    if (close(fd) != 0) return SysStatus::FromErrno();
    if (rename(byName_.c_str(), path_.c_str()) != 0) {
      return SysStatus::FromErrno();
    }
    byName_.clear();
    return {};
  }

  const std::string path_;
  const WholeFileOptions options_;
  int fd_ = -1;
  bool unnamed_ = false;
  std::string byName_;  // the file's temporary name, removed unless written
  SysStatus created_;
};

}  // namespace internal
}  // namespace KoraConfigStore

#endif  // CSSUPPORT_INTERNAL_WHOLE_FILE_H_
