/// \file
/// \brief Load-store event records.
///
/// DumpJot appends one record {"jotId", "jotMsg", "jotArgs"} to the "jots"
/// array of the JSON event record file
/// "/var/run/tessel/files/loadStoreErrors.json", reading, merging and
/// rewriting the whole file (compact JSON, no trailing newline).
#ifndef CSSUPPORT_EVENTS_DUMP_JOT_H_
#define CSSUPPORT_EVENTS_DUMP_JOT_H_

#include <string>

#include "cssupport/export.h"

namespace KoraConfigStore {

/// \brief Records event `jotId` with `argCount` message arguments, each a
/// NUL-terminated const char* (argCount <= 0: none, and none is read).
///
/// An argument that is not well-formed UTF-8 is stored with each ill-formed
/// sequence replaced by U+FFFD, so that the file stays valid UTF-8;
/// well-formed text is stored unchanged.
///
/// A record that another call already stored is never erased. Overlapping
/// calls, from threads of one process or from several processes, are
/// serialised: threads of a process take turns, and each call holds an
/// exclusive flock(2) on the file's directory (which creates nothing) for its
/// read-merge-rewrite. A call waits at most 5 s for another holder of that
/// lock. A call that does not get it (the wait ran out; the directory is
/// missing or cannot be opened; flock(2) fails, e.g. ENOLCK) reads and
/// writes nothing and writes the record it could not store, as compact JSON,
/// to the system log instead (below). A process that waits for the lock says
/// so, and the holder's process lets it have the lock before taking it again;
/// a lone caller never pauses. Threads of one process wait for their turn
/// behind the calls of the process ahead of them, each of which waits no
/// longer. Any thread may call. A fork() waits for no call in progress (at
/// most for an open(2) or close(2) of the directory), and the child starts
/// with no lock of the parent's calls held.
///
/// File problems are reported to syslog(3) at LOG_ERR, one line each, and
/// the call returns normally:
/// - "Failed parsing Config Store JOT json file.":
///   the file exists but is not one JSON value (the file is left alone; the
///   identifier is then not checked);
/// - "Failed opening Load Store workflow error file.":
///   the file cannot be written: no directory, no permission, or the path is
///   not a regular file of one link (a symbolic link, which is never followed,
///   a second name of a file, a directory, FIFO or device, which are never
///   read either), or reading it failed other than as absent (ENOENT) or
///   refused (EACCES), e.g. at the descriptor limit. Nothing is changed.
///   Without a directory, the next line follows;
/// - "Load Store workflow error record not stored: <record>":
///   after the line above, when the directory is missing;
/// - "Load Store workflow error file lock not taken within 5 s; record not
///   stored: <record>":
///   another holder kept the directory lock for the whole wait;
/// - "Load Store workflow error file lock cannot be taken (<reason>); record
///   not stored: <record>":
///   the directory cannot be opened (other than absent) or flock(2) fails,
///   e.g. at the descriptor limit or ENOLCK;
/// - "Failed writing Load Store workflow error file (<reason>); previous
///   content restored." (or "not restored", when the old content could not be
///   written back): the rewrite came up short, e.g. on a full file system.
///   The record is lost; the previous content is written back over the
///   blocks that held it.
///
/// "<record>" is {"jotId":...,"jotMsg":...,"jotArgs":[...]} on one line. An
/// absent or unreadable (EACCES) file is written anew; its directory never
/// is created. A file that does not exist yet is created whole or not at all:
/// written unnamed in its directory and named once complete (where the file
/// system has no unnamed files, it is created by name and removed again when
/// the write fails). An existing file is opened without blocking and
/// rewritten in place, over its own content, with no temporary file and no
/// sync.
///
/// Cost: the whole file is read, parsed and rewritten on every call, in time
/// and memory linear in its size and in constant stack space whatever its
/// nesting depth.
///
/// A call that throws leaves the file byte for byte as it was and holds no
/// lock.
/// \throws std::out_of_range for an identifier outside the event catalogue.
/// \throws KoraConfigStore::ConfigStoreException (1082) when the file's root
///     is neither null nor an object ("IsObject()") or its "jots" is not an
///     array ("IsArray()").
/// \throws std::bad_alloc when memory runs out (the document, its parse stack
///     and the output buffer allocate through an allocator that throws).
CSSUPPORT_EXPORT void DumpJot(const std::string& jotId, int argCount, ...);

}  // namespace KoraConfigStore

#endif  // CSSUPPORT_EVENTS_DUMP_JOT_H_
