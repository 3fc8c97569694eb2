#include "console.h"

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <io.h>

#include "native_api.h"
// CommandLineToArgvW
#include <shellapi.h>
#else
#include <fcntl.h>
#include <langinfo.h>
#include <sys/stat.h>
#include <unistd.h>

#include <clocale>
#endif

bool IsControlByte(unsigned char byte) {
  return (byte >= 0x01 && byte < 0x20) || byte == 0x7F;
}

int DescriptorOf(std::FILE* stream) {
#ifdef _WIN32
  return _fileno(stream);
#else
  return fileno(stream);
#endif
}

Console ConsoleOf(std::FILE* out, std::FILE* err) {
  const int fd = DescriptorOf(out);
#ifdef _WIN32
  // -1, a stream with no descriptor, would be an invalid parameter.
  const bool terminal = fd >= 0 && _isatty(fd) != 0;
#else
  const bool terminal = isatty(fd) != 0;
#endif
  return Console{out, err, terminal};
}

void PutTyped(const char* text, std::FILE* stream) {
  for (const char* p = text; *p != 0; ++p) {
    const unsigned char byte = static_cast<unsigned char>(*p);
    if (IsControlByte(byte)) {
      std::fprintf(stream, "\\x%02x", byte);
    } else {
      std::fputc(byte, stream);
    }
  }
}

#ifdef _WIN32
bool IsRegularFile(const wchar_t* path) {
  const DWORD attributes = GetFileAttributesW(path);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}
#else
bool IsRegularFile(const char* path) {
  struct stat info;
  return stat(path, &info) == 0 && S_ISREG(info.st_mode);
}
#endif

void EscapeByte(unsigned char byte, char (&out)[5]) {
  if (byte >= 0x20 && byte < 0x7F && byte != '\\' && byte != '"') {
    out[0] = static_cast<char>(byte);
    out[1] = 0;
  } else {
    std::snprintf(out, sizeof out, "\\x%02x", byte);
  }
}

void PutEscaped(unsigned char byte, std::FILE* stream) {
  char shown[5];
  EscapeByte(byte, shown);
  std::fputs(shown, stream);
}

bool ErrorIsUtf8Terminal(const Console& console) {
#ifdef _WIN32
  (void)console;
  return false;
#else
  if (isatty(DescriptorOf(console.err)) == 0) return false;
  // The user's locale says what the terminal shows; the program's own
  // stays "C" for everything else.
  const char* saved = std::setlocale(LC_CTYPE, nullptr);
  char previous[64];
  std::snprintf(previous, sizeof previous, "%s", saved != nullptr ? saved : "C");
  const bool utf8 =
      std::setlocale(LC_CTYPE, "") != nullptr && std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
  std::setlocale(LC_CTYPE, previous);
  return utf8;
#endif
}

namespace {

// The length of the UTF-8 sequence at `p`, or 0 where none begins: no
// overlong form, no surrogate, nothing past U+10FFFF.
int ValidUtf8Length(const unsigned char* p) {
  const unsigned char lead = p[0];
  if (lead < 0x80) return 1;
  int length = 0;
  unsigned char low = 0x80;  // the second byte's range
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (p[1] < low || p[1] > high) return 0;
  for (int i = 2; i < length; ++i) {
    if ((p[i] & 0xC0) != 0x80) return 0;
  }
  return length;
}

}  // namespace

bool IsValidUtf8(const char* text) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  while (*p != 0) {
    const int length = ValidUtf8Length(p);
    if (length == 0) return false;
    p += length;
  }
  return true;
}

const char* PathText(const NativePathChar* path, char (&text)[kPathTextSize]) {
#ifdef _WIN32
  if (WideCharToMultiByte(CP_UTF8, 0, path, -1, text, sizeof text, nullptr, nullptr) <= 0) {
    text[0] = 0;
  }
#else
  // A byte that does not begin a whole, valid sequence is one U+FFFD.
  std::size_t used = 0;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(path);
  while (*p != 0 && used + 4 < sizeof text) {
    const int length = ValidUtf8Length(p);
    if (length > 0) {
      std::memcpy(text + used, p, static_cast<std::size_t>(length));
      used += static_cast<std::size_t>(length);
      p += length;
    } else {
      std::memcpy(text + used, "\xEF\xBF\xBD", 3);
      used += 3;
      ++p;
    }
  }
  text[used] = 0;
#endif
  return text;
}

void PutPath(const NativePathChar* path, std::FILE* stream, bool asText) {
#ifdef _WIN32
  char bytes[4096];
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, path, -1, bytes, sizeof bytes, nullptr, nullptr);
  if (length <= 0) std::strcpy(bytes, "?");
  const char* shown = bytes;
#else
  const char* shown = path;
#endif
  const unsigned char* p = reinterpret_cast<const unsigned char*>(shown);
  while (*p != 0) {
    const int length = asText ? ValidUtf8Length(p) : 1;
    if (length > 1) {
      std::fwrite(p, 1, static_cast<std::size_t>(length), stream);
      p += length;
    } else {
      PutEscaped(*p++, stream);
    }
  }
}

void PutPathPrefix(const Console& console, const NativePathChar* path) {
  std::fflush(console.out);
  std::fprintf(console.err, "%s: ", kProgramName);
  PutPath(path, console.err);
  std::fputs(": ", console.err);
}

bool ConsoleGoesIntoImage(const Console& console, const NativePathChar* path, bool output,
                          bool errorOutput, const char* consequence) {
  if (errorOutput) return true;
  if (!output) return false;
  PutPathPrefix(console, path);
  std::fprintf(console.err, "standard output goes into the image file; %s\n", consequence);
  return true;
}

bool StandardOutputWritten(const Console& console) {
  if (std::fflush(console.out) == 0 && !std::ferror(console.out)) return true;
  std::fprintf(console.err, "%s: standard output: %s\n", kProgramName, std::strerror(errno));
  return false;
}

#ifdef _WIN32

namespace {

// The command line as UTF-8 text, and its wide form, as StartWithArguments
// made them: the program's one copy, for the one command line of the
// process.
char commandText[3 * 32768];
char* commandArgs[32768];
wchar_t** commandWide = nullptr;

// The wide forms of arguments given as UTF-8 text, made afresh by each run.
wchar_t givenText[32768 * 2];
wchar_t* givenWide[32768];

}  // namespace

int StartWithArguments(int, char**, MainFunction main) {
  // Options and patterns are parsed as UTF-8; paths are taken in their wide
  // form.
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) {
    std::fprintf(stderr, "%s: cannot read the command line\n", kProgramName);
    return 1;
  }
  std::size_t used = 0;
  int converted = 0;
  for (; converted < count && converted < 32767; ++converted) {
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, wide[converted], -1, commandText + used,
                            static_cast<int>(sizeof commandText - used), nullptr, nullptr);
    if (length <= 0) break;
    commandArgs[converted] = commandText + used;
    used += static_cast<std::size_t>(length);
  }
  commandArgs[converted] = nullptr;
  commandWide = wide;
  const int status = converted == count ? main(count, commandArgs, stdout, stderr) : 1;
  commandWide = nullptr;
  LocalFree(wide);
  return status;
}

int StartRun(int argc, char** argv, std::FILE* out, std::FILE* err, StartFunction start) {
  if (argv == commandArgs && commandWide != nullptr) {
    return start(argc, argv, commandWide, ConsoleOf(out, err));
  }
  std::size_t used = 0;
  int converted = 0;
  for (; converted < argc && converted < 32767; ++converted) {
    const int length =
        MultiByteToWideChar(CP_UTF8, 0, argv[converted], -1, givenText + used,
                            static_cast<int>(sizeof givenText / sizeof givenText[0] - used));
    if (length <= 0) break;
    givenWide[converted] = givenText + used;
    used += static_cast<std::size_t>(length);
  }
  givenWide[converted] = nullptr;
  return converted == argc ? start(argc, argv, givenWide, ConsoleOf(out, err)) : 1;
}

#else

int StartWithArguments(int argc, char** argv, MainFunction main) {
  // A console stream that was closed at start (">&-") would be the next file
  // opened: the image, a folder or an output file would then take the
  // messages or the listing. /dev/null holds its place instead.
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    const int opened = open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    if (opened != fd) return 1;
  }
  return main(argc, argv, stdout, stderr);
}

int StartRun(int argc, char** argv, std::FILE* out, std::FILE* err, StartFunction start) {
  return start(argc, argv, nullptr, ConsoleOf(out, err));
}

#endif
