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

// The calling thread's pthread_self(), read on every call, in lower-case
// hexadecimal without prefix or leading zeros. The text is formatted again
// only when the value differs from the one it was made from. The cache is
// trivially destructible, so it stays usable while the thread's other
// thread-local objects are destroyed.
std::string_view ThreadIdText() {
  struct Cache {
    std::uintptr_t value;
    std::size_t length;
    char text[2 * sizeof(std::uintptr_t)];
  };
  thread_local Cache cache{0, 0, {}};
  const auto value = static_cast<std::uintptr_t>(pthread_self());
  if (cache.length == 0 || cache.value != value) {
    static constexpr char kDigits[] = "0123456789abcdef";
    const int bits = 64 - __builtin_clzll(value | 1);
    cache.value = value;
    cache.length = (bits + 3) / 4;
    auto rest = value;
    for (std::size_t i = cache.length; i-- > 0; rest >>= 4) {
      cache.text[i] = kDigits[rest & 0xf];
    }
  }
  return {cache.text, cache.length};
}

// Composes "<name> [ConfigStore:<thread>< key=value>...] <tag><format>\n".
// The context and the tag come through literally; `format` is passed as is.
// Composition happens before the caller's arguments are touched, so a failure
// here (only allocation, for very long lines) leaves the va_list unstarted.
void ComposeLogFormat(LineFormat& line, log_priority priority,
                      std::string_view tag, const char* format) {
  static constexpr std::string_view kOpen = " [ConfigStore:";
  const std::string_view name = priorityNames[priority];
  const std::string_view thread = ThreadIdText();

  // Reserve for the fixed parts and each context entry as it comes, assuming
  // every literal character is a '%'. Ordinary lines fit the inline buffer.
  char* out = line.Reserve(name.size() + kOpen.size() + thread.size());
  out = PutText(out, name);
  out = PutText(out, kOpen);
  out = PutText(out, thread);
  for (const auto& [key, value] : CurrentContext) {
    line.Commit(out);
    out = line.Reserve(2 + 2 * (key.size() + value.size()));
    *out++ = ' ';
    out = PutLiteral(out, key);
    *out++ = '=';
    out = PutLiteral(out, value);
  }
  line.Commit(out);
  out = line.Reserve(2 + 2 * tag.size());
  *out++ = ']';
  *out++ = ' ';
  out = PutLiteral(out, tag);
  line.Commit(out);
  line.Append(format != nullptr ? format : "");
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
  // `code` has int as its underlying type, so it is passed as an int and the
  // list starts where the fixed signature says; clang warns regardless.
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wvarargs"
#endif
  va_start(args, code);
#if defined(__clang__)
#pragma clang diagnostic pop
#endif
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
