#include "cssupport/logging/severity.h"

#include "cssupport/load_order.h"

namespace CSLogger {

// The second of the library's two load-time initialisers; see load_order.h.
__attribute__((init_priority(CSSUPPORT_INIT_SEVERITY_MAP)))
const std::unordered_map<log_priority, int>
    priorityLevelMap = {
        {CS_LOG_ERROR, 2}, {CS_LOG_WARN, 3},   {CS_LOG_INFO, 5},
        {CS_LOG_DEBUG, 6}, {CS_LOG_TRIVIA, 7},
};

}  // namespace CSLogger
