// The C library of this build converts no code page 932: its iconv knows
// Shift_JIS alone, without the code page's own codes, and refuses "CP932".
// These two take its place and refuse every conversion as it does, which
// keeps its tables of other character sets, some 140 KB, out of the page.
#include <iconv.h>

#include <cerrno>
#include <cstddef>

extern "C" iconv_t iconv_open(const char*, const char*) {
  errno = EINVAL;
  return reinterpret_cast<iconv_t>(-1);
}

extern "C" std::size_t iconv(iconv_t, char**, std::size_t*, char**, std::size_t*) {
  errno = EBADF;
  return static_cast<std::size_t>(-1);
}
