#include "cssupport/logging/line_format.h"

namespace CSLogger {

void LineFormat::Grow(std::size_t extra) {
  const std::size_t needed = size_ + extra + 1;
  std::size_t capacity = capacity_ * 2;
  while (capacity < needed) capacity *= 2;
  auto bigger = std::make_unique<char[]>(capacity);
  std::memcpy(bigger.get(), data_, size_);
  heap_ = std::move(bigger);
  data_ = heap_.get();
  capacity_ = capacity;
}

}  // namespace CSLogger
