#include "output_name.h"

#include <cstring>

#ifdef _WIN32
#include <cwchar>

#include "codepage.h"
#endif

#ifdef _WIN32

namespace {

wchar_t UpperAscii(wchar_t c) {
  return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c;
}

// Windows opens CON, PRN, AUX, NUL, COM1 to COM9 and LPT1 to LPT9 as devices
// whatever their case and extension ("nul.txt", "Com1.dat"), so data written
// to them goes to a port or the console, or is thrown away. CONIN$ and
// CONOUT$ name the console itself, with an extension too ("CONIN$.TXT"
// opens the console).
bool IsReservedDevice(const wchar_t* name) {
  // The device is named by what comes before the first '.', less trailing
  // spaces.
  std::size_t length = 0;
  while (name[length] != 0 && name[length] != L'.') ++length;
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
  return std::wcscmp(base, L"CONIN$") == 0 || std::wcscmp(base, L"CONOUT$") == 0;
}

}  // namespace

const wchar_t* WideFileName(const char* name, wchar_t (&text)[kMaxNameBytes + 1]) {
  // Windows file names are UTF-16. A disk's name bytes are code page 932
  // (Shift-JIS with half-width katakana) whatever the user's own code page.
  const std::size_t length = std::strlen(name);
  if (length > static_cast<std::size_t>(kMaxNameBytes)) return nullptr;
  return Cp932ToUtf16(name, length, text, sizeof text / sizeof text[0]) ? text : nullptr;
}

#endif

NameVerdict CheckOutputName(const char* name) {
  if (name[0] == 0) return NameVerdict::kEmpty;
  if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) {
    return NameVerdict::kDotOrDotDot;
  }
#ifdef _WIN32
  // The checks read characters, not bytes: the trail byte of a double-byte
  // character may be 0x5C, which is no backslash there ("\x83\x5C" is one
  // katakana letter).
  if (std::strlen(name) > static_cast<std::size_t>(kMaxNameBytes)) return NameVerdict::kTooLong;
  wchar_t wideName[kMaxNameBytes + 1];
  const wchar_t* wide = WideFileName(name, wideName);
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
