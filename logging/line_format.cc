#include "cssupport/logging/line_format.h"

#include <charconv>
#include <cstring>

namespace CSLogger {

char* LineFormat::Reserve(std::size_t extra) {
  const std::size_t needed = size_ + extra + 1;  // room for the terminator
  if (needed > capacity_) {
    std::size_t capacity = capacity_ * 2;
    while (capacity < needed) capacity *= 2;
    auto bigger = std::make_unique<char[]>(capacity);
    std::memcpy(bigger.get(), data_, size_);
    heap_ = std::move(bigger);
    data_ = heap_.get();
    capacity_ = capacity;
  }
  return data_ + size_;
}

void LineFormat::Append(std::string_view text) {
  std::memcpy(Reserve(text.size()), text.data(), text.size());
  size_ += text.size();
}

void LineFormat::Append(char c) {
  *Reserve(1) = c;
  ++size_;
}

void LineFormat::AppendLiteral(std::string_view text) {
  std::size_t start = 0;
  for (std::size_t pos = text.find('%'); pos != std::string_view::npos;
       pos = text.find('%', pos + 1)) {
    Append(text.substr(start, pos + 1 - start));
    Append('%');
    start = pos + 1;
  }
  Append(text.substr(start));
}

void LineFormat::AppendHex(std::uintptr_t value) {
  char* out = Reserve(2 * sizeof value);
  size_ = std::to_chars(out, out + 2 * sizeof value, value, 16).ptr - data_;
}

const char* LineFormat::c_str() {
  *Reserve(0) = '\0';
  return data_;
}

}  // namespace CSLogger
