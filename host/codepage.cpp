#include "codepage.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>

#include "cp932_table.h"

namespace {

using cp932_table::kTrailCount;

// The half-width katakana, single bytes in order from U+FF61.
constexpr unsigned kKatakanaFirst = 0xA1;
constexpr unsigned kKatakanaLast = 0xDF;
constexpr char32_t kKatakanaCharacter = 0xFF61;

// The user-defined characters: every trail byte of the lead bytes 0xF0 to
// 0xF9, in order, are the private-use characters from U+E000.
constexpr unsigned kUserLeadFirst = 0xF0;
constexpr unsigned kUserLeadLast = 0xF9;
constexpr char32_t kUserCharacter = 0xE000;
constexpr char32_t kUserCount = (kUserLeadLast - kUserLeadFirst + 1) * kTrailCount;

// The trail bytes run from 0x40 to 0xFC, without 0x7F.
constexpr unsigned kTrailGap = 0x7F;
constexpr unsigned kTrailLast = 0xFC;

// One character of a text: what it is, and how many bytes it takes there
// (0: no character begins at that byte).
struct Character {
  char32_t value;
  int length;
};

constexpr Character kNoCharacter = {0, 0};
constexpr char32_t kReplacement = 0xFFFD;

// The place of a trail byte among the kTrailCount, or -1 for a byte that
// cannot follow a lead byte.
int TrailIndex(unsigned char byte) {
  if (byte < 0x40 || byte == kTrailGap || byte > kTrailLast) return -1;
  return byte < kTrailGap ? byte - 0x40 : byte - 0x41;
}

unsigned char TrailByte(unsigned index) {
  return static_cast<unsigned char>(index < kTrailGap - 0x40 ? index + 0x40 : index + 0x41);
}

// The character of two bytes, or 0 where they make none.
char32_t TwoByteCharacter(unsigned char lead, unsigned char trail) {
  const int index = TrailIndex(trail);
  if (index < 0) return 0;
  if (lead >= kUserLeadFirst && lead <= kUserLeadLast) {
    return kUserCharacter + (lead - kUserLeadFirst) * kTrailCount + static_cast<char32_t>(index);
  }
  return cp932_table::kRows[cp932_table::kRowOfLead[lead]][index];
}

char32_t CharacterOfCode(std::uint16_t code) {
  return TwoByteCharacter(static_cast<unsigned char>(code >> 8), code & 0xFF);
}

// The code page 932 character at `p`, of the `left` bytes there.
Character ReadCp932(const unsigned char* p, std::size_t left) {
  const unsigned char byte = p[0];
  if (byte < 0x80) return {byte, 1};
  if (byte >= kKatakanaFirst && byte <= kKatakanaLast) {
    return {kKatakanaCharacter + (byte - kKatakanaFirst), 1};
  }
  const char32_t value = left >= 2 ? TwoByteCharacter(byte, p[1]) : 0;
  return value != 0 ? Character{value, 2} : kNoCharacter;
}

// The same, with U+FFFD for a byte that begins no character.
Character ReadCp932OrReplacement(const unsigned char* p, std::size_t left) {
  const Character c = ReadCp932(p, left);
  return c.length != 0 ? c : Character{kReplacement, 1};
}

// The UTF-8 character at `p`, of the `left` bytes there. Code page 932 has
// nothing past U+FFFF: a four-byte sequence is no character of it, and
// neither is a sequence not in its shortest form.
Character ReadUtf8(const unsigned char* p, std::size_t left) {
  const unsigned char lead = p[0];
  if (lead < 0x80) return {lead, 1};
  const int length = (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3 : 0;
  if (length == 0 || left < static_cast<std::size_t>(length)) return kNoCharacter;
  char32_t value = lead & (length == 2 ? 0x1F : 0x0F);
  for (int i = 1; i < length; ++i) {
    if ((p[i] & 0xC0) != 0x80) return kNoCharacter;
    value = value << 6 | (p[i] & 0x3F);
  }
  if (value < (length == 2 ? 0x80u : 0x800u)) return kNoCharacter;
  return {value, length};
}

// Puts the code page 932 bytes of `value` at `out`; returns how many, 0
// where code page 932 lacks the character.
int WriteCp932(char32_t value, unsigned char* out) {
  if (value < 0x80) {
    out[0] = static_cast<unsigned char>(value);
    return 1;
  }
  if (value >= kKatakanaCharacter && value <= kKatakanaCharacter + kKatakanaLast - kKatakanaFirst) {
    out[0] = static_cast<unsigned char>(kKatakanaFirst + (value - kKatakanaCharacter));
    return 1;
  }
  if (value >= kUserCharacter && value < kUserCharacter + kUserCount) {
    const char32_t place = value - kUserCharacter;
    out[0] = static_cast<unsigned char>(kUserLeadFirst + place / kTrailCount);
    out[1] = TrailByte(place % kTrailCount);
    return 2;
  }
  const std::uint16_t* const codes = std::begin(cp932_table::kCodesByCharacter);
  const std::uint16_t* const end = std::end(cp932_table::kCodesByCharacter);
  const std::uint16_t* const code = std::lower_bound(
      codes, end, value,
      [](std::uint16_t entry, char32_t value) { return CharacterOfCode(entry) < value; });
  if (code == end || CharacterOfCode(*code) != value) return 0;
  out[0] = static_cast<unsigned char>(*code >> 8);
  out[1] = static_cast<unsigned char>(*code);
  return 2;
}

// The bytes of `value` (below U+10000) in UTF-8.
std::size_t Utf8Length(char32_t value) {
  return value < 0x80 ? 1 : value < 0x800 ? 2 : 3;
}

// Puts `value` as UTF-8 at `out`, Utf8Length(value) bytes.
void WriteUtf8(char32_t value, char* out) {
  if (value < 0x80) {
    out[0] = static_cast<char>(value);
  } else if (value < 0x800) {
    out[0] = static_cast<char>(0xC0 | value >> 6);
    out[1] = static_cast<char>(0x80 | (value & 0x3F));
  } else {
    out[0] = static_cast<char>(0xE0 | value >> 12);
    out[1] = static_cast<char>(0x80 | (value >> 6 & 0x3F));
    out[2] = static_cast<char>(0x80 | (value & 0x3F));
  }
}

// Gives each character of the text, as `read` finds them, to `put` until
// a byte begins none or `put` says it has no room. Returns whether the
// whole text was given.
template <Character (*read)(const unsigned char*, std::size_t), typename Put>
bool EachCharacter(const char* text, std::size_t length, Put put) {
  const unsigned char* const p = reinterpret_cast<const unsigned char*>(text);
  for (std::size_t i = 0; i < length;) {
    const Character c = read(p + i, length - i);
    if (c.length == 0 || !put(c.value)) return false;
    i += static_cast<std::size_t>(c.length);
  }
  return true;
}

// Code page 932, as `read` reads it, to NUL-terminated UTF-8, as far as it
// goes.
template <Character (*read)(const unsigned char*, std::size_t)>
bool ToUtf8(const char* bytes, std::size_t length, char* out, std::size_t outSize) {
  // The ASCII that most names are wholly is copied as it stands.
  const std::size_t room = std::min(length, outSize - 1);
  std::size_t used = 0;
  while (used < room && static_cast<unsigned char>(bytes[used]) < 0x80) ++used;
  std::memcpy(out, bytes, used);
  const bool whole = EachCharacter<read>(bytes + used, length - used, [&](char32_t value) {
    const std::size_t pieceLength = Utf8Length(value);
    if (used + pieceLength >= outSize) return false;
    WriteUtf8(value, out + used);
    used += pieceLength;
    return true;
  });
  out[used] = 0;
  return whole;
}

}  // namespace

bool IsCp932LeadByte(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

bool Cp932ToUtf8(const char* bytes, std::size_t length, char* out, std::size_t outSize) {
  if (outSize == 0) return false;
  if (ToUtf8<ReadCp932>(bytes, length, out, outSize)) return true;
  out[0] = 0;
  return false;
}

void Cp932ToUtf8Lenient(const char* bytes, std::size_t length, char* out, std::size_t outSize) {
  if (outSize == 0) return;
  ToUtf8<ReadCp932OrReplacement>(bytes, length, out, outSize);
}

bool Cp932ToUtf16(const char* bytes, std::size_t length, wchar_t* out, std::size_t outSize) {
  if (outSize == 0) return false;
  std::size_t used = 0;
  const bool whole = EachCharacter<ReadCp932>(bytes, length, [&](char32_t value) {
    if (used + 1 >= outSize) return false;
    out[used++] = static_cast<wchar_t>(value);
    return true;
  });
  out[whole ? used : 0] = 0;
  return whole;
}

bool Utf8ToCp932(const char* text, std::size_t length, char* out, std::size_t outSize) {
  if (outSize == 0) return false;
  std::size_t used = 0;
  const bool whole = EachCharacter<ReadUtf8>(text, length, [&](char32_t value) {
    unsigned char piece[2];
    const int pieceLength = WriteCp932(value, piece);
    if (pieceLength == 0 || used + static_cast<std::size_t>(pieceLength) >= outSize) return false;
    std::memcpy(out + used, piece, static_cast<std::size_t>(pieceLength));
    used += static_cast<std::size_t>(pieceLength);
    return true;
  });
  out[used] = 0;
  return whole;
}
