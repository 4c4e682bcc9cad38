// Load-store event records.
//
// DumpJot appends one record {"jotId", "jotMsg", "jotArgs"} to the "jots"
// array of the JSON event record file
// "/var/run/tessel/files/loadStoreErrors.json", reading, merging and
// rewriting the whole file (compact JSON, no trailing newline).
#ifndef CSSUPPORT_EVENTS_DUMP_JOT_H_
#define CSSUPPORT_EVENTS_DUMP_JOT_H_

#include <string>

#include "cssupport/export.h"

namespace KoraConfigStore {

// Records event `jotId` with `argCount` message arguments, each a
// NUL-terminated const char* (argCount <= 0: none, and none is read).
//
// File problems are reported to syslog(3) at LOG_ERR and the call returns
// normally: "Failed parsing Config Store JOT json file." when the file exists
// but is not one JSON value (the file is left alone; the identifier is then
// not checked), "Failed opening Load Store workflow error file." when it
// cannot be written. An absent file is created; its directory never is.
//
// Throws std::out_of_range for an identifier outside the event catalogue,
// and ConfigStoreException (1082) when the file's root is neither null nor an
// object ("IsObject()") or its "jots" is not an array ("IsArray()"). A call
// that throws leaves the file byte for byte as it was.
//
// Overlapping calls, from threads of one process or from several processes,
// are serialised (a mutex, and an exclusive flock(2) on the file's directory,
// which creates nothing), so no record is lost. Any thread may call; a fork()
// waits for a call of this process in progress to finish. Cost: the whole
// file is read, parsed and rewritten on every call, in time and memory
// linear in its size and in constant stack space whatever its nesting depth.
CSSUPPORT_EXPORT void DumpJot(const std::string& jotId, int argCount, ...);

}  // namespace KoraConfigStore

#endif  // CSSUPPORT_EVENTS_DUMP_JOT_H_
