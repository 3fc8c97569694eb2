// End-to-end tests of Windows builds, run under wine: code page 932 names,
// device names, path characters and the console's line ends. The names of
// these tests hold "Windows", and the tests of POSIX behaviour elsewhere
// "Posix": each run of the suite registers only those for its tool
// (tests/CMakeLists.txt), and each test skips itself when run against the
// other kind.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "d88_builder.h"
#include "e2e_support.h"
#include "run_tool.h"

using namespace d88test;
namespace fs = std::filesystem;

namespace {

TEST_F(Extraction, WindowsNamesAreReadAsCodePage932) {
  if (!ToolIsWindows()) GTEST_SKIP() << "Windows builds only";
  // Half-width katakana (single bytes), a hiragana, and double-byte katakana
  // whose trail byte 0x5C is the byte of a backslash, also in the extension.
  const ToolRun run =
      Run(ImageOf({DataDisk(1, {File("\xB1\xB2\xB3", "\xC3\xDE", 0, TextBytes("k")),
                                File("\x83\x5C\x83\x74\x83\x67", "TXT", 0, TextBytes("soft")),
                                File("\x82\xA0", "TXT", 0, TextBytes("a")),
                                File("\x83\x5C\x83\x5C", "\x83\x5C", 0, TextBytes("so"))})}));
  ExpectClean(run, "[Disk B]\n" + ListingLine("\xB1\xB2\xB3.\xC3\xDE", 0, 1) +
                       ListingLine("\x83\x5C\x83\x74\x83\x67.TXT", 0, 4) +
                       ListingLine("\x82\xA0.TXT", 0, 1) +
                       ListingLine("\x83\x5C\x83\x5C.\x83\x5C", 0, 2));
  // wine gives Windows names to Linux in UTF-8.
  ExpectWritten({{u8"ｱｲｳ.ﾃﾞ", TextBytes("k")},
                 {u8"ソフト.TXT", TextBytes("soft")},
                 {u8"あ.TXT", TextBytes("a")},
                 {u8"ソソ.ソ", TextBytes("so")}});
}

TEST_F(Extraction, WindowsRefusesNamesThatAreNotCodePage932) {
  if (!ToolIsWindows()) GTEST_SKIP() << "Windows builds only";
  // A lead byte at the end of the name, one before the '.', and one before a
  // byte that cannot follow it. Each name is judged on its own bytes: "AB"
  // after "AB\x81" is written.
  const ToolRun run = Run(ImageOf(
      {DataDisk(1, {File("AB\x81", "", 0, TextBytes("a")), File("AB", "", 0, TextBytes("ab")),
                    File("\x83", "TXT", 0, TextBytes("b")), File("\x83\x7F", "", 0, TextBytes("c")),
                    File("OK", "", 0, TextBytes("ok"))})}));
  EXPECT_EQ(run.out, Lines("[Disk B]\n" + ListingLine("AB\x81", 0, 1) + ListingLine("AB", 0, 2) +
                           ListingLine("\x83.TXT", 0, 1) + ListingLine("\x83\x7F", 0, 1) +
                           ListingLine("OK", 0, 2)));
  ExpectComplaints(run.err, {{1, "B", "AB\\x81", Why::kNotCodePage932},
                             {1, "B", "\\x83.TXT", Why::kNotCodePage932},
                             {1, "B", "\\x83\\x7f", Why::kNotCodePage932}});
  EXPECT_EQ(run.status, 1);
  ExpectWritten({{"AB", TextBytes("ab")}, {"OK", TextBytes("ok")}});
}

TEST_F(Extraction, WindowsRefusesReservedDeviceNames) {
  if (!ToolIsWindows()) GTEST_SKIP() << "Windows builds only";
  // Written as they stand, the data would go to a device or vanish while the
  // run reported success. A device is named by what comes before the first
  // '.', in any case.
  std::vector<std::pair<std::string, std::string>> devices = {
      {"CON", ""},    {"prn", "txt"}, {"Aux", ""},       {"NUL", ""},
      {"nul", "D88"}, {"nul.", ""},   {"NUL.D8", "BAK"}, {"com9", "dat"},
      {"Lpt9", "X"},  {"CONIN$", ""}, {"conin$", "TXT"}};
  for (const char* port : {"COM", "LPT"}) {
    for (char digit = '1'; digit <= '9'; ++digit) {
      devices.push_back({port + std::string(1, digit), ""});
    }
  }
  // Names that only look like devices, and their names on Linux: a
  // full-width NUL among them.
  const std::vector<std::pair<LayoutFile, std::string>> ordinary = {
      {File("CONS", "", 0, TextBytes("1")), "CONS"},
      {File("XCON", "", 0, TextBytes("2")), "XCON"},
      {File("CON_", "", 0, TextBytes("3")), "CON_"},
      {File("COM", "", 0, TextBytes("4")), "COM"},
      {File("COM0", "", 0, TextBytes("5")), "COM0"},
      {File("COM10", "", 0, TextBytes("6")), "COM10"},
      {File("COMA", "", 0, TextBytes("7")), "COMA"},
      {File("LPT10", "", 0, TextBytes("8")), "LPT10"},
      {File("LPT0", "TXT", 0, TextBytes("9")), "LPT0.TXT"},
      {File("NULL", "", 0, TextBytes("A")), "NULL"},
      {File("AUXX", "TXT", 0, TextBytes("B")), "AUXX.TXT"},
      {File("\x82\x6D\x82\x74\x82\x6B", "", 0, TextBytes("C")), u8"ＮＵＬ"}};
  std::vector<LayoutFile> files;
  std::string listing = "[Disk B]\n";
  std::vector<Complaint> complaints;
  for (const auto& [name, extension] : devices) {
    files.push_back(File(name, extension, 0, TextBytes("device")));
    const std::string full = extension.empty() ? name : name + "." + extension;
    listing += ListingLine(full, 0, 6);
    complaints.push_back({1, "B", full, Why::kReservedDevice});
  }
  std::map<std::string, Bytes> written;
  for (const auto& [file, linuxName] : ordinary) {
    files.push_back(file);
    const std::string full = file.extension.empty() ? file.name : file.name + "." + file.extension;
    listing += ListingLine(full, 0, 1);
    written[linuxName] = file.data;
  }
  const ToolRun run = Run(ImageOf({DataDisk(1, files)}));
  EXPECT_EQ(run.out, Lines(listing));
  ExpectComplaints(run.err, complaints);
  EXPECT_EQ(run.status, 1);
  ExpectWritten(written);
}

TEST_F(Extraction, WindowsRefusesATrailingDot) {
  if (!ToolIsWindows()) GTEST_SKIP() << "Windows builds only";
  // Windows drops the dot: "AB." would silently replace "AB".
  const ToolRun run = Run(ImageOf({DataDisk(
      1, {File("AB", "", 0, TextBytes("first")), File("AB.", "", 0, TextBytes("second"))})}));
  EXPECT_EQ(run.out, Lines("[Disk B]\n" + ListingLine("AB", 0, 5) + ListingLine("AB.", 0, 6)));
  ExpectComplaints(run.err, {{1, "B", "AB.", Why::kTrailingDot}});
  EXPECT_EQ(run.status, 1);
  ExpectWritten({{"AB", TextBytes("first")}});
}

TEST(Refusal, WindowsImageNamedInAnotherCaseOrOutsideTheCodePage) {
  if (!ToolIsWindows()) GTEST_SKIP() << "Windows builds only";
  // Windows names are blind to case, and the image's path comes from the
  // wide command line: "ｶﾅ" is outside the code page wine's programs get.
  for (const std::string image : {"disk.d88", u8"ｶﾅ.d88"}) {
    const std::string entry = image == "disk.d88" ? "DISK" : "\xB6\xC5";
    ScratchDir dir;
    const Bytes bytes = ImageOf({DataDisk(
        1, {File(entry, "d88", 0, TextBytes("evil")), File("OK", "", 0, TextBytes("ok"))})});
    dir.Put(image, bytes);
    const ToolRun run = RunTool(dir.path(), {image});
    EXPECT_EQ(run.out,
              Lines("[Disk B]\n" + ListingLine(entry + ".d88", 0, 4) + ListingLine("OK", 0, 2)))
        << image;
    ExpectComplaints(run.err,
                     {{1, "B", entry == "DISK" ? "DISK.d88" : "\\xb6\\xc5.d88", Why::kIsTheImage}},
                     // Paths are shown as UTF-8, escaped.
                     image == "disk.d88" ? image : "\\xef\\xbd\\xb6\\xef\\xbe\\x85.d88");
    EXPECT_EQ(run.status, 1) << image;
    ExpectFolderHolds(dir.path(), {{image, bytes}, {"OK", TextBytes("ok")}});
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

TEST(Refusal, WindowsBackslashAndColon) {
  if (!ToolIsWindows()) GTEST_SKIP() << "ordinary bytes on POSIX hosts";
  // Read as code page 932: "\x83\x5C" is one katakana letter, not a
  // backslash, but a backslash after it is one.
  ScratchDir dir;
  const Bytes image = ImageOf(
      {DataDisk(1, {File("A\\B", "", 0, TextBytes("a")), File("\\", "", 0, TextBytes("b")),
                    File("\x83\x5C\\", "", 0, TextBytes("s")), File("C:D", "", 0, TextBytes("c")),
                    File("A:", "", 0, TextBytes("d")), File("OK", "", 0, TextBytes("ok"))})});
  dir.Put("x.d88", image);
  const ToolRun run = RunTool(dir.path(), {"x.d88"});
  EXPECT_EQ(run.out, Lines("[Disk B]\n" + ListingLine("A\\B", 0, 1) + ListingLine("\\", 0, 1) +
                           ListingLine("\x83\x5C\\", 0, 1) + ListingLine("C:D", 0, 1) +
                           ListingLine("A:", 0, 1) + ListingLine("OK", 0, 2)));
  ExpectComplaints(run.err,
                   {{1, "B", "A\\x5cB", Why::kBackslash},
                    {1, "B", "\\x5c", Why::kBackslash},
                    {1, "B", "\\x83\\x5c\\x5c", Why::kBackslash},
                    {1, "B", "C:D", Why::kColon},
                    {1, "B", "A:", Why::kColon}},
                   "x.d88");
  EXPECT_EQ(run.status, 1);
  ExpectFolderHolds(dir.path(), {{"x.d88", image}, {"OK", TextBytes("ok")}});
}

}  // namespace
