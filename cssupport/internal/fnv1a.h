// Internal: the 64-bit FNV-1a hash, for checksums that only have to tell
// texts apart (not resist an adversary).
//
// Header-only, so that the library and cstool hash the same way.
#ifndef CSSUPPORT_INTERNAL_FNV1A_H_
#define CSSUPPORT_INTERNAL_FNV1A_H_

#include <cstddef>
#include <cstdint>

namespace KoraConfigStore {
namespace internal {

// FNV-1a's starting value: the hash of no bytes.
inline constexpr std::uint64_t kFnv1aStart = 0xcbf29ce484222325ULL;

// The hash of `hash`'s bytes followed by the `size` bytes of `data`; pass
// kFnv1aStart to begin. Linear; never throws.
inline std::uint64_t Fnv1a(const char* data, std::size_t size,
                           std::uint64_t hash = kFnv1aStart) {
  for (std::size_t i = 0; i < size; ++i) {
    hash = (hash ^ static_cast<unsigned char>(data[i])) * 0x100000001b3ULL;
  }
  return hash;
}

}  // namespace internal
}  // namespace KoraConfigStore

#endif  // CSSUPPORT_INTERNAL_FNV1A_H_
