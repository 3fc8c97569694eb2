#include "output_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <cwchar>

#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace {

#ifdef _WIN32
// Windows file names are UTF-16. A disk's name bytes are code page 932
// (Shift-JIS with half-width katakana) whatever the user's own code page,
// and are converted from it for the wide-character file API.
constexpr unsigned kNameCodePage = 932;

// The longest file name Windows takes, in UTF-16 units. Code page 932 never
// gives more units than it has bytes, so a name of up to this many bytes
// always fits.
constexpr std::size_t kMaxNameBytes = 255;

// The name last converted. A name is screened, compared with the image and
// written in turn, and is converted once for all three.
struct WideName {
  char bytes[kMaxNameBytes + 1];    // the name as given
  wchar_t text[kMaxNameBytes + 1];  // its UTF-16 text
  bool valid;                       // false: the bytes are not code page 932
};
WideName wideName = {{0}, {0}, true};

// The name as UTF-16, or null when it is longer than kMaxNameBytes or its
// bytes are not valid code page 932 (a lead byte without a valid trail byte;
// which single bytes count as undefined depends on the system's table).
const wchar_t* ToWideName(const char* name) {
  const std::size_t length = std::strlen(name);
  if (length > kMaxNameBytes) return nullptr;
  if (std::strcmp(name, wideName.bytes) != 0) {
    std::memcpy(wideName.bytes, name, length + 1);
    // Without MB_ERR_INVALID_CHARS a bad sequence would silently become a
    // default character, and the file would land under a name of its own.
    const int count =
        MultiByteToWideChar(kNameCodePage, MB_ERR_INVALID_CHARS, name, static_cast<int>(length),
                            wideName.text, static_cast<int>(kMaxNameBytes));
    wideName.valid = length == 0 || count > 0;
    wideName.text[wideName.valid ? count : 0] = 0;
  }
  return wideName.valid ? wideName.text : nullptr;
}

wchar_t UpperAscii(wchar_t c) {
  return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c;
}

// Windows opens CON, PRN, AUX, NUL, COM1 to COM9 and LPT1 to LPT9 as devices
// whatever their case and extension ("nul.txt", "Com1.dat"), so data written
// to them goes to a port or the console, or is thrown away. CONIN$ and
// CONOUT$ name the console itself.
bool IsReservedDevice(const wchar_t* name) {
  // The device is named by what comes before the first '.', less trailing
  // spaces.
  std::size_t length = 0;
  while (name[length] != 0 && name[length] != L'.') ++length;
  const bool hasExtension = name[length] != 0;
  while (length > 0 && name[length - 1] == L' ') --length;

  wchar_t base[8] = {};
  if (length >= sizeof base / sizeof base[0]) return false;
  for (std::size_t i = 0; i < length; ++i) base[i] = UpperAscii(name[i]);

  static const wchar_t* const kDevices[] = {L"CON", L"PRN", L"AUX", L"NUL"};
  for (const wchar_t* device : kDevices) {
    if (std::wcscmp(base, device) == 0) return true;
  }
  if (length == 4 && (std::wcsncmp(base, L"COM", 3) == 0 || std::wcsncmp(base, L"LPT", 3) == 0)) {
    return base[3] >= L'1' && base[3] <= L'9';
  }
  return !hasExtension && (std::wcscmp(base, L"CONIN$") == 0 || std::wcscmp(base, L"CONOUT$") == 0);
}
#endif

// Opens `name` for binary writing. With `exclusive`, only a file that does
// not exist yet is created.
std::FILE* CreateForWriting(const char* name, bool exclusive) {
#ifdef _WIN32
  const wchar_t* wide = ToWideName(name);
  if (wide == nullptr) {
    errno = EILSEQ;
    return nullptr;
  }
  return _wfopen(wide, exclusive ? L"wbx" : L"wb");
#else
  return std::fopen(name, exclusive ? "wbx" : "wb");
#endif
}

// Whether the runtime's fopen knows the exclusive "x" mode. The older
// Windows runtime that MinGW links by default does not.
#if defined(_WIN32) && !defined(_UCRT)
constexpr bool kExclusiveCreate = false;
#else
constexpr bool kExclusiveCreate = true;
#endif

}  // namespace

NameVerdict CheckOutputName(const char* name) {
  if (name[0] == 0) return NameVerdict::kEmpty;
  if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) {
    return NameVerdict::kDotOrDotDot;
  }
#ifdef _WIN32
  // The checks read characters, not bytes: the trail byte of a double-byte
  // character may be 0x5C, which is no backslash there ("\x83\x5C" is one
  // katakana letter).
  if (std::strlen(name) > kMaxNameBytes) return NameVerdict::kTooLong;
  const wchar_t* wide = ToWideName(name);
  if (wide == nullptr) return NameVerdict::kNotCodePage932;
  if (std::wcschr(wide, L'/') != nullptr) return NameVerdict::kSlash;
  if (std::wcschr(wide, L'\\') != nullptr) return NameVerdict::kBackslash;
  if (std::wcschr(wide, L':') != nullptr) return NameVerdict::kColon;
  if (IsReservedDevice(wide)) return NameVerdict::kReservedDevice;
  // Windows drops a trailing dot or space from a file name: "AB." would
  // silently replace "AB".
  const std::size_t length = std::wcslen(wide);
  if (wide[length - 1] == L'.' || wide[length - 1] == L' ') return NameVerdict::kTrailingDot;
#else
  if (std::strchr(name, '/') != nullptr) return NameVerdict::kSlash;
#endif
  return NameVerdict::kAccepted;
}

bool NamesImageFile(const char* name, const NativePathChar* imagePath) {
  if (imagePath == nullptr) return false;
#ifdef _WIN32
  const wchar_t* wide = ToWideName(name);
  if (wide == nullptr) return false;  // such a name is never created
  const std::filesystem::path candidate(wide);
#else
  const std::filesystem::path candidate(name);
#endif
  // Compare the files themselves, not the spellings: "./disk.d88", an
  // absolute path, a link or a different case on a case-blind file system
  // all name the same file. A name that does not exist yet is not the image.
  std::error_code error;
  return std::filesystem::equivalent(candidate, std::filesystem::path(imagePath), error) && !error;
}

WriteResult WriteOutputFile(const char* name, const std::uint8_t* data, int size,
                            const NativePathChar* imagePath) {
  // Creating the image's own name would truncate the image while it is
  // being read. A name that does not exist yet cannot be the image, so the
  // file is first created exclusively, and only a name that exists already
  // is compared with the image before it is replaced.
  errno = 0;
  std::FILE* file = kExclusiveCreate ? CreateForWriting(name, true) : nullptr;
  if (file == nullptr && (!kExclusiveCreate || errno == EEXIST)) {
    if (NamesImageFile(name, imagePath)) return WriteResult{WriteFailure::kIsImage, 0};
    errno = 0;
    file = CreateForWriting(name, false);
  }
  if (file == nullptr) return WriteResult{WriteFailure::kCreate, errno};
  // The data is in memory already: one write, no stream buffer in between.
  std::setvbuf(file, nullptr, _IONBF, 0);
  const std::size_t wanted = size > 0 ? static_cast<std::size_t>(size) : 0;
  if (wanted > 0 && std::fwrite(data, 1, wanted, file) != wanted) {
    const int error = errno;
    std::fclose(file);
    return WriteResult{WriteFailure::kWrite, error};
  }
  // Some file systems report a failed write only when the file is closed.
  errno = 0;
  if (std::fclose(file) != 0) return WriteResult{WriteFailure::kClose, errno};
  return WriteResult{WriteFailure::kNone, 0};
}
