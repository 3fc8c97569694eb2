// End-to-end tests: the real executable, run in a scratch folder, compared
// byte for byte on standard output, standard error, written files and status.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "d88_builder.h"
#include "e2e_support.h"
#include "run_tool.h"

using namespace d88test;
namespace fs = std::filesystem;

namespace {

// --- The command line ---

TEST(CommandLine, UsageErrorsSayWhatIsWrongAndWriteNothing) {
  ScratchDir dir;
  dir.Put("disk.d88", ImageOf({DataDisk(1, {File("A", "", 0, TextBytes("a"))})}));
  // Given nothing, the tool prints the usage line it has always printed;
  // any other mistake gets a line that says what is wrong first.
  const struct {
    std::vector<std::string> args;
    std::string problem;  // empty: the bare usage line
  } cases[] = {
      {{}, ""},
      {{"-x", "disk.d88"}, "invalid option -- 'x'"},
      {{"disk.d88", "--frob"}, "unrecognized or ambiguous option '--frob'"},
      {{"--d", "disk.d88"}, "unrecognized or ambiguous option '--d'"},
      {{"--list=yes", "disk.d88"}, "option '--list' doesn't allow an argument"},
      {{"disk.d88", "-C"}, "option requires an argument -- 'C'"},
      {{"disk.d88", "--directory"}, "option '--directory' requires an argument"},
      {{"-l"}, "no image given"},
      {{"-C", "", "disk.d88"}, "the folder given to --directory is empty"},
      {{"-d", "0", "disk.d88"}, "the disk's place must be a number from 1: '0'"},
      {{"--disk=2x", "disk.d88"}, "the disk's place must be a number from 1: '2x'"},
      {{"-d", "-1", "disk.d88"}, "the disk's place must be a number from 1: '-1'"},
      {{"-O", "-l", "disk.d88"}, "--to-stdout cannot be combined with --list"},
      {{"--json", "-O", "disk.d88"}, "--to-stdout cannot be combined with --json"},
  };
  for (const auto& c : cases) {
    const ToolRun run = RunTool(dir.path(), c.args, {std::string("./bin/my-unpacker")});
    const std::string expected = c.problem.empty()
                                     ? "Usage: " + run.argv0 + " [d88file]\n"
                                     : "d88unpack: " + c.problem + "\nUsage: " + run.argv0 +
                                           " [OPTION]... IMAGE [NAME]...\n";
    EXPECT_EQ(run.err, Lines(expected)) << c.problem;
    EXPECT_EQ(run.out, "") << c.problem;
    EXPECT_EQ(run.status, 1) << c.problem;
  }
  EXPECT_EQ(FilesIn(dir.path()).size(), 1u);
}

TEST(CommandLine, PosixEmptyArgumentListShowsTheToolsName) {
  if (ToolIsWindows()) GTEST_SKIP() << "a Windows program always gets its own name";
  // Linux hands a program started without any argument an empty name
  // instead; either way there is no name to show.
  ScratchDir dir;
  const ToolRun run = RunTool(dir.path(), {}, {std::nullopt, true});
  EXPECT_EQ(run.err, "Usage: d88unpack [d88file]\n");
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.status, 1);
}

TEST(CommandLine, UnopenableImageGivesTheOpenFailureMessage) {
  ScratchDir dir;
  fs::create_directory(dir.path() / "folder.d88");
  // The Shift-JIS line, then the path as given and the system's reason.
  std::vector<std::pair<std::string, std::string>> cases = {
      {"missing.d88", "missing.d88: No such file or directory"},
      {"", ": No such file or directory"},
      {"folder.d88", "folder.d88: Is a directory"},
      {".", ".: Is a directory"}};
  // Bytes outside printable ASCII are escaped (a Windows path is shown as
  // UTF-8, which wine would not pass through as these bytes).
  if (!ToolIsWindows()) {
    cases.push_back({"\x1b[2J\xff.d88", "\\x1b[2J\\xff.d88: No such file or directory"});
  }
  for (const auto& [arg, line] : cases) {
    const ToolRun run = RunTool(dir.path(), {arg});
    EXPECT_EQ(run.err, Lines(kCannotOpen + "\nd88unpack: " + line + "\n")) << '"' << arg << '"';
    EXPECT_EQ(run.out, "") << arg;
    EXPECT_EQ(run.status, 1) << arg;
  }
  EXPECT_TRUE(FilesIn(dir.path()).empty());
}

TEST(CommandLine, PosixPipeOrDeviceIsNoImage) {
  if (ToolIsWindows()) GTEST_SKIP() << "POSIX pipes and devices";
  // Neither can seek: read as an image they would give no disks and a
  // status of success.
  ScratchDir dir;
  ASSERT_EQ(mkfifo((dir.path() / "pipe.d88").c_str(), 0600), 0);
  for (const std::string arg : {"pipe.d88", "/dev/null"}) {
    const ToolRun run = RunTool(dir.path(), {arg});
    EXPECT_EQ(run.err, kCannotOpen + "\nd88unpack: " + arg + ": not a regular file\n") << arg;
    EXPECT_EQ(run.out, "") << arg;
    EXPECT_EQ(run.status, 1) << arg;
  }
}

TEST(CommandLine, FileShorterThanADiskHeaderHoldsNoDisk) {
  // An empty file is an empty image; a few bytes are a disk cut off (or no
  // image at all).
  const Bytes disk = ImageOf({DataDisk(1, {File("A", "", 0, TextBytes("a"))})});
  const std::pair<std::size_t, std::string> cases[] = {
      {0, ""},
      {kDiskHeaderSize - 1,
       "d88unpack: short.d88: the image ends inside the header of disk 1 (687 of 688 bytes); "
       "that disk is not read\n"}};
  for (const auto& [length, err] : cases) {
    ScratchDir dir;
    const Bytes image(disk.begin(), disk.begin() + static_cast<std::ptrdiff_t>(length));
    dir.Put("short.d88", image);
    const ToolRun run = RunTool(dir.path(), {"short.d88"});
    EXPECT_EQ(run.out, "") << length;
    EXPECT_EQ(run.err, Lines(err)) << length;
    EXPECT_EQ(run.status, err.empty() ? 0 : 1) << length;
    ExpectFolderHolds(dir.path(), {{"short.d88", image}});
  }
}

// --- Clean images: listing and files ---

TEST_F(Extraction, TypicalDataDisk) {
  const LayoutDisk disk = DataDisk(
      1, {File("GAME", "BIN", 0x1200, Pattern(9000, 1)),
          File("README", "", 0x0000, TextBytes("hello\n")), File("EMPTY", "DAT", 0x8000, {}),
          File("TITLE", "SCR", 0x4000, Pattern(16000, 42))});
  const ToolRun run = Run(ImageOf({disk}));
  ExpectClean(run,
              "[Disk B]\n"
              "GAME.BIN       9000  START=1200  END=3528\n"
              "README            6  START=0000  END=0006\n"
              "EMPTY.DAT         0  START=8000  END=8000\n"
              "TITLE.SCR     16000  START=4000  END=7e80\n");
  ExpectWritten({{"GAME.BIN", Pattern(9000, 1)},
                 {"README", TextBytes("hello\n")},
                 {"EMPTY.DAT", {}},
                 {"TITLE.SCR", Pattern(16000, 42)}});
}

TEST_F(Extraction, SystemDiskDataStartsAtTrackTwo) {
  // The system area holds 256-byte sectors of 0xE5; the first record must
  // come from the start of track 2.
  const ToolRun run = Run(ImageOf({DataDisk(0, {File("IPL", "SYS", 0xC000, Pattern(3000, 7)),
                                                File("MONITR", "", 0xD000, Pattern(12000, 3))})}));
  ExpectClean(run,
              "[Disk A]\n"
              "IPL.SYS        3000  START=c000  END=cbb8\n"
              "MONITR        12000  START=d000  END=fee0\n");
  ExpectWritten({{"IPL.SYS", Pattern(3000, 7)}, {"MONITR", Pattern(12000, 3)}});
}

TEST_F(Extraction, ThreeDisksInFileOrder) {
  // The letter comes from each disk's directory, not from its place.
  const ToolRun run =
      Run(ImageOf({DataDisk(3, {File("ALPHA", "TXT", 0x0100, TextBytes("alpha\n"))}),
                   DataDisk(0, {File("BETA", "BIN", 0x2000, Pattern(5000, 9))}),
                   DataDisk(1, {File("GAMMA", "", 0xFFF0, Pattern(15, 5)),
                                File("DELTA", "D", 0x0000, Pattern(1, 8))})}));
  ExpectClean(run,
              "[Disk D]\n"
              "ALPHA.TXT         6  START=0100  END=0106\n"
              "[Disk A]\n"
              "BETA.BIN       5000  START=2000  END=3388\n"
              "[Disk B]\n"
              "GAMMA            15  START=fff0  END=ffff\n"
              "DELTA.D           1  START=0000  END=0001\n");
  ExpectWritten({{"ALPHA.TXT", TextBytes("alpha\n")},
                 {"BETA.BIN", Pattern(5000, 9)},
                 {"GAMMA", Pattern(15, 5)},
                 {"DELTA.D", Pattern(1, 8)}});
}

TEST_F(Extraction, NoEntriesAndAFullDirectory) {
  // A count of 0 lists nothing even where entries follow; 255 entries fill
  // 2816 bytes of the directory track.
  LayoutDisk none = DataDisk(1, {File("HIDDEN", "", 0, TextBytes("never"))});
  none.entryCountField = 0;
  LayoutDisk full = DataDisk(2, {});
  std::string expected = "[Disk B]\n[Disk C]\n";
  std::map<std::string, Bytes> written;
  for (int k = 0; k < 255; ++k) {
    char name[8];
    std::snprintf(name, sizeof name, "F%03d", k);
    const Bytes data = Pattern(static_cast<std::size_t>(k % 7), static_cast<std::uint8_t>(k));
    const std::uint16_t start = static_cast<std::uint16_t>(k * 0x100);
    full.files.push_back(File(name, "", start, data));
    expected += ListingLine(name, start, start + static_cast<int>(data.size()));
    written[name] = data;
  }
  const ToolRun run = Run(ImageOf({none, full}));
  ExpectClean(run, expected);
  ExpectWritten(written);
}

TEST_F(Extraction, DiskLettersAreRawBytes) {
  const ToolRun run = Run(ImageOf({DataDisk(191, {File("N191", "", 0x10, TextBytes("x"))}),
                                   DataDisk(63, {}), DataDisk(255, {})}));
  ExpectClean(run, std::string("[Disk \0]\n", 9) +
                       "N191              1  START=0010  END=0011\n"
                       "[Disk \x80]\n"
                       "[Disk @]\n");
  ExpectWritten({{"N191", TextBytes("x")}});
}

TEST_F(Extraction, ComplaintShowsTheRawLetterEscaped) {
  const ToolRun run = Run(ImageOf({DataDisk(191, {File("A/B", "", 0, TextBytes("x"))})}));
  EXPECT_EQ(run.out, Lines(std::string("[Disk \0]\n", 9) + ListingLine("A/B", 0, 1)));
  ExpectComplaints(run.err, {{1, "\\x00", "A/B", Why::kSlash}});
  EXPECT_EQ(run.status, 1);
  ExpectWritten({});
}

TEST_F(Extraction, ListingLineComesBeforeItsComplaintInOneFile) {
  // Both streams in one file, as 2>&1 gives: each complaint follows the
  // listing line of its entry.
  RunOptions oneFile;
  oneFile.oneFile = true;
  const ToolRun run = Run(ImageOf({DataDisk(1, {File("FIRST", "", 0, TextBytes("1")),
                                                File("A/B", "", 0, TextBytes("x")),
                                                File("LAST", "", 0, TextBytes("2"))}),
                                   DataDisk(2, {File("..", "", 0, TextBytes("y"))})}),
                          oneFile);
  EXPECT_EQ(run.out, Lines("[Disk B]\n" + ListingLine("FIRST", 0, 1) + ListingLine("A/B", 0, 1) +
                           ComplaintLine({1, "B", "A/B", Why::kSlash}) + "\n" +
                           ListingLine("LAST", 0, 1) + "[Disk C]\n" + ListingLine("..", 0, 1) +
                           ComplaintLine({2, "C", "..", Why::kDotName}) + "\n"));
  EXPECT_EQ(run.status, 1);
  ExpectWritten({{"FIRST", TextBytes("1")}, {"LAST", TextBytes("2")}});
}

TEST_F(Extraction, ListingFormat) {
  const ToolRun run = Run(ImageOf({DataDisk(
      1, {File("ABCDEF", "GHI", 0x0012, Pattern(910)), File("HEX", "", 0xABCD, Pattern(16, 1)),
          File("", "DAT", 0x0000, TextBytes("d")), File("A B", "", 0x0000, TextBytes("ab")),
          File("NOEXT", " X", 0x0000, TextBytes("n")), File("Z", "", 0x0FFF, {}),
          // Last: its default allocation would not fit 16 bits.
          File("WIDE", "", 0x0000, Pattern(65535, 2))})}));
  ExpectClean(run,
              "[Disk B]\n"
              "ABCDEF.GHI      910  START=0012  END=03a0\n"
              "HEX              16  START=abcd  END=abdd\n"
              ".DAT              1  START=0000  END=0001\n"
              "A                 2  START=0000  END=0002\n"
              "NOEXT             1  START=0000  END=0001\n"
              "Z                 0  START=0fff  END=0fff\n"
              "WIDE          65535  START=0000  END=ffff\n");
  ExpectWritten({{"ABCDEF.GHI", Pattern(910)},
                 {"HEX", Pattern(16, 1)},
                 {".DAT", TextBytes("d")},
                 {"A", TextBytes("ab")},
                 {"NOEXT", TextBytes("n")},
                 {"Z", {}},
                 {"WIDE", Pattern(65535, 2)}});
}

TEST_F(Extraction, LaterFileOfTheSameNameReplacesTheEarlier) {
  const ToolRun run = Run(ImageOf({DataDisk(1, {File("SAME", "DAT", 0, TextBytes("first one")),
                                                File("SAME", "DAT", 0, TextBytes("second")),
                                                File("OTHER", "", 0, TextBytes("disk one"))}),
                                   DataDisk(2, {File("OTHER", "", 0, TextBytes("two"))})}));
  ExpectClean(run,
              "[Disk B]\n"
              "SAME.DAT          9  START=0000  END=0009\n"
              "SAME.DAT          6  START=0000  END=0006\n"
              "OTHER             8  START=0000  END=0008\n"
              "[Disk C]\n"
              "OTHER             3  START=0000  END=0003\n");
  ExpectWritten({{"SAME.DAT", TextBytes("second")}, {"OTHER", TextBytes("two")}});
}

TEST_F(Extraction, AllocationLengthZeroReadsTheSameRecordAgain) {
  // TWO is described with ONE's record so that the builder leaves it as is.
  const ToolRun run = Run(ImageOf({DataDisk(
      1, {File("ONE", "", 0x0100, TextBytes("abc"), 0), File("TWO", "", 0x0100, TextBytes("abc")),
          File("THREE", "", 0x0200, TextBytes("xyz"))})}));
  ExpectClean(run,
              "[Disk B]\n"
              "ONE               3  START=0100  END=0103\n"
              "TWO               3  START=0100  END=0103\n"
              "THREE             3  START=0200  END=0203\n");
  ExpectWritten(
      {{"ONE", TextBytes("abc")}, {"TWO", TextBytes("abc")}, {"THREE", TextBytes("xyz")}});
}

// --- Blank and cut-off disks: nothing leaks from the disk before ---

// A data disk that fills its first 120008 bytes with data: whatever a later
// disk's reads do not deliver would show these bytes if they stayed.
LayoutDisk FullDisk() {
  return DataDisk(
      1, {File("FILL1", "", 0, Pattern(60000, 11)), File("FILL2", "", 0, Pattern(60000, 12))});
}

const char kFullDiskListing[] =
    "[Disk B]\n"
    "FILL1         60000  START=0000  END=ea60\n"
    "FILL2         60000  START=0000  END=ea60\n";

TEST_F(Extraction, BlankDiskAfterADataDiskListsNothing) {
  const ToolRun run = Run(Concat(ImageOf({FullDisk()}), BuildDisk(Disk{})));
  EXPECT_EQ(run.out, Lines(std::string(kFullDiskListing) + "[Disk A]\n"));
  EXPECT_EQ(run.err, Lines(std::string("d88unpack: disk 2: ") + kNoDirectory + "\n"));
  EXPECT_EQ(run.status, 1);
  ExpectWritten({{"FILL1", Pattern(60000, 11)}, {"FILL2", Pattern(60000, 12)}});
}

TEST_F(Extraction, ImageCutOffInsideADisk) {
  const Bytes first = ImageOf({FullDisk()});
  const Bytes cutData = Pattern(10000, 17);
  const Bytes second = BuildDisk(DirectoryFirst(DataDisk(
      2, {File("HEAD", "", 0, Pattern(100), 50000), File("MID", "", 0, Pattern(3000), 50000),
          File("CUT", "", 0x1000, cutData), File("LOST", "", 0x2000, TextBytes("gone"))})));
  // The file ends 500 bytes into sector 3 of track 20 (disk offset 104948);
  // CUT's data begins at 100004.
  const std::size_t cut = first.size() + kDiskHeaderSize + 21 * kRecordedTrackSize +
                          2 * kRecordedSectorSize + d88::sector_header::kSize + 500;
  const Bytes whole = Concat(first, second);
  // The cut sector counts as missing from its first byte, 104448.
  const Bytes cutFile(cutData.begin(), cutData.begin() + (104448 - 100004));

  const ToolRun run = Run(Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut)));
  // LOST's record lies in the missing part: listed from the zero bytes it
  // reads as, but not written.
  EXPECT_EQ(run.out,
            Lines(std::string(kFullDiskListing) + "[Disk C]\n"
                                                  "HEAD            100  START=0000  END=0064\n"
                                                  "MID            3000  START=0000  END=0bb8\n"
                                                  "CUT           10000  START=1000  END=3710\n"
                                                  "LOST              0  START=0000  END=0000\n"));
  ExpectComplaints(run.err, {{2, "C", "CUT", Why::kDataMissing, 4444, 10000},
                             {2, "C", "LOST", Why::kRecordMissing}});
  EXPECT_EQ(run.status, 1);
  ExpectWritten({{"FILL1", Pattern(60000, 11)},
                 {"FILL2", Pattern(60000, 12)},
                 {"HEAD", Pattern(100)},
                 {"MID", Pattern(3000)},
                 {"CUT", cutFile}});
}

TEST_F(Extraction, DirectoryCutOffReadsAsBlank) {
  // Cut inside the data area (the directory track is then missing) and cut
  // inside the directory's own last sector: both read as a blank disk.
  const Bytes whole = ImageOf({FullDisk(), FullDisk()});
  const std::size_t half = whole.size() / 2;
  for (const std::size_t cut : {half + kDiskHeaderSize + 100000, whole.size() - 50}) {
    ScratchDir scratch;
    const Bytes image(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut));
    scratch.Put("cut.d88", image);
    const ToolRun run = RunTool(scratch.path(), {"cut.d88"});
    EXPECT_EQ(run.out, Lines(std::string(kFullDiskListing) + "[Disk A]\n"));
    EXPECT_EQ(run.err, Lines(std::string("d88unpack: disk 2: ") + kNoDirectory + "\n"));
    EXPECT_EQ(run.status, 1);
    ExpectFolderHolds(
        scratch.path(),
        {{"cut.d88", image}, {"FILL1", Pattern(60000, 11)}, {"FILL2", Pattern(60000, 12)}});
  }
}

// --- Entries that are not written as they stand ---

TEST(Refusal, NamesThatWouldLeaveTheFolderOrNameNoFile) {
  ScratchDir dir;
  const fs::path work = dir.path() / "work";
  fs::create_directories(work / "A");
  const Bytes data = TextBytes("data");
  const Bytes image =
      ImageOf({DataDisk(1, {File("", "", 0, data), File(".", "", 0, data), File("..", "", 0, data),
                            File("A/B", "", 0, data), File("../ETC", "", 0, data),
                            File("\x7F/", "", 0, data), File("FINE", "", 0, data)}),
               DataDisk(2, {File("NEXT", "", 0, TextBytes("next"))})});
  WriteBytes((work / "x.d88").string(), image);
  const ToolRun run = RunTool(work, {"x.d88"});
  EXPECT_EQ(run.out, Lines("[Disk B]\n"
                           "                  4  START=0000  END=0004\n"
                           ".                 4  START=0000  END=0004\n"
                           "..                4  START=0000  END=0004\n"
                           "A/B               4  START=0000  END=0004\n"
                           "../ETC            4  START=0000  END=0004\n"
                           "\x7F/                4  START=0000  END=0004\n"
                           "FINE              4  START=0000  END=0004\n"
                           "[Disk C]\n"
                           "NEXT              4  START=0000  END=0004\n"));
  ExpectComplaints(run.err, {{1, "B", "", Why::kEmptyName},
                             {1, "B", ".", Why::kDotName},
                             {1, "B", "..", Why::kDotName},
                             {1, "B", "A/B", Why::kSlash},
                             {1, "B", "../ETC", Why::kSlash},
                             {1, "B", "\\x7f/", Why::kSlash}});
  EXPECT_EQ(run.status, 1);
  ExpectFolderHolds(work, {{"x.d88", image}, {"FINE", data}, {"NEXT", TextBytes("next")}});
  EXPECT_TRUE(fs::is_empty(work / "A"));
  EXPECT_FALSE(fs::exists(dir.path() / "ETC"));
}

TEST(Refusal, NameOfTheImageItselfHoweverItIsSpelled) {
  const Bytes image = ImageOf({DataDisk(
      1, {File("X", "D88", 0, TextBytes("evil")), File("OK", "TXT", 0, TextBytes("ok"))})});
  for (const std::string spelling : {"X.D88", "./X.D88", "../work/X.D88", "absolute"}) {
    ScratchDir dir;
    const fs::path work = dir.path() / "work";
    fs::create_directory(work);
    WriteBytes((work / "X.D88").string(), image);
    const std::string arg = spelling == "absolute" ? (work / "X.D88").string() : spelling;
    const ToolRun run = RunTool(work, {arg});
    EXPECT_EQ(run.out, Lines("[Disk B]\n"
                             "X.D88             4  START=0000  END=0004\n"
                             "OK.TXT            2  START=0000  END=0002\n"))
        << spelling;
    ExpectComplaints(run.err, {{1, "B", "X.D88", Why::kIsTheImage}});
    EXPECT_EQ(run.status, 1) << spelling;
    ExpectFolderHolds(work, {{"X.D88", image}, {"OK.TXT", TextBytes("ok")}});
  }
}

TEST(Refusal, PosixNameOfTheImageThroughASymbolicLink) {
  if (ToolIsWindows()) GTEST_SKIP() << "symbolic links are a POSIX test";
  const Bytes image = ImageOf({DataDisk(1, {File("LINK", "D88", 0, TextBytes("via link")),
                                            File("X", "D88", 0, TextBytes("direct"))})});
  ScratchDir dir;
  dir.Put("X.D88", image);
  fs::create_symlink("X.D88", dir.path() / "LINK.D88");
  for (const std::string arg : {"X.D88", "LINK.D88"}) {
    const ToolRun run = RunTool(dir.path(), {arg});
    EXPECT_EQ(run.out, Lines("[Disk B]\n"
                             "LINK.D88          8  START=0000  END=0008\n"
                             "X.D88             6  START=0000  END=0006\n"))
        << arg;
    ExpectComplaints(run.err,
                     {{1, "B", "LINK.D88", Why::kIsTheImage}, {1, "B", "X.D88", Why::kIsTheImage}});
    EXPECT_EQ(run.status, 1) << arg;
    EXPECT_TRUE(ReadBytes((dir.path() / "X.D88").string()) == image) << arg;
    EXPECT_TRUE(fs::is_symlink(dir.path() / "LINK.D88")) << arg;
  }
}

TEST(Refusal, BackslashAndColonOnWindows) {
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
  ExpectComplaints(run.err, {{1, "B", "A\\x5cB", Why::kBackslash},
                             {1, "B", "\\x5c", Why::kBackslash},
                             {1, "B", "\\x83\\x5c\\x5c", Why::kBackslash},
                             {1, "B", "C:D", Why::kColon},
                             {1, "B", "A:", Why::kColon}});
  EXPECT_EQ(run.status, 1);
  ExpectFolderHolds(dir.path(), {{"x.d88", image}, {"OK", TextBytes("ok")}});
}

TEST_F(Extraction, PosixBackslashAndHighBytesAreOrdinary) {
  if (ToolIsWindows()) GTEST_SKIP() << "path characters on Windows";
  const ToolRun run = Run(ImageOf({DataDisk(
      1, {File("A\\B", "", 0, TextBytes("a")), File("\xB1\xB2", "\x83\x74", 0, TextBytes("k"))})}));
  ExpectClean(run,
              "[Disk B]\n"
              "A\\B               1  START=0000  END=0001\n"
              "\xB1\xB2.\x83\x74             1  START=0000  END=0001\n");
  ExpectWritten({{"A\\B", TextBytes("a")}, {"\xB1\xB2.\x83\x74", TextBytes("k")}});
}

// A disk whose walk runs off the end of the disk: EDGE's record header is
// the last four bytes but four of the disk, its data the last four; HALF's
// header is cut by the end, OUT's starts at the end, FAR's far beyond it.
Disk RunOffTheEndDisk() {
  std::vector<LayoutFile> files;
  for (int k = 1; k <= 7; ++k) {
    files.push_back(File("P" + std::to_string(k), "", 0, TextBytes("p"), k < 7 ? 65535 : 36862));
  }
  LayoutFile edge = File("EDGE", "", 0x10, {}, 6);
  edge.end = 0x1A;
  files.push_back(edge);
  files.push_back(File("HALF", "", 0, TextBytes("h"), 2));
  files.push_back(File("OUT", "", 0, TextBytes("o"), 65535));
  files.push_back(File("FAR", "", 0, TextBytes("f")));
  Disk disk = MakeLayoutDisk(DataDisk(1, files));
  // Directory bytes 7 to 0 sit in the disk's last eight bytes and are not
  // read as directory; EDGE's record is put there.
  const Bytes last = {0x00, 0x10, 0x00, 0x1A, 'W', 'X', 'Y', 'Z'};
  std::copy(last.begin(), last.end(), disk.tracks.at(83).sectors.at(4).data.begin() + 1016);
  return disk;
}

TEST_F(Extraction, RecordsAtAndPastTheEndOfTheDisk) {
  const ToolRun run =
      Run(Concat(BuildDisk(RunOffTheEndDisk()),
                 ImageOf({DataDisk(2, {File("AFTER", "", 0, TextBytes("after"))})})));
  std::string expected = "[Disk B]\n";
  for (int k = 1; k <= 7; ++k) expected += ListingLine("P" + std::to_string(k), 0, 1);
  expected +=
      "EDGE             10  START=0010  END=001a\n"
      "[Disk C]\n"
      "AFTER             5  START=0000  END=0005\n";
  EXPECT_EQ(run.out, Lines(expected));
  ExpectComplaints(run.err, {{1, "B", "EDGE", Why::kTruncated, 4, 10},
                             {1, "B", "HALF", Why::kHeaderPastTheEnd},
                             {1, "B", "OUT", Why::kHeaderPastTheEnd},
                             {1, "B", "FAR", Why::kHeaderPastTheEnd}});
  EXPECT_EQ(run.status, 1);
  std::map<std::string, Bytes> written = {{"EDGE", TextBytes("WXYZ")},
                                          {"AFTER", TextBytes("after")}};
  for (int k = 1; k <= 7; ++k) written["P" + std::to_string(k)] = TextBytes("p");
  ExpectWritten(written);
}

TEST_F(Extraction, EndBelowStartIsListedButNeitherCreatedNorTruncated) {
  LayoutFile keep = File("KEEP", "BIN", 0x3000, {});
  keep.end = 0x0010;
  LayoutFile negative = File("NEG", "", 0x0020, {});
  negative.end = 0x0010;
  dir.Put("KEEP.BIN", TextBytes("keep me"));
  const ToolRun run = Run(ImageOf(
      {DataDisk(1, {keep, negative}), DataDisk(2, {File("GOOD", "TXT", 0, TextBytes("good"))})}));
  EXPECT_EQ(run.out, Lines("[Disk B]\n"
                           "KEEP.BIN      -12272  START=3000  END=0010\n"
                           "NEG             -16  START=0020  END=0010\n"
                           "[Disk C]\n"
                           "GOOD.TXT          4  START=0000  END=0004\n"));
  ExpectComplaints(
      run.err, {{1, "B", "KEEP.BIN", Why::kEndBelowStart}, {1, "B", "NEG", Why::kEndBelowStart}});
  EXPECT_EQ(run.status, 1);
  ExpectWritten({{"KEEP.BIN", TextBytes("keep me")}, {"GOOD.TXT", TextBytes("good")}});
}

TEST_F(Extraction, FileThatCannotBeCreatedIsReported) {
  fs::create_directory(dir.path() / "OUT.DAT");
  const ToolRun run = Run(ImageOf({DataDisk(1, {File("OUT", "DAT", 0, TextBytes("x")),
                                                File("AFTER", "TXT", 0, TextBytes("after"))}),
                                   DataDisk(2, {File("NEXT", "", 0, TextBytes("next"))})}));
  EXPECT_EQ(run.out, Lines("[Disk B]\n"
                           "OUT.DAT           1  START=0000  END=0001\n"
                           "AFTER.TXT         5  START=0000  END=0005\n"
                           "[Disk C]\n"
                           "NEXT              4  START=0000  END=0004\n"));
  ExpectComplaints(run.err, {{1, "B", "OUT.DAT", Why::kDirectoryAtName}});
  EXPECT_EQ(run.status, 1);
  ExpectWritten({{"AFTER.TXT", TextBytes("after")}, {"NEXT", TextBytes("next")}});
  EXPECT_TRUE(fs::is_directory(dir.path() / "OUT.DAT"));
}

TEST_F(Extraction, PosixFailingWriteIsReported) {
  if (ToolIsWindows()) GTEST_SKIP() << "POSIX file size limits";
  // A file size limit, which the tool inherits, makes the large file's
  // write fail part way; the small file fits.
  struct rlimit saved;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  struct rlimit limited = saved;
  limited.rlim_cur = 10000;
  std::signal(SIGXFSZ, SIG_IGN);
  image = ImageOf(
      {DataDisk(1, {File("SMALL", "", 0, TextBytes("small")), File("LARGE", "", 0, Pattern(60000)),
                    File("AFTER", "", 0, TextBytes("after"))})});
  dir.Put(kImage, image);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  const ToolRun run = RunTool(dir.path(), {kImage});
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, SIG_DFL);
  EXPECT_EQ(run.out,
            "[Disk B]\n"
            "SMALL             5  START=0000  END=0005\n"
            "LARGE         60000  START=0000  END=ea60\n"
            "AFTER             5  START=0000  END=0005\n");
  ExpectComplaints(run.err, {{1, "B", "LARGE", Why::kWriteFailed, EFBIG}});
  EXPECT_EQ(run.status, 1);
  ExpectWritten(
      {{"SMALL", TextBytes("small")}, {"LARGE", Pattern(10000)}, {"AFTER", TextBytes("after")}});
}

TEST_F(Extraction, PosixListingThatCannotBeWrittenFailsTheRun) {
  if (ToolIsWindows() || !fs::exists("/dev/full")) GTEST_SKIP() << "needs /dev/full";
  // d88unpack IMAGE > /dev/full: the files are written, the listing is lost.
  RunOptions full;
  full.stdoutPath = "/dev/full";
  const ToolRun run = Run(ImageOf({DataDisk(1, {File("A", "", 0, TextBytes("a"))})}), full);
  EXPECT_EQ(run.err, "d88unpack: standard output: " + std::string(std::strerror(ENOSPC)) + "\n");
  EXPECT_EQ(run.status, 1);
  ExpectWritten({{"A", TextBytes("a")}});
}

// --- Hostile images ---

TEST_F(Extraction, LongRunOfEmptySectorHeadersOnEveryTrack) {
  const LayoutDisk layout = DataDisk(
      1, {File("GAME", "BIN", 0x1200, Pattern(9000, 1)), File("BIG1", "", 0, Pattern(65000, 2)),
          File("BIG2", "", 0, Pattern(65000, 3)), File("README", "", 0, TextBytes("hello\n"))});
  const std::string listing =
      "[Disk B]\n"
      "GAME.BIN       9000  START=1200  END=3528\n"
      "BIG1          65000  START=0000  END=fde8\n"
      "BIG2          65000  START=0000  END=fde8\n"
      "README            6  START=0000  END=0006\n";
  const std::map<std::string, Bytes> files = {{"GAME.BIN", Pattern(9000, 1)},
                                              {"BIG1", Pattern(65000, 2)},
                                              {"BIG2", Pattern(65000, 3)},
                                              {"README", TextBytes("hello\n")}};
  const Bytes hostile = BuildDisk(SharedEmptyRunDisk(layout, 60000));
  const auto started = std::chrono::steady_clock::now();
  const ToolRun run = Run(hostile);
  const auto seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  ExpectClean(run, listing);
  ExpectWritten(files);
  EXPECT_LT(seconds, 5.0);
}

TEST_F(Extraction, DisksWhoseTracksAllLeadIntoOneChainOfEmptyHeaders) {
  // Every track of a disk points just past its header, at the next disk's
  // header, whose name reads as an empty sector header (count 0xFFFF, data
  // length 0x2A0) that skips to the header after it; the last one leads to
  // 60,000 empty headers before the real sectors. Each of the 64 x 85 track
  // searches walks that whole chain.
  const LayoutDisk layout =
      DataDisk(1, {File("GAME", "BIN", 0x1200, Pattern(3000, 1)), File("NOTE", "", 0, {})});
  std::vector<Disk> disks(63);
  disks.push_back(SharedEmptyRunDisk(layout, 60000));
  for (Disk& disk : disks) {
    disk.name = std::string("\xEE\xEE\xEE\xEE\xFF\xFF\0\0\0\0\0\0\0\0\xA0\x02", 16);
    for (int t = 0; t < 84; ++t) disk.trackOffsetOverrides[t] = kDiskHeaderSize;
  }
  const Bytes hostile = BuildImage(disks);
  std::string listing;
  for (int d = 0; d < 64; ++d) {
    listing +=
        "[Disk B]\n" + ListingLine("GAME.BIN", 0x1200, 0x1200 + 3000) + ListingLine("NOTE", 0, 0);
  }

  // Its time is measured against a clean image of about the same size.
  const auto timed = [this](const Bytes& bytes, ToolRun& run) {
    const auto started = std::chrono::steady_clock::now();
    run = Run(bytes);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  };
  ToolRun clean;
  const double cleanSeconds = timed(ImageOf({layout, layout, layout}), clean);
  EXPECT_EQ(clean.status, 0);
  ToolRun run;
  const double seconds = timed(hostile, run);
  ExpectClean(run, listing);
  ExpectWritten({{"GAME.BIN", Pattern(3000, 1)}, {"NOTE", {}}});
  EXPECT_LT(seconds, 1.0 + 20 * cleanSeconds) << "clean: " << cleanSeconds << " s";
}

}  // namespace

// --- Windows builds (run under wine): code page 932 names, device names and
// the console's line ends. The names of these tests hold "Windows", and the
// tests of POSIX behaviour above "Posix": each run of the suite registers
// only those for its tool (tests/CMakeLists.txt), and each test skips itself
// when run against the other kind. ---

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
                     {{1, "B", entry == "DISK" ? "DISK.d88" : "\\xb6\\xc5.d88", Why::kIsTheImage}});
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

}  // namespace
