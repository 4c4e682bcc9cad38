/// \file
/// \brief Generated instance identifiers in configuration documents.
#ifndef CSSUPPORT_CONFIG_GENERATED_ID_H_
#define CSSUPPORT_CONFIG_GENERATED_ID_H_

#include "cssupport/errors/json.h"
#include "cssupport/export.h"

namespace KoraConfigStore {

/// \brief The allocator of the configuration documents that
/// PopulateGeneratedInstanceId fills: RapidJSON's default memory pool, named
/// in full so that the signatures do not follow a build's RapidJSON defaults.
using ConfigJsonAllocator =
    rapidjson::MemoryPoolAllocator<rapidjson::CrtAllocator>;

/// \brief A JSON value of those documents (rapidjson::Value by default).
using ConfigJsonValue =
    rapidjson::GenericValue<rapidjson::UTF8<char>, ConfigJsonAllocator>;

/// \brief A whole configuration document (rapidjson::Document by default).
using ConfigJsonDocument =
    rapidjson::GenericDocument<rapidjson::UTF8<char>, ConfigJsonAllocator,
                               rapidjson::CrtAllocator>;

/// \brief Gives every object of `config` that `schema` marks a generated
/// identifier, where it has none.
///
/// A schema marks an object as carrying a generated identifier by listing
/// "cs_generated_id" among its "properties". The walk goes through `config`
/// with `schema` (pre-order; objects matched against "properties", arrays
/// against "items"; members the schema does not list are never visited) and
/// appends "cs_generated_id": "<new id>" to every marked object that has no
/// member of that name yet, whatever that member's value. A second walk over
/// the same value adds nothing.
///
/// Identifiers come from the host's UUID_CreateRandom, one call per object
/// that gains one. Schema nodes consulted as objects that are not objects
/// (null, booleans, numbers, strings, arrays) count as objects without
/// members. The walk never triggers RapidJSON's assertion hook and logs
/// nothing. Its call stack stays the same at any nesting depth: the walk keeps
/// its own stack on the heap, 56 bytes per level. `allocator` must be the one
/// that owns `config` and receives the copied names and identifiers; when its
/// CrtAllocator runs out, RapidJSON 1.1 writes through the null it returns, a
/// crash this walk cannot turn into an exception (a pool given a large enough
/// buffer of its own never asks).
///
/// The schema is only read and may be shared by concurrent walks; `config`
/// and its allocator belong to the calling thread for the duration of the
/// call.
/// \throws std::bad_alloc when the walk's own memory runs out or the host
///     returns no identifier (that object then gains nothing; identifiers
///     added before stay).
CSSUPPORT_EXPORT void PopulateGeneratedInstanceId(
    const ConfigJsonValue& schema, ConfigJsonValue& config,
    ConfigJsonAllocator& allocator);

/// \brief As the overload that takes an allocator, walking the whole document
/// `config` with its own allocator.
/// \throws std::bad_alloc as that overload does.
CSSUPPORT_EXPORT void PopulateGeneratedInstanceId(const ConfigJsonValue& schema,
                                                  ConfigJsonDocument& config);

}  // namespace KoraConfigStore

#endif  // CSSUPPORT_CONFIG_GENERATED_ID_H_
