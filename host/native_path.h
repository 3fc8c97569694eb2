// The character type of a file path as the host's file API takes it: bytes
// on POSIX hosts, UTF-16 on Windows, where paths outside the user's code page
// only open through the wide-character API.
#ifndef D88UNPACK_HOST_NATIVE_PATH_H
#define D88UNPACK_HOST_NATIVE_PATH_H

#ifdef _WIN32
using NativePathChar = wchar_t;
#else
using NativePathChar = char;
#endif

#endif
