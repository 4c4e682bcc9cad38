/// \file
/// \brief The ConfigStore error-code catalogue.
///
/// Every code has one fixed printf-style message text. Placeholders fix the
/// arguments whoever formats the text must pass: "%s" a NUL-terminated string,
/// "%d" an int. The catalogue itself never formats.
#ifndef CSSUPPORT_ERRORS_ERROR_CODES_H_
#define CSSUPPORT_ERRORS_ERROR_CODES_H_

#include <cstdint>

#include "cssupport/export.h"

/// \brief The error catalogue: every code with its name and message text.
///
/// `CSSUPPORT_ERROR_CATALOGUE(X)` applies `X(name, code, text)` to each entry,
/// in ascending code order: the CSErrorCodes enumerator's name, its value (an
/// int literal) and its printf-style message text (a string literal). Each code
/// and each name appears once; a value between two entries is not a code. This
/// is the only place an entry is written: the enumeration, ErrorMessageForId
/// and `cstool messages` are built from it, and code that lists or sweeps the
/// codes iterates it rather than assuming their range.
#define CSSUPPORT_ERROR_CATALOGUE(X)                                           \
  /* Database. */                                                              \
  X(CS_ERR_DB_OPEN, 1001, "Failed to open database %s")                        \
  X(CS_ERR_DB_CONNECT, 1002, "Failed to connect to database %s")               \
  X(CS_ERR_DB_DISCONNECT, 1003, "Failed to disconnect from database %s")       \
  X(CS_ERR_DB_READ, 1004, "Failed to read")                                    \
  X(CS_ERR_DB_WRITE, 1005, "Failed to write")                                  \
  X(CS_ERR_DB_UPDATE, 1006, "Failed to update")                                \
  X(CS_ERR_DB_DELETE, 1007, "Failed to delete from database")                  \
  X(CS_ERR_DB_PREPARE, 1008, "Failed to execute prepare call")                 \
  X(CS_ERR_DB_STEP, 1009, "Failed to execute step call")                       \
  X(CS_ERR_DB_INTEGRITY_CHECK, 1010, "Failed integrity check on the database") \
  X(CS_ERR_DB_TXN_START, 1011, "Failed to start transaction")                  \
  X(CS_ERR_DB_TXN_COMMIT, 1012, "Failed to commit transaction")                \
  X(CS_ERR_DB_TXN_ROLLBACK, 1013, "Failed to rollback transaction")            \
  X(CS_ERR_DB_TXN_CANCEL, 1014, "Failed to cancel transaction")                \
  X(CS_ERR_DB_CREATE_TABLE, 1015, "Failed to create table")                    \
  X(CS_ERR_DB_CREATE_TRIGGER, 1016, "Failed to create trigger")                \
  X(CS_ERR_DB_BIND, 1017, "Failed to bind")                                    \
  X(CS_ERR_DB_INVALID_TYPE, 1018, "Invalid database type")                     \
                                                                               \
  /* Keys, values, configuration/schema/filter objects, API operations. */     \
  X(CS_ERR_INVALID_TYPE, 1030, "Invalid type, %s")                             \
  X(CS_ERR_KEY_NOT_FOUND, 1031, "Key not found")                               \
  X(CS_ERR_INVALID_VALUE, 1032, "Invalid value for key %s")                    \
  X(CS_ERR_GET_VALUE, 1033, "Failed to get value for key %s")                  \
  X(CS_ERR_SET_VALUE, 1034, "Failed to set value for key %s")                  \
  X(CS_ERR_ENCODE_VALUE, 1035, "Failed to encode/decode value for key %s")     \
  X(CS_ERR_CONFIG_NOT_FOUND, 1036, "Configuration object not found: %s")       \
  X(CS_ERR_SCHEMA_NOT_FOUND, 1037, "Schema object not found: %s")              \
  X(CS_ERR_FILTER_SPEC_NOT_FOUND, 1038, "FilterSpec object not found: %s")     \
  X(CS_ERR_SUBOBJECT_FILTER_NOT_FOUND, 1039,                                   \
    "Failed to find subobject filter: %s")                                     \
  X(CS_ERR_CONFIG_EMPTY, 1040, "Configuration object is empty")                \
  X(CS_ERR_OBJECT_NULL, 1041, "%s: Object is null")                            \
  X(CS_ERR_CONFIG_EXISTS, 1042, "Configuration object already exists: %s")     \
  X(CS_ERR_FILTER_SPEC_EXISTS, 1043, "FilterSpec object already exists: %s")   \
  X(CS_ERR_NON_SINGLETON_FILTER_UNSUPPORTED, 1044,                             \
    "Non-Singleton SubObject filtering is not supported")                      \
  X(CS_ERR_NOT_SINGLETON, 1045, "Not a Singleton object: %s")                  \
  X(CS_ERR_NOT_NON_SINGLETON, 1046, "Not a Non-Singleton object: %s")          \
  X(CS_ERR_NON_SINGLETON_API_ON_SINGLETON, 1047,                               \
    "Non-Singleton API called for singleton object: %s")                       \
  X(CS_ERR_INSTANCE_ID_MISSING, 1048,                                          \
    "Non-Singleton object should contain instanceId: %s")                      \
  X(CS_ERR_INSTANCE_ID_ON_SINGLETON, 1049,                                     \
    "Singleton object cannot contain instanceId: %s")                          \
  X(CS_ERR_EXTERNAL_CONTEXT_DURING_BOOT, 1050,                                 \
    "API cannot be invoked with EXTERNAL context during boot")                 \
  X(CS_ERR_SET_FAILED, 1051, "Set operation failed: %s")                       \
  X(CS_ERR_GET_FAILED, 1052, "Get operation failed: %s")                       \
  X(CS_ERR_UPDATE_FAILED, 1053, "Update operation failed: %s")                 \
  X(CS_ERR_DELETE_FAILED, 1054, "Delete operation failed: %s")                 \
  X(CS_ERR_IMPORT_FAILED, 1055, "Import operation failed")                     \
  X(CS_ERR_EXPORT_FAILED, 1056, "Export operation failed")                     \
  X(CS_ERR_UPGRADE_FAILED, 1057, "Upgrade operation failed")                   \
  X(CS_ERR_SET_DESIRED_FAILED, 1058, "Set Desired operation failed")           \
  X(CS_ERR_SET_BOOT_STATUS_FAILED, 1059, "Set Boot Status operation failed")   \
  X(CS_ERR_SET_PARTIAL_BOOT_STATUS_FAILED, 1060,                               \
    "Set Partial Boot Status operation failed")                                \
  X(CS_ERR_OBJECT_LIST_EMPTY, 1061, "ConfigStoreObject list is empty")         \
  X(CS_ERR_OBJECT_LIST_MIXED_SCHEMA, 1062,                                     \
    "All ConfigStoreObjects are not for the same schema.")                     \
                                                                               \
  /* JSON parsing and validation. */                                           \
  X(CS_ERR_JSON_PARSE_STRING, 1080, "Failed to parse JSON String")             \
  X(CS_ERR_JSON_PARSE_FILE, 1081, "Failed to parse JSON file %s")              \
  X(CS_ERR_INVALID_JSON, 1082, "Invalid JSON")                                 \
  X(CS_ERR_VALIDATION, 1083, "Validation Error: '%s' %s")                      \
  X(CS_ERR_VALIDATE_CACHED_CONFIG, 1084, "Failed to validate Cached config")   \
  X(CS_ERR_VALIDATE_DEFAULT_CONFIG, 1085, "Failed to validate Default config") \
  X(CS_ERR_VALIDATE_VITAL_CONFIG, 1086, "Failed to validate Vital config")     \
  X(CS_ERR_VALIDATE_USER_CONFIG, 1087, "Failed to validate User config")       \
  X(CS_ERR_VALIDATE_PARTIAL_CONFIG, 1088, "Failed to validate Partial config") \
  X(CS_ERR_VALIDATE_SET, 1089, "Failed to validate Set")                       \
  X(CS_ERR_VALIDATE_UPDATE, 1090, "Failed to validate Update")                 \
  X(CS_ERR_VALIDATE_APPLY_JSON_FILE, 1091,                                     \
    "Failed to validate Apply JSON file")                                      \
  X(CS_ERR_VALIDATE_AUTO_CONFIG, 1092, "Failed to validate Auto config")       \
                                                                               \
  /* Arguments, memory, child processes, internal errors. */                   \
  X(CS_ERR_INVALID_ARGUMENT, 1100, "Invalid Argument")                         \
  X(CS_ERR_OUT_OF_MEMORY, 1101, "Failed to reserve memory")                    \
  X(CS_ERR_FORK_EXEC, 1102, "Kernix_ForkExec failed, errno: %s")               \
  X(CS_ERR_CHILD_WAIT, 1103,                                                   \
    "Failed to wait for child process: %d, errno: %s")                         \
  X(CS_ERR_CHILD_EXIT, 1104, "Child process terminated with exit value: %d")   \
  X(CS_ERR_INTERNAL, 1105, "ConfigStore internal error")

/// ConfigStore's error codes and exceptions, load-store event records, the
/// generated-identifier walk and the upgrade context.
namespace KoraConfigStore {

#define CSSUPPORT_ERROR_ENUMERATOR_(name, code, text) name = code,

/// \brief The catalogue's codes: one enumerator for each entry of
/// CSSUPPORT_ERROR_CATALOGUE, named and valued as written there, where its
/// message text stands too (`cstool messages` lists them). Exceptions carry a
/// code as an int.
enum CSErrorCodes : std::int32_t {
  CSSUPPORT_ERROR_CATALOGUE(CSSUPPORT_ERROR_ENUMERATOR_)
};

/// Returns the message text filed under `code`, or "unknown message" for any
/// value the catalogue does not hold. Never returns null and never formats.
/// The same code always yields the same pointer; texts live as long as the
/// library is loaded.
///
/// The catalogue is built on the first call, in storage of its own, so that no
/// call allocates or throws; afterwards a call is one read of a table indexed
/// by the code, with no lock. Thread-safe, including the first call.
CSSUPPORT_EXPORT const char* ErrorMessageForId(CSErrorCodes code);

}  // namespace KoraConfigStore

#undef CSSUPPORT_ERROR_ENUMERATOR_

#endif  // CSSUPPORT_ERRORS_ERROR_CODES_H_
