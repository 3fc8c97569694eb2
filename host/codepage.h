// Names on the disks are code page 932 (Shift-JIS where 0x5C is the
// backslash and 0xA1 to 0xDF are half-width katakana). The one module that
// converts them, with tables of its own (cp932_table.h), so that every host
// converts alike. The extraction names its files with it on Windows; the
// command lines show, match and write names with it.
#ifndef D88UNPACK_HOST_CODEPAGE_H
#define D88UNPACK_HOST_CODEPAGE_H

#include <cstddef>

// A byte that starts a two-byte character of code page 932; the byte after it
// (0x40 and up) is part of that character, whatever it is on its own.
bool IsCp932LeadByte(unsigned char byte);

// Converts `length` bytes of code page 932 text to NUL-terminated UTF-8 in
// `out`. Returns false, with `out` empty, when the bytes are not valid code
// page 932 or the text does not fit.
bool Cp932ToUtf8(const char* bytes, std::size_t length, char* out, std::size_t outSize);

// The same, with U+FFFD in place of each byte that code page 932 does not
// define; always gives text (cut short only when `out` is too small).
void Cp932ToUtf8Lenient(const char* bytes, std::size_t length, char* out, std::size_t outSize);

// Converts `length` bytes of UTF-8 text to NUL-terminated code page 932 in
// `out`. Returns false, and `out` holds nothing of use, when the text is not
// valid UTF-8, has a character that code page 932 lacks, or when it does not
// fit. Where code page 932 has a character twice, the first code is written;
// either reads back as the same text.
bool Utf8ToCp932(const char* text, std::size_t length, char* out, std::size_t outSize);

// Converts `length` bytes of code page 932 text to NUL-terminated UTF-16 in
// `out`, for Windows' wide-character file API: every character of code page
// 932 is one unit, whatever the size of wchar_t. Returns false, with `out`
// empty, when the bytes are not valid code page 932 or the text does not
// fit.
bool Cp932ToUtf16(const char* bytes, std::size_t length, wchar_t* out, std::size_t outSize);

#endif
