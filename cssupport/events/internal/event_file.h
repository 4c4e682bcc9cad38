// Internal to the library: not installed, not exported. Tools built with the
// library may read the constants.
#ifndef CSSUPPORT_EVENTS_INTERNAL_EVENT_FILE_H_
#define CSSUPPORT_EVENTS_INTERNAL_EVENT_FILE_H_

#include <chrono>
#include <cstdarg>
#include <string>
#include <unordered_map>

namespace KoraConfigStore {

// The event catalogue: identifier -> message template. Built at load time,
// before the logger's severity map, and constant afterwards.
extern const std::unordered_map<std::string, std::string> jotMsgMap;

namespace internal {

// Where DumpJot keeps its records; the one definition of the fixed path.
inline constexpr char kEventRecordFilePath[] =
    "/var/run/tessel/files/loadStoreErrors.json";

// DumpJot on the file at `path`, with its outcomes, reports and locking;
// `args` holds `argCount` const char* and is read only when argCount > 0.
void DumpJotAt(const std::string& path, const std::string& jotId, int argCount,
               va_list args);

// Sets how long DumpJot waits for the directory lock (kLockWait, 5 s, until
// set); for tests. Any thread may call; calls already waiting keep theirs.
void SetLockWait(std::chrono::milliseconds wait);

// Lets DumpJot append in place to a file it wrote last (true, the default)
// or makes every call read, merge and rewrite the whole file (false); for
// tests, which compare the two. Any thread may call.
void SetFastAppend(bool enabled);

}  // namespace internal
}  // namespace KoraConfigStore

#endif  // CSSUPPORT_EVENTS_INTERNAL_EVENT_FILE_H_
