// A recording double of the host runtime for tests.
//
// Linked statically into a test executable, it defines every call of
// cssupport/hostrt/hostrt.h (and syslog(3), so the library's direct
// system-log lines are seen too) and records each call with its arguments, in
// order. Its definitions take precedence over the stand-in for everything in
// the executable, including code in shared libraries it loads.
//
// Arguments are recorded as text:
//   strings as themselves, a null string as "(null)";
//   integers in decimal, booleans as "true"/"false";
//   handles by kind and a sequence number that restarts at Reset():
//     "dict#1", "output#1", "cfg" (the single configuration interface);
//   buffers and out-parameters as "frames", "count", "buffer".
// A call without arguments records none; results are not recorded. LogV
// records {level, format, expanded text}; Dict_Set* record {handle, value,
// expanded key}; syslog (also vsyslog and the fortified variants) records
// {priority, expanded text}.
//
// Results: Log_Init* true; Log_AddOutput true for a non-null output unless
// the controls say otherwise; ProductState_Get* the texts of the last
// ProductState_Set since Reset() ("" before one; the build number in
// decimal); CoreDump_CaptureFastBacktrace three fake frames (at most
// maxFrames); CoreDump_Base64BacktraceFormat kBacktraceText, truncated to the
// buffer and NUL-terminated. Handles passed in must come from the double.
//
// All functions are thread-safe.
#ifndef CSSUPPORT_HOSTRT_RECORDING_RECORDING_HOST_H_
#define CSSUPPORT_HOSTRT_RECORDING_RECORDING_HOST_H_

#include <iosfwd>
#include <string>
#include <vector>

namespace hostrt_recording {

struct Call {
  std::string name;
  std::vector<std::string> args;

  bool operator==(const Call& other) const {
    return name == other.name && args == other.args;
  }
};

// Results of the host calls that the library branches on.
struct Controls {
  bool osIsHvk = false;                   // HostType_OSIsHvk
  bool newFileOutputReturnsNull = false;  // Log_NewFileOutput
  bool addOutputFails = false;            // Log_AddOutput
  bool dictionaryCreateFails = false;     // Dictionary_Create returns null
  // Called by each syslog call before it is recorded, outside the double's
  // own lock, on the caller's thread (a test can stall a caller there).
  void (*beforeSyslog)() = nullptr;
};

// Clears the recorded calls, restarts handle numbering, restores the default
// controls.
void Reset();
void SetControls(const Controls& controls);

// A snapshot of every call recorded since the last Reset(), in call order.
std::vector<Call> Calls();
// Only the calls with the given name, in order.
std::vector<Call> CallsNamed(const std::string& name);

// The back-trace text the double writes into CoreDump_Base64BacktraceFormat's
// buffer.
inline constexpr const char kBacktraceText[] =
    "#0 recorded+0x10 #1 recorded+0x20";
// The identifiers UUID_CreateRandom returns: "uuid-1", "uuid-2", ... counting
// from Reset().

// Prints calls in a readable form in gtest failure messages.
void PrintTo(const Call& call, std::ostream* os);

}  // namespace hostrt_recording

#endif  // CSSUPPORT_HOSTRT_RECORDING_RECORDING_HOST_H_
