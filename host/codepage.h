// Names on the disks are code page 932 (Microsoft's Shift-JIS, where 0x5C is
// the backslash and 0xA1 to 0xDF are half-width katakana). The one module
// that converts them, with what the host provides: iconv on Linux and macOS,
// MultiByteToWideChar on Windows. The extraction names its files with it on
// Windows; the command lines show, match and write names with it.
#ifndef D88UNPACK_HOST_CODEPAGE_H
#define D88UNPACK_HOST_CODEPAGE_H

#include <cstddef>

// A byte that starts a two-byte character of code page 932; the byte after it
// (0x40 and up) is part of that character, whatever it is on its own.
bool IsCp932LeadByte(unsigned char byte);

// Whether the host can convert code page 932 at all (iconv may lack it).
bool Cp932Available();

// Converts `length` bytes of code page 932 text to NUL-terminated UTF-8 in
// `out`. Returns false, with `out` empty, when the bytes are not valid code
// page 932 or the text does not fit.
bool Cp932ToUtf8(const char* bytes, std::size_t length, char* out, std::size_t outSize);

// The same, with U+FFFD in place of each byte that code page 932 does not
// define; always gives text (cut short only when `out` is too small).
void Cp932ToUtf8Lenient(const char* bytes, std::size_t length, char* out, std::size_t outSize);

// Converts `length` bytes of UTF-8 text to NUL-terminated code page 932 in
// `out`. Returns false, and `out` holds nothing of use, when the text is not
// valid UTF-8, has a character that code page 932 lacks, or would not come
// back as the same text (two characters that code page 932 stores alike),
// or when it does not fit.
bool Utf8ToCp932(const char* text, std::size_t length, char* out, std::size_t outSize);

#ifdef _WIN32
// Converts `length` bytes of code page 932 text to NUL-terminated UTF-16 in
// `out`, for the wide-character file API. Returns false, with `out` empty,
// when the bytes are not valid code page 932 (a lead byte without a valid
// trail byte; which single bytes count as undefined depends on the system's
// table) or the text does not fit.
bool Cp932ToUtf16(const char* bytes, std::size_t length, wchar_t* out, std::size_t outSize);
#endif

#endif
