// The host runtime library as this library sees it.
//
// These are the C calls of the host's closed runtime (libtessellibs.so, with
// its companion libtvl.so) that cssupport uses, and nothing else of it. The
// library is linked against them by name; at run time the host's own library
// takes the place of the stand-in built from hostrt/standin/. No code of the
// library reaches the host by any other route.
//
// What follows is what the library relies on from any implementation; what
// the stand-in does in particular is said beside its definitions in
// hostrt/standin/.
//
// For every call, implementations must:
//   - let no C++ exception and no longjmp(3) out: the calls are C, and the
//     library makes some of them from noexcept functions;
//   - be safe to call from any thread, concurrently with any other call: the
//     library takes no lock around them, and its callers log from any thread
//     while others set logging up or end it;
//   - accept any call at any time until the process ends, before set-up,
//     after Log_Exit and from static destructors (a user's object may log in
//     its own), and leave the child of a multi-threaded fork(2) able to make
//     any call at once (no lock held on behalf of a thread the child lacks);
//   - wait for nothing without bound: a call may block only for its own file
//     or system-log I/O, and for other threads' calls of short duration;
//   - when memory runs out, fail as the call's failure value says (a null
//     handle, false, a null text) or, without one, change nothing or drop the
//     line; never end the process.
// The library makes no call from a signal handler: none need be
// async-signal-safe. Level numbers are 0..7, lower more severe; the library
// passes 2 (error), 3 (warn), 5 (info), 6 (debug) and 7 (trivia).
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

// Preferences. The library calls Preference_Init at every logging set-up
// (LogInit, AddFileLogger) and Preference_Exit once at LogExit, with or
// without set-up before it: implementations must accept unbalanced calls.
HOSTRT_API void Preference_Init(void);
HOSTRT_API void Preference_Exit(void);

// Product identity registered with the host and read back by the logger.
// Implementations of ProductState_Set must copy what they keep: the library's
// texts need live only for the call. A getter must return a NUL-terminated
// text (or null) that the caller does not free and that stays valid at least
// until the calling thread's next call into the host has returned, even when
// another thread calls ProductState_Set meanwhile: the library reads all
// four, then passes them to Log_SetProductInfo, taking no lock.
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

// Dictionaries: the configuration the library hands to Log_InitWith* and
// Log_NewFileOutput. Dictionary_Create returns a new dictionary, owned by the
// caller until Dictionary_Free, or null without memory. The library passes on
// whatever it returned, null included, to Dict_Set*, Dictionary_Free and the
// logging calls: implementations must take a null dictionary as an empty one
// (Dict_Set* and Dictionary_Free then do nothing). Dict_Set* must copy the
// key and the value; the key is a printf-style format completed by the
// arguments after it (the library passes plain keys and nothing after them).
// The library uses each dictionary from one thread.
HOSTRT_API Dictionary* Dictionary_Create(void);
HOSTRT_API void Dictionary_Free(Dictionary* dict);
HOSTRT_API void Dict_SetString(Dictionary* dict, const char* value,
                               const char* key, ...) HOSTRT_PRINTF(3, 4);
HOSTRT_API void Dict_SetBool(Dictionary* dict, bool value, const char* key, ...)
    HOSTRT_PRINTF(3, 4);
HOSTRT_API void Dict_SetLong(Dictionary* dict, long value, const char* key, ...)
    HOSTRT_PRINTF(3, 4);

// True when the process runs on the hypervisor kernel; the same answer for
// the life of the process (the library picks its log directory by it).
HOSTRT_API bool HostType_OSIsHvk(void);

// The logging service.
//
// Log_CfgInterface returns the handle the library passes, unchecked, to
// Log_InitWith* and Log_NewFileOutput, and never frees.
HOSTRT_API LogCfgInterface* Log_CfgInterface(void);
// Implementations must copy what they keep, and accept null texts.
HOSTRT_API void Log_SetProductInfo(const char* name, const char* version,
                                   const char* buildNumber,
                                   const char* compilationOption);
// The main output, where every line goes from then on: the file that
// "log.fileName" names, appended to when "log.append" is true, or the system
// log under the identity "log.syslogID". Implementations must copy what they
// keep of `dict`, which the library frees as soon as the call returns, and
// return false when the output could not be set up (the library checks no
// result, so a failure must leave the service usable, if without output).
HOSTRT_API bool Log_InitWithFileInt(const char* service, Dictionary* dict,
                                    LogCfgInterface* cfg, int flags);
HOSTRT_API bool Log_InitWithSyslogInt(const char* service, Dictionary* dict,
                                      LogCfgInterface* cfg);
// Echoes to stderr the lines whose level lies in [minLevel, maxLevel]. The
// library passes (0, -1) and relies on an empty range echoing nothing.
HOSTRT_API void Log_SetStderrLevel(int minLevel, int maxLevel);
// A new file output as the dictionary describes (as for Log_InitWithFileInt),
// keeping only lines at least as severe as "log.logMinLevel" (level <= it),
// not yet installed; null when it cannot be made. The service owns it: the
// library never frees it, and it or its caller passes it only to
// Log_AddOutput and Log_ReplaceOutput. Implementations must copy what they
// keep of `dict`, as above.
HOSTRT_API LogOutput* Log_NewFileOutput(const char* service, const char* type,
                                        Dictionary* dict, LogCfgInterface* cfg);
// Installs `output`, so that lines reach it from then on; false when it did
// not (the library then writes a warning to the system log and still hands
// the output to its caller).
HOSTRT_API bool Log_AddOutput(LogOutput* output);
// Removes `output` and installs `replacement` in its place; after it returns
// no line reaches `output` and the handle is no longer valid. The library
// passes its caller's handle unchecked with a null replacement and
// configuration: implementations must accept both nulls, and should ignore
// an output they did not make or no longer have.
HOSTRT_API void Log_ReplaceOutput(LogOutput* output, LogOutput* replacement,
                                  Dictionary* replacementCfg);
// Ends the service: closes the main output and every output made (their
// handles are then no longer valid). Implementations must accept it without
// set-up and more than once, and every call after it, LogV included.
HOSTRT_API void Log_Exit(void);
// Writes one line: `format` expanded printf-style with `args`, at `level`,
// to every output that keeps it. The library's formats end with a newline.
// Implementations must get each call's line to each output whole, never
// interleaved with another thread's or process's line (the library adds no
// lock of its own), and may block only for the outputs' own I/O. The library
// calls va_end(3) on `args` itself and does not use the list afterwards.
HOSTRT_API void LogV(int level, const char* format, va_list args)
    HOSTRT_PRINTF(2, 0);

// Diagnostics.
//
// Records the calling thread's return addresses into `frames`, innermost
// first, leaving out the `skip` innermost frames, the caller's own first (the
// library passes 2, so that its trace starts in the function that raised).
// Implementations must record at most `maxFrames` and leave in `*count` how
// many they recorded, also when they return false: the library reads
// `*count`, not the result. Called on the path of a thrown exception, so it
// should be quick.
HOSTRT_API bool CoreDump_CaptureFastBacktrace(int skip, int maxFrames,
                                              void** frames, int* count);
// Writes a text of the `count` frames into `buffer`, which the library logs
// as it is. Implementations must write at most `size` bytes, and should end
// the text with a NUL within them (the library also terminates the buffer's
// last byte itself). `name` labels the trace.
HOSTRT_API void CoreDump_Base64BacktraceFormat(int count, void* const* frames,
                                               char* buffer, size_t size,
                                               const char* name);

// A new identifier, distinct from every other the host gives out, as a
// NUL-terminated text in memory from malloc(3) that the caller owns and
// releases with free(); null only when there is no memory (the library then
// throws std::bad_alloc).
HOSTRT_API char* UUID_CreateRandom(void);

#ifdef __cplusplus
}  // extern "C"
#endif

#endif  // CSSUPPORT_HOSTRT_HOSTRT_H_
