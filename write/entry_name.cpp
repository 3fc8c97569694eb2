#include "entry_name.h"

#include "codepage.h"

namespace {

namespace de = directory_entry;

// A control character of ASCII, which a name on a terminal would not show
// but obey (a NUL ends the name before it gets here).
bool IsAsciiControl(unsigned char byte) {
  return (byte >= 0x01 && byte < 0x20) || byte == 0x7F;
}

// A byte the listing would not give back as it stands: a space ends a part
// of the name, and the others are no part of a file name. The byte after a
// lead byte is part of a two-byte character and is not looked at.
Refusal CheckBytes(const unsigned char* bytes) {
  for (const unsigned char* p = bytes; *p != 0; ++p) {
    if (IsCp932LeadByte(*p) && p[1] >= 0x40 && p[1] != 0x7F) {
      ++p;
    } else if (*p == ' ') {
      return Refusal::kNameSpace;
    } else if (IsAsciiControl(*p)) {
      return Refusal::kNameControl;
    } else if (*p == '/') {
      return Refusal::kNameSlash;
    } else if (*p == '\\') {
      return Refusal::kNameBackslash;
    }
  }
  return Refusal::kNone;
}

void PutPadded(std::uint8_t* to, const char* from, std::size_t length, int width) {
  for (int i = 0; i < width; ++i) {
    to[i] = static_cast<std::size_t>(i) < length ? static_cast<std::uint8_t>(from[i]) : ' ';
  }
}

}  // namespace

const char* BaseName(const char* path) {
  const char* base = path;
  for (const char* p = path; *p != 0; ++p) {
#ifdef _WIN32
    if (*p == '/' || *p == '\\' || (*p == ':' && p == path + 1)) base = p + 1;
#else
    if (*p == '/') base = p + 1;
#endif
  }
  return base;
}

Refusal MakeEntryName(const char* name, bool fromUtf8, EntryName& entry) {
  // Anything longer than a few bytes is too long whatever it converts to.
  char converted[64];
  std::size_t length = std::strlen(name);
  if (fromUtf8) {
    if (length >= sizeof converted) return Refusal::kNameTooLong;
    if (!Utf8ToCp932(name, length, converted, sizeof converted)) {
      // The control bytes and separators are ASCII; say so rather than
      // blame the code page.
      const Refusal bytes = CheckBytes(reinterpret_cast<const unsigned char*>(name));
      return bytes != Refusal::kNone ? bytes : Refusal::kNameNotCodePage932;
    }
    name = converted;
    length = std::strlen(converted);
  }
  const Refusal bytes = CheckBytes(reinterpret_cast<const unsigned char*>(name));
  if (bytes != Refusal::kNone) return bytes;
  // No byte of a two-byte character is a '.'.
  const char* dot = std::strrchr(name, '.');
  const std::size_t stem = dot != nullptr ? static_cast<std::size_t>(dot - name) : length;
  const std::size_t extension = dot != nullptr ? length - stem - 1 : 0;
  if (stem == 0) return Refusal::kNameEmpty;
  if (dot != nullptr && extension == 0) return Refusal::kNameEndsInDot;
  if (stem > static_cast<std::size_t>(de::kNameLength)) return Refusal::kNameTooLong;
  if (extension > static_cast<std::size_t>(de::kExtensionLength)) {
    return Refusal::kExtensionTooLong;
  }
  PutPadded(entry.bytes, name, stem, de::kNameLength);
  PutPadded(entry.bytes + de::kNameLength, name + stem + 1, extension, de::kExtensionLength);
  return Refusal::kNone;
}
