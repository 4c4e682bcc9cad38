#include "cssupport/logging/internal/line_format.h"

namespace CSLogger::internal {

char* LineFormat::Grow(char* end, std::size_t extra) {
  const std::size_t size = end - data_;
  std::size_t capacity = capacity_ * 2;
  while (capacity < size + extra + 1) capacity *= 2;
  auto bigger = std::make_unique<char[]>(capacity);
  std::memcpy(bigger.get(), data_, size);
  heap_ = std::move(bigger);
  data_ = heap_.get();
  capacity_ = capacity;
  return data_ + size;
}

char* PutEscaped(char* out, const char* text, std::size_t size) {
  for (const char* end = text + size; text != end; ++text) {
    if (*text == '\0') continue;
    *out++ = *text;
    if (*text == '%') *out++ = '%';
  }
  return out;
}

}  // namespace CSLogger::internal
