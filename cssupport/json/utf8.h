// Internal: telling well-formed UTF-8 from the rest.
//
// Header-only, so that cstool, escaping and converting what it prints of
// the event record file, judges its bytes by the rules DumpJot stores them
// by.
#ifndef CSSUPPORT_JSON_UTF8_H_
#define CSSUPPORT_JSON_UTF8_H_

#include <cstddef>
#include <string>

namespace KoraConfigStore {
namespace internal {

// What starts at some position of a text.
struct Utf8Sequence {
  std::size_t length;  // >= 1, within the text
  bool wellFormed;     // false: `length` bytes of an ill-formed sequence
};

// The sequence that starts `s`, `left` (>= 1) bytes before the text ends:
// a well-formed one (1 to 4 bytes: no overlong form, no surrogate, nothing
// beyond U+10FFFF), or else the longest start of one that the bytes make
// (at least the first byte), which counts as one ill-formed sequence, as
// Unicode recommends when each is replaced by U+FFFD.
inline Utf8Sequence NextUtf8Sequence(const unsigned char* s, std::size_t left) {
  const unsigned char c = s[0];
  if (c < 0x80) return {1, true};
  std::size_t n = 0;
  unsigned char low = 0x80, high = 0xBF;  // the second byte's range
  if (c >= 0xC2 && c <= 0xDF) n = 2;
  if (c >= 0xE0 && c <= 0xEF) n = 3;
  if (c >= 0xF0 && c <= 0xF4) n = 4;
  if (c == 0xE0) low = 0xA0;   // no overlong form
  if (c == 0xED) high = 0x9F;  // no surrogate
  if (c == 0xF0) low = 0x90;   // no overlong form
  if (c == 0xF4) high = 0x8F;  // nothing beyond U+10FFFF
  if (n == 0) return {1, false};
  std::size_t i = 1;
  for (; i < n && i < left; ++i) {
    const bool inRange =
        i == 1 ? s[i] >= low && s[i] <= high : s[i] >= 0x80 && s[i] <= 0xBF;
    if (!inRange) break;
  }
  return {i, i == n};
}

// `text` with each ill-formed sequence replaced by U+FFFD; well-formed text
// comes back unchanged. Linear time. Throws std::bad_alloc.
inline std::string ToWellFormedUtf8(const char* text, std::size_t size) {
  std::string out;
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  for (std::size_t i = 0; i < size;) {
    const Utf8Sequence next = NextUtf8Sequence(bytes + i, size - i);
    if (next.wellFormed) {
      out.append(text + i, next.length);
    } else {
      out += "\xEF\xBF\xBD";
    }
    i += next.length;
  }
  return out;
}

// Whether all of `text` is well-formed UTF-8.
inline bool IsWellFormedUtf8(const char* text, std::size_t size) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  for (std::size_t i = 0; i < size;) {
    const Utf8Sequence next = NextUtf8Sequence(bytes + i, size - i);
    if (!next.wellFormed) return false;
    i += next.length;
  }
  return true;
}

}  // namespace internal
}  // namespace KoraConfigStore

#endif  // CSSUPPORT_JSON_UTF8_H_
