// The ConfigStore error-code catalogue.
//
// Every code has one fixed printf-style message text. Placeholders fix the
// arguments whoever formats the text must pass: %s a NUL-terminated string,
// %d an int. The catalogue itself never formats.
#ifndef CSSUPPORT_ERRORS_ERROR_CODES_H_
#define CSSUPPORT_ERRORS_ERROR_CODES_H_

#include <cstdint>

#include "cssupport/export.h"

namespace KoraConfigStore {

// Codes run from 1001 to 1105 in four blocks; 1019-1029, 1063-1079 and
// 1093-1099 are not codes. Exceptions carry a code as an int.
enum CSErrorCodes : std::int32_t {

  // Database.
  CS_ERR_DB_OPEN = 1001,
  CS_ERR_DB_CONNECT = 1002,
  CS_ERR_DB_DISCONNECT = 1003,
  CS_ERR_DB_READ = 1004,
  CS_ERR_DB_WRITE = 1005,
  CS_ERR_DB_UPDATE = 1006,
  CS_ERR_DB_DELETE = 1007,
  CS_ERR_DB_PREPARE = 1008,
  CS_ERR_DB_STEP = 1009,
  CS_ERR_DB_INTEGRITY_CHECK = 1010,
  CS_ERR_DB_TXN_START = 1011,
  CS_ERR_DB_TXN_COMMIT = 1012,
  CS_ERR_DB_TXN_ROLLBACK = 1013,
  CS_ERR_DB_TXN_CANCEL = 1014,
  CS_ERR_DB_CREATE_TABLE = 1015,
  CS_ERR_DB_CREATE_TRIGGER = 1016,
  CS_ERR_DB_BIND = 1017,
  CS_ERR_DB_INVALID_TYPE = 1018,

  // Keys, values, configuration/schema/filter objects, API operations.
  CS_ERR_INVALID_TYPE = 1030,
  CS_ERR_KEY_NOT_FOUND = 1031,
  CS_ERR_INVALID_VALUE = 1032,
  CS_ERR_GET_VALUE = 1033,
  CS_ERR_SET_VALUE = 1034,
  CS_ERR_ENCODE_VALUE = 1035,
  CS_ERR_CONFIG_NOT_FOUND = 1036,
  CS_ERR_SCHEMA_NOT_FOUND = 1037,
  CS_ERR_FILTER_SPEC_NOT_FOUND = 1038,
  CS_ERR_SUBOBJECT_FILTER_NOT_FOUND = 1039,
  CS_ERR_CONFIG_EMPTY = 1040,
  CS_ERR_OBJECT_NULL = 1041,
  CS_ERR_CONFIG_EXISTS = 1042,
  CS_ERR_FILTER_SPEC_EXISTS = 1043,
  CS_ERR_NON_SINGLETON_FILTER_UNSUPPORTED = 1044,
  CS_ERR_NOT_SINGLETON = 1045,
  CS_ERR_NOT_NON_SINGLETON = 1046,
  CS_ERR_NON_SINGLETON_API_ON_SINGLETON = 1047,
  CS_ERR_INSTANCE_ID_MISSING = 1048,
  CS_ERR_INSTANCE_ID_ON_SINGLETON = 1049,
  CS_ERR_EXTERNAL_CONTEXT_DURING_BOOT = 1050,
  CS_ERR_SET_FAILED = 1051,
  CS_ERR_GET_FAILED = 1052,
  CS_ERR_UPDATE_FAILED = 1053,
  CS_ERR_DELETE_FAILED = 1054,
  CS_ERR_IMPORT_FAILED = 1055,
  CS_ERR_EXPORT_FAILED = 1056,
  CS_ERR_UPGRADE_FAILED = 1057,
  CS_ERR_SET_DESIRED_FAILED = 1058,
  CS_ERR_SET_BOOT_STATUS_FAILED = 1059,
  CS_ERR_SET_PARTIAL_BOOT_STATUS_FAILED = 1060,
  CS_ERR_OBJECT_LIST_EMPTY = 1061,
  CS_ERR_OBJECT_LIST_MIXED_SCHEMA = 1062,

  // JSON parsing and validation.
  CS_ERR_JSON_PARSE_STRING = 1080,
  CS_ERR_JSON_PARSE_FILE = 1081,
  CS_ERR_INVALID_JSON = 1082,
  CS_ERR_VALIDATION = 1083,
  CS_ERR_VALIDATE_CACHED_CONFIG = 1084,
  CS_ERR_VALIDATE_DEFAULT_CONFIG = 1085,
  CS_ERR_VALIDATE_VITAL_CONFIG = 1086,
  CS_ERR_VALIDATE_USER_CONFIG = 1087,
  CS_ERR_VALIDATE_PARTIAL_CONFIG = 1088,
  CS_ERR_VALIDATE_SET = 1089,
  CS_ERR_VALIDATE_UPDATE = 1090,
  CS_ERR_VALIDATE_APPLY_JSON_FILE = 1091,
  CS_ERR_VALIDATE_AUTO_CONFIG = 1092,

  // Arguments, memory, child processes, internal errors.
  CS_ERR_INVALID_ARGUMENT = 1100,
  CS_ERR_OUT_OF_MEMORY = 1101,
  CS_ERR_FORK_EXEC = 1102,
  CS_ERR_CHILD_WAIT = 1103,
  CS_ERR_CHILD_EXIT = 1104,
  CS_ERR_INTERNAL = 1105,
};

// Returns the message text filed under `code`, or "unknown message" for any
// value the catalogue does not hold. Never returns null and never formats.
// The same code always yields the same pointer; texts live as long as the
// library is loaded.
//
// The catalogue is built on the first call, in storage of its own, so that no
// call allocates or throws; afterwards a call is one hash probe with no lock.
// Thread-safe, including the first call.
CSSUPPORT_EXPORT const char* ErrorMessageForId(CSErrorCodes code);

}  // namespace KoraConfigStore

#endif  // CSSUPPORT_ERRORS_ERROR_CODES_H_
