// Internal to the host runtime builds: a printf-style expansion into a
// std::string, shared by the stand-in and the recording double.
#ifndef CSSUPPORT_HOSTRT_FORMAT_V_H_
#define CSSUPPORT_HOSTRT_FORMAT_V_H_

#include <cstdarg>
#include <cstdio>
#include <string>

namespace hostrt_internal {

// `format` expanded with `args` (used through copies; the caller's list is
// left as it was). An encoding error gives an empty text.
inline std::string FormatV(const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  char small[256];
  const int n = std::vsnprintf(small, sizeof small, format, copy);
  va_end(copy);
  if (n < 0) return std::string();
  if (static_cast<std::size_t>(n) < sizeof small) return std::string(small, n);
  std::string out(static_cast<std::size_t>(n) + 1, '\0');
  va_copy(copy, args);
  std::vsnprintf(&out[0], out.size(), format, copy);
  va_end(copy);
  out.resize(static_cast<std::size_t>(n));
  return out;
}

}  // namespace hostrt_internal

#endif  // CSSUPPORT_HOSTRT_FORMAT_V_H_
