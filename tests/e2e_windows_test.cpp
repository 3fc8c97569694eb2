// End-to-end tests of Windows builds, run under wine: code page 932 names,
// device names, path characters and the console's line ends. The names of
// these tests hold "Windows", and the tests of POSIX behaviour elsewhere
// "Posix": each run of the suite registers only those for its tool
// (tests/CMakeLists.txt), and each test skips itself when run against the
// other kind.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "e2e_support.h"

using namespace d88test;
namespace fs = std::filesystem;

namespace {

TEST(Refusal, WindowsNamesAreReadAsCodePage932) {
  if (!ToolIsWindows()) GTEST_SKIP() << "Windows builds only";
  // Half-width katakana (single bytes), a hiragana, and double-byte katakana
  // whose trail byte 0x5C is the byte of a backslash, also in the extension.
  // wine gives Windows names to Linux in UTF-8.
  RunRows(ImageOf({DataDisk(1, {File("\xB1\xB2\xB3", "\xC3\xDE", 0, TextBytes("k")),
                                File("\x83\x5C\x83\x74\x83\x67", "TXT", 0, TextBytes("soft")),
                                File("\x82\xA0", "TXT", 0, TextBytes("a")),
                                File("\x83\x5C\x83\x5C", "\x83\x5C", 0, TextBytes("so"))})}),
          {{{kImage},
            "[Disk B]\n" + ListingLine("\xB1\xB2\xB3.\xC3\xDE", 0, 1) +
                ListingLine("\x83\x5C\x83\x74\x83\x67.TXT", 0, 4) +
                ListingLine("\x82\xA0.TXT", 0, 1) + ListingLine("\x83\x5C\x83\x5C.\x83\x5C", 0, 2),
            "",
            {{u8"ｱｲｳ.ﾃﾞ", TextBytes("k")},
             {u8"ソフト.TXT", TextBytes("soft")},
             {u8"あ.TXT", TextBytes("a")},
             {u8"ソソ.ソ", TextBytes("so")}}}});
}

TEST(Refusal, WindowsNamesThatCannotBeFilesThere) {
  if (!ToolIsWindows()) GTEST_SKIP() << "Windows builds only";
  // Not code page 932: a lead byte at the end of the name, one before the
  // '.', and one before a byte that cannot follow it. Each name is judged on
  // its own bytes: "AB" after "AB\x81" is written.
  RunRows(
      ImageOf({DataDisk(
          1, {File("AB\x81", "", 0, TextBytes("a")), File("AB", "", 0, TextBytes("ab")),
              File("\x83", "TXT", 0, TextBytes("b")), File("\x83\x7F", "", 0, TextBytes("c")),
              File("OK", "", 0, TextBytes("ok"))})}),
      {{{kImage},
        "[Disk B]\n" + ListingLine("AB\x81", 0, 1) + ListingLine("AB", 0, 2) +
            ListingLine("\x83.TXT", 0, 1) + ListingLine("\x83\x7F", 0, 1) + ListingLine("OK", 0, 2),
        Says({1, "B", "AB\\x81", Why::kNotCodePage932}) +
            Says({1, "B", "\\x83.TXT", Why::kNotCodePage932}) +
            Says({1, "B", "\\x83\\x7f", Why::kNotCodePage932}),
        {{"AB", TextBytes("ab")}, {"OK", TextBytes("ok")}}}});
  // A trailing dot, which Windows drops: "AB." would silently replace "AB".
  RunRows(ImageOf({DataDisk(1, {File("AB", "", 0, TextBytes("first")),
                                File("AB.", "", 0, TextBytes("second"))})}),
          {{{kImage},
            "[Disk B]\n" + ListingLine("AB", 0, 5) + ListingLine("AB.", 0, 6),
            Says({1, "B", "AB.", Why::kTrailingDot}),
            {{"AB", TextBytes("first")}}}});
  // Read as code page 932, "\x83\x5C" is one katakana letter, not a
  // backslash, but a backslash after it is one.
  RunRows(ImageOf({DataDisk(
              1, {File("A\\B", "", 0, TextBytes("a")), File("\\", "", 0, TextBytes("b")),
                  File("\x83\x5C\\", "", 0, TextBytes("s")), File("C:D", "", 0, TextBytes("c")),
                  File("A:", "", 0, TextBytes("d")), File("OK", "", 0, TextBytes("ok"))})}),
          {{{kImage},
            "[Disk B]\n" + ListingLine("A\\B", 0, 1) + ListingLine("\\", 0, 1) +
                ListingLine("\x83\x5C\\", 0, 1) + ListingLine("C:D", 0, 1) +
                ListingLine("A:", 0, 1) + ListingLine("OK", 0, 2),
            Says({1, "B", "A\\x5cB", Why::kBackslash}) + Says({1, "B", "\\x5c", Why::kBackslash}) +
                Says({1, "B", "\\x83\\x5c\\x5c", Why::kBackslash}) +
                Says({1, "B", "C:D", Why::kColon}) + Says({1, "B", "A:", Why::kColon}),
            {{"OK", TextBytes("ok")}}}});
}

TEST(Refusal, WindowsReservedDeviceNames) {
  if (!ToolIsWindows()) GTEST_SKIP() << "Windows builds only";
  // Written as they stand, the data would go to a device or vanish while the
  // run reported success. A device is named by what comes before the first
  // '.', in any case.
  std::vector<std::pair<std::string, std::string>> devices = {
      {"CON", ""},    {"prn", "txt"}, {"Aux", ""},       {"NUL", ""},
      {"nul", "D88"}, {"nul.", ""},   {"NUL.D8", "BAK"}, {"com9", "dat"},
      {"Lpt9", "X"},  {"CONIN$", ""}, {"conin$", "TXT"}};
  for (const char* port : {"COM", "LPT"}) {
    for (char digit = '1'; digit <= '9'; ++digit)
      devices.push_back({port + std::string(1, digit), ""});
  }
  // Names that only look like devices, each written: a full-width NUL among
  // them, which wine names on Linux in UTF-8.
  const std::string fullWidthNul = "\x82\x6D\x82\x74\x82\x6B";
  const std::vector<std::pair<std::string, std::string>> ordinary = {
      {"CONS", ""},    {"XCON", ""},  {"CON_", ""},    {"COM", ""},
      {"COM0", ""},    {"COM10", ""}, {"COMA", ""},    {"LPT10", ""},
      {"LPT0", "TXT"}, {"NULL", ""},  {"AUXX", "TXT"}, {fullWidthNul, ""}};
  std::vector<LayoutFile> files;
  std::string listing = "[Disk B]\n";
  std::string complaints;
  for (const auto& [name, extension] : devices) {
    files.push_back(File(name, extension, 0, TextBytes("device")));
    const std::string full = extension.empty() ? name : name + "." + extension;
    listing += ListingLine(full, 0, 6);
    complaints += Says({1, "B", full, Why::kReservedDevice});
  }
  Tree written;
  for (std::size_t k = 0; k < ordinary.size(); ++k) {
    const auto& [name, extension] = ordinary[k];
    const Bytes data = TextBytes(std::string(1, "123456789ABC"[k]));
    files.push_back(File(name, extension, 0, data));
    const std::string full = extension.empty() ? name : name + "." + extension;
    listing += ListingLine(full, 0, 1);
    written[name == fullWidthNul ? u8"ＮＵＬ" : full] = data;
  }
  RunRows(ImageOf({DataDisk(1, files)}), {{{kImage}, listing, complaints, written}});
}

TEST(Refusal, WindowsImageNamedInAnotherCaseOrOutsideTheCodePage) {
  if (!ToolIsWindows()) GTEST_SKIP() << "Windows builds only";
  // Windows names are blind to case, and the image's path comes from the
  // wide command line: "ｶﾅ" is outside the code page wine's programs get.
  for (const std::string image : {"disk.d88", u8"ｶﾅ.d88"}) {
    SCOPED_TRACE(image);
    const std::string entry = image == "disk.d88" ? "DISK" : "\xB6\xC5";
    ScratchDir dir;
    const Bytes bytes = ImageOf({DataDisk(
        1, {File(entry, "d88", 0, TextBytes("evil")), File("OK", "", 0, TextBytes("ok"))})});
    dir.Put(image, bytes);
    const ToolRun run = RunTool(dir.path(), {image});
    EXPECT_EQ(run.out,
              Lines("[Disk B]\n" + ListingLine(entry + ".d88", 0, 4) + ListingLine("OK", 0, 2)));
    ExpectComplaints(run.err,
                     {{1, "B", entry == "DISK" ? "DISK.d88" : "\\xb6\\xc5.d88", Why::kIsTheImage}},
                     // Paths are shown as UTF-8, escaped.
                     image == "disk.d88" ? image : "\\xef\\xbd\\xb6\\xef\\xbe\\x85.d88");
    EXPECT_EQ(run.status, 1);
    ExpectTreeHolds(dir.path(), {{image, bytes}, {"OK", TextBytes("ok")}});
  }
}

TEST(CommandLine, WindowsConsoleLinesEndInCrLfAndKeepTheirBytes) {
  if (!ToolIsWindows()) GTEST_SKIP() << "Windows builds only";
  ScratchDir dir;
  // Disk number 0x41 gives the letter byte 0x82.
  dir.Put("x.d88", ImageOf({DataDisk(0x41, {File("A", "", 0, TextBytes("a"))})}));
  const ToolRun listed = RunTool(dir.path(), {"x.d88"});
  EXPECT_EQ(listed.out, "[Disk \x82]\r\nA                 1  START=0000  END=0001\r\n");
  EXPECT_EQ(listed.status, 0);

  const ToolRun missing = RunTool(dir.path(), {"missing.d88"});
  EXPECT_EQ(missing.err, kCannotOpen + "\r\nd88unpack: missing.d88: No such file or directory\r\n");

  // The program name is the one Windows gives: the full path of the .exe.
  const ToolRun usage = RunTool(dir.path(), {});
  EXPECT_EQ(usage.err, "Usage: " + usage.argv0 + " [d88file]\r\n");
  EXPECT_EQ(usage.argv0.substr(1, 2), ":\\") << usage.argv0;
  EXPECT_EQ(fs::path(usage.argv0).extension(), ".exe") << usage.argv0;
}

}  // namespace
