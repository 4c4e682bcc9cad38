// Internal: the buffer a log line's format is composed in, and the copies
// that fill it.
#ifndef CSSUPPORT_LOGGING_INTERNAL_LINE_FORMAT_H_
#define CSSUPPORT_LOGGING_INTERNAL_LINE_FORMAT_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "cssupport/logging/internal/fast_paths.h"

namespace CSLogger::internal {

// A text that lives on the caller's stack and moves to the heap only when a
// line outgrows kInlineCapacity, so composing an ordinary line allocates
// nothing. A writer keeps its own end pointer, from begin(), checks it
// against limit() before each piece and calls Grow when the piece would not
// fit, and writes the terminator itself. Not copyable; one per call.
class LineFormat {
 public:
  static constexpr std::size_t kInlineCapacity = 1024;

  LineFormat() = default;
  LineFormat(const LineFormat&) = delete;
  LineFormat& operator=(const LineFormat&) = delete;

  char* begin() { return data_; }
  // The end of the room for characters; one more is left for a terminator.
  char* limit() { return data_ + capacity_ - 1; }
  // Moves the text written so far, [begin(), end), to a heap buffer with
  // room for `extra` more characters and returns its new end. Throws
  // std::bad_alloc when the buffer cannot be had.
  char* Grow(char* end, std::size_t extra);

  const char* c_str() const { return data_; }

 private:
  char* data_ = inline_;
  std::size_t capacity_ = kInlineCapacity;
  std::unique_ptr<char[]> heap_;
  char inline_[kInlineCapacity];
};

// Copies `size` characters from `in` to `out` and returns the end; reads
// and writes nothing outside either range. Inline, for the short texts of a
// line, where a library call costs more than the copy.
inline char* PutText(char* out, const char* in, std::size_t size) {
  const auto copy = [&](std::size_t offset, auto word) {
    std::memcpy(&word, in + offset, sizeof word);
    std::memcpy(out + offset, &word, sizeof word);
  };
  if (size >= 16) {
    CopyLong(out, in, size);
  } else if (size >= 8) {
    copy(0, std::uint64_t{});
    copy(size - 8, std::uint64_t{});
  } else if (size >= 4) {
    copy(0, std::uint32_t{});
    copy(size - 4, std::uint32_t{});
  } else {
    for (std::size_t i = 0; i < size; ++i) out[i] = in[i];
  }
  return out + size;
}

// Room that PutLiteral may write beyond the end it returns.
inline constexpr std::size_t kLiteralSlack = kPlainCopySlack;

// Copies `size` characters of `text` with every '%' doubled and every NUL
// left out; needs room for 2 * size. Returns the end.
char* PutEscaped(char* out, const char* text, std::size_t size);

// Copies `text` so that a printf-style formatter reproduces it literally:
// every '%' doubled, every NUL byte left out (it would end the format).
// Needs room for 2 * text.size() + kLiteralSlack. Returns the end. A text
// without either character (the usual case) is copied whole (CopyIfPlain),
// any other escaped character by character.
inline char* PutLiteral(char* out, const std::string& text) {
  if (char* end = CopyIfPlain(out, text)) return end;
  return PutEscaped(out, text.data(), text.size());
}

}  // namespace CSLogger::internal

#endif  // CSSUPPORT_LOGGING_INTERNAL_LINE_FORMAT_H_
