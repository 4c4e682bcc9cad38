// Log emission: one host LogV call per line, with the composed format and the
// caller's arguments.
#include <pthread.h>

#include <charconv>
#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string_view>

#include "cssupport/errors/error_codes.h"
#include "cssupport/errors/internal/catalogue.h"
#include "cssupport/hostrt/hostrt.h"
#include "cssupport/logging/cs_logger.h"
#include "cssupport/logging/internal/fast_paths.h"
#include "cssupport/logging/internal/line_format.h"
#include "cssupport/logging/internal/severity.h"

namespace CSLogger {

using internal::HostLevel;
using internal::kLiteralSlack;
using internal::LineFormat;
using internal::NextEntry;
using internal::OnceAddressed;
using internal::priorityNames;
using internal::PutLiteral;
using internal::PutText;

thread_local std::map<std::string, std::string> CurrentContext;

namespace {

using Context = std::map<std::string, std::string>;

// What a line needs of the calling thread, reached through one thread-local
// address: its CurrentContext, and " [ConfigStore:" with its pthread_self()
// in lower-case hexadecimal without prefix or leading zeros. The text is made
// again only when pthread_self(), read on every line, differs from the value
// it was made from. Trivially destructible, so it stays usable while the
// thread's other thread-local objects are destroyed; the context it points to
// is destroyed with them, and a line written after that reads it destroyed,
// as any use of CurrentContext then does.
struct ThreadState {
  const Context* context;  // null until the thread's first line
  std::uintptr_t id;
  std::size_t length;  // 0 until made
  char text[32];
};
thread_local ThreadState threadState{nullptr, 0, 0, {}};

// Makes the thread text for `id`, and on the thread's first line finds its
// CurrentContext (constructing it, as any first use does).
void UpdateThreadState(ThreadState& state, std::uintptr_t id) {
  static constexpr std::string_view kOpen = " [ConfigStore:";
  static constexpr char kDigits[] = "0123456789abcdef";
  if (state.context == nullptr) state.context = &CurrentContext;
  std::size_t digits = 1;
  for (auto high = id >> 4; high != 0; high >>= 4) ++digits;
  static_assert(kOpen.size() + 2 * sizeof id <= sizeof state.text);
  std::memcpy(state.text, kOpen.data(), kOpen.size());
  auto rest = id;
  for (std::size_t i = kOpen.size() + digits; i-- > kOpen.size(); rest >>= 4) {
    state.text[i] = kDigits[rest & 0xf];
  }
  state.id = id;
  state.length = kOpen.size() + digits;
}

// The printed names, padded so that each is copied as one 8-byte word.
constexpr char kPaddedNames[5][8] = {"error", "warn", "info", "debug",
                                     "trivia"};

// Composes "<name> [ConfigStore:<thread>< key=value>...] <tag><format>\n" for
// a priority already checked to be one of the five. The context and
// `literalTag` come through literally (PutLiteral); `plainTag`, which must
// hold neither '%' nor NUL, and `format` are copied as they are. Happens
// before the caller's arguments are touched, so a failure here (only
// allocation, for very long lines) leaves the va_list unstarted. Inlined into
// each emission call, so that each thread-local address is taken once per
// line.
[[gnu::always_inline]] inline void ComposeLogFormat(
    LineFormat& line, log_priority priority, const std::string* literalTag,
    std::string_view plainTag, std::string_view format) {
  ThreadState& thread = OnceAddressed(threadState);
  const auto id = static_cast<std::uintptr_t>(pthread_self());
  if (thread.length == 0 || thread.id != id) UpdateThreadState(thread, id);
  const Context& context = *thread.context;

  // Fixed-size copies of the name and the thread text, then each piece
  // after checking its room, which includes what the wide copies write past
  // the end.
  char* out = line.begin();
  char* limit = line.limit();
  const auto room = [&](std::size_t extra) {
    if (static_cast<std::size_t>(limit - out) < extra) {
      out = line.Grow(out, extra);
      limit = line.limit();
    }
  };
  static_assert(sizeof kPaddedNames[0] + sizeof thread.text <
                LineFormat::kInlineCapacity);
  std::memcpy(out, kPaddedNames[priority], sizeof kPaddedNames[0]);
  out += priorityNames[priority].size();
  std::memcpy(out, thread.text, sizeof thread.text);
  out += thread.length;
  for (auto entry = context.begin(); entry != context.end();
       entry = NextEntry(entry)) {
    const auto& [key, value] = *entry;
    room(2 + 2 * (key.size() + value.size()) + kLiteralSlack);
    *out++ = ' ';
    out = PutLiteral(out, key);
    *out++ = '=';
    out = PutLiteral(out, value);
  }
  room(2 + format.size() + 1 +
       (literalTag != nullptr ? 2 * literalTag->size() + kLiteralSlack
                              : plainTag.size()));
  *out++ = ']';
  *out++ = ' ';
  if (literalTag != nullptr) {
    out = PutLiteral(out, *literalTag);
  } else {
    out = PutText(out, plainTag.data(), plainTag.size());
  }
  out = PutText(out, format.data(), format.size());
  *out++ = '\n';
  *out = '\0';
}

// The caller's format, a null one read as empty.
std::string_view FormatText(const char* format) {
  return format != nullptr ? std::string_view(format) : std::string_view();
}

}  // namespace

void Log(log_priority priority, const char* format, ...) {
  const int level = HostLevel(priority);
  LineFormat line;
  ComposeLogFormat(line, priority, nullptr, {}, FormatText(format));
  va_list args;
  va_start(args, format);
  LogV(level, line.c_str(), args);
  va_end(args);
}

void DBLog(const std::string& database, log_priority priority,
           const char* format, ...) {
  const int level = HostLevel(priority);
  LineFormat line;
  ComposeLogFormat(line, priority, &database, {}, FormatText(format));
  va_list args;
  va_start(args, format);
  LogV(level, line.c_str(), args);
  va_end(args);
}

void LogErrCode(log_priority priority, KoraConfigStore::CSErrorCodes code,
                ...) {
  const int level = HostLevel(priority);
  // The tag and the text come made with the catalogue; a code it does not
  // hold gets its tag made here and ErrorMessageForId's unknown text.
  const KoraConfigStore::internal::CatalogueEntry* entry =
      KoraConfigStore::internal::FindCatalogueEntry(code);
  char unknownTag[16];  // room for "[-2147483648]"
  std::string_view tag, format;
  if (entry != nullptr) {
    tag = std::string_view(entry->tag, entry->tagSize);
    format = std::string_view(entry->text, entry->textSize);
  } else {
    unknownTag[0] = '[';
    char* end = std::to_chars(unknownTag + 1, std::end(unknownTag) - 1,
                              static_cast<std::int32_t>(code))
                    .ptr;
    *end++ = ']';
    tag = std::string_view(unknownTag, end - unknownTag);
    format = KoraConfigStore::internal::kUnknownMessage;
  }
  LineFormat line;
  ComposeLogFormat(line, priority, nullptr, tag, format);
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
