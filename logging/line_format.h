// Internal: the buffer a log line's format is composed in.
#ifndef CSSUPPORT_LOGGING_LINE_FORMAT_H_
#define CSSUPPORT_LOGGING_LINE_FORMAT_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

namespace CSLogger {

// An append-only text that lives on the caller's stack and moves to the heap
// only when it outgrows kInlineCapacity, so composing an ordinary line
// allocates nothing. Not copyable; one per call.
class LineFormat {
 public:
  static constexpr std::size_t kInlineCapacity = 1024;

  LineFormat() = default;
  LineFormat(const LineFormat&) = delete;
  LineFormat& operator=(const LineFormat&) = delete;

  void Append(std::string_view text);
  void Append(char c);
  // Appends `text` with every '%' doubled, so that a printf-style formatter
  // reproduces it literally.
  void AppendLiteral(std::string_view text);
  // Lower-case hexadecimal, no prefix, no leading zeros.
  void AppendHex(std::uintptr_t value);

  // NUL-terminated; valid until the next append.
  const char* c_str();
  std::size_t size() const { return size_; }

 private:
  char* Reserve(std::size_t extra);

  char* data_ = inline_;
  std::size_t size_ = 0;
  std::size_t capacity_ = kInlineCapacity;
  std::unique_ptr<char[]> heap_;
  char inline_[kInlineCapacity];
};

}  // namespace CSLogger

#endif  // CSSUPPORT_LOGGING_LINE_FORMAT_H_
