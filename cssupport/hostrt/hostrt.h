// The host runtime library as this library sees it.
//
// These are the C calls of the host's closed runtime (libtessellibs.so, with
// its companion libtvl.so) that cssupport uses, and nothing else of it. The
// library is linked against them by name; at run time the host's own library
// takes the place of the stand-in built from hostrt/standin/. No code of the
// library reaches the host by any other route.
//
// What the stand-in does with the values it is given (documented here because
// the host leaves it open and tests and operators depend on it):
//
//   Level numbers (LogV, minimum levels): 0..7, lower is more severe, mapped
//   to syslog(3) priorities as
//       0 LOG_CRIT   1 LOG_ERR    2 LOG_ERR     3 LOG_WARNING
//       4 LOG_NOTICE 5 LOG_NOTICE 6 LOG_INFO    7 LOG_DEBUG
//   cssupport produces 2 (error), 3 (warn), 5 (info), 6 (debug), 7 (trivia).
//
//   Main output: Log_InitWithSyslogInt sends every line to syslog(3) under the
//   identity in "log.syslogID" (absent: "ConfigStore"), with LOG_PID and
//   LOG_USER; Log_InitWithFileInt appends every line to the file in
//   "log.fileName" ("log.append" false truncates it first), created with mode
//   0644, and returns false, leaving no main output, when it cannot open it.
//   A second Log_Init* replaces the main output. The main output keeps lines
//   of every level. Other dictionary entries and the service, flags and
//   interface arguments are accepted and ignored.
//
//   Extra outputs: Log_NewFileOutput opens "log.fileName" and keeps only lines
//   at least as severe as "log.logMinLevel" (level <= minimum; absent: all);
//   it returns null when the dictionary names no file or the file cannot be
//   opened. The service owns an output from its creation. Log_AddOutput
//   installs it, so lines reach it (false for null, an output the service
//   did not make or no longer has, or one already installed).
//   Log_ReplaceOutput closes and deletes `output`, installed or not (an
//   unknown one is ignored), and then installs a `replacement` the service
//   made. Log_Exit deletes every output.
//
//   LogV expands the line printf-style and ends it with a newline when it
//   lacks one. Each line reaches each output as one write(2) of the expanded
//   text, so the lines of concurrent threads and processes never interleave.
//   Lines that fit in 1 KiB are written without allocating; a longer line
//   for which there is no memory is cut to its first 1022 characters.
//
//   Log_SetStderrLevel(minLevel, maxLevel) echoes lines whose level lies in
//   [minLevel, maxLevel] to stderr; an empty range such as (0, -1) echoes
//   nothing. The range starts empty.
//
//   Before the first Log_Init* and after Log_Exit there is no main output and
//   no extra output: lines reach only the stderr echo. Log_Exit closes every
//   output (closelog(3) for the system log) and empties the stderr range.
//
//   Product state: ProductState_Get* return the texts of the last
//   ProductState_Set ("" before any; the build number in decimal), valid for
//   the life of the process. Log_SetProductInfo only keeps its texts.
//
//   HostType_OSIsHvk: false; the stand-in never runs on the hypervisor kernel.
//
//   Back-traces: CoreDump_CaptureFastBacktrace skips `skip` innermost frames
//   of the caller and records at most `maxFrames`; it returns false with a
//   count of 0 when it cannot walk the stack. The format call writes
//   "#0 module+0xOFFSET #1 ..." naming each frame's module (the file's base
//   name) and its offset in it; a frame outside any module is "?" with its
//   address as the offset. It writes whole entries only, as many as fit, and
//   always NUL-terminates within the buffer (a size of 0 writes nothing). The
//   name argument is ignored.
//
//   UUID_CreateRandom: a version-4 random UUID, 36 lower-case characters, in
//   a malloc'd text the caller frees.
//
//   Out of memory: no call lets an exception out. Dictionary_Create and
//   Log_NewFileOutput return null, Log_Init* false (no main output), and the
//   calls without a failure value (Dict_Set*, ProductState_Set,
//   Log_SetProductInfo) leave what they would have changed as it was.
//
// All calls are thread-safe in the stand-in.
#ifndef CSSUPPORT_HOSTRT_HOSTRT_H_
#define CSSUPPORT_HOSTRT_HOSTRT_H_

#include <stdarg.h>
#include <stdbool.h>
#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define HOSTRT_API __attribute__((visibility("default")))
#define HOSTRT_PRINTF(f, a) __attribute__((format(printf, f, a)))
#else
#define HOSTRT_API
#define HOSTRT_PRINTF(f, a)
#endif

typedef struct Dictionary Dictionary;  // host configuration dictionary
typedef struct LogCfgInterface LogCfgInterface;  // host configuration access
typedef struct LogOutput LogOutput;              // one log destination

// Preferences: opened by every set-up call, closed by the logger's exit.
HOSTRT_API void Preference_Init(void);
HOSTRT_API void Preference_Exit(void);

// Product identity registered with the host and read back by the logger.
HOSTRT_API void ProductState_Set(int productId, const char* name,
                                 const char* version, int buildNumber,
                                 int productBuildNumber,
                                 const char* productName,
                                 const char* releaseVersion,
                                 const char* compilationOption);
HOSTRT_API const char* ProductState_GetName(void);
HOSTRT_API const char* ProductState_GetVersion(void);
HOSTRT_API const char* ProductState_GetBuildNumberString(void);
HOSTRT_API const char* ProductState_GetCompilationOption(void);

// Dictionaries. The key is a printf-style format completed by the arguments
// after it; cssupport passes plain keys and nothing after them.
HOSTRT_API Dictionary* Dictionary_Create(void);
HOSTRT_API void Dictionary_Free(Dictionary* dict);
HOSTRT_API void Dict_SetString(Dictionary* dict, const char* value,
                               const char* key, ...) HOSTRT_PRINTF(3, 4);
HOSTRT_API void Dict_SetBool(Dictionary* dict, bool value, const char* key, ...)
    HOSTRT_PRINTF(3, 4);
HOSTRT_API void Dict_SetLong(Dictionary* dict, long value, const char* key, ...)
    HOSTRT_PRINTF(3, 4);

// True when the process runs on the hypervisor kernel.
HOSTRT_API bool HostType_OSIsHvk(void);

// The logging service.
HOSTRT_API LogCfgInterface* Log_CfgInterface(void);
HOSTRT_API void Log_SetProductInfo(const char* name, const char* version,
                                   const char* buildNumber,
                                   const char* compilationOption);
HOSTRT_API bool Log_InitWithFileInt(const char* service, Dictionary* dict,
                                    LogCfgInterface* cfg, int flags);
HOSTRT_API bool Log_InitWithSyslogInt(const char* service, Dictionary* dict,
                                      LogCfgInterface* cfg);
HOSTRT_API void Log_SetStderrLevel(int minLevel, int maxLevel);
HOSTRT_API LogOutput* Log_NewFileOutput(const char* service, const char* type,
                                        Dictionary* dict, LogCfgInterface* cfg);
HOSTRT_API bool Log_AddOutput(LogOutput* output);
// Removes `output` and installs `replacement` (may be null) in its place.
HOSTRT_API void Log_ReplaceOutput(LogOutput* output, LogOutput* replacement,
                                  Dictionary* replacementCfg);
HOSTRT_API void Log_Exit(void);
HOSTRT_API void LogV(int level, const char* format, va_list args)
    HOSTRT_PRINTF(2, 0);

// Diagnostics.
HOSTRT_API bool CoreDump_CaptureFastBacktrace(int skip, int maxFrames,
                                              void** frames, int* count);
HOSTRT_API void CoreDump_Base64BacktraceFormat(int count, void* const* frames,
                                               char* buffer, size_t size,
                                               const char* name);

// A new random identifier text; the caller releases it with free().
HOSTRT_API char* UUID_CreateRandom(void);

#ifdef __cplusplus
}  // extern "C"
#endif

#endif  // CSSUPPORT_HOSTRT_HOSTRT_H_
