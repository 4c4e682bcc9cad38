#include "cssupport/logging/severity.h"

#include "cssupport/load_order.h"

namespace CSLogger {

// The second of the library's two load-time initialisers; see load_order.h.
__attribute__((init_priority(CSSUPPORT_INIT_SEVERITY_MAP)))
const std::unordered_map<log_priority, int>
    priorityLevelMap = {
        {CS_LOG_ERROR, priorityLevels[CS_LOG_ERROR]},
        {CS_LOG_WARN, priorityLevels[CS_LOG_WARN]},
        {CS_LOG_INFO, priorityLevels[CS_LOG_INFO]},
        {CS_LOG_DEBUG, priorityLevels[CS_LOG_DEBUG]},
        {CS_LOG_TRIVIA, priorityLevels[CS_LOG_TRIVIA]},
};

}  // namespace CSLogger
