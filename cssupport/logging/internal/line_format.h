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

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
#if defined(__SSE2__)
    for (std::size_t done = 0; done + 16 <= size; done += 16) {
      _mm_storeu_si128(
          reinterpret_cast<__m128i*>(out + done),
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + done)));
    }
    _mm_storeu_si128(
        reinterpret_cast<__m128i*>(out + size - 16),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + size - 16)));
#else
    std::memcpy(out, in, size);
#endif
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
inline constexpr std::size_t kLiteralSlack = 16;

// Copies `size` characters of `text` with every '%' doubled and every NUL
// left out; needs room for 2 * size. Returns the end.
char* PutEscaped(char* out, const char* text, std::size_t size);

// Copies `text` so that a printf-style formatter reproduces it literally:
// every '%' doubled, every NUL byte left out (it would end the format).
// Needs room for 2 * text.size() + kLiteralSlack. Returns the end.
//
// Texts without either character (the usual case) are copied in 16-byte
// blocks, checked once each. A text of at most 16 characters is read as one
// block from data(): its buffer holds capacity() + 1 >= 16 characters (with
// libstdc++'s new string ABI always, the buffer being inside the object;
// elsewhere, as with the old ABI's heap block sized to the text, it is
// checked), so the read stays inside it; characters past the text are not
// looked at, and whatever is written for them lies beyond the returned end.
inline char* PutLiteral(char* out, const std::string& text) {
  const char* in = text.data();
  const std::size_t size = text.size();
#if defined(__SSE2__)
  const __m128i percent = _mm_set1_epi8('%');
  const __m128i zero = _mm_setzero_si128();
  const auto special = [&](__m128i block) {
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(
        _mm_cmpeq_epi8(block, percent), _mm_cmpeq_epi8(block, zero))));
  };
  if (size <= 16) {
#if !defined(_GLIBCXX_USE_CXX11_ABI) || !_GLIBCXX_USE_CXX11_ABI
    if (text.capacity() < 15) return PutEscaped(out, in, size);
#endif
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    if ((special(block) & ~(~0u << size)) == 0) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out), block);
      return out + size;
    }
  } else {
    // Whole blocks, then the last 16 characters, overlapping the previous
    // block; every read lies within the text.
    std::size_t done = 0;
    bool plain = true;
    for (; done + 16 <= size && plain; done += 16) {
      const __m128i block =
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + done));
      plain = special(block) == 0;
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + done), block);
    }
    if (plain) {
      const __m128i block =
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + size - 16));
      if (special(block) == 0) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + size - 16), block);
        return out + size;
      }
    }
  }
#endif
  return PutEscaped(out, in, size);
}

}  // namespace CSLogger::internal

#endif  // CSSUPPORT_LOGGING_INTERNAL_LINE_FORMAT_H_
