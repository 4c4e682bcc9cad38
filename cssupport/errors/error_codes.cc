#include "cssupport/errors/error_codes.h"

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>

#include "cssupport/errors/internal/catalogue.h"

namespace KoraConfigStore {
namespace {

struct Entry {
  CSErrorCodes code;
  const char* text;
};

constexpr Entry kCatalogue[] = {
    // Database.
    {CS_ERR_DB_OPEN, "Failed to open database %s"},
    {CS_ERR_DB_CONNECT, "Failed to connect to database %s"},
    {CS_ERR_DB_DISCONNECT, "Failed to disconnect from database %s"},
    {CS_ERR_DB_READ, "Failed to read"},
    {CS_ERR_DB_WRITE, "Failed to write"},
    {CS_ERR_DB_UPDATE, "Failed to update"},
    {CS_ERR_DB_DELETE, "Failed to delete from database"},
    {CS_ERR_DB_PREPARE, "Failed to execute prepare call"},
    {CS_ERR_DB_STEP, "Failed to execute step call"},
    {CS_ERR_DB_INTEGRITY_CHECK, "Failed integrity check on the database"},
    {CS_ERR_DB_TXN_START, "Failed to start transaction"},
    {CS_ERR_DB_TXN_COMMIT, "Failed to commit transaction"},
    {CS_ERR_DB_TXN_ROLLBACK, "Failed to rollback transaction"},
    {CS_ERR_DB_TXN_CANCEL, "Failed to cancel transaction"},
    {CS_ERR_DB_CREATE_TABLE, "Failed to create table"},
    {CS_ERR_DB_CREATE_TRIGGER, "Failed to create trigger"},
    {CS_ERR_DB_BIND, "Failed to bind"},
    {CS_ERR_DB_INVALID_TYPE, "Invalid database type"},

    // Keys, values, configuration/schema/filter objects, API operations.
    {CS_ERR_INVALID_TYPE, "Invalid type, %s"},
    {CS_ERR_KEY_NOT_FOUND, "Key not found"},
    {CS_ERR_INVALID_VALUE, "Invalid value for key %s"},
    {CS_ERR_GET_VALUE, "Failed to get value for key %s"},
    {CS_ERR_SET_VALUE, "Failed to set value for key %s"},
    {CS_ERR_ENCODE_VALUE, "Failed to encode/decode value for key %s"},
    {CS_ERR_CONFIG_NOT_FOUND, "Configuration object not found: %s"},
    {CS_ERR_SCHEMA_NOT_FOUND, "Schema object not found: %s"},
    {CS_ERR_FILTER_SPEC_NOT_FOUND, "FilterSpec object not found: %s"},
    {CS_ERR_SUBOBJECT_FILTER_NOT_FOUND, "Failed to find subobject filter: %s"},
    {CS_ERR_CONFIG_EMPTY, "Configuration object is empty"},
    {CS_ERR_OBJECT_NULL, "%s: Object is null"},
    {CS_ERR_CONFIG_EXISTS, "Configuration object already exists: %s"},
    {CS_ERR_FILTER_SPEC_EXISTS, "FilterSpec object already exists: %s"},
    {CS_ERR_NON_SINGLETON_FILTER_UNSUPPORTED,
     "Non-Singleton SubObject filtering is not supported"},
    {CS_ERR_NOT_SINGLETON, "Not a Singleton object: %s"},
    {CS_ERR_NOT_NON_SINGLETON, "Not a Non-Singleton object: %s"},
    {CS_ERR_NON_SINGLETON_API_ON_SINGLETON,
     "Non-Singleton API called for singleton object: %s"},
    {CS_ERR_INSTANCE_ID_MISSING,
     "Non-Singleton object should contain instanceId: %s"},
    {CS_ERR_INSTANCE_ID_ON_SINGLETON,
     "Singleton object cannot contain instanceId: %s"},
    {CS_ERR_EXTERNAL_CONTEXT_DURING_BOOT,
     "API cannot be invoked with EXTERNAL context during boot"},
    {CS_ERR_SET_FAILED, "Set operation failed: %s"},
    {CS_ERR_GET_FAILED, "Get operation failed: %s"},
    {CS_ERR_UPDATE_FAILED, "Update operation failed: %s"},
    {CS_ERR_DELETE_FAILED, "Delete operation failed: %s"},
    {CS_ERR_IMPORT_FAILED, "Import operation failed"},
    {CS_ERR_EXPORT_FAILED, "Export operation failed"},
    {CS_ERR_UPGRADE_FAILED, "Upgrade operation failed"},
    {CS_ERR_SET_DESIRED_FAILED, "Set Desired operation failed"},
    {CS_ERR_SET_BOOT_STATUS_FAILED, "Set Boot Status operation failed"},
    {CS_ERR_SET_PARTIAL_BOOT_STATUS_FAILED,
     "Set Partial Boot Status operation failed"},
    {CS_ERR_OBJECT_LIST_EMPTY, "ConfigStoreObject list is empty"},
    {CS_ERR_OBJECT_LIST_MIXED_SCHEMA,
     "All ConfigStoreObjects are not for the same schema."},

    // JSON parsing and validation.
    {CS_ERR_JSON_PARSE_STRING, "Failed to parse JSON String"},
    {CS_ERR_JSON_PARSE_FILE, "Failed to parse JSON file %s"},
    {CS_ERR_INVALID_JSON, "Invalid JSON"},
    {CS_ERR_VALIDATION, "Validation Error: '%s' %s"},
    {CS_ERR_VALIDATE_CACHED_CONFIG, "Failed to validate Cached config"},
    {CS_ERR_VALIDATE_DEFAULT_CONFIG, "Failed to validate Default config"},
    {CS_ERR_VALIDATE_VITAL_CONFIG, "Failed to validate Vital config"},
    {CS_ERR_VALIDATE_USER_CONFIG, "Failed to validate User config"},
    {CS_ERR_VALIDATE_PARTIAL_CONFIG, "Failed to validate Partial config"},
    {CS_ERR_VALIDATE_SET, "Failed to validate Set"},
    {CS_ERR_VALIDATE_UPDATE, "Failed to validate Update"},
    {CS_ERR_VALIDATE_APPLY_JSON_FILE, "Failed to validate Apply JSON file"},
    {CS_ERR_VALIDATE_AUTO_CONFIG, "Failed to validate Auto config"},

    // Arguments, memory, child processes, internal errors.
    {CS_ERR_INVALID_ARGUMENT, "Invalid Argument"},
    {CS_ERR_OUT_OF_MEMORY, "Failed to reserve memory"},
    {CS_ERR_FORK_EXEC, "Kernix_ForkExec failed, errno: %s"},
    {CS_ERR_CHILD_WAIT, "Failed to wait for child process: %d, errno: %s"},
    {CS_ERR_CHILD_EXIT, "Child process terminated with exit value: %d"},
    {CS_ERR_INTERNAL, "ConfigStore internal error"},
};

using internal::CatalogueEntry;

constexpr std::int32_t kFirstCode = CS_ERR_DB_OPEN;
constexpr std::int32_t kLastCode = CS_ERR_INTERNAL;

// Every filed code lies in [kFirstCode, kLastCode] and is filed once, so
// that each has a slot of its own in Catalogue.
constexpr bool EveryCodeOnceInRange() {
  for (std::size_t i = 0; i < std::size(kCatalogue); ++i) {
    const std::int32_t code = kCatalogue[i].code;
    if (code < kFirstCode || code > kLastCode) return false;
    for (std::size_t j = 0; j < i; ++j)
      if (kCatalogue[j].code == code) return false;
  }
  return true;
}
static_assert(EveryCodeOnceInRange(),
              "each catalogue code once, within the catalogue's range");

// The entries in a table indexed by code - kFirstCode, held in the object;
// the slot of a code in the range that the catalogue does not file has no
// text. A lookup, of a filed code or not, reads at most one slot.
class Catalogue {
 public:
  // Out of line, so that a lookup's path stays short. Allocates nothing.
  [[gnu::noinline, gnu::cold]] Catalogue() {
    for (const Entry& entry : kCatalogue) Insert(entry);
  }

  const CatalogueEntry* Find(std::int32_t code) const {
    // Unsigned, so that a code below the range wraps to an index past its end.
    const std::uint32_t index = static_cast<std::uint32_t>(code) -
                                static_cast<std::uint32_t>(kFirstCode);
    if (index >= kSlots) return nullptr;
    const CatalogueEntry& entry = slots_[index];
    return entry.text != nullptr ? &entry : nullptr;
  }

 private:
  static constexpr std::size_t kSlots = kLastCode - kFirstCode + 1;

  void Insert(const Entry& from) {
    CatalogueEntry& entry = slots_[from.code - kFirstCode];
    entry.code = from.code;
    entry.text = from.text;
    entry.textSize = static_cast<std::uint16_t>(std::strlen(from.text));
    entry.tag[0] = '[';
    char* end = std::to_chars(entry.tag + 1, std::end(entry.tag) - 1,
                              static_cast<std::int32_t>(from.code))
                    .ptr;
    *end++ = ']';
    entry.tagSize = static_cast<std::uint8_t>(end - entry.tag);
  }

  CatalogueEntry slots_[kSlots] = {};
};

[[gnu::always_inline]] inline const CatalogueEntry* Find(CSErrorCodes code) {
  // A function-local static: built once, on first use, with the language's
  // synchronised initialisation.
  static const Catalogue catalogue;
  return catalogue.Find(code);
}

}  // namespace

namespace internal {

const CatalogueEntry* FindCatalogueEntry(CSErrorCodes code) noexcept {
  return Find(code);
}

}  // namespace internal

const char* ErrorMessageForId(CSErrorCodes code) {
  const CatalogueEntry* entry = Find(code);
  return entry == nullptr ? internal::kUnknownMessage : entry->text;
}

}  // namespace KoraConfigStore
