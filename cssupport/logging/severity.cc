#include "cssupport/logging/internal/severity.h"

#include "cssupport/internal/load_order.h"

namespace CSLogger {

// The second of the library's two load-time initialisers; see load_order.h.
__attribute__((init_priority(CSSUPPORT_INIT_SEVERITY_MAP)))
const std::unordered_map<log_priority, int>
    priorityLevelMap = {
        {CS_LOG_ERROR, internal::priorityLevels[CS_LOG_ERROR]},
        {CS_LOG_WARN, internal::priorityLevels[CS_LOG_WARN]},
        {CS_LOG_INFO, internal::priorityLevels[CS_LOG_INFO]},
        {CS_LOG_DEBUG, internal::priorityLevels[CS_LOG_DEBUG]},
        {CS_LOG_TRIVIA, internal::priorityLevels[CS_LOG_TRIVIA]},
};

}  // namespace CSLogger
