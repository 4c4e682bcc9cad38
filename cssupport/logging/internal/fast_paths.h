// Internal: the fast paths of composing a log line, each beside its portable
// twin. Everything the emission code knows of the standard library's
// internals (libstdc++'s tree and string layouts) or of the compiler and CPU
// (SSE2, GNU asm) is here and nowhere else. A fast path is used wherever it
// compiles, unless the build defines CSSUPPORT_PORTABLE_FAST_PATHS to 1 (the
// CMake option of that name): then every twin is, plain standard C++ that
// composes byte for byte the same lines, more slowly. Each fast path says
// what it saved when measured, as a share of the time a line takes to
// compose (bench/logging_bench.cc); a change that loses that gain should
// drop the fast path instead.
#ifndef CSSUPPORT_LOGGING_INTERNAL_FAST_PATHS_H_
#define CSSUPPORT_LOGGING_INTERNAL_FAST_PATHS_H_

#include <cstddef>
#include <cstring>
#include <string>

#if !defined(CSSUPPORT_PORTABLE_FAST_PATHS) || !CSSUPPORT_PORTABLE_FAST_PATHS
#if defined(__GLIBCXX__)
#define CSSUPPORT_FAST_TREE_WALK 1
#endif
#if defined(__SSE2__)
#include <emmintrin.h>
#define CSSUPPORT_FAST_BLOCKS 1
#endif
#if defined(__GNUC__)
#define CSSUPPORT_FAST_ASM 1
#endif
#endif

namespace CSLogger::internal {

// The entry after `entry` of a std::map or std::set, as ++entry gives it;
// `entry` must not be end(). Constant time on average, like ++.
// Node links instead of ++ (a libstdc++ call): 19–25% of a line's composition.
template <typename TreeIterator>
inline TreeIterator NextEntry(TreeIterator entry) {
#if defined(CSSUPPORT_FAST_TREE_WALK)
  auto node = entry._M_node;
  if (node->_M_right != nullptr) {
    node = node->_M_right;
    while (node->_M_left != nullptr) node = node->_M_left;
  } else {
    auto parent = node->_M_parent;
    while (node == parent->_M_right) {
      node = parent;
      parent = parent->_M_parent;
    }
    if (node->_M_right != parent) node = parent;
  }
  return TreeIterator(node);
#else
  return ++entry;
#endif
}

// `object`, a thread-local one, through its address taken here once: left to
// itself the compiler takes it again (a TLS descriptor call) at each use.
// Only gains where inlined into the function that uses the object.
// One address per line, with the thread-id cache: 3–24% of its composition.
template <typename T>
[[gnu::always_inline]] inline T& OnceAddressed(T& object) {
#if defined(CSSUPPORT_FAST_ASM)
  T* address = &object;
  asm("" : "+r"(address));
  return *address;
#else
  return object;
#endif
}

// Copies `size` >= 16 characters from `in` to `out`; reads and writes
// nothing outside either range.
// 16-byte blocks, not a memcpy call (with CopyIfPlain's): 7–8% of a line's.
inline void CopyLong(char* out, const char* in, std::size_t size) {
#if defined(CSSUPPORT_FAST_BLOCKS)
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
}

// What CopyIfPlain may write beyond the end of the text it copies.
inline constexpr std::size_t kPlainCopySlack = 16;

// Whether the 16 characters from text.data() lie inside its buffer, which
// holds capacity() + 1 characters: always with libstdc++'s new string ABI,
// whose buffer inside the object holds 16; elsewhere (the old ABI's heap
// block sized to the text) when the capacity says so.
// Guards CopyIfPlain's one-block read of a short text (below).
inline bool HasWholeBlock(const std::string& text) {
#if defined(_GLIBCXX_USE_CXX11_ABI) && _GLIBCXX_USE_CXX11_ABI
  static_cast<void>(text);
  return true;
#else
  return text.capacity() >= 15;
#endif
}

// Copies `text` to `out` and returns the end when it holds neither '%' nor
// NUL; otherwise returns nullptr, having written what it may. Either way
// writes nothing outside [out, out + text.size() + kPlainCopySlack), and
// whatever it writes past the returned end is not part of the copy.
// 16-byte blocks checked at once, a short text as one: 7–8% of a line's.
inline char* CopyIfPlain(char* out, const std::string& text) {
  const char* in = text.data();
  const std::size_t size = text.size();
#if defined(CSSUPPORT_FAST_BLOCKS)
  const __m128i percent = _mm_set1_epi8('%');
  const __m128i zero = _mm_setzero_si128();
  const auto special = [&](__m128i block) {
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(
        _mm_cmpeq_epi8(block, percent), _mm_cmpeq_epi8(block, zero))));
  };
  if (size <= 16 && HasWholeBlock(text)) {
    // Characters past the text are read but not looked at.
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), block);
    return (special(block) & ~(~0u << size)) == 0 ? out + size : nullptr;
  }
  if (size > 16) {
    // Whole blocks, then the last 16 characters, overlapping the previous
    // block; every read lies within the text.
    for (std::size_t done = 0; done + 16 <= size; done += 16) {
      const __m128i block =
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + done));
      if (special(block) != 0) return nullptr;
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + done), block);
    }
    const __m128i block =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + size - 16));
    if (special(block) != 0) return nullptr;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + size - 16), block);
    return out + size;
  }
#endif
  if (std::memchr(in, '%', size) != nullptr ||
      std::memchr(in, '\0', size) != nullptr) {
    return nullptr;
  }
  std::memcpy(out, in, size);
  return out + size;
}

}  // namespace CSLogger::internal

#undef CSSUPPORT_FAST_TREE_WALK
#undef CSSUPPORT_FAST_BLOCKS
#undef CSSUPPORT_FAST_ASM

#endif  // CSSUPPORT_LOGGING_INTERNAL_FAST_PATHS_H_
