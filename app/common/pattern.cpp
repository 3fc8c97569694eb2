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

// Reads one member of a set at `p`, a character or a range of them, into
// [low, high]; returns what follows it.
const char* ReadMember(const char* p, bool utf8, unsigned long& low, unsigned long& high) {
  if (*p == '\\' && p[1] != 0) ++p;
  const int lowLength = CharLength(p, utf8);
  low = CharValue(p, lowLength);
  p += lowLength;
  high = low;
  if (*p == '-' && p[1] != ']' && p[1] != 0) {
    ++p;
    if (*p == '\\' && p[1] != 0) ++p;
    const int highLength = CharLength(p, utf8);
    high = CharValue(p, highLength);
    p += highLength;
  }
  return p;
}

}  // namespace

const char* Pattern::MatchSet(const char* open, unsigned long c, bool utf8, bool ignoreCase,
                              bool& matched) {
  if (unclosed != nullptr && open >= unclosed) return nullptr;
  if (compiled.open == open && compiled.utf8 == utf8 && compiled.ignoreCase == ignoreCase &&
      (c < 256 || !compiled.wide)) {
    const bool found = c < 256 && (compiled.bits[c / 8] >> (c % 8) & 1) != 0;
    matched = found != compiled.negated;
    return compiled.after;
  }
  const char* members = open + 1;
  const bool negated = *members == '!' || *members == '^';
  if (negated) ++members;
  const char* p = members;
  bool found = false;
  while (*p != 0 && (p == members || *p != ']')) {
    unsigned long low = 0;
    unsigned long high = 0;
    p = ReadMember(p, utf8, low, high);
    ++membersRead;
    const auto within = [low, high](unsigned long x) { return x >= low && x <= high; };
    found = found || within(c) || (ignoreCase && within(OtherCase(c)));
  }
  if (*p != ']') {
    unclosed = open;
    return nullptr;
  }
  matched = found != negated;
  // A short set is read again each time: that costs no more than a table.
  constexpr long kLongSet = 32;
  if (p - open > kLongSet) Compile(open, members, p, utf8, ignoreCase, negated);
  return p + 1;
}

void Pattern::Compile(const char* open, const char* members, const char* close, bool utf8,
                      bool ignoreCase, bool negated) {
  compiled = Compiled{open, close + 1, utf8, ignoreCase, negated, false, {}};
  // Where each range starts and ends, summed byte value by byte value: the
  // table costs the set's length and 256 steps, however wide its ranges.
  int edges[257] = {};
  for (const char* p = members; p != close;) {
    unsigned long low = 0;
    unsigned long high = 0;
    p = ReadMember(p, utf8, low, high);
    ++membersRead;
    compiled.wide = compiled.wide || high > 255;
    if (low > high || low > 255) continue;
    ++edges[low];
    --edges[high > 255 ? 256 : high + 1];
  }
  bool in[256];
  int depth = 0;
  for (int x = 0; x < 256; ++x) in[x] = (depth += edges[x]) > 0;
  for (unsigned long x = 0; x < 256; ++x) {
    if (in[x] || (ignoreCase && in[OtherCase(x)])) {
      compiled.bits[x / 8] |= static_cast<unsigned char>(1u << (x % 8));
    }
  }
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
