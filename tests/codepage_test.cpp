// The code page 932 tables against the host's iconv, code by code: every
// one- and two-byte code read, every character written. The few codes
// where the two differ are listed here, and in the README.
#include "codepage.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>

namespace {

// One iconv conversion, open for the test's life.
class Iconv {
 public:
  Iconv(const char* to, const char* from) : converter_(iconv_open(to, from)) {}
  ~Iconv() {
    if (Available()) iconv_close(converter_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;

  bool Available() const { return converter_ != reinterpret_cast<iconv_t>(-1); }

  // The whole text converted, or nothing where iconv refuses it.
  std::optional<std::string> Convert(const std::string& text) const {
    iconv(converter_, nullptr, nullptr, nullptr, nullptr);
    char out[64];
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    char* to = out;
    std::size_t toLeft = sizeof out;
    if (iconv(converter_, &in, &inLeft, &to, &toLeft) == static_cast<std::size_t>(-1) ||
        inLeft != 0) {
      return std::nullopt;
    }
    return std::string(out, to);
  }

 private:
  iconv_t converter_;
};

// The two-byte code `steps` trail bytes after `code` (trail bytes run from
// 0x40 to 0xFC without 0x7F).
std::string CodeAfter(std::uint16_t code, int steps) {
  int lead = code >> 8;
  int trail = code & 0xFF;
  for (int k = 0; k < steps; ++k) {
    trail = trail == 0x7E ? 0x80 : trail == 0xFC ? 0x40 : trail + 1;
    if (trail == 0x40) ++lead;
  }
  return {static_cast<char>(lead), static_cast<char>(trail)};
}

// The characters that code page 932 holds twice where the program writes
// another code than iconv: runs of consecutive codes, the program's first.
// Both codes read as the same character.
const struct Twice {
  std::uint16_t written;  // the first code, as Python's cp932 encoder writes it
  std::uint16_t iconv;    // the second
  int count;
} kWrittenOtherwise[] = {
    {0xED40, 0xFA5C, 360},  // the kanji from U+7E8A to U+9ED1
    {0xEEEF, 0xFA40, 10},   // the small Roman numerals U+2170 to U+2179
    {0xEEFA, 0xFA55, 3},    // U+FFE4, U+FF07, U+FF02
};

TEST(CodePage932, ReadsEveryCodeAsIconvDoes) {
  const Iconv toUtf8("UTF-8", "CP932");
  const Iconv toUtf16("UTF-16LE", "CP932");
  if (!toUtf8.Available() || !toUtf16.Available()) GTEST_SKIP() << "iconv lacks CP932";
  // Each byte alone, then with each byte after it: one character of two
  // bytes, two of one, or none. A NUL ends the text.
  for (int first = 1; first < 0x100; ++first) {
    for (int second = -1; second < 0x100; ++second) {
      if (second == 0) continue;
      std::string bytes(1, static_cast<char>(first));
      if (second >= 0) bytes += static_cast<char>(second);
      SCOPED_TRACE(testing::PrintToString(bytes));
      const std::optional<std::string> text = toUtf8.Convert(bytes);
      char utf8[16];
      ASSERT_EQ(Cp932ToUtf8(bytes.data(), bytes.size(), utf8, sizeof utf8), text.has_value());
      EXPECT_EQ(utf8, text.value_or(""));
      // The same characters as UTF-16, as Windows names files with them.
      const std::optional<std::string> units = toUtf16.Convert(bytes);
      std::u16string expected;
      for (std::size_t i = 0; units && i + 1 < units->size(); i += 2) {
        expected += static_cast<char16_t>(static_cast<unsigned char>((*units)[i]) |
                                          static_cast<unsigned char>((*units)[i + 1]) << 8);
      }
      wchar_t wide[8];
      ASSERT_EQ(Cp932ToUtf16(bytes.data(), bytes.size(), wide, 8), units.has_value());
      EXPECT_EQ(std::u16string(wide, wide + std::char_traits<wchar_t>::length(wide)), expected);
    }
  }
}

TEST(CodePage932, WritesEveryCharacterAsIconvDoesButTheListedOnes) {
  const Iconv toCp932("CP932", "UTF-8");
  const Iconv back("UTF-8", "CP932");
  const Iconv toUtf8("UTF-8", "UTF-32BE");
  if (!toCp932.Available() || !back.Available() || !toUtf8.Available())
    GTEST_SKIP() << "iconv lacks CP932";
  std::map<std::string, std::pair<std::string, std::string>> listed;  // UTF-8: ours, iconv's
  for (const Twice& run : kWrittenOtherwise) {
    for (int k = 0; k < run.count; ++k) {
      const std::string ours = CodeAfter(run.written, k);
      const std::string theirs = CodeAfter(run.iconv, k);
      const std::optional<std::string> text = back.Convert(ours);
      ASSERT_TRUE(text.has_value()) << testing::PrintToString(ours);
      ASSERT_EQ(back.Convert(theirs), text) << testing::PrintToString(theirs);
      listed[*text] = {ours, theirs};
    }
  }
  ASSERT_EQ(listed.size(), 373u);
  int written = 0;
  for (char32_t c = 1; c < 0x110000; ++c) {
    if (c >= 0xD800 && c < 0xE000) continue;
    const std::string text =
        *toUtf8.Convert({static_cast<char>(c >> 24), static_cast<char>(c >> 16),
                         static_cast<char>(c >> 8), static_cast<char>(c)});
    // iconv's code, where it reads back as the same character: iconv writes
    // a few characters as others' codes (U+00A5 as 0x5C, the backslash).
    std::optional<std::string> expected = toCp932.Convert(text);
    if (expected && back.Convert(*expected) != text) expected.reset();
    const auto other = listed.find(text);
    if (other != listed.end()) {
      EXPECT_EQ(expected, other->second.second) << std::hex << c;
      expected = other->second.first;
    }
    char out[8];
    const bool ok = Utf8ToCp932(text.data(), text.size(), out, sizeof out);
    ASSERT_EQ(ok, expected.has_value()) << std::hex << c;
    if (ok) {
      EXPECT_EQ(out, *expected) << std::hex << c;
      ++written;
    }
  }
  // ASCII but NUL, the half-width katakana, the user-defined characters
  // and those of the two-byte rows.
  EXPECT_EQ(written, 127 + 63 + 1880 + 7326);
}

TEST(CodePage932, RefusesTextThatIsNotUtf8) {
  const std::string cases[] = {
      "\x80",              // a continuation byte alone
      "\xC3",              // cut short
      "\xE3\x82",          // cut short
      "\xE3\x82\x41",      // a continuation byte missing: 'A' instead
      "\xE3\x41\x82",      // the same, earlier
      "\xC1\x81",          // 'A' in two bytes
      "\xE0\x81\x81",      // and in three
      "\xF0\x9F\x98\x80",  // past U+FFFF: in no code page 932
      "\xFF",
  };
  for (const std::string& text : cases) {
    char out[16];
    EXPECT_FALSE(Utf8ToCp932(text.data(), text.size(), out, sizeof out))
        << testing::PrintToString(text);
  }
  // Two bytes in their shortest form: U+00A7, the section sign; the text
  // given may end inside it.
  char out[16];
  EXPECT_TRUE(Utf8ToCp932("\xC2\xA7", 2, out, sizeof out));
  EXPECT_STREQ(out, "\x81\x98");
  EXPECT_FALSE(Utf8ToCp932("\xC2\xA7", 1, out, sizeof out));
}

TEST(CodePage932, ConvertsWhatFitsWhateverItsLength) {
  // 100 kanji are 300 bytes of UTF-8 and 200 of code page 932.
  std::string text;
  std::string bytes;
  for (int k = 0; k < 100; ++k) {
    text += u8"漢";
    bytes += "\x8A\xBF";
  }
  char stored[201];
  ASSERT_TRUE(Utf8ToCp932(text.data(), text.size(), stored, sizeof stored));
  EXPECT_EQ(stored, bytes);
  char small[200];
  EXPECT_FALSE(Utf8ToCp932(text.data(), text.size(), small, sizeof small));
  char back[301];
  EXPECT_TRUE(Cp932ToUtf8(stored, 200, back, sizeof back));
  EXPECT_EQ(back, text);
  EXPECT_FALSE(Cp932ToUtf8(stored, 200, back, 300));
  EXPECT_STREQ(back, "");
  // The length given ends the text, inside a character too.
  EXPECT_FALSE(Cp932ToUtf8(stored, 199, back, sizeof back));
  // UTF-16: one unit a character, and the NUL.
  wchar_t wide[4];
  EXPECT_TRUE(
      Cp932ToUtf16("\x8A\xBF\xB1"
                   "A",
                   4, wide, 4));
  EXPECT_EQ(std::wstring(wide), std::wstring({0x6F22, 0xFF71, L'A'}));
  EXPECT_FALSE(
      Cp932ToUtf16("\x8A\xBF\xB1"
                   "AB",
                   5, wide, 4));
  EXPECT_EQ(wide[0], 0);
  EXPECT_TRUE(Cp932ToUtf16("", 0, wide, 1));
  EXPECT_FALSE(Cp932ToUtf16("", 0, wide, 0));
}

}  // namespace
