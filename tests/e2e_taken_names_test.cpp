// End-to-end tests of names that are taken already in the output folder:
// nothing there is ever written through, and the image and the console's
// files are known whatever name leads to them. And of the terminal, where a
// name's control bytes are not sent as they are.
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "e2e_support.h"

using namespace d88test;
namespace fs = std::filesystem;

namespace {

const Bytes kVictim = TextBytes("the file outside\n");
const Bytes kOther = TextBytes("another name's file\n");

// What stands at HELLO.TXT before the run, and what must be true after it.
struct TakenNameCase {
  std::string label;
  Prepare lay;  // in the output folder
  std::vector<Complaint> complaints;
  Tree kept = {};  // in the output folder, besides the image, AFTER and HELLO.TXT
  // With d88unpack IMAGE > HELLO.TXT, or 2>> HELLO.TXT, the stream, not the
  // file, is at the name.
  RunOptions options = {};
};

mode_t CurrentUmask() {
  const mode_t mask = umask(0);
  umask(mask);
  return mask;
}

TEST(TakenNames, PosixWhatStandsAtANameIsReplacedNeverWrittenThrough) {
  if (ToolIsWindows()) GTEST_SKIP() << "POSIX links, FIFOs and permissions";
  const Bytes image = ImageOf({DataDisk(
      1, {File("HELLO", "TXT", 0, TextBytes("hello\n")), File("AFTER", "", 0, TextBytes("a"))})});
  const std::string listing =
      "[Disk B]\n" + ListingLine("HELLO.TXT", 0, 6) + ListingLine("AFTER", 0, 1);
  const auto link = [](const std::string& target) {
    return [target](const fs::path& work) { fs::create_symlink(target, work / "HELLO.TXT"); };
  };
  RunOptions intoTheName, appendedToTheName, umask0;
  intoTheName.stdoutPath = appendedToTheName.stderrPath = "HELLO.TXT";
  appendedToTheName.stderrAppend = true;
  umask0.umask = 0;
  const std::vector<TakenNameCase> cases = {
      {"a link to a file outside", link("../outside/victim"), {}},
      {"a dangling link", link("../outside/new"), {}},
      {"a link to /dev/null", link("/dev/null"), {}},
      {"a link to a folder", link("../outside"), {}},
      {"a link to itself", link("HELLO.TXT"), {}},
      {"a link through a file", link("../outside/victim/x"), {}},
      {"a hard link",
       [](const fs::path& work) {
         WriteBytes((work / "OTHER").string(), kOther);
         fs::create_hard_link(work / "OTHER", work / "HELLO.TXT");
       },
       {},
       {{"OTHER", kOther}}},
      {"a FIFO", [](const fs::path& work) { mkfifo((work / "HELLO.TXT").c_str(), 0600); }, {}},
      {"a read-only file of the user's own",
       [](const fs::path& work) {
         WriteBytes((work / "HELLO.TXT").string(), kOther);
         chmod((work / "HELLO.TXT").c_str(), 0400);
       },
       {}},
      {"a directory",
       [](const fs::path& work) {
         fs::create_directory(work / "HELLO.TXT");
         WriteBytes((work / "HELLO.TXT" / "INSIDE").string(), kOther);
       },
       {{1, "B", "HELLO.TXT", Why::kDirectoryAtName}},
       {{"HELLO.TXT/", {}}, {"HELLO.TXT/INSIDE", kOther}}},
      {"the listing redirected to the name",
       [](const fs::path&) {},
       {{1, "B", "HELLO.TXT", Why::kIsTheOutput}},
       {},
       intoTheName},
      {"standard error appended to the name",
       FileAt("HELLO.TXT", "another name's file\n"),
       {{1, "B", "HELLO.TXT", Why::kIsTheErrorOutput}},
       {},
       appendedToTheName},
      {"nothing, under a umask of 0", [](const fs::path&) {}, {}, {}, umask0},
  };
  for (const TakenNameCase& c : cases) {
    SCOPED_TRACE(c.label);
    ScratchDir dir;
    const fs::path work = dir.path() / "work";
    fs::create_directories(dir.path() / "outside");
    fs::create_directory(work);
    WriteBytes((dir.path() / "outside" / "victim").string(), kVictim);
    WriteBytes((work / kImage).string(), image);
    c.lay(work);

    RunOptions options = c.options;
    options.timeoutSeconds = 20;  // a FIFO opened for writing would wait for ever
    const ToolRun run = RunTool(work, {kImage}, options);
    const bool output = !options.stdoutPath.empty();
    const bool errorOutput = !options.stderrPath.empty();

    std::string complaints;
    for (const Complaint& complaint : c.complaints) complaints += Says(complaint);
    EXPECT_EQ(run.err, errorOutput ? "" : complaints);
    EXPECT_EQ(run.out, output ? "" : listing);
    EXPECT_EQ(run.status, c.complaints.empty() ? 0 : 1);
    // Outside the folder nothing changed and nothing appeared.
    Tree tree = In("work", Merge({{kImage, image}, {"AFTER", TextBytes("a")}}, c.kept),
                   In("outside", {{"victim", kVictim}}));
    if (c.kept.count("HELLO.TXT/") == 0) {
      struct stat info;
      ASSERT_EQ(lstat((work / "HELLO.TXT").c_str(), &info), 0);
      ASSERT_TRUE(S_ISREG(info.st_mode));
      tree["work/HELLO.TXT"] = output        ? TextBytes(listing)
                               : errorOutput ? Concat(kOther, TextBytes(complaints))
                                             : TextBytes("hello\n");
      if (!output && !errorOutput) {
        // A plain create, whatever stood there before.
        EXPECT_EQ(
            info.st_mode & 07777,
            0666 & ~(options.umask >= 0 ? static_cast<mode_t>(options.umask) : CurrentUmask()));
        EXPECT_EQ(info.st_nlink, 1u);
      }
    }
    ExpectTreeHolds(dir.path(), tree);
  }
}

TEST(TakenNames, PosixImageReachedThroughAHardLinkAfterItsPathHasGone) {
  if (ToolIsWindows()) GTEST_SKIP() << "POSIX pipes and hard links";
  // Eight disks of 255 entries make more listing than a pipe holds; the
  // last disk's entry COPY.D88 is the image itself, through a hard link in
  // the output folder. While the tool is held by its full pipe, the image's
  // own path goes away: only the file's identity still says what it is.
  std::vector<LayoutDisk> disks(8, DataDisk(1, {}));
  for (int k = 0; k < 8 * 255; ++k) {
    disks[static_cast<std::size_t>(k / 255)].files.push_back(
        File("F" + std::to_string(k), "", 0, {}));
  }
  disks.push_back(DataDisk(2, {File("COPY", "D88", 0, TextBytes("would destroy the image"))}));
  const Bytes image = ImageOf(disks);

  ScratchDir dir;
  const fs::path work = dir.path() / "work";
  fs::create_directories(dir.path() / "images");
  fs::create_directory(work);
  WriteBytes((dir.path() / "images" / "x.d88").string(), image);
  fs::create_hard_link(dir.path() / "images" / "x.d88", work / "COPY.D88");

  RunOptions held;
  held.whileHeld = [&] {
    fs::rename(dir.path() / "images" / "x.d88", dir.path() / "images" / "moved.d88");
  };
  const ToolRun run = RunTool(work, {"../images/x.d88"}, held);
  EXPECT_EQ(run.err, Says({9, "C", "COPY.D88", Why::kIsTheImage, 0, 0, -1, "../images/x.d88"}));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(ReadBytes((dir.path() / "images" / "moved.d88").string()), image);
  EXPECT_EQ(ReadBytes((work / "COPY.D88").string()), image);
}

TEST(TakenNames, PosixConsoleStreamsIntoTheImageOrClosed) {
  if (ToolIsWindows()) GTEST_SKIP() << "POSIX redirection";
  // d88unpack disk.d88 >> disk.d88: the image is only read, so nothing is
  // listed into it, and nothing is written at all. With 2>> disk.d88 not
  // even the message is. A stream closed at start (>&-, 2>&-) is no file at
  // all: what goes there is lost, and the run is as it would be.
  RunOptions outputInto, errorInto, outputClosed, errorClosed;
  outputInto.stdoutPath = errorInto.stderrPath = kImage;
  outputInto.stdoutAppend = errorInto.stderrAppend = true;
  outputClosed.closeOutput = true;
  errorClosed.closeErrorOutput = true;
  const std::string message =
      ImageLine("standard output goes into the image file; it is only read, so nothing is done");
  const Tree a = {{"A", TextBytes("a")}};
  RunRows(ImageOf({DataDisk(1, {File("A", "", 0, TextBytes("a"))})}),
          {{{kImage}, "", message, {}, nullptr, outputInto},
           {{"-O", kImage}, "", message, {}, nullptr, outputInto},
           {{"--json", "-l", kImage}, "", message, {}, nullptr, outputInto},
           {{kImage}, "", "", {}, nullptr, errorInto, 1},
           {{kImage}, "", "", a, nullptr, outputClosed}});
  RunRows(ImageOf({DataDisk(1, {File("A", "", 0, TextBytes("a")), File("B/C", "", 0, {})})}),
          {{{kImage}, "", Says({1, "B", "B/C", Why::kSlash}), a, nullptr, outputClosed},
           {{kImage},
            "[Disk B]\n" + ListingLine("A", 0, 1) + ListingLine("B/C", 0, 0),
            "",
            a,
            nullptr,
            errorClosed,
            1}});
}

TEST(TakenNames, WindowsReadOnlyFileAtANameIsReportedNotForced) {
  if (!ToolIsWindows()) GTEST_SKIP() << "Windows builds only";
  // A file without write permission reads as read-only under wine.
  RunRows(ImageOf({DataDisk(1, {File("HELLO", "TXT", 0, TextBytes("hello\n")),
                                File("PLAIN", "TXT", 0, TextBytes("plain\n"))})}),
          {{{kImage},
            "[Disk B]\n" + ListingLine("HELLO.TXT", 0, 6) + ListingLine("PLAIN.TXT", 0, 6),
            Says({1, "B", "HELLO.TXT", Why::kReadOnlyAtName}),
            {{"HELLO.TXT", kOther}, {"PLAIN.TXT", TextBytes("plain\n")}},
            [](const fs::path& dir) {
              WriteBytes((dir / "HELLO.TXT").string(), kOther);
              fs::permissions(dir / "HELLO.TXT", fs::perms::owner_read);
              WriteBytes((dir / "PLAIN.TXT").string(), kOther);
            }}});
}

TEST(Terminal, PosixControlBytesOfNamesAreMaskedOnATerminalOnly) {
  if (ToolIsWindows()) GTEST_SKIP() << "POSIX pseudo-terminals";
  // Escape sequences, a carriage return, a bell and DEL in names, and a
  // letter that is ESC (disk number 218); Shift-JIS bytes stay as they are.
  const Bytes image = ImageOf(
      {DataDisk(1, {File("\x1b]0;X", "\x07", 0, TextBytes("a")), File("A\rB\x7f", "", 0, {}),
                    File("\x83\x74", "", 0, {}), File("\x01\x01", "", 0, {})}),
       DataDisk(218, {})});
  RunOptions shown, utf8, c, intoFile;
  shown.terminal = true;
  utf8.errorTerminal = c.errorTerminal = true;
  utf8.environment = intoFile.environment = {"LC_ALL=C.UTF-8"};
  c.environment = {"LC_ALL=C"};
  const std::string missing = "\nd88unpack: missing.d88: No such file or directory\n";
  RunRows(image,
          {{{"-l", kImage},
            "[Disk B]\n" + ListingLine("?]0;X.?", 0, 1) + ListingLine("A?B?", 0, 0) +
                ListingLine("\x83\x74", 0, 0) + ListingLine("??", 0, 0) + "[Disk ?]\n",
            "",
            {},
            nullptr,
            shown},
           // In a file or a pipe the bytes are kept exactly, for scripts.
           {{"-l", kImage},
            "[Disk B]\n" + ListingLine("\x1b]0;X.\x07", 0, 1) + ListingLine("A\rB\x7f", 0, 0) +
                ListingLine("\x83\x74", 0, 0) + ListingLine("\x01\x01", 0, 0) + "[Disk \x1b]\n"},
           // The Japanese line of an open failure is shown as UTF-8 on a
           // terminal whose locale is UTF-8; elsewhere it goes as its
           // Shift-JIS bytes.
           {{"missing.d88"}, "", u8"ファイルをオープンできません" + missing, {}, nullptr, utf8},
           {{"missing.d88"}, "", kCannotOpen + missing, {}, nullptr, c},
           {{"missing.d88"}, "", kCannotOpen + missing, {}, nullptr, intoFile}});
}

}  // namespace
