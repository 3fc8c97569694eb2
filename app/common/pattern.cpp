#include "pattern.h"

namespace {

// The length of the character at `p`: one byte, or a whole UTF-8 sequence.
int CharLength(const char* p, bool utf8) {
  const unsigned char lead = static_cast<unsigned char>(*p);
  int length = 1;
  if (utf8 && lead >= 0xC0) length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
  // A sequence cut short by the end counts byte by byte.
  for (int i = 1; i < length; ++i) {
    if ((static_cast<unsigned char>(p[i]) & 0xC0) != 0x80) return 1;
  }
  return length;
}

// The character at `p` as a number, for ranges.
unsigned long CharValue(const char* p, int length) {
  unsigned long value = static_cast<unsigned char>(p[0]);
  if (length > 1) value &= 0xFFu >> (length + 1);
  for (int i = 1; i < length; ++i) value = value << 6 | (static_cast<unsigned char>(p[i]) & 0x3F);
  return value;
}

// The other case of an ASCII letter; any other character as it is.
unsigned long OtherCase(unsigned long c) {
  if (c >= 'a' && c <= 'z') return c - 'a' + 'A';
  if (c >= 'A' && c <= 'Z') return c - 'A' + 'a';
  return c;
}

}  // namespace

const char* Pattern::MatchSet(const char* open, unsigned long c, bool utf8, bool ignoreCase,
                              bool& matched) {
  if (open == unclosed) return nullptr;
  const char* p = open + 1;
  const bool negated = *p == '!' || *p == '^';
  if (negated) ++p;
  bool found = false;
  bool first = true;
  while (*p != 0 && (first || *p != ']')) {
    first = false;
    if (*p == '\\' && p[1] != 0) ++p;
    const int lowLength = CharLength(p, utf8);
    const unsigned long low = CharValue(p, lowLength);
    p += lowLength;
    unsigned long high = low;
    if (*p == '-' && p[1] != ']' && p[1] != 0) {
      ++p;
      if (*p == '\\' && p[1] != 0) ++p;
      const int highLength = CharLength(p, utf8);
      high = CharValue(p, highLength);
      p += highLength;
    }
    const auto within = [low, high](unsigned long x) { return x >= low && x <= high; };
    found = found || within(c) || (ignoreCase && within(OtherCase(c)));
  }
  if (*p != ']') {
    unclosed = open;
    return nullptr;
  }
  matched = found != negated;
  return p + 1;
}

bool Pattern::Matches(const char* name, bool utf8, bool ignoreCase) {
  // Backtracking to the last '*' only: the usual linear-time match.
  const char* p = text;
  const char* n = name;
  const char* starPattern = nullptr;
  const char* starName = nullptr;
  while (*n != 0) {
    const int length = CharLength(n, utf8);
    bool advanced = false;
    if (*p == '*') {
      starPattern = ++p;
      starName = n;
      continue;
    }
    if (*p == '?') {
      ++p;
      advanced = true;
    } else if (*p == '[') {
      bool matched = false;
      const char* after = MatchSet(p, CharValue(n, length), utf8, ignoreCase, matched);
      if (after != nullptr) {
        if (matched) {
          p = after;
          advanced = true;
        }
      } else if (*n == '[') {
        ++p;
        advanced = true;
      }
    } else if (*p != 0) {
      const char* literal = *p == '\\' && p[1] != 0 ? p + 1 : p;
      const int literalLength = CharLength(literal, utf8);
      bool same = literalLength == length;
      for (int i = 0; same && i < length; ++i) {
        const unsigned char want = static_cast<unsigned char>(literal[i]);
        const unsigned char have = static_cast<unsigned char>(n[i]);
        same = want == have || (ignoreCase && length == 1 && OtherCase(want) == have);
      }
      if (same) {
        p = literal + literalLength;
        advanced = true;
      }
    }
    if (advanced) {
      n += length;
    } else if (starPattern != nullptr) {
      p = starPattern;
      starName += CharLength(starName, utf8);
      n = starName;
    } else {
      return false;
    }
  }
  while (*p == '*') ++p;
  return *p == 0;
}
