#include "codepage.h"

#include <algorithm>
#include <cstring>

#ifdef _WIN32
#include "native_api.h"
#else
#include <iconv.h>
#endif

namespace {

// ASCII is the same in code page 932 (0x5C is the backslash, 0x7E the
// tilde) and needs no conversion.
bool IsAscii(const char* bytes, std::size_t length) {
  return std::all_of(bytes, bytes + length,
                     [](char byte) { return static_cast<unsigned char>(byte) < 0x80; });
}

// ASCII text is the same in both encodings: copied, where it fits with its
// terminator, without a call to the converter.
bool CopiedAscii(const char* text, std::size_t length, char* out, std::size_t outSize) {
  if (!IsAscii(text, length) || length >= outSize) return false;
  std::memcpy(out, text, length);
  out[length] = 0;
  return true;
}

#ifdef _WIN32

constexpr unsigned kCodePage = 932;

// `outSize` is at least 1, here and below.
bool Convert(const char* bytes, std::size_t length, char* out, std::size_t outSize) {
  // A name is at most a few dozen bytes; anything longer is not one.
  wchar_t wide[256];
  if (!Cp932ToUtf16(bytes, length, wide, sizeof wide / sizeof wide[0])) return false;
  if (length == 0) {
    out[0] = 0;
    return true;
  }
  const int written =
      WideCharToMultiByte(CP_UTF8, 0, wide, -1, out, static_cast<int>(outSize), nullptr, nullptr);
  return written > 0;
}

// UTF-8 to code page 932, refusing any character without a form of its own
// there rather than putting a default character in its place.
bool ConvertBack(const char* text, std::size_t length, char* out, std::size_t outSize) {
  wchar_t wide[256];
  if (length >= sizeof wide / sizeof wide[0]) return false;
  const int units =
      MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, static_cast<int>(length), wide, 255);
  if (units <= 0) return false;
  BOOL usedDefault = FALSE;
  const int written = WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, wide, units, out,
                                          static_cast<int>(outSize - 1), nullptr, &usedDefault);
  if (written <= 0 || usedDefault) return false;
  out[written] = 0;
  return true;
}

#else

// One converter each way for the whole run, opened on first use.
iconv_t Converter() {
  static const iconv_t converter = iconv_open("UTF-8", "CP932");
  return converter;
}

iconv_t BackConverter() {
  static const iconv_t converter = iconv_open("CP932", "UTF-8");
  return converter;
}

// `outSize` is at least 1, here and below.
bool Iconv(iconv_t converter, const char* bytes, std::size_t length, char* out,
           std::size_t outSize) {
  if (converter == reinterpret_cast<iconv_t>(-1)) return false;
  iconv(converter, nullptr, nullptr, nullptr, nullptr);
  char* in = const_cast<char*>(bytes);
  std::size_t inLeft = length;
  char* to = out;
  std::size_t toLeft = outSize - 1;
  if (iconv(converter, &in, &inLeft, &to, &toLeft) == static_cast<std::size_t>(-1) || inLeft != 0) {
    return false;
  }
  *to = 0;
  return true;
}

bool Convert(const char* bytes, std::size_t length, char* out, std::size_t outSize) {
  return Iconv(Converter(), bytes, length, out, outSize);
}

bool ConvertBack(const char* text, std::size_t length, char* out, std::size_t outSize) {
  return Iconv(BackConverter(), text, length, out, outSize);
}

#endif

}  // namespace

bool IsCp932LeadByte(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

#ifdef _WIN32

bool Cp932ToUtf16(const char* bytes, std::size_t length, wchar_t* out, std::size_t outSize) {
  if (outSize == 0) return false;
  out[0] = 0;
  if (length == 0) return true;
  if (length >= outSize) return false;
  // Without MB_ERR_INVALID_CHARS a bad sequence would silently become a
  // default character, and a file would land under a name of its own. Code
  // page 932 never gives more UTF-16 units than it has bytes.
  const int units =
      MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, bytes, static_cast<int>(length), out,
                          static_cast<int>(outSize - 1));
  if (units <= 0) {
    out[0] = 0;
    return false;
  }
  out[units] = 0;
  return true;
}

#endif

bool Cp932Available() {
#ifdef _WIN32
  return IsValidCodePage(kCodePage) != 0;
#else
  return Converter() != reinterpret_cast<iconv_t>(-1);
#endif
}

bool Cp932ToUtf8(const char* bytes, std::size_t length, char* out, std::size_t outSize) {
  if (outSize == 0) return false;
  if (CopiedAscii(bytes, length, out, outSize)) return true;
  if (Convert(bytes, length, out, outSize)) return true;
  out[0] = 0;
  return false;
}

void Cp932ToUtf8Lenient(const char* bytes, std::size_t length, char* out, std::size_t outSize) {
  if (outSize == 0) return;
  std::size_t used = 0;
  out[0] = 0;
  for (std::size_t i = 0; i < length;) {
    // One character at a time: a lead byte with its trail byte, or a single
    // byte; a byte that makes no character is one U+FFFD. Two bytes that
    // convert are a character or two, and give the same text either way.
    char piece[8];
    std::size_t taken = 0;
    if (IsAscii(bytes + i, 1)) {
      piece[0] = bytes[i];
      piece[1] = 0;
      taken = 1;
    } else if (i + 1 < length && Convert(bytes + i, 2, piece, sizeof piece)) {
      taken = 2;
    } else if (Convert(bytes + i, 1, piece, sizeof piece)) {
      taken = 1;
    } else {
      std::memcpy(piece, "\xEF\xBF\xBD", 4);
      taken = 1;
    }
    const std::size_t pieceLength = std::strlen(piece);
    if (used + pieceLength + 1 > outSize) return;
    std::memcpy(out + used, piece, pieceLength + 1);
    used += pieceLength;
    i += taken;
  }
}

bool Utf8ToCp932(const char* text, std::size_t length, char* out, std::size_t outSize) {
  if (outSize == 0) return false;
  if (CopiedAscii(text, length, out, outSize)) return true;
  // Back again, the text must be what was given: a character that code page
  // 932 stores as another's bytes would come back as that other one.
  char again[256];
  if (ConvertBack(text, length, out, outSize) &&
      Convert(out, std::strlen(out), again, sizeof again) && std::strlen(again) == length &&
      std::memcmp(again, text, length) == 0) {
    return true;
  }
  return false;
}
