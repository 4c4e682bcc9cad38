// Internal: the RapidJSON types that hold and write the event record file.
// Every allocation made through them goes through ThrowingCrtAllocator, so
// exhaustion is std::bad_alloc.
//
// Header-only so that cstool reads the file with the same types.
#ifndef CSSUPPORT_EVENTS_INTERNAL_EVENT_JSON_H_
#define CSSUPPORT_EVENTS_INTERNAL_EVENT_JSON_H_

#include "cssupport/errors/json.h"
#include "cssupport/json/throwing_allocator.h"

namespace KoraConfigStore {
namespace internal {

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

#endif  // CSSUPPORT_EVENTS_INTERNAL_EVENT_JSON_H_
