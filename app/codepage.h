// Names on the disks are code page 932 (Microsoft's Shift-JIS, where 0x5C is
// the backslash and 0xA1 to 0xDF are half-width katakana). These convert
// them to UTF-8 with what the host provides: iconv on Linux and macOS,
// MultiByteToWideChar on Windows.
#ifndef D88UNPACK_APP_CODEPAGE_H
#define D88UNPACK_APP_CODEPAGE_H

#include <cstddef>

// Whether the host can convert code page 932 at all (iconv may lack it).
bool Cp932Available();

// Converts `length` bytes of code page 932 text to NUL-terminated UTF-8 in
// `out`. Returns false, with `out` empty, when the bytes are not valid code
// page 932 or the text does not fit.
bool Cp932ToUtf8(const char* bytes, std::size_t length, char* out, std::size_t outSize);

// The same, with U+FFFD in place of each byte that code page 932 does not
// define; always gives text (cut short only when `out` is too small).
void Cp932ToUtf8Lenient(const char* bytes, std::size_t length, char* out, std::size_t outSize);

#endif
