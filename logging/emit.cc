// Log emission: one host LogV call per line, with the composed format and the
// caller's arguments.
#include <pthread.h>

#include <charconv>
#include <cstdarg>
#include <cstdint>
#include <string_view>

#include "cssupport/errors/error_codes.h"
#include "cssupport/hostrt/hostrt.h"
#include "cssupport/logging/cs_logger.h"
#include "cssupport/logging/line_format.h"
#include "cssupport/logging/severity.h"

namespace CSLogger {

thread_local std::map<std::string, std::string> CurrentContext;

namespace {

constexpr std::string_view kService = "ConfigStore";

// Composes "<name> [ConfigStore:<thread>< key=value>...] <tag><format>\n".
// The context and the tag come through literally; `format` is passed as is.
// Composition happens before the caller's arguments are touched, so a failure
// here (only allocation, for very long lines) leaves the va_list unstarted.
void ComposeLogFormat(LineFormat& line, log_priority priority,
                      std::string_view tag, const char* format) {
  line.Append(priorityNames[priority]);
  line.Append(" [");
  line.Append(kService);
  line.Append(':');
  line.AppendHex(static_cast<std::uintptr_t>(pthread_self()));
  for (const auto& [key, value] : CurrentContext) {
    line.Append(' ');
    line.AppendLiteral(key);
    line.Append('=');
    line.AppendLiteral(value);
  }
  line.Append("] ");
  line.AppendLiteral(tag);
  if (format != nullptr) line.Append(format);
  line.Append('\n');
}

}  // namespace

void Log(log_priority priority, const char* format, ...) {
  const int level = priorityLevelMap.at(priority);
  LineFormat line;
  ComposeLogFormat(line, priority, {}, format);
  va_list args;
  va_start(args, format);
  LogV(level, line.c_str(), args);
  va_end(args);
}

void DBLog(const std::string& database, log_priority priority,
           const char* format, ...) {
  const int level = priorityLevelMap.at(priority);
  LineFormat line;
  ComposeLogFormat(line, priority, database, format);
  va_list args;
  va_start(args, format);
  LogV(level, line.c_str(), args);
  va_end(args);
}

void LogErrCode(log_priority priority, KoraConfigStore::CSErrorCodes code,
                ...) {
  const int level = priorityLevelMap.at(priority);
  char tag[16] = "[";  // room for "[-2147483648]"
  char* end = std::to_chars(tag + 1, tag + sizeof tag - 1,
                            static_cast<std::int32_t>(code))
                  .ptr;
  *end++ = ']';
  LineFormat line;
  ComposeLogFormat(line, priority, std::string_view(tag, end - tag),
                   KoraConfigStore::ErrorMessageForId(code));
  va_list args;
  va_start(args, code);
  LogV(level, line.c_str(), args);
  va_end(args);
}

void LogBacktrace() noexcept {
  void* frames[15] = {};
  int count = 0;
  char text[1024];
  text[0] = '\0';
  CoreDump_CaptureFastBacktrace(2, 15, frames, &count);
  CoreDump_Base64BacktraceFormat(count, frames, text, sizeof text,
                                 "configstore");
  text[sizeof text - 1] = '\0';
  try {
    Log(CS_LOG_INFO, "ConfigStoreException: %s", text);
  } catch (...) {
    // A failed back-trace line must not turn into a second failure.
  }
}

}  // namespace CSLogger
