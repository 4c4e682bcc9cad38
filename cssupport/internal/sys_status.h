// Internal: how the file helpers of the library and cstool report a failed
// system call.
//
// Header-only, so that the library, cstool and the stand-in host share it
// without the library exporting it.
#ifndef CSSUPPORT_INTERNAL_SYS_STATUS_H_
#define CSSUPPORT_INTERNAL_SYS_STATUS_H_

#include <cerrno>

namespace KoraConfigStore {
namespace internal {

// Success, or the errno of the call that failed.
struct [[nodiscard]] SysStatus {
  int error = 0;

  bool ok() const { return error == 0; }
  // The failure that errno holds now.
  static SysStatus FromErrno() { return {errno}; }
};

// A value, or the errno of why there is none (`value` then holds the
// call's failure value, -1 for a descriptor).
template <typename T>
struct [[nodiscard]] SysResult {
  T value;
  int error = 0;

  bool ok() const { return error == 0; }
  SysStatus status() const { return {error}; }
};

// What a call returning a descriptor, or -1 with errno set, returned.
inline SysResult<int> DescriptorOrErrno(int fd) {
  return {fd, fd >= 0 ? 0 : errno};
}

}  // namespace internal
}  // namespace KoraConfigStore

#endif  // CSSUPPORT_INTERNAL_SYS_STATUS_H_
