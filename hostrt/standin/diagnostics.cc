// Back-traces and random identifiers of the stand-in host.
#include <dlfcn.h>
#include <execinfo.h>
#include <uuid/uuid.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cssupport/hostrt/hostrt.h"

namespace hostrt_standin {
namespace {

// Deepest stack walked, skipped frames included.
constexpr int kMaxWalk = 256;
// Frames that a wrapper of backtrace(3) may add above the stand-in's own.
constexpr int kWrapperFrames = 8;
constexpr size_t kUuidText = 37;

const char* BaseName(const char* path) {
  const char* slash = std::strrchr(path, '/');
  return slash != nullptr ? slash + 1 : path;
}

}  // namespace
}  // namespace hostrt_standin

namespace hs = hostrt_standin;

extern "C" {

// Skips `skip` of the caller's innermost frames and records at most
// `maxFrames`; false, with a count of 0, when the stack cannot be walked.
// noinline gives the call a frame of its own, so that its return address
// marks where the caller's frames start.
__attribute__((noinline)) bool CoreDump_CaptureFastBacktrace(int skip,
                                                             int maxFrames,
                                                             void** frames,
                                                             int* count) {
  if (count != nullptr) *count = 0;
  if (frames == nullptr || count == nullptr) return false;
  if (maxFrames <= 0) return true;
  void* walked[hs::kMaxWalk];
  const int depth = ::backtrace(
      walked, static_cast<int>(std::min<long>(
                  hs::kMaxWalk,
                  1L + hs::kWrapperFrames + std::max(skip, 0) + maxFrames)));
  if (depth <= 0) return false;
  // Wrappers around backtrace(3), such as a sanitizer's, add frames of their
  // own; the caller's frame is found by its return address instead.
  void* const callerFrame = __builtin_return_address(0);
  const int caller =
      static_cast<int>(std::find(walked, walked + depth, callerFrame) - walked);
  const int first =
      (caller < depth ? caller : std::min(1, depth)) + std::max(skip, 0);
  if (first >= depth) return true;
  const int kept = std::min(depth - first, maxFrames);
  std::copy(walked + first, walked + first + kept, frames);
  *count = kept;
  return true;
}

// Readable text rather than the host's encoded form: "#0 module+0xOFFSET
// #1 ...", each frame's module by the file's base name with the offset in it,
// "?" and the address for a frame outside any module. Whole entries only, as
// many as fit, always NUL-terminated within the buffer (a size of 0 writes
// nothing). The name is ignored.
void CoreDump_Base64BacktraceFormat(int count, void* const* frames,
                                    char* buffer, size_t size,
                                    const char* /*name*/) {
  if (buffer == nullptr || size == 0) return;
  buffer[0] = '\0';
  if (frames == nullptr) return;
  size_t used = 0;
  for (int i = 0; i < count; ++i) {
    const uintptr_t address = reinterpret_cast<uintptr_t>(frames[i]);
    Dl_info info{};
    const char* module = "?";
    uintptr_t offset = address;
    if (::dladdr(frames[i], &info) != 0 && info.dli_fname != nullptr &&
        info.dli_fname[0] != '\0') {
      module = hs::BaseName(info.dli_fname);
      offset = address - reinterpret_cast<uintptr_t>(info.dli_fbase);
    }
    char entry[512];
    const int n =
        std::snprintf(entry, sizeof entry, "%s#%d %s+0x%jx", i == 0 ? "" : " ",
                      i, module, static_cast<uintmax_t>(offset));
    if (n < 0) break;
    const size_t length = std::min(static_cast<size_t>(n), sizeof entry - 1);
    // Only whole entries are written.
    if (length >= size - used) break;
    std::memcpy(buffer + used, entry, length);
    used += length;
    buffer[used] = '\0';
  }
}

// A version-4 random UUID from libuuid, 36 lower-case characters.
char* UUID_CreateRandom(void) {
  char* text = static_cast<char*>(std::malloc(hs::kUuidText));
  if (text == nullptr) return nullptr;
  uuid_t uuid;
  ::uuid_generate_random(uuid);
  ::uuid_unparse_lower(uuid, text);
  return text;
}

}  // extern "C"
