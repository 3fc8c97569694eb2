// Tests of the text functions the command lines rest on: shell patterns,
// JSON strings and code page 932. Each is a table of inputs and what they
// must give.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "codepage.h"
#include "console.h"
#include "json.h"
#include "pattern.h"

// The console functions name the program in what they print.
const char kProgramName[] = "d88unpack";

namespace {

TEST(MatchPattern, MatchesWholeNames) {
  // Sets longer than this are matched by a table once read.
  const std::string L = "0123456789012345678901234567890123456789";
  const struct {
    std::string pattern;
    bool utf8;
    std::vector<std::string> matching, others;
    bool fold = false;
  } cases[] = {
      {"*.BIN", false, {"GAME.BIN"}, {"GAME.BINX"}},
      {"G*E*", false, {"GAME"}, {}},
      {"*", false, {""}, {}},
      {"?", false, {}, {"", u8"ソ"}},
      {"A?B", false, {"A*B"}, {}},
      {"A\\*B", false, {"A*B"}, {"AXB"}},
      {"A\\", false, {"A\\"}, {}},
      // Sets: ranges, negation with '!' or '^', a ']' first stands for
      // itself, so does a '-' first or last, and an unclosed '[' is a '['.
      {"[A-C]", false, {"A", "B", "C"}, {"D"}},
      {"[!A-C]", false, {"D"}, {}},
      {"[^A-C]", false, {}, {"A"}},
      {"[]]*", false, {"]X"}, {"X]"}},
      {"[A-]*", false, {"-X", "AX"}, {"BX"}},
      {"[-A]", false, {"-"}, {}},
      {"[\\]]", false, {"]"}, {}},
      {"[A", false, {"[A"}, {"A"}},
      {"[\\", false, {"[\\"}, {}},
      {"[[]*", false, {"[X]"}, {}},
      // A character is one byte, or with utf8 one UTF-8 sequence, also when
      // a '*' backtracks over it.
      {"???", false, {u8"ソ"}, {}},
      {"?", true, {u8"ソ", u8"é", u8"😀"}, {}},
      {"*?B*", true, {u8"ソBX"}, {}},
      {"*??B*", true, {u8"ソソBX"}, {u8"ソBX"}},
      {"[ア-ン]B", true, {u8"ソB"}, {u8"あB"}},
      {"[!ア-ン]B", true, {u8"あB"}, {}},
      {"[ア-ン]", true, {}, {u8"¢"}},
      // A sequence cut short counts byte by byte.
      {"??", true, {"\xE3\x82"}, {}},
      // Long sets: the same answers from their tables.
      {"[" + L + "A-C]*", false, {"CX"}, {"DX"}},
      {"[!" + L + "A-C]", false, {"@"}, {}},
      {"[^" + L + "A-C]", false, {}, {"A"}},
      {"[" + L + "z-a]", false, {}, {"m"}},
      {"[]" + L + "]", false, {"]"}, {}},
      {"[" + L + "\xFF]", false, {"\xFF"}, {}},
      {"[" + L + "\xFE]", false, {}, {"\xFF"}},
      {"[" + L + "ア-ン]B", true, {u8"ソB"}, {u8"あB", u8"¢B"}},
      {"[" + L + "!-ン]", true, {u8"é"}, {}},
      {"[" + L + "é-ン]", true, {}, {u8"è"}},
      // Ignoring case: ASCII letters only, in literals and in sets.
      {"game.bin", false, {"GAME.BIN"}, {}, true},
      {"*.Bin", false, {"X.BIN"}, {}, true},
      {"[a-c]X", false, {"Bx"}, {}, true},
      {"[A-C]", false, {"b"}, {}, true},
      {"[!a-c]", false, {}, {"B"}, true},
      {"Z", false, {"z"}, {"A"}, true},
      {"[[]", false, {}, {"{"}, true},
      {"[Z]", false, {"z"}, {}, true},
      {"ss", false, {}, {"\xDF"}, true},
      {"?", false, {}, {"\x83\x5c"}, true},
      {"[" + L + "a-c]X", false, {"Bx"}, {}, true},
      {"[" + L + "A-C]", false, {}, {"d"}, true},
      {"[!" + L + "A-C]", false, {}, {"b"}, true},
  };
  for (const auto& c : cases) {
    for (const bool matches : {true, false}) {
      for (const std::string& name : matches ? c.matching : c.others) {
        SCOPED_TRACE("'" + c.pattern + "' against '" + name + "'" + (c.utf8 ? " (UTF-8)" : "") +
                     (c.fold ? " in either case" : ""));
        Pattern pattern(c.pattern.c_str());
        EXPECT_EQ(pattern.Matches(name.c_str(), c.utf8, c.fold), matches);
        // What a pattern learns of its sets from one name holds for the next.
        EXPECT_EQ(pattern.Matches(name.c_str(), c.utf8, c.fold), matches);
      }
    }
  }
}

TEST(MatchPattern, LongPatternsCostTheirLengthOnce) {
  // Patterns of 130,000 characters that FILE.BIN does not match, tried at
  // each of its places 16,000 times: read to their end each time, each
  // would read some 10^10 members of sets. Each is read at most twice: once
  // to match, once to make its table.
  const std::string x(130000, 'x');
  const struct {
    std::string pattern;
    std::string matching;  // a name it does match
  } cases[] = {
      {"*[" + x, "ZZ[" + x},  // a set that does not close
      {"*" + std::string(130000, '['), "Z" + std::string(130000, '[')},  // nor do any of these
      {"*[" + x + "]", "ZZx"},                                           // one long set
      {"*[!" + x + "]Q", "ZZyQ"},
  };
  for (const auto& c : cases) {
    Pattern pattern(c.pattern.c_str());
    int matched = 0;
    for (int i = 0; i < 16000; ++i) matched += pattern.Matches("FILE.BIN", false, false);
    EXPECT_EQ(matched, 0) << c.pattern.substr(0, 4);
    EXPECT_TRUE(pattern.Matches(c.matching.c_str(), false, false)) << c.pattern.substr(0, 4);
    EXPECT_LE(pattern.MembersRead(), 2 * static_cast<long long>(c.pattern.size()))
        << c.pattern.substr(0, 4);
  }
}

// The line that one JSON object becomes.
std::string Written(JsonLine& line) {
  char* text = nullptr;
  std::size_t size = 0;
  std::FILE* stream = open_memstream(&text, &size);
  line.WriteTo(stream);
  std::fclose(stream);
  std::string written(text, size);
  std::free(text);
  return written;
}

TEST(JsonLine, EscapesWhatJsonRequires) {
  const struct {
    std::string text;
    std::string json;
  } cases[] = {
      {"plain text", R"("plain text")"},
      {"\"quoted\" \\ back", R"("\"quoted\" \\ back")"},
      {"\n\r\t", R"("\n\r\t")"},
      {std::string("\0\x01\x0f\x10\x1f", 5), R"("\u0000\u0001\u000f\u0010\u001f")"},
      {"\x20\x7e", "\"\x20\x7e\""},
      {"\x7f", R"("\u007f")"},
      {u8"ソフト", u8"\"ソフト\""},
  };
  for (const auto& c : cases) {
    JsonLine line;
    line.String("k", c.text.data(), c.text.size());
    EXPECT_EQ(Written(line), "{\"k\":" + c.json + "}\n") << c.json;
  }
  JsonLine line;
  line.Hex("hex", "\x00\x0f\xa0\xff", 4);
  line.Number("n", -12);
  line.Bool("t", true);
  line.Bool("f", false);
  line.Null("z");
  EXPECT_EQ(Written(line), R"({"hex":"000fa0ff","n":-12,"t":true,"f":false,"z":null})"
                           "\n");
  // The longest object: an image's path of control bytes, a reason and a
  // name of them. One longer is not written at all, never cut.
  JsonLine longest;
  longest.String("image", std::string(4095, '\x01').c_str());
  longest.String("reason", std::string(255, '\x01').c_str());
  longest.String("name", std::string(63, '\x01').c_str());
  EXPECT_EQ(Written(longest).size(), 6 * (4095 + 255 + 63) + 35u);
  for (const std::size_t x : {32760u, 32761u}) {  // {"k":"x..."} of 32,768 bytes fills the buffer
    JsonLine full;
    full.String("k", std::string(x, 'x').c_str());
    EXPECT_EQ(Written(full).size(), x == 32760 ? 32769u : 0u);
  }
}

#ifndef _WIN32
TEST(PathText, EachByteOfNoValidSequenceIsOneReplacementCharacter) {
  const std::string bad = "\xEF\xBF\xBD";
  const struct {
    std::string path;
    std::string text;
  } cases[] = {
      {"d\xC3\xA9.d88", "d\xC3\xA9.d88"},
      {"\xC2\x80\xDF\xBF", "\xC2\x80\xDF\xBF"},  // the first and last two-byte characters
      {"\xE0\xA0\x80\xEF\xBF\xBF", "\xE0\xA0\x80\xEF\xBF\xBF"},
      {"\xED\x9F\xBF", "\xED\x9F\xBF"},  // the last before the surrogates
      {"\xF0\x90\x80\x80\xF4\x8F\xBF\xBF", "\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"},
      {"\xC0\x80", bad + bad},  // overlong forms
      {"\xC1\xBF", bad + bad},
      {"\xE0\x9F\xBF", bad + bad + bad},
      {"\xF0\x8F\xBF\xBF", bad + bad + bad + bad},
      {"\xED\xA0\x80", bad + bad + bad},            // a surrogate
      {"\xF4\x90\x80\x80", bad + bad + bad + bad},  // past U+10FFFF
      {"\xF5\x80", bad + bad},
      {"\xE3\x82.", bad + bad + "."},  // cut short
      {"\xE3\x82\xC3\xA9", bad + bad + "\xC3\xA9"},
      {"\x80\xFF", bad + bad},
  };
  char text[kPathTextSize];
  for (const auto& c : cases) EXPECT_EQ(PathText(c.path.c_str(), text), c.text) << c.path;
}
#endif

TEST(CodePage932, LeadBytes) {
  // The bytes that begin a two-byte character, the edges of both ranges.
  const struct {
    unsigned char byte;
    bool lead;
  } cases[] = {{0x40, false}, {0x80, false}, {0x81, true}, {0x9F, true}, {0xA0, false},
               {0xDF, false}, {0xE0, true},  {0xFC, true}, {0xFD, false}};
  for (const auto& c : cases) EXPECT_EQ(IsCp932LeadByte(c.byte), c.lead) << int{c.byte};
}

TEST(CodePage932, ConvertsToUtf8) {
  const struct {
    std::string bytes;
    std::string text;  // the lenient conversion: U+FFFD for each byte not defined
    bool valid;        // the strict conversion gives the same text
  } cases[] = {
      {"GAME.BIN", "GAME.BIN", true},
      {"\\~", "\\~", true},
      {"\xB1\xDF", u8"ｱﾟ", true},
      {"\x81\x40", u8"\u3000", true},  // the first lead byte
      {"\x9F\xFC", u8"滌", true},      // the last lead byte of the first range
      {"\xE0\x40", u8"漾", true},      // the first of the second range
      {"\xF0\x40", u8"\uE000", true},  // user-defined characters
      {"\xFC\x4B", u8"黑", true},      // the last lead byte
      {"\x80", u8"\uFFFD", false},     // neither ASCII nor a character
      {"\xA0", u8"\uFFFD", false},
      {"\xFD", u8"\uFFFD", false},
      {"\x81", u8"\uFFFD", false},  // a lead byte with nothing after it
      {"A\x81", u8"A\uFFFD", false},
      {"\x83\x7F", u8"\uFFFD\x7F", false},  // a lead byte before a byte that cannot follow it
  };
  for (const auto& c : cases) {
    char lenient[64];
    Cp932ToUtf8Lenient(c.bytes.data(), c.bytes.size(), lenient, sizeof lenient);
    EXPECT_EQ(lenient, c.text) << c.text;
    char strict[64];
    EXPECT_EQ(Cp932ToUtf8(c.bytes.data(), c.bytes.size(), strict, sizeof strict), c.valid)
        << c.text;
    EXPECT_EQ(strict, c.valid ? c.text : "") << c.text;
  }
  // Text that does not fit is refused, and the lenient text is cut at a
  // whole character.
  char small[4];
  EXPECT_FALSE(Cp932ToUtf8("\x83\x5C\x83\x74", 4, small, sizeof small));
  EXPECT_FALSE(Cp932ToUtf8("ABCD", 4, small, sizeof small));
  EXPECT_TRUE(Cp932ToUtf8("ABC", 3, small, sizeof small));
  EXPECT_FALSE(Cp932ToUtf8("\x83\x5C", 2, small, 0));
  EXPECT_TRUE(Cp932ToUtf8("", 0, small, 1));
  EXPECT_TRUE(Cp932ToUtf8("\x83\x5C", 2, small, sizeof small));  // three bytes and the NUL
  EXPECT_STREQ(small, u8"ソ");
  Cp932ToUtf8Lenient("A\x83\x5C", 3, small, sizeof small);
  EXPECT_STREQ(small, "A");
  Cp932ToUtf8Lenient("A", 1, small, 1);
  EXPECT_STREQ(small, "");
  // The same the other way.
  EXPECT_FALSE(Utf8ToCp932("ABCD", 4, small, sizeof small));
  EXPECT_TRUE(Utf8ToCp932(u8"ソ", 3, small, sizeof small));
  EXPECT_STREQ(small, "\x83\x5C");
}

}  // namespace
