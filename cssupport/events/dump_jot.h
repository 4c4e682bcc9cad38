/// \file
/// \brief Load-store event records.
///
/// DumpJot appends one record {"jotId", "jotMsg", "jotArgs"} to the "jots"
/// array of the JSON event record file
/// "/var/run/tessel/files/loadStoreErrors.json" (compact JSON, no trailing
/// newline). How it guards the file is described in doc/reliability.md.
#ifndef CSSUPPORT_EVENTS_DUMP_JOT_H_
#define CSSUPPORT_EVENTS_DUMP_JOT_H_

#include <string>

#include "cssupport/export.h"

namespace KoraConfigStore {

/// \brief Records event `jotId` with `argCount` message arguments, each a
/// NUL-terminated const char* (argCount <= 0: none, and none is read).
///
/// The file ends as a read-merge-rewrite of the whole file would leave it:
/// other members and records survive, in compact form; a root object without
/// "jots" takes no record; arguments that are not well-formed UTF-8 are
/// stored with U+FFFD for each ill-formed sequence. An absent file, or one
/// the caller may write but not read, is written anew; the directory is never
/// created. A record that another call already stored is never erased
/// (but for that of a file the caller may write and not read).
///
/// A record the call cannot store goes, as one line of compact JSON, to a
/// side file beside the file, and always to syslog(3) at LOG_ERR too (in
/// numbered parts when long): "<path>.unstored" when the directory lock is
/// not had within 5 s or the file cannot be opened or written, stored before
/// its own record by the next call that stores one; "<path>.held" when the
/// file does not parse, for `cstool repair`. Other problems are logged the
/// same way and the call returns normally.
///
/// Cost: constant in the file's size when the file is as this library last
/// wrote it; otherwise the file is read, parsed and rewritten, in time and
/// memory linear in its size and in constant stack space.
///
/// Any thread may call; calls of all threads and processes are serialised,
/// each waiting at most 5 s for the others, and none holds a lock while it
/// writes to the system log. A call that throws leaves the file and the side
/// files byte for byte as they were.
/// \throws std::out_of_range for an identifier outside the event catalogue
///     (not checked when the file does not parse).
/// \throws KoraConfigStore::ConfigStoreException (1082) when the file's root
///     is neither null nor an object ("IsObject()") or its "jots" is not an
///     array ("IsArray()").
/// \throws std::bad_alloc when memory runs out.
CSSUPPORT_EXPORT void DumpJot(const std::string& jotId, int argCount, ...);

}  // namespace KoraConfigStore

#endif  // CSSUPPORT_EVENTS_DUMP_JOT_H_
