// Internal: the severity tables shared by set-up and emission.
#ifndef CSSUPPORT_LOGGING_INTERNAL_SEVERITY_H_
#define CSSUPPORT_LOGGING_INTERNAL_SEVERITY_H_

#include <string_view>
#include <unordered_map>

#include "cssupport/logging/cs_logger.h"

namespace CSLogger {

namespace internal {

// Host levels, indexed by the enumerator's value.
inline constexpr int priorityLevels[5] = {2, 3, 5, 6, 7};

}  // namespace internal

// log_priority -> host level; exactly the five severities, made from
// internal::priorityLevels. Built while the library loads (after the event
// catalogue) and read-only afterwards, so any thread may read it. at() on
// anything else throws std::out_of_range.
extern const std::unordered_map<log_priority, int> priorityLevelMap;

namespace internal {

// The host level of `priority`, as priorityLevelMap.at() gives it,
// std::out_of_range included, without hashing the five.
inline int HostLevel(log_priority priority) {
  if (static_cast<unsigned>(priority) < 5) return priorityLevels[priority];
  return priorityLevelMap.at(priority);
}

// Printed names, indexed by the enumerator's value.
inline constexpr std::string_view priorityNames[5] = {"error", "warn", "info",
                                                      "debug", "trivia"};

}  // namespace internal
}  // namespace CSLogger

#endif  // CSSUPPORT_LOGGING_INTERNAL_SEVERITY_H_
