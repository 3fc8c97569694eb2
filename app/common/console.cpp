#include "console.h"

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <io.h>

#include "native_api.h"
// CommandLineToArgvW
#include <shellapi.h>
#else
#include <unistd.h>
#endif

bool IsControlByte(unsigned char byte) {
  return (byte >= 0x01 && byte < 0x20) || byte == 0x7F;
}

void PutEscaped(unsigned char byte, std::FILE* stream) {
  if (byte >= 0x20 && byte < 0x7F && byte != '\\' && byte != '"') {
    std::fputc(byte, stream);
  } else {
    std::fprintf(stream, "\\x%02x", byte);
  }
}

bool OutputIsTerminal() {
#ifdef _WIN32
  static const bool terminal = _isatty(_fileno(stdout)) != 0;
#else
  static const bool terminal = isatty(STDOUT_FILENO) != 0;
#endif
  return terminal;
}

void PutPath(const NativePathChar* path) {
#ifdef _WIN32
  char bytes[4096];
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, path, -1, bytes, sizeof bytes, nullptr, nullptr);
  if (length <= 0) std::strcpy(bytes, "?");
  const char* shown = bytes;
#else
  const char* shown = path;
#endif
  for (const char* p = shown; *p != 0; ++p) PutEscaped(static_cast<unsigned char>(*p), stderr);
}

void PutPathPrefix(const NativePathChar* path) {
  std::fflush(stdout);
  std::fprintf(stderr, "%s: ", kProgramName);
  PutPath(path);
  std::fputs(": ", stderr);
}

bool StandardOutputWritten() {
  if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return true;
  std::fprintf(stderr, "%s: standard output: %s\n", kProgramName, std::strerror(errno));
  return false;
}

#ifdef _WIN32

int StartWithArguments(int, char**, StartFunction start) {
  // Options and patterns are parsed as UTF-8; paths are taken in their wide
  // form.
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) {
    std::fprintf(stderr, "%s: cannot read the command line\n", kProgramName);
    return 1;
  }
  static char text[3 * 32768];
  static char* utf8[32768];
  std::size_t used = 0;
  int converted = 0;
  for (; converted < count && converted < 32767; ++converted) {
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide[converted], -1, text + used,
                                           static_cast<int>(sizeof text - used), nullptr, nullptr);
    if (length <= 0) break;
    utf8[converted] = text + used;
    used += static_cast<std::size_t>(length);
  }
  utf8[converted] = nullptr;
  const int status = converted == count ? start(count, utf8, wide) : 1;
  LocalFree(wide);
  return status;
}

#else

int StartWithArguments(int argc, char** argv, StartFunction start) {
  return start(argc, argv, nullptr);
}

#endif
