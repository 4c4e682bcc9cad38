// Internal: the buffer a log line's format is composed in.
#ifndef CSSUPPORT_LOGGING_LINE_FORMAT_H_
#define CSSUPPORT_LOGGING_LINE_FORMAT_H_

#include <cstddef>
#include <cstring>
#include <memory>
#include <string_view>

namespace CSLogger {

// A text that lives on the caller's stack and moves to the heap only when a
// line outgrows kInlineCapacity, so composing an ordinary line allocates
// nothing. Writers reserve an upper bound once, write through the returned
// pointer with the Put* helpers, and commit the end. Not copyable; one per
// call.
class LineFormat {
 public:
  static constexpr std::size_t kInlineCapacity = 1024;

  LineFormat() = default;
  LineFormat(const LineFormat&) = delete;
  LineFormat& operator=(const LineFormat&) = delete;

  // Room for `extra` more characters (and a terminator); returns where they
  // go. Throws std::bad_alloc when a heap buffer cannot be had.
  char* Reserve(std::size_t extra) {
    if (size_ + extra >= capacity_) Grow(extra);
    return data_ + size_;
  }
  // Ends the text at `end`, a pointer within the last reservation, and
  // terminates it.
  void Commit(char* end) {
    *end = '\0';
    size_ = end - data_;
  }

  void Append(std::string_view text);
  void Append(char c) {
    char* out = Reserve(1);
    *out = c;
    Commit(out + 1);
  }

  // The text so far, NUL-terminated after each Commit or Append.
  const char* c_str() const { return data_; }

 private:
  void Grow(std::size_t extra);

  char* data_ = inline_;
  std::size_t size_ = 0;
  std::size_t capacity_ = kInlineCapacity;
  std::unique_ptr<char[]> heap_;
  char inline_[kInlineCapacity];
};

// Copies `text` to `out`; returns the end.
inline char* PutText(char* out, std::string_view text) {
  std::memcpy(out, text.data(), text.size());
  return out + text.size();
}

// Copies `text` with every '%' doubled, so that a printf-style formatter
// reproduces it literally; needs room for 2 * text.size(). Returns the end.
inline char* PutLiteral(char* out, std::string_view text) {
  for (const char c : text) {
    *out++ = c;
    if (c == '%') *out++ = '%';
  }
  return out;
}

inline void LineFormat::Append(std::string_view text) {
  Commit(PutText(Reserve(text.size()), text));
}

}  // namespace CSLogger

#endif  // CSSUPPORT_LOGGING_LINE_FORMAT_H_
