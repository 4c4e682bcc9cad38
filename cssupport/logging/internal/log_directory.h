// Internal: where a named logger writes.
//
// Header-only, so that cstool's demo, which links the shared library where
// this stays hidden, finds the log where LogInit put it.
#ifndef CSSUPPORT_LOGGING_INTERNAL_LOG_DIRECTORY_H_
#define CSSUPPORT_LOGGING_INTERNAL_LOG_DIRECTORY_H_

#include <string>

namespace CSLogger {
namespace internal {

// The directory of the log files: /var/log/ on the hypervisor host (as the
// host runtime's HostType_OSIsHvk tells), /tmp/ elsewhere; with its final
// '/'.
inline const char* LogDirectory(bool hypervisorHost) {
  return hypervisorHost ? "/var/log/" : "/tmp/";
}

// The file that LogInit(name) and AddFileLogger(name) append to, for a
// non-empty `name`.
inline std::string LogFilePath(const std::string& name, bool hypervisorHost) {
  return LogDirectory(hypervisorHost) + name + ".log";
}

}  // namespace internal
}  // namespace CSLogger

#endif  // CSSUPPORT_LOGGING_INTERNAL_LOG_DIRECTORY_H_
