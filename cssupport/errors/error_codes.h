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

/// ConfigStore's error codes and exceptions, load-store event records, the
/// generated-identifier walk and the upgrade context.
namespace KoraConfigStore {

/// \brief The catalogue's codes, each documented with its message text.
///
/// Codes run from 1001 to 1105 in four blocks; 1019-1029, 1063-1079 and
/// 1093-1099 are not codes. Exceptions carry a code as an int.
enum CSErrorCodes : std::int32_t {

  // Database.
  /// "Failed to open database %s"
  CS_ERR_DB_OPEN = 1001,
  /// "Failed to connect to database %s"
  CS_ERR_DB_CONNECT = 1002,
  /// "Failed to disconnect from database %s"
  CS_ERR_DB_DISCONNECT = 1003,
  /// "Failed to read"
  CS_ERR_DB_READ = 1004,
  /// "Failed to write"
  CS_ERR_DB_WRITE = 1005,
  /// "Failed to update"
  CS_ERR_DB_UPDATE = 1006,
  /// "Failed to delete from database"
  CS_ERR_DB_DELETE = 1007,
  /// "Failed to execute prepare call"
  CS_ERR_DB_PREPARE = 1008,
  /// "Failed to execute step call"
  CS_ERR_DB_STEP = 1009,
  /// "Failed integrity check on the database"
  CS_ERR_DB_INTEGRITY_CHECK = 1010,
  /// "Failed to start transaction"
  CS_ERR_DB_TXN_START = 1011,
  /// "Failed to commit transaction"
  CS_ERR_DB_TXN_COMMIT = 1012,
  /// "Failed to rollback transaction"
  CS_ERR_DB_TXN_ROLLBACK = 1013,
  /// "Failed to cancel transaction"
  CS_ERR_DB_TXN_CANCEL = 1014,
  /// "Failed to create table"
  CS_ERR_DB_CREATE_TABLE = 1015,
  /// "Failed to create trigger"
  CS_ERR_DB_CREATE_TRIGGER = 1016,
  /// "Failed to bind"
  CS_ERR_DB_BIND = 1017,
  /// "Invalid database type"
  CS_ERR_DB_INVALID_TYPE = 1018,

  // Keys, values, configuration/schema/filter objects, API operations.
  /// "Invalid type, %s"
  CS_ERR_INVALID_TYPE = 1030,
  /// "Key not found"
  CS_ERR_KEY_NOT_FOUND = 1031,
  /// "Invalid value for key %s"
  CS_ERR_INVALID_VALUE = 1032,
  /// "Failed to get value for key %s"
  CS_ERR_GET_VALUE = 1033,
  /// "Failed to set value for key %s"
  CS_ERR_SET_VALUE = 1034,
  /// "Failed to encode/decode value for key %s"
  CS_ERR_ENCODE_VALUE = 1035,
  /// "Configuration object not found: %s"
  CS_ERR_CONFIG_NOT_FOUND = 1036,
  /// "Schema object not found: %s"
  CS_ERR_SCHEMA_NOT_FOUND = 1037,
  /// "FilterSpec object not found: %s"
  CS_ERR_FILTER_SPEC_NOT_FOUND = 1038,
  /// "Failed to find subobject filter: %s"
  CS_ERR_SUBOBJECT_FILTER_NOT_FOUND = 1039,
  /// "Configuration object is empty"
  CS_ERR_CONFIG_EMPTY = 1040,
  /// "%s: Object is null"
  CS_ERR_OBJECT_NULL = 1041,
  /// "Configuration object already exists: %s"
  CS_ERR_CONFIG_EXISTS = 1042,
  /// "FilterSpec object already exists: %s"
  CS_ERR_FILTER_SPEC_EXISTS = 1043,
  /// "Non-Singleton SubObject filtering is not supported"
  CS_ERR_NON_SINGLETON_FILTER_UNSUPPORTED = 1044,
  /// "Not a Singleton object: %s"
  CS_ERR_NOT_SINGLETON = 1045,
  /// "Not a Non-Singleton object: %s"
  CS_ERR_NOT_NON_SINGLETON = 1046,
  /// "Non-Singleton API called for singleton object: %s"
  CS_ERR_NON_SINGLETON_API_ON_SINGLETON = 1047,
  /// "Non-Singleton object should contain instanceId: %s"
  CS_ERR_INSTANCE_ID_MISSING = 1048,
  /// "Singleton object cannot contain instanceId: %s"
  CS_ERR_INSTANCE_ID_ON_SINGLETON = 1049,
  /// "API cannot be invoked with EXTERNAL context during boot"
  CS_ERR_EXTERNAL_CONTEXT_DURING_BOOT = 1050,
  /// "Set operation failed: %s"
  CS_ERR_SET_FAILED = 1051,
  /// "Get operation failed: %s"
  CS_ERR_GET_FAILED = 1052,
  /// "Update operation failed: %s"
  CS_ERR_UPDATE_FAILED = 1053,
  /// "Delete operation failed: %s"
  CS_ERR_DELETE_FAILED = 1054,
  /// "Import operation failed"
  CS_ERR_IMPORT_FAILED = 1055,
  /// "Export operation failed"
  CS_ERR_EXPORT_FAILED = 1056,
  /// "Upgrade operation failed"
  CS_ERR_UPGRADE_FAILED = 1057,
  /// "Set Desired operation failed"
  CS_ERR_SET_DESIRED_FAILED = 1058,
  /// "Set Boot Status operation failed"
  CS_ERR_SET_BOOT_STATUS_FAILED = 1059,
  /// "Set Partial Boot Status operation failed"
  CS_ERR_SET_PARTIAL_BOOT_STATUS_FAILED = 1060,
  /// "ConfigStoreObject list is empty"
  CS_ERR_OBJECT_LIST_EMPTY = 1061,
  /// "All ConfigStoreObjects are not for the same schema."
  CS_ERR_OBJECT_LIST_MIXED_SCHEMA = 1062,

  // JSON parsing and validation.
  /// "Failed to parse JSON String"
  CS_ERR_JSON_PARSE_STRING = 1080,
  /// "Failed to parse JSON file %s"
  CS_ERR_JSON_PARSE_FILE = 1081,
  /// "Invalid JSON"
  CS_ERR_INVALID_JSON = 1082,
  /// "Validation Error: '%s' %s"
  CS_ERR_VALIDATION = 1083,
  /// "Failed to validate Cached config"
  CS_ERR_VALIDATE_CACHED_CONFIG = 1084,
  /// "Failed to validate Default config"
  CS_ERR_VALIDATE_DEFAULT_CONFIG = 1085,
  /// "Failed to validate Vital config"
  CS_ERR_VALIDATE_VITAL_CONFIG = 1086,
  /// "Failed to validate User config"
  CS_ERR_VALIDATE_USER_CONFIG = 1087,
  /// "Failed to validate Partial config"
  CS_ERR_VALIDATE_PARTIAL_CONFIG = 1088,
  /// "Failed to validate Set"
  CS_ERR_VALIDATE_SET = 1089,
  /// "Failed to validate Update"
  CS_ERR_VALIDATE_UPDATE = 1090,
  /// "Failed to validate Apply JSON file"
  CS_ERR_VALIDATE_APPLY_JSON_FILE = 1091,
  /// "Failed to validate Auto config"
  CS_ERR_VALIDATE_AUTO_CONFIG = 1092,

  // Arguments, memory, child processes, internal errors.
  /// "Invalid Argument"
  CS_ERR_INVALID_ARGUMENT = 1100,
  /// "Failed to reserve memory"
  CS_ERR_OUT_OF_MEMORY = 1101,
  /// "Kernix_ForkExec failed, errno: %s"
  CS_ERR_FORK_EXEC = 1102,
  /// "Failed to wait for child process: %d, errno: %s"
  CS_ERR_CHILD_WAIT = 1103,
  /// "Child process terminated with exit value: %d"
  CS_ERR_CHILD_EXIT = 1104,
  /// "ConfigStore internal error"
  CS_ERR_INTERNAL = 1105,
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

#endif  // CSSUPPORT_ERRORS_ERROR_CODES_H_
