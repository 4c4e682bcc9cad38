/// \file
/// \brief The CSLogger namespace: severities, set-up, emission and each
/// thread's logging context.
#ifndef CSSUPPORT_LOGGING_CS_LOGGER_H_
#define CSSUPPORT_LOGGING_CS_LOGGER_H_

#include <map>
#include <string>

#include "cssupport/errors/error_codes.h"
#include "cssupport/export.h"

// Checks callers' formats against their arguments (-Wformat) on the
// declarations below; undefined again at the end of this header.
#if defined(__GNUC__)
#define CSSUPPORT_PRINTF(fmt, first) __attribute__((format(printf, fmt, first)))
#else
#define CSSUPPORT_PRINTF(fmt, first)
#endif

/// \brief The logging facade over the host's logging service.
///
/// Set-up (LogInit, AddFileLogger, RemoveFileLogger, LogExit) passes each call
/// on to the host as it comes; the library keeps no record of what was set up
/// and checks no order. Emission (Log, DBLog, LogErrCode, LogBacktrace) turns
/// one call into exactly one host LogV call whose format is
/// ~~~
///   <severity> [ConfigStore:<thread-hex>< key=value>...] <tag><format>\n
/// ~~~
/// and whose arguments are the caller's, unexpanded. Context keys and values
/// and DBLog's database name are copied with every `%` doubled, so they always
/// come through literally, and without their NUL bytes, which would end the
/// format there; the caller's format is passed on unchanged.
namespace CSLogger {

/// The five severities, each with its printed name and host level.
enum log_priority : int {
  /// Printed "error"; host level 2.
  CS_LOG_ERROR = 0,
  /// Printed "warn"; host level 3.
  CS_LOG_WARN = 1,
  /// Printed "info"; host level 5.
  CS_LOG_INFO = 2,
  /// Printed "debug"; host level 6.
  CS_LOG_DEBUG = 3,
  /// Printed "trivia"; host level 7.
  CS_LOG_TRIVIA = 4,
};

/// Directs all output to the system log (empty name, identity "ConfigStore")
/// or to the appending file `/var/log/<name>.log` on the hypervisor host and
/// `/tmp/<name>.log` elsewhere. Registers the product identity with the host.
/// Checks no host result. Call once at process start, before other threads
/// log.
CSSUPPORT_EXPORT void LogInit(const std::string& name);

/// Adds a file output like LogInit's that keeps only error and warn lines.
/// Returns the host's output handle, or null for an empty name (no host call
/// at all) or when the host made no output. When the host fails to install the
/// output, writes "Failed adding log file." to syslog(3) at LOG_WARNING and
/// still returns the handle. The host owns the output; pass the handle only to
/// RemoveFileLogger.
CSSUPPORT_EXPORT void* AddFileLogger(const std::string& name);

/// Removes an output made by AddFileLogger. Null is ignored.
CSSUPPORT_EXPORT void RemoveFileLogger(void* output);

/// Ends the host logging service and preferences, whether or not LogInit ran.
CSSUPPORT_EXPORT void LogExit();

/// Emits one line. Any thread may call at any time: a line reads only the
/// calling thread's own state (its context, its identifier) and the library's
/// read-only tables, and writes nothing that another thread reads or writes
/// (no lock, counter or shared buffer), so threads logging at once each pay
/// the same per-line cost as one thread alone; their lines meet only in the
/// host's LogV. A composed format of up to about 1 KiB allocates nothing;
/// a longer one allocates one buffer.
/// \throws std::out_of_range for a priority outside the five, logging nothing.
/// \throws std::bad_alloc when a longer format's buffer cannot be allocated.
CSSUPPORT_EXPORT void Log(log_priority priority, const char* format, ...)
    CSSUPPORT_PRINTF(2, 3);

/// As Log, with `database` placed directly before the format.
CSSUPPORT_EXPORT void DBLog(const std::string& database, log_priority priority,
                            const char* format, ...) CSSUPPORT_PRINTF(3, 4);

/// As Log, with the tag "[<code>]" and the code's catalogue text as the
/// format ("unknown message" for a code outside the catalogue); the arguments
/// fill that text's placeholders.
CSSUPPORT_EXPORT void LogErrCode(log_priority priority,
                                 KoraConfigStore::CSErrorCodes code, ...);

/// Logs the calling thread's back-trace at CS_LOG_INFO as
/// "ConfigStoreException: <host back-trace text>". Never throws.
CSSUPPORT_EXPORT void LogBacktrace() noexcept;

/// The calling thread's logging context: entries written, in key order, into
/// every line the thread emits. Owned by the thread; read and written only by
/// it. Empty at the thread's first use, destroyed when the thread ends.
extern CSSUPPORT_EXPORT thread_local std::map<std::string, std::string>
    CurrentContext;

}  // namespace CSLogger

#undef CSSUPPORT_PRINTF

#endif  // CSSUPPORT_LOGGING_CS_LOGGER_H_
