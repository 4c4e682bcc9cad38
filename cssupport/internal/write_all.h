// Internal: writing a whole buffer to a descriptor.
//
// Header-only, so that the library, cstool and the stand-in host write files
// the same way without the library exporting it.
#ifndef CSSUPPORT_INTERNAL_WRITE_ALL_H_
#define CSSUPPORT_INTERNAL_WRITE_ALL_H_

#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>

#include "cssupport/internal/sys_status.h"

namespace KoraConfigStore {
namespace internal {

// WriteAll's offset for writing at the descriptor's own file offset.
inline constexpr off_t kAtFileOffset = -1;

// Writes all of `size` bytes of `data` to `fd`: with write(2) at its file
// offset, or, given an `offset` >= 0, with pwrite(2) from there on (the file
// offset left as it was). An interrupted write (EINTR) is tried again and a
// short one continued. Fails with the errno of the write that failed; a
// write that stores nothing ends the call with EIO instead of looping. Blocks
// as long as the writes do; any thread; never throws.
inline SysStatus WriteAll(int fd, const char* data, std::size_t size,
                          off_t offset = kAtFileOffset) {
  while (size > 0) {
    const ssize_t n =
        offset < 0 ? write(fd, data, size) : pwrite(fd, data, size, offset);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return SysStatus::FromErrno();
    if (n == 0) return {EIO};
    data += n;
    if (offset >= 0) offset += n;
    size -= static_cast<std::size_t>(n);
  }
  return {};
}

}  // namespace internal
}  // namespace KoraConfigStore

#endif  // CSSUPPORT_INTERNAL_WRITE_ALL_H_
