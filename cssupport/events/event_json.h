// Internal: the RapidJSON types that hold and write the event record file.
//
// RapidJSON 1.1's CrtAllocator returns null when the C heap is exhausted,
// and RapidJSON dereferences that null (parse stack, string copies, output
// buffer). Every allocation made through these types goes through
// ThrowingCrtAllocator instead, so exhaustion leaves a parse, an insertion or
// a write by std::bad_alloc, with the document, reader, writer and buffer
// still whole and destructible (nothing leaks).
//
// Header-only so that cstool reads the file with the same types.
#ifndef CSSUPPORT_EVENTS_EVENT_JSON_H_
#define CSSUPPORT_EVENTS_EVENT_JSON_H_

#include <cstddef>
#include <cstdlib>
#include <new>

#include "cssupport/errors/json.h"

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

// UTF-8 on RapidJSON's memory-pool allocator, with its default chunk size
// (64 KiB) and parse-stack size (1024 bytes); pool and stack draw on the
// C heap through ThrowingCrtAllocator.
using EventDocument = rapidjson::GenericDocument<
    rapidjson::UTF8<>, rapidjson::MemoryPoolAllocator<ThrowingCrtAllocator>,
    ThrowingCrtAllocator>;
using EventValue = EventDocument::ValueType;
using EventStringBuffer =
    rapidjson::GenericStringBuffer<rapidjson::UTF8<>, ThrowingCrtAllocator>;
// The compact writer with default flags; its level stack throws too.
using EventWriter = rapidjson::Writer<EventStringBuffer, rapidjson::UTF8<>,
                                      rapidjson::UTF8<>, ThrowingCrtAllocator>;

}  // namespace internal
}  // namespace KoraConfigStore

#endif  // CSSUPPORT_EVENTS_EVENT_JSON_H_
