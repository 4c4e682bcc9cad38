// Internal: a RapidJSON base allocator that throws.
//
// RapidJSON 1.1's CrtAllocator returns null when the C heap is exhausted,
// and RapidJSON dereferences that null (parse stack, string copies, output
// buffer). Documents, readers, writers and buffers built on
// ThrowingCrtAllocator instead leave a parse, an insertion or a write by
// std::bad_alloc, still whole and destructible (nothing leaks).
#ifndef CSSUPPORT_JSON_THROWING_ALLOCATOR_H_
#define CSSUPPORT_JSON_THROWING_ALLOCATOR_H_

#include <cstddef>
#include <cstdlib>
#include <new>

namespace KoraConfigStore {
namespace internal {

// rapidjson::CrtAllocator, except that a failed allocation throws
// std::bad_alloc (a failed Realloc leaves the original block as it was).
// Zero-byte requests return null, as CrtAllocator's do.
class ThrowingCrtAllocator {
 public:
  static const bool kNeedFree = true;
  void* Malloc(std::size_t size) {
    if (size == 0) return nullptr;
    void* block = std::malloc(size);
    if (block == nullptr) throw std::bad_alloc();
    return block;
  }
  void* Realloc(void* original, std::size_t /*originalSize*/,
                std::size_t newSize) {
    if (newSize == 0) {
      std::free(original);
      return nullptr;
    }
    void* block = std::realloc(original, newSize);
    if (block == nullptr) throw std::bad_alloc();
    return block;
  }
  static void Free(void* block) { std::free(block); }
};

}  // namespace internal
}  // namespace KoraConfigStore

#endif  // CSSUPPORT_JSON_THROWING_ALLOCATOR_H_
