// End-to-end tests: the real executable, run in a scratch folder, compared
// byte for byte on standard output, standard error, written files and status.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "e2e_support.h"

using namespace d88test;
namespace fs = std::filesystem;

namespace {

// --- The command line ---

TEST(CommandLine, UsageErrorsSayWhatIsWrongAndWriteNothing) {
  ScratchDir dir;
  const Bytes image = ImageOf({DataDisk(1, {File("A", "", 0, TextBytes("a"))})});
  dir.Put(kImage, image);
  // Given nothing, the tool prints the usage line it has always printed;
  // any other mistake gets a line that says what is wrong first, and one
  // that says where to learn more.
  struct Case {
    std::vector<std::string> args;
    std::string problem;  // empty: the bare usage line
  };
  std::vector<Case> cases = {
      {{}, ""},
      {{"-x", kImage}, "invalid option -- 'x'"},
      {{kImage, "--frob"}, "unrecognized or ambiguous option '--frob'"},
      {{"--d", kImage}, "unrecognized or ambiguous option '--d'"},
      {{"--list=yes", kImage}, "option '--list' doesn't allow an argument"},
      {{kImage, "-C"}, "option requires an argument -- 'C'"},
      {{kImage, "--directory"}, "option '--directory' requires an argument"},
      {{"-l"}, "no image given"},
      {{"-C", "", kImage}, "the folder given to --directory is empty"},
      {{"-d", "0", kImage}, "the disk's place must be a number from 1: '0'"},
      {{"--disk=2x", kImage}, "the disk's place must be a number from 1: '2x'"},
      {{"-d", "-1", kImage}, "the disk's place must be a number from 1: '-1'"},
      {{"-O", "-l", kImage}, "--to-stdout cannot be combined with --list"},
      {{"--json", "-O", kImage}, "--to-stdout cannot be combined with --json"},
      {{"--system-area", "-l", kImage}, "--system-area cannot be combined with --list"},
      {{"-O", "--system-area", kImage}, "--system-area cannot be combined with --to-stdout"},
      // A letter in a bundle is a short option, whatever came before.
      {{"--json", "-xl", kImage}, "invalid option -- 'x'"},
      {{"--json", "-lx", kImage}, "invalid option -- 'x'"},
      // One name, and one -d, more than the tool takes.
      {Args({kImage}, std::vector<std::string>(4097, "A")), "too many names"},
      {Args(std::vector<std::string>(257, "-d1"), {kImage}), "too many disks chosen"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.problem);
    const ToolRun run = RunTool(dir.path(), c.args, {std::string("./bin/my-unpacker")});
    EXPECT_EQ(run.err,
              Lines(c.problem.empty() ? "Usage: " + run.argv0 + " [d88file]\n"
                                      : "d88unpack: " + c.problem + "\nUsage: " + run.argv0 +
                                            " [OPTION]... IMAGE [NAME]...\n"
                                            "Try 'd88unpack --help' for more information.\n"));
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.status, 1);
  }
  ExpectTreeHolds(dir.path(), {{kImage, image}});
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

// The Shift-JIS line, then the path as given and the system's reason.
std::string CannotOpen(const std::string& line) {
  return kCannotOpen + "\nd88unpack: " + line + "\n";
}

TEST(CommandLine, UnopenableImageGivesTheOpenFailureMessage) {
  ScratchDir dir;
  fs::create_directory(dir.path() / "folder.d88");
  std::vector<std::pair<std::string, std::string>> cases = {
      {"missing.d88", "missing.d88: No such file or directory"},
      {"", ": No such file or directory"},
      {"folder.d88", "folder.d88: Is a directory"},
      {".", ".: Is a directory"},
      {"no such.d88", "no such.d88: No such file or directory"}};
  // Bytes outside printable ASCII are escaped (a Windows path is shown as
  // UTF-8, which wine would not pass through as these bytes).
  if (!ToolIsWindows()) {
    cases.push_back({"\x1b[2J\xff.d88", "\\x1b[2J\\xff.d88: No such file or directory"});
  }
  for (const auto& [arg, line] : cases) {
    SCOPED_TRACE('"' + arg + '"');
    const ToolRun run = RunTool(dir.path(), {arg});
    EXPECT_EQ(run.err, Lines(CannotOpen(line)));
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.status, 1);
  }
  ExpectTreeHolds(dir.path(), {{"folder.d88/", {}}});
}

TEST(CommandLine, PosixPipeOrDeviceIsNoImage) {
  if (ToolIsWindows()) GTEST_SKIP() << "POSIX pipes and devices";
  // None can seek: read as an image they would give no disks and a status
  // of success. A socket or a device is refused before it is opened: the
  // open would fail with a reason of its own, or act on the device.
  ScratchDir dir;
  ASSERT_EQ(mkfifo((dir.path() / "pipe.d88").c_str(), 0600), 0);
  const int socketFd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string socketPath = (dir.path() / "socket.d88").string();
  ASSERT_LT(socketPath.size(), sizeof address.sun_path);
  socketPath.copy(address.sun_path, socketPath.size());
  ASSERT_EQ(bind(socketFd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  close(socketFd);
  RunOptions noTerminal;
  noTerminal.newSession = true;
  for (const std::string arg : {"pipe.d88", "socket.d88", "/dev/null", "/dev/tty"}) {
    SCOPED_TRACE(arg);
    const ToolRun run = RunTool(dir.path(), {arg}, noTerminal);
    EXPECT_EQ(run.err, CannotOpen(arg + ": not a regular file"));
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.status, 1);
  }
}

// --- Clean images: listing and files ---

struct CleanCase {
  std::string label;
  Bytes image;
  std::string out;
  Tree files;
};

// A clean image of `disks`, listed as `out`: each entry is written under the
// name it is listed by, with its data.
CleanCase Clean(const std::string& label, const std::vector<LayoutDisk>& disks,
                const std::string& out) {
  CleanCase c = {label, ImageOf(disks), out, {}};
  std::vector<Bytes> data;
  for (const LayoutDisk& disk : disks) {
    for (const LayoutFile& file : disk.files) data.push_back(file.data);
  }
  std::size_t k = 0;
  for (std::size_t at = 0, end = 0; (end = out.find('\n', at)) != std::string::npos; at = end + 1) {
    if (out.compare(at, 6, "[Disk ") != 0)
      c.files[out.substr(at, out.find(' ', at) - at)] = data.at(k++);
  }
  EXPECT_EQ(k, data.size()) << label;
  return c;
}

std::vector<CleanCase> CleanCases() {
  std::vector<CleanCase> cases = {
      Clean("a typical data disk",
            {DataDisk(1, {File("GAME", "BIN", 0x1200, Pattern(9000, 1)),
                          File("README", "", 0x0000, TextBytes("hello\n")),
                          File("EMPTY", "DAT", 0x8000, {}),
                          File("TITLE", "SCR", 0x4000, Pattern(16000, 42))})},
            "[Disk B]\n"
            "GAME.BIN       9000  START=1200  END=3528\n"
            "README            6  START=0000  END=0006\n"
            "EMPTY.DAT         0  START=8000  END=8000\n"
            "TITLE.SCR     16000  START=4000  END=7e80\n"),
      // The system area holds 256-byte sectors of 0xE5; the first record
      // must come from the start of track 2.
      Clean("a system disk",
            {DataDisk(0, {File("IPL", "SYS", 0xC000, Pattern(3000, 7)),
                          File("MONITR", "", 0xD000, Pattern(12000, 3))})},
            "[Disk A]\n"
            "IPL.SYS        3000  START=c000  END=cbb8\n"
            "MONITR        12000  START=d000  END=fee0\n"),
      // The letter comes from each disk's directory, not from its place.
      Clean("three disks in file order",
            {DataDisk(3, {File("ALPHA", "TXT", 0x0100, TextBytes("alpha\n"))}),
             DataDisk(0, {File("BETA", "BIN", 0x2000, Pattern(5000, 9))}),
             DataDisk(1, {File("GAMMA", "", 0xFFF0, Pattern(15, 5)),
                          File("DELTA", "D", 0x0000, Pattern(1, 8))})},
            "[Disk D]\n"
            "ALPHA.TXT         6  START=0100  END=0106\n"
            "[Disk A]\n"
            "BETA.BIN       5000  START=2000  END=3388\n"
            "[Disk B]\n"
            "GAMMA            15  START=fff0  END=ffff\n"
            "DELTA.D           1  START=0000  END=0001\n"),
      Clean("disk letters are raw bytes",
            {DataDisk(191, {File("N191", "", 0x10, TextBytes("x"))}), DataDisk(63, {}),
             DataDisk(255, {})},
            std::string("[Disk \0]\n", 9) + "N191              1  START=0010  END=0011\n"
                                            "[Disk \x80]\n"
                                            "[Disk @]\n"),
      Clean("the listing's columns",
            {DataDisk(1, {File("ABCDEF", "GHI", 0x0012, Pattern(910)),
                          File("HEX", "", 0xABCD, Pattern(16, 1)),
                          File("", "DAT", 0x0000, TextBytes("d")),
                          File("A B", "", 0x0000, TextBytes("ab")),
                          File("NOEXT", " X", 0x0000, TextBytes("n")), File("Z", "", 0x0FFF, {}),
                          // Last: its default allocation would not fit 16 bits.
                          File("WIDE", "", 0x0000, Pattern(65535, 2))})},
            "[Disk B]\n"
            "ABCDEF.GHI      910  START=0012  END=03a0\n"
            "HEX              16  START=abcd  END=abdd\n"
            ".DAT              1  START=0000  END=0001\n"
            "A                 2  START=0000  END=0002\n"
            "NOEXT             1  START=0000  END=0001\n"
            "Z                 0  START=0fff  END=0fff\n"
            "WIDE          65535  START=0000  END=ffff\n"),
      // TWO is described with ONE's record so that the builder leaves it as
      // is.
      Clean("an allocation length of 0 reads the same record again",
            {DataDisk(1, {File("ONE", "", 0x0100, TextBytes("abc"), 0),
                          File("TWO", "", 0x0100, TextBytes("abc")),
                          File("THREE", "", 0x0200, TextBytes("xyz"))})},
            "[Disk B]\n"
            "ONE               3  START=0100  END=0103\n"
            "TWO               3  START=0100  END=0103\n"
            "THREE             3  START=0200  END=0203\n"),
  };

  // A count of 0 lists nothing even where entries follow; 255 entries fill
  // 2816 bytes of the directory track.
  LayoutDisk none = DataDisk(1, {File("HIDDEN", "", 0, TextBytes("never"))});
  none.entryCountField = 0;
  LayoutDisk full = DataDisk(2, {});
  CleanCase fullDirectory = {"no entries, then a full directory", {}, "[Disk B]\n[Disk C]\n", {}};
  for (int k = 0; k < 255; ++k) {
    char name[8];
    std::snprintf(name, sizeof name, "F%03d", k);
    const Bytes data = Pattern(static_cast<std::size_t>(k % 7), static_cast<std::uint8_t>(k));
    const std::uint16_t start = static_cast<std::uint16_t>(k * 0x100);
    full.files.push_back(File(name, "", start, data));
    fullDirectory.out += ListingLine(name, start, start + static_cast<int>(data.size()));
    fullDirectory.files[name] = data;
  }
  fullDirectory.image = ImageOf({none, full});
  cases.push_back(fullDirectory);

  // Every track leads through one run of 60,000 empty sector headers before
  // its sectors: still read in well under the time limit.
  const LayoutDisk layout = DataDisk(
      1, {File("GAME", "BIN", 0x1200, Pattern(9000, 1)), File("BIG1", "", 0, Pattern(65000, 2)),
          File("BIG2", "", 0, Pattern(65000, 3)), File("README", "", 0, TextBytes("hello\n"))});
  cases.push_back(Clean("a long run of empty sector headers on every track", {layout},
                        "[Disk B]\n"
                        "GAME.BIN       9000  START=1200  END=3528\n"
                        "BIG1          65000  START=0000  END=fde8\n"
                        "BIG2          65000  START=0000  END=fde8\n"
                        "README            6  START=0000  END=0006\n"));
  cases.back().image = BuildDisk(SharedEmptyRunDisk(layout, 60000));

  // On Windows these are path characters and code page 932.
  if (!ToolIsWindows()) {
    cases.push_back(Clean("POSIX: a backslash and high bytes are ordinary",
                          {DataDisk(1, {File("A\\B", "", 0, TextBytes("a")),
                                        File("\xB1\xB2", "\x83\x74", 0, TextBytes("k"))})},
                          "[Disk B]\n"
                          "A\\B               1  START=0000  END=0001\n"
                          "\xB1\xB2.\x83\x74             1  START=0000  END=0001\n"));
  }
  return cases;
}

TEST(CleanImages, AreListedAndWrittenWhole) {
  for (const CleanCase& c : CleanCases()) {
    SCOPED_TRACE(c.label);
    const auto started = std::chrono::steady_clock::now();
    RunRows(c.image, {{{kImage}, c.out, "", c.files}});
    // However its tracks are laid out, no clean image takes long.
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(),
              5.0);
  }
}

// --- Entries that are not written as they stand ---

TEST(Refusal, ListingLineComesBeforeItsComplaintInOneFile) {
  // Both streams in one file, as 2>&1 gives: each complaint follows the
  // listing line of its entry.
  RunOptions oneFile;
  oneFile.oneFile = true;
  RunRows(ImageOf({DataDisk(
                       1, {File("FIRST", "", 0, TextBytes("1")), File("A/B", "", 0, TextBytes("x")),
                           File("LAST", "", 0, TextBytes("2"))}),
                   DataDisk(2, {File("..", "", 0, TextBytes("y"))})}),
          {{{kImage},
            "[Disk B]\n" + ListingLine("FIRST", 0, 1) + ListingLine("A/B", 0, 1) +
                Says({1, "B", "A/B", Why::kSlash}) + ListingLine("LAST", 0, 1) + "[Disk C]\n" +
                ListingLine("..", 0, 1) + Says({2, "C", "..", Why::kDotName}),
            "",
            {{"FIRST", TextBytes("1")}, {"LAST", TextBytes("2")}},
            nullptr,
            oneFile,
            1}});
}

TEST(Refusal, NamesThatWouldLeaveTheFolderOrNameNoFile) {
  ScratchDir dir;
  const fs::path work = dir.path() / "work";
  fs::create_directories(work / "A");
  const Bytes data = TextBytes("data");
  const Bytes image =
      ImageOf({DataDisk(1, {File("", "", 0, data), File(".", "", 0, data), File("..", "", 0, data),
                            File("A/B", "", 0, data), File("../ETC", "", 0, data),
                            File("\x7F/", "", 0, data), File("FINE", "", 0, data),
                            // A NUL ends the listed name early: both would be "A".
                            File(std::string("A\0", 2), "TXT", 0, data),
                            File(std::string("A\0B", 3), "DAT", 0, data)}),
               // Letters NUL and space: a complaint escapes the letter as it
               // does the name, where '"' is escaped and a space is not.
               DataDisk(191, {File("A/B", "", 0, data)}),
               DataDisk(223, {File("\"/", "", 0, data), File("NEXT", "", 0, TextBytes("next"))})});
  WriteBytes((work / "x.d88").string(), image);
  const ToolRun run = RunTool(work, {"x.d88"});
  std::string listing = "[Disk B]\n";
  for (const char* name : {"", ".", "..", "A/B", "../ETC", "\x7F/", "FINE", "A", "A"}) {
    listing += ListingLine(name, 0, 4);
  }
  EXPECT_EQ(run.out, Lines(listing + std::string("[Disk \0]\n", 9) + ListingLine("A/B", 0, 4) +
                           "[Disk  ]\n" + ListingLine("\"/", 0, 4) + ListingLine("NEXT", 0, 4)));
  ExpectComplaints(run.err,
                   {{1, "B", "", Why::kEmptyName},
                    {1, "B", ".", Why::kDotName},
                    {1, "B", "..", Why::kDotName},
                    {1, "B", "A/B", Why::kSlash},
                    {1, "B", "../ETC", Why::kSlash},
                    {1, "B", "\\x7f/", Why::kSlash},
                    {1, "B", "A", Why::kNulName},
                    {1, "B", "A", Why::kNulName},
                    {2, "\\x00", "A/B", Why::kSlash},
                    {3, " ", "\\x22/", Why::kSlash}},
                   "x.d88");
  EXPECT_EQ(run.status, 1);
  // Nothing in A, and nothing beside the folder.
  ExpectTreeHolds(
      dir.path(),
      In("work", {{"x.d88", image}, {"A/", {}}, {"FINE", data}, {"NEXT", TextBytes("next")}}));
}

TEST(Refusal, NameOfTheImageItselfHoweverItIsSpelled) {
  const Bytes image = ImageOf({DataDisk(
      1, {File("X", "D88", 0, TextBytes("evil")), File("OK", "TXT", 0, TextBytes("ok"))})});
  for (const std::string spelling : {"X.D88", "./X.D88", "../work/X.D88", "absolute"}) {
    SCOPED_TRACE(spelling);
    ScratchDir dir;
    const fs::path work = dir.path() / "work";
    fs::create_directory(work);
    WriteBytes((work / "X.D88").string(), image);
    const std::string arg = spelling == "absolute" ? (work / "X.D88").string() : spelling;
    const ToolRun run = RunTool(work, {arg});
    EXPECT_EQ(run.out,
              Lines("[Disk B]\n" + ListingLine("X.D88", 0, 4) + ListingLine("OK.TXT", 0, 2)));
    ExpectComplaints(run.err, {{1, "B", "X.D88", Why::kIsTheImage}}, arg);
    EXPECT_EQ(run.status, 1);
    ExpectTreeHolds(work, {{"X.D88", image}, {"OK.TXT", TextBytes("ok")}});
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
    SCOPED_TRACE(arg);
    const ToolRun run = RunTool(dir.path(), {arg});
    EXPECT_EQ(run.out, "[Disk B]\n" + ListingLine("LINK.D88", 0, 8) + ListingLine("X.D88", 0, 6));
    ExpectComplaints(run.err,
                     {{1, "B", "LINK.D88", Why::kIsTheImage}, {1, "B", "X.D88", Why::kIsTheImage}},
                     arg);
    EXPECT_EQ(run.status, 1);
    ExpectTreeHolds(dir.path(), {{"X.D88", image}, {"LINK.D88@", {}}});
  }
}

TEST(Refusal, WhatCannotBeWrittenIsReportedAndTheRestWritten) {
  // An end address below the start: listed, but neither created nor
  // truncated where a file of its name stands.
  LayoutFile keep = File("KEEP", "BIN", 0x3000, {});
  keep.end = 0x0010;
  LayoutFile negative = File("NEG", "", 0x0020, {});
  negative.end = 0x0010;
  RunRows(ImageOf({DataDisk(1, {keep, negative}),
                   DataDisk(2, {File("GOOD", "TXT", 0, TextBytes("good"))})}),
          {{{kImage},
            "[Disk B]\n"
            "KEEP.BIN      -12272  START=3000  END=0010\n"
            "NEG             -16  START=0020  END=0010\n"
            "[Disk C]\n" +
                ListingLine("GOOD.TXT", 0, 4),
            Says({1, "B", "KEEP.BIN", Why::kEndBelowStart}) +
                Says({1, "B", "NEG", Why::kEndBelowStart}),
            {{"KEEP.BIN", TextBytes("keep me")}, {"GOOD.TXT", TextBytes("good")}},
            FileAt("KEEP.BIN", "keep me")}});
  // A folder at the name: the file cannot be created.
  RunRows(ImageOf({DataDisk(1, {File("OUT", "DAT", 0, TextBytes("x")),
                                File("AFTER", "TXT", 0, TextBytes("after"))}),
                   DataDisk(2, {File("NEXT", "", 0, TextBytes("next"))})}),
          {{{kImage},
            "[Disk B]\n" + ListingLine("OUT.DAT", 0, 1) + ListingLine("AFTER.TXT", 0, 5) +
                "[Disk C]\n" + ListingLine("NEXT", 0, 4),
            Says({1, "B", "OUT.DAT", Why::kDirectoryAtName}),
            {{"OUT.DAT/", {}}, {"AFTER.TXT", TextBytes("after")}, {"NEXT", TextBytes("next")}},
            Folder("OUT.DAT")}});
}

TEST(Refusal, PosixFailingWriteIsReported) {
  if (ToolIsWindows()) GTEST_SKIP() << "POSIX file size limits and /dev/full";
  // A file size limit makes the large file's write fail part way; the small
  // file fits. No part of the large file is left at its name.
  RunOptions limited;
  limited.fileSizeLimit = 10000;
  limited.ignoreFileSizeSignal = true;
  RunRows(ImageOf({DataDisk(
              1, {File("SMALL", "", 0, TextBytes("small")), File("LARGE", "", 0, Pattern(60000)),
                  File("AFTER", "", 0, TextBytes("after"))})}),
          {{{kImage},
            "[Disk B]\n" + ListingLine("SMALL", 0, 5) + ListingLine("LARGE", 0, 60000) +
                ListingLine("AFTER", 0, 5),
            Says({1, "B", "LARGE", Why::kWriteFailed, EFBIG}),
            {{"SMALL", TextBytes("small")}, {"AFTER", TextBytes("after")}},
            nullptr,
            limited}});
  // d88unpack IMAGE > /dev/full: the files are written, the listing is lost.
  RunOptions full;
  full.stdoutPath = "/dev/full";
  RunRows(ImageOf({DataDisk(1, {File("A", "", 0, TextBytes("a"))})}),
          {{{kImage},
            "",
            "d88unpack: standard output: " + std::string(std::strerror(ENOSPC)) + "\n",
            {{"A", TextBytes("a")}},
            nullptr,
            full}});
}

// --- Hostile images ---

TEST(Hostile, DisksWhoseTracksAllLeadIntoOneChainOfEmptyHeaders) {
  // Every track of each of 63 disks points at a run of 5,000 empty sector
  // headers (count 0xFFFF) whose last one leads on past the disk's end, into
  // the next disk's run; the last disk's run leads to its real sectors. A
  // search that crossed from disk to disk would walk every later disk's run
  // for each disk. Each disk's tracks hold nothing of the layout, so only
  // the last disk is listed.
  constexpr int kRun = 5000;
  const LayoutDisk layout =
      DataDisk(1, {File("GAME", "BIN", 0x1200, Pattern(3000, 1)), File("NOTE", "", 0, {})});
  Sector empty;
  empty.r = 0;
  empty.n = 0;
  empty.countField = 0xFFFF;
  std::vector<Disk> disks(63);
  std::string err;
  for (std::size_t d = 0; d < disks.size(); ++d) {
    disks[d].tracks[0].sectors.assign(kRun, empty);
    // The last header's data is the next disk's header: it leads to that
    // disk's run.
    disks[d].tracks[0].sectors.back().lengthField = static_cast<int>(kDiskHeaderSize);
    for (int t = 1; t < 84; ++t) disks[d].trackOffsetOverrides[t] = kDiskHeaderSize;
    err += DiskLine(static_cast<int>(d) + 1,
                    "no directory: the disk is of another layout (84 tracks of 64 sectors of 128 "
                    "bytes)");
  }
  disks.push_back(SharedEmptyRunDisk(layout, kRun));
  const Bytes hostile = BuildImage(disks);
  // The same bytes as one disk: its one search walks them all once.
  Bytes oneDisk = hostile;
  d88::PutLittle32(oneDisk.data() + d88::disk_header::kDiskSizeOffset,
                   static_cast<std::uint32_t>(oneDisk.size()));

  ScratchDir dir;
  // The best of three runs, so that a busy machine does not fail the test.
  const auto timed = [&dir](const Bytes& bytes, ToolRun& run) {
    dir.Put(kImage, bytes);
    double best = 1e9;
    for (int i = 0; i < 3; ++i) {
      const auto started = std::chrono::steady_clock::now();
      run = RunTool(dir.path(), {kImage});
      best = std::min(
          best, std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
    }
    return best;
  };
  ToolRun whole;
  const double oneDiskSeconds = timed(oneDisk, whole);
  ToolRun run;
  const double seconds = timed(hostile, run);
  EXPECT_EQ(run.out, Lines("[Disk B]\n" + ListingLine("GAME.BIN", 0x1200, 0x1200 + 3000) +
                           ListingLine("NOTE", 0, 0)));
  EXPECT_EQ(run.err, Lines(err));
  EXPECT_EQ(run.status, 1);
  ExpectTreeHolds(dir.path(), {{kImage, hostile}, {"GAME.BIN", Pattern(3000, 1)}, {"NOTE", {}}});
  EXPECT_LT(seconds, 0.5 + 2 * oneDiskSeconds) << "as one disk: " << oneDiskSeconds << " s";
}

}  // namespace
