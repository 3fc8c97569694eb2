// End-to-end tests of d88pack, a table for each operation: each row runs it
// in a fresh folder and compares its output, its status and the whole folder
// afterwards: the image byte for byte with the builder's, and no temporary.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "d88_builder.h"
#include "d88_format.h"
#include "disk_layout.h"
#include "e2e_support.h"
#include "run_tool.h"

using namespace d88test;
namespace fs = std::filesystem;

namespace {

struct Row {
  std::vector<std::string> args;
  Bytes before;  // the image before; empty: there is none
  Tree inputs;   // the files to put, by path
  Bytes after;   // the image afterwards; empty: there is none
  std::string out = "";
  std::string err = "";  // the status is 1 with any complaint, else 0
  // A killed run's temporary stands in the folder under the name this run
  // would take first; it stays as it was.
  bool staleTemporary = false;
};

void RunRows(const std::vector<Row>& rows) {
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.args));
    ScratchDir dir;
    Tree tree = row.inputs;
    for (const auto& [path, bytes] : row.inputs) {
      fs::create_directories((dir.path() / path).parent_path());
      if (path.find('/') != std::string::npos) tree[path.substr(0, path.find('/') + 1)] = {};
      dir.Put(path, bytes);
    }
    if (!row.before.empty()) dir.Put(kImage, row.before);
    RunOptions options;
    if (row.staleTemporary) {
      if (ToolIsWindows()) continue;
      options.beforeStart = [] {
        const std::string name = ".d88pack-" + std::to_string(getpid()) + "-0.tmp";
        WriteBytes(name, TextBytes("stale"));
      };
    }
    const ToolRun run = RunPack(dir.path(), row.args, options);
    EXPECT_EQ(run.out, Lines(row.out));
    EXPECT_EQ(run.err, Lines(row.err));
    EXPECT_EQ(run.status, row.err.empty() ? 0 : 1);
    for (const auto& entry : fs::directory_iterator(dir.path())) {
      const std::string name = entry.path().filename().string();
      if (row.staleTemporary && name.rfind(".d88pack-", 0) == 0) tree[name] = TextBytes("stale");
    }
    if (!row.after.empty()) tree[kImage] = row.after;
    ExpectTreeHolds(dir.path(), tree);
  }
}

// A file as the writer records it: its allocation in whole sectors.
LayoutFile Put(const std::string& name, const std::string& extension, int start, Bytes data) {
  const auto allocation = static_cast<std::uint16_t>((data.size() + 4 + 1023) / 1024 * 1024);
  return File(name, extension, static_cast<std::uint16_t>(start), std::move(data), allocation);
}

// A disk as the writer makes it anew: the directory's header zero but for
// the disk number, and a system disk's first cylinder sixteen sectors of
// 256 zero bytes.
Bytes NewImage(int number, std::vector<LayoutFile> files, const std::string& label = "") {
  Bytes bytes = LayoutDiskBytes(DataDisk(number, files));
  for (int j = 0; j < 8; ++j) bytes[kDiskBufferSize - 1 - j] = 0;
  Disk disk = MakeLayoutDisk(DataDisk(number, {}, label));
  for (auto& [t, track] : disk.tracks) {
    for (Sector& sector : track.sectors) {
      const std::size_t at = t * kTrackSize + (sector.r - 1) * kSectorSize;
      if (sector.n == 3) sector.data.assign(&bytes[at], &bytes[at] + kSectorSize);
      if (sector.n == 1) sector.data.assign(256, 0);
    }
  }
  return BuildImage({disk});
}

std::string Says(const std::string& text) {
  return "d88pack: disk.d88: " + text + "\n";
}

// The line that ends a put with a FILE refused.
const std::string kNothingWritten = Says("nothing written; the image is as it was");

const Bytes kGame = Pattern(3000, 1);
const Bytes kText = TextBytes("text\r\n\x1A");
const LayoutFile kGameFile = Put("GAME", "BIN", 0, kGame);
const LayoutFile kTextFile = Put("README", "", 0, kText);

TEST(Pack, CreateMakesANewImage) {
  // Half-width katakana, and katakana whose second byte is a backslash's.
  const Tree inputs = {
      {"GAME.BIN", kGame}, {"dir/README", kText}, {u8"ｱｲ.ﾃﾞ", {1}}, {u8"ソフト.TXT", {2}},
      {u8"〜", {}},        {u8"€", {}},           {u8"é", {}}};
  const Bytes two = NewImage(1, {kGameFile, kTextFile});
  const Bytes system = NewImage(0, {Put("GAME", "BIN", 0xC000, kGame)}, "SYSTEM DISK 0123");
  RunRows({
      {{"-c", kImage, "GAME.BIN", "dir/README"}, {}, inputs, two},
      {{"--create", kImage}, {}, {}, NewImage(1, {})},
      {{"-cv", "--number=0", "--label=SYSTEM DISK 0123", "--start=c000", kImage, "GAME.BIN"},
       {},
       inputs,
       system,
       "[Disk A]\n" + ListingLine("GAME.BIN", 0xC000, 0xC000 + 3000)},
      // An image that is there is replaced only when asked to be.
      {{"-c", kImage, "GAME.BIN"},
       two,
       inputs,
       two,
       "",
       Says("exists already; --force replaces it")},
      {{"-c", "--force", kImage}, two, {}, NewImage(1, {})},
      {{"-u", "-c", kImage, u8"ｱｲ.ﾃﾞ", u8"ソフト.TXT"},
       {},
       inputs,
       NewImage(1, {Put("\xB1\xB2", "\xC3\xDE", 0, {1}),
                    Put("\x83\x5C\x83\x74\x83\x67", "TXT", 0, {2})})},
      // A label's bytes as they stand (on Windows always from UTF-8), or with
      // -u from UTF-8.
      {{"-c", u8"--label=ソ", kImage},
       {},
       {},
       NewImage(1, {}, ToolIsWindows() ? "\x83\x5C" : u8"ソ")},
      {{"-uc", u8"--label=ソ", kImage}, {}, {}, NewImage(1, {}, "\x83\x5C")},
      // With -u the names in messages are UTF-8 text, as the listing shows
      // them.
      {{"-u", "-c", kImage, u8"〜", u8"€", u8"é"},
       {},
       inputs,
       {},
       "",
       Says(u8"disk 1: 〜: the name has no exact form in code page 932") +
           Says(u8"disk 1: €: the name has no exact form in code page 932") +
           Says(u8"disk 1: é: the name has no exact form in code page 932") + kNothingWritten},
      {{"-cn", kImage, "GAME.BIN"},
       {},
       inputs,
       {},
       "create  [Disk B]\nadd     " + ListingLine("GAME.BIN", 0, 3000)},
      {{"-cn", "--number=9", kImage}, {}, inputs, {}, "create  [Disk J]\n"},
  });
}

// Two disks and a tail; disk 2's records are allocated as they stand.
const LayoutFile kNote = File("NOTE", "TXT", 0x100, TextBytes("note"));
const LayoutFile kOldGame = File("GAME", "BIN", 0x1200, Pattern(1500, 9));
const LayoutDisk kFirst = DataDisk(1, {File("A", "", 0, TextBytes("a"))});
Bytes TwoDisks(const std::vector<LayoutFile>& second, std::uint8_t protect = 0) {
  Disk disk = MakeLayoutDisk(DataDisk(2, second));
  disk.writeProtect = protect;
  return Concat(BuildImage({MakeLayoutDisk(kFirst), disk}), TextBytes("tail"));
}
const Bytes kTwo = TwoDisks({kOldGame, kTextFile, kNote});

// The disk with its directory track, below the directory, filled with E5
// bytes as a formatted disk often is: bytes the writer leaves alone.
Bytes FilledBelowDirectory(const LayoutDisk& layout) {
  Disk disk = MakeLayoutDisk(layout);
  const std::size_t directory = (layout.files.size() + 1) * 11;
  for (Sector& sector : disk.tracks[83].sectors) {
    for (std::size_t i = 0; i < sector.data.size(); ++i) {
      if ((sector.r - 1) * kSectorSize + i < kTrackSize - directory) sector.data[i] = 0xE5;
    }
  }
  return BuildImage({disk});
}

// Six records of the largest allocation: 37888 bytes are free after them.
const std::vector<LayoutFile> kFull(6, File("FULL", "", 0, Bytes(64508)));

// A system disk whose track 0 ends in a header that says its data runs on
// past track 1 into the data of track 2's first sector, with `count` in its
// count; and a track 100 whose first header the disk's end cuts.
Bytes Overhang(int count, const std::vector<LayoutFile>& files = {}) {
  Disk disk = MakeLayoutDisk(DataDisk(0, files));
  disk.tracks[0].sectors.back().countField = count;
  disk.tracks[0].sectors.back().lengthField = 256 + 16 * (16 + 256) + 16 + 8;
  disk.trackOffsetOverrides[100] = static_cast<std::uint32_t>(BuildDisk(disk).size() - 8);
  return BuildImage({disk});
}

// A table of 160 offsets whose first track starts at 0x2A2. The two bytes
// between, with the first header's C and H (0 and 0), are no offset: read
// as one, they would lead into the data of track 0, sector 2, where a
// second record goes.
Bytes GapAfterTable(const std::vector<LayoutFile>& files) {
  Bytes bytes = Table160(ImageOf({DataDisk(1, files)}), 14);
  const int secondData = 0x2A2 + 2 * d88::sector_header::kSize + 1024;
  bytes[0x2A0] = secondData & 0xFF;
  bytes[0x2A1] = secondData >> 8;
  return bytes;
}

TEST(Pack, PutAddsOrReplacesInPlace) {
  const Tree inputs = {{"GAME.BIN", kGame}, {"NEW", kText}, {"NOTE.TXT", {}}};
  const LayoutFile game = Put("GAME", "BIN", 0x1200, kGame);
  RunRows({
      // A larger GAME.BIN moves the records after it; its start stays.
      {{"-d2", kImage, "GAME.BIN", "NEW"},
       kTwo,
       inputs,
       TwoDisks({game, kTextFile, kNote, Put("NEW", "", 0, kText)})},
      // A smaller one keeps its allocation, and nothing moves.
      {{"--disk=2", "--start=8000", kImage, "NOTE.TXT"},
       kTwo,
       inputs,
       TwoDisks({kOldGame, kTextFile, File("NOTE", "TXT", 0x8000, {}, 8)})},
      {{"--disk=2", kImage, "NEW"},
       kTwo,
       inputs,
       TwoDisks({kOldGame, kTextFile, kNote, Put("NEW", "", 0, kText)}),
       "",
       "",
       true},
      {{"-d", "2", "-v", kImage, "NOTE.TXT"},
       kTwo,
       inputs,
       TwoDisks({kOldGame, kTextFile, File("NOTE", "TXT", 0x100, {}, 8)}),
       "[Disk C]\n" + ListingLine("GAME.BIN", 0x1200, 0x1200 + 1500) + ListingLine("README", 0, 7) +
           ListingLine("NOTE.TXT", 0x100, 0x100)},
      {{"-n", "-d2", kImage, "NEW", "NOTE.TXT"},
       kTwo,
       inputs,
       kTwo,
       "add     " + ListingLine("NEW", 0, 7) + "replace " + ListingLine("NOTE.TXT", 0x100, 0x100)},
      // A start given, 0 included, is the replaced entry's new start.
      {{"-n", "-d2", "--start=0", kImage, "NOTE.TXT"},
       kTwo,
       inputs,
       kTwo,
       "replace " + ListingLine("NOTE.TXT", 0, 0)},
      {{kImage, "NEW"},
       FilledBelowDirectory(DataDisk(1, {kNote})),
       inputs,
       FilledBelowDirectory(DataDisk(1, {kNote, Put("NEW", "", 0, kText)}))},
      // Nothing to put: nothing is written; a name's bytes listed as they are.
      {{"-v", kImage},
       ImageOf({DataDisk(1, {File("A\x01", "", 0, {})})}),
       {},
       ImageOf({DataDisk(1, {File("A\x01", "", 0, {})})}),
       "[Disk B]\n" + ListingLine("A\x01", 0, 0)},
      {{"-d2", kImage}, kTwo, {}, kTwo},
      // A record that fills what is free, added or in another's place.
      {{kImage, "NEW"},
       ImageOf({DataDisk(1, kFull)}),
       {{"NEW", Bytes(37884)}},
       ImageOf({DataDisk(1, Concat(kFull, std::vector{Put("NEW", "", 0, Bytes(37884))}))})},
      {{kImage, "NEW"},
       ImageOf({DataDisk(1, Concat(kFull, std::vector{File("NEW", "", 0, {}, 1024)}))}),
       {{"NEW", Bytes(37884)}},
       ImageOf({DataDisk(1, Concat(kFull, std::vector{Put("NEW", "", 0, Bytes(37884))}))})},
      // A record one byte past a sector takes two.
      {{kImage, "ODD"},
       ImageOf({DataDisk(1, {kNote})}),
       {{"ODD", Bytes(1021, 5)}},
       ImageOf({DataDisk(1, {kNote, Put("ODD", "", 0, Bytes(1021, 5))})})},
      // The largest file, ending at FFFF.
      {{"--start=403", kImage, "MAX"},
       ImageOf({DataDisk(1, {})}),
       {{"MAX", Bytes(64508, 7)}},
       ImageOf({DataDisk(1, {Put("MAX", "", 0x403, Bytes(64508, 7))})})},
      {{"-d2", "--force", kImage, "NEW"},
       TwoDisks({kNote}, 0x10),
       inputs,
       TwoDisks({kNote, Put("NEW", "", 0, kText)}, 0x10)},
      {{kImage, "NEW"},
       Table160(ImageOf({DataDisk(1, {kNote})})),
       inputs,
       Table160(ImageOf({DataDisk(1, {kNote, Put("NEW", "", 0, kText)})}))},
      {{kImage, "NEW"},
       GapAfterTable({kNote}),
       inputs,
       GapAfterTable({kNote, Put("NEW", "", 0, kText)})},
      // Its last header's count ends track 0 before the data it points into.
      {{kImage, "NEW"}, Overhang(16), inputs, Overhang(16, {Put("NEW", "", 0, kText)})},
  });
}

// The disk with `count` bytes of `fill` from byte `offset` of track
// `track`, sector `sector`: bytes that no record owns, as a program that
// reads sectors directly keeps them, or a deleted file left them.
Bytes WithRaw(const LayoutDisk& layout, std::vector<std::pair<int, int>> sectors, int offset = 0,
              int count = 64, std::uint8_t fill = 0x77) {
  Disk disk = MakeLayoutDisk(layout);
  for (const auto& [track, sector] : sectors) {
    Bytes& data = disk.tracks[track].sectors[sector - 1].data;
    std::fill(data.begin() + offset, data.begin() + offset + count, fill);
  }
  return BuildImage({disk});
}

TEST(Pack, RecordsStayWhereTheyAreAndBytesNoFileOwnsAreKept) {
  // Records that lie as close as they can.
  const LayoutFile a = File("A", "", 0, Pattern(100, 1));
  const LayoutFile b = File("B", "", 0x200, Pattern(200, 2));
  const LayoutFile c = File("C", "", 0, Pattern(50, 3));
  const Bytes tight = ImageOf({DataDisk(1, {a, b, c})});
  const LayoutDisk one = DataDisk(1, {a});
  const Tree inputs = {{"B", Pattern(200, 2)},      {"SHORT/B", Pattern(150, 4)},
                       {"LONG/B", Pattern(300, 5)}, {"NEW", Pattern(3000, 6)},
                       {"MAX", Bytes(65531, 7)},    {"BIG", Bytes(65000, 8)}};
  const std::string covers = "disk 1: NEW: the records would cover bytes that no file owns, in ";
  RunRows({
      // Its own bytes: nothing changes. Fewer: its allocation stays, and
      // so does every other record. More: the records after it move.
      {{kImage, "B"}, tight, inputs, tight},
      {{kImage, "SHORT/B"},
       tight,
       inputs,
       ImageOf({DataDisk(1, {a, File("B", "", 0x200, Pattern(150, 4), 204), c})})},
      {{kImage, "LONG/B"},
       tight,
       inputs,
       ImageOf({DataDisk(1, {a, Put("B", "", 0x200, Pattern(300, 5)), c})})},
      // The raw bytes after the last record stay where a record is removed,
      // and where a new one ends before them.
      {{"--delete", kImage, "B", "C"},
       WithRaw(DataDisk(1, {a, b, c}), {{50, 1}, {83, 1}}),
       {},
       WithRaw(one, {{50, 1}, {83, 1}})},
      {{kImage, "NEW"},
       WithRaw(one, {{0, 5}}, 1000, 24),
       inputs,
       WithRaw(DataDisk(1, {a, Put("NEW", "", 0, Pattern(3000, 6))}), {{0, 5}}, 1000, 24)},
      // A new record over them is refused, and so is a record that moves
      // over them, naming the sectors; --force writes over them.
      {{kImage, "NEW"},
       WithRaw(one, {{0, 2}}, 1000, 1),
       inputs,
       WithRaw(one, {{0, 2}}, 1000, 1),
       "",
       Says(covers + "track 0, sector 2; --force writes over them") + kNothingWritten},
      {{kImage, "NEW"},
       WithRaw(DataDisk(1, {}), {{0, 1}, {0, 3}}),
       inputs,
       WithRaw(DataDisk(1, {}), {{0, 1}, {0, 3}}),
       "",
       Says(covers + "track 0, sector 1 to track 0, sector 3; --force writes over them") +
           kNothingWritten},
      {{"-n", kImage, "NEW"},
       WithRaw(one, {{0, 2}, {0, 4}}),
       inputs,
       WithRaw(one, {{0, 2}, {0, 4}}),
       "",
       Says(covers + "track 0, sector 2 to track 0, sector 4; --force writes over them")},
      {{"--force", kImage, "NEW"},
       WithRaw(one, {{0, 2}}),
       inputs,
       ImageOf({DataDisk(1, {a, Put("NEW", "", 0, Pattern(3000, 6))})})},
      {{kImage, "LONG/B"},
       WithRaw(DataDisk(1, {a, b, c}), {{0, 1}}, 1000, 24),
       inputs,
       WithRaw(DataDisk(1, {a, b, c}), {{0, 1}}, 1000, 24),
       "",
       Says("disk 1: LONG/B: the records would cover bytes that no file owns, in track 0, sector "
            "1; --force writes over them") +
           kNothingWritten},
      // A file of 65531 bytes takes all a 16-bit allocation holds, and one
      // past 64508 as much as its record needs: both end inside a sector.
      {{"--start=4", kImage, "MAX"},
       ImageOf({DataDisk(1, {})}),
       inputs,
       ImageOf({DataDisk(1, {File("MAX", "", 4, Bytes(65531, 7), 65535)})})},
      {{kImage, "BIG", "NEW"},
       ImageOf({DataDisk(1, {})}),
       inputs,
       ImageOf({DataDisk(
           1, {File("BIG", "", 0, Bytes(65000, 8), 65004), Put("NEW", "", 0, Pattern(3000, 6))})})},
  });
}

TEST(Pack, AFileIsJudgedAsAFileFirst) {
  const Bytes one = ImageOf({DataDisk(1, {})});
  const Tree inputs = {{"B", {2}}};
  RunRows({
      // A FILE that cannot be read is not judged by its name.
      {{kImage, "src/nothere.txt"},
       one,
       {},
       one,
       "",
       Says("disk 1: src/nothere.txt: cannot read: No such file or directory") + kNothingWritten},
      {{kImage, "B", "d/B"},
       one,
       {{"B", {2}}, {"d/B", {3}}},
       one,
       "",
       Says("disk 1: d/B: its entry name is given twice") + kNothingWritten},
      // The image itself is no FILE to put on it.
      {{kImage, kImage, "B"},
       one,
       inputs,
       one,
       "",
       Says("disk 1: disk.d88: is the image itself") + kNothingWritten},
      {{"-c", "--force", kImage, kImage, "B"},
       TextBytes("not an image"),
       inputs,
       TextBytes("not an image"),
       "",
       Says("disk 1: disk.d88: is the image itself") + kNothingWritten},
  });
}

const LayoutFile kF = File("F", "", 0, {});

TEST(Pack, DeleteMovesTheRecordsUp) {
  RunRows({
      {{"--delete", "-d2", kImage, "GAME.*"}, kTwo, {}, TwoDisks({kTextFile, kNote})},
      {{"--delete", "-d2", "-v", kImage, "*E*", "X"},
       kTwo,
       {{"X/Y", {}}},
       TwoDisks({}),
       "[Disk C]\n",
       Says("disk 2: X: not found")},
      {{"--delete", kImage, "F"},
       ImageOf({DataDisk(1, std::vector<LayoutFile>(255, kF))}),
       {},
       ImageOf({DataDisk(1, {})})},
      {{"--delete", "-nd2", kImage, "README"},
       kTwo,
       {},
       kTwo,
       "delete  " + ListingLine("README", 0, 7)},
      {{"--delete", "-d1", kImage, "README"},
       kTwo,
       {},
       kTwo,
       "",
       Says("disk 1: README: not found")},
      {{"--delete", "-d1", kImage, "README"},
       kTwo,
       {{"README", kText}},
       kTwo,
       "",
       Says("disk 1: README: not found (it names a file: with --delete, the names after the "
            "image are entries to remove, not files to put)")},
  });
}

// A disk whose record runs past its allocation, and the like.
Bytes Inconsistent(LayoutFile file) {
  return ImageOf({DataDisk(1, {File("OK", "", 0, {}), file})});
}

TEST(Pack, RefusesAndLeavesTheImageAsItWas) {
  LayoutFile endBelow = File("E", "", 0x20, {});
  endBelow.end = 0x10;
  Disk cut = MakeLayoutDisk(DataDisk(1, {}));
  cut.tracks[40].sectors[2].data.resize(512);
  Disk missing = MakeLayoutDisk(DataDisk(1, {}));
  missing.tracks[7].sectors.pop_back();
  // Its directory track first, its last data sector cut by its size.
  Disk shrunk = DirectoryFirst(DataDisk(1, {}));
  shrunk.sizeField = static_cast<std::uint32_t>(BuildDisk(shrunk).size() - 1);
  // The same, the file cut one byte short instead.
  Bytes cutShort = BuildImage({DirectoryFirst(DataDisk(1, {}))});
  cutShort.pop_back();
  const Bytes one = ImageOf({DataDisk(1, {})});
  // Track 100 starts in the last 16 bytes of the disk: track 83, sector 5.
  Disk astray = MakeLayoutDisk(DataDisk(1, {}));
  astray.trackOffsetOverrides[100] = static_cast<std::uint32_t>(one.size() - 16);
  // Track 100 starts 8 bytes into the data of track 0, sector 1.
  Bytes early = one;
  d88::PutLittle32(&early[0x20 + 4 * 100], 0x2B0 + 16 + 8);
  // Track 101 starts at track 0's second header, and its walk ends on track
  // 0's last before that of track 0 itself.
  Bytes twice = Overhang(15);
  d88::PutLittle32(&twice[0x20 + 4 * 101], 0x2B0 + 16 + 256);
  Bytes small = one;
  d88::PutLittle32(&small[d88::disk_header::kDiskSizeOffset], 100);
  Disk other;
  other.tracks[0].sectors = {FilledSector(0, 0, 1, 1, 0)};
  Disk mixed = other;
  mixed.tracks[1].sectors = {FilledSector(0, 1, 1, 2, 0)};
  Disk lacking = MakeLayoutDisk(DataDisk(1, {}));
  lacking.tracks[83].sectors.pop_back();
  const struct {
    std::vector<std::string> args;
    Bytes image;
    std::string why;
    bool file = false;  // a FILE is refused: nothing is written
  } refused[] = {
      {{"-d2", kImage, "A"},
       TwoDisks({}, 0x10),
       "disk 2: the disk is write-protected; --force writes it all the same"},
      {{kImage, "A"}, kTwo, "holds 2 disks; choose one with --disk"},
      {{"-d3", kImage, "A"}, kTwo, "disk 3: the image holds 2 disks"},
      {{"-d", "9", kImage, "A"}, kTwo, "disk 9: the image holds 2 disks"},
      {{"-d2", kImage, "A"}, one, "disk 2: the image holds 1 disk"},
      {{kImage, "A"}, {}, "cannot open: No such file or directory"},
      {{kImage, "A"}, TextBytes("short"), "holds no disk; --create makes one"},
      {{kImage, "A"},
       BuildImage({Disk{}}),
       "disk 1: no directory: the disk is blank (it has no tracks)"},
      {{kImage, "A"},
       BuildImage({other}),
       "disk 1: no directory: the disk is of another layout (1 track of 1 sector of 256 bytes)"},
      {{kImage, "A"},
       BuildImage({mixed}),
       "disk 1: no directory: the disk is of another layout (2 tracks, the first of 1 sector of "
       "256 bytes)"},
      {{kImage, "A"},
       Bytes(one.begin(), one.end() - 9),
       "disk 1: no directory: the image is cut off at byte 437479, inside this disk"},
      {{kImage, "A"},
       Bytes(one.begin(), one.end() - 1),
       "disk 1: not wholly of the layout: the image ends inside track 83, sector 5"},
      {{kImage, "A"},
       BuildImage({lacking}),
       "disk 1: no directory: the image does not hold track 83 sector 5 in full, where the "
       "directory lies"},
      {{kImage, "A"},
       small,
       "not a D88 image (the size of its first disk, 100 bytes, is smaller than a disk header)"},
      {{"-d65", kImage, "A"},
       BuildImage(std::vector<Disk>(65)),
       "disk 65: the image holds more than 64 disks, and only the first 64 can be chosen"},
      {{kImage, "A"},
       BuildImage(std::vector<Disk>(65)),
       "holds more than 64 disks; choose one of the first 64 with --disk"},
      {{kImage, "A"},
       BuildImage({astray}),
       "disk 1: not wholly of the layout: a sector header of track 100 lies in the data of "
       "track 83, sector 5"},
      {{kImage, "A"},
       early,
       "disk 1: not wholly of the layout: a sector header of track 100 lies in the data of "
       "track 0, sector 1"},
      {{kImage, "A"},
       twice,
       "disk 1: not wholly of the layout: a sector header of track 0 lies in the data of track "
       "2, sector 1"},
      {{"-n", kImage, "A"},
       Overhang(17),
       "disk 1: not wholly of the layout: a sector header of track 0 lies in the data of track "
       "2, sector 1"},
      // Disk 2's first track starts at 0x290, inside a whole table.
      {{"-d2", kImage, "A"},
       Concat(one, Table160(one, 32)),
       "disk 2: not wholly of the layout: track 0, sector 1 lies in the disk's header or outside "
       "the disk"},
      {{kImage, "A"},
       BuildImage({cut}),
       "disk 1: not wholly of the layout: track 40, sector 3 holds 512 bytes, not 1024"},
      {{kImage, "A"},
       BuildImage({missing}),
       "disk 1: not wholly of the layout: track 7 has no sector 5"},
      {{kImage, "A"},
       BuildImage({shrunk}),
       "disk 1: not wholly of the layout: track 82, sector 5 lies in the disk's header or "
       "outside the disk"},
      {{kImage, "A"},
       cutShort,
       "disk 1: not wholly of the layout: the image ends inside track 82, sector 5"},
      {{kImage, "A"},
       Inconsistent(endBelow),
       "disk 1: the directory is inconsistent: the end address of entry 2 is below its start"},
      {{kImage, "A"},
       Inconsistent(File("R", "", 0, {1, 2}, 5)),
       "disk 1: the directory is inconsistent: the record of entry 2 (6 bytes) is longer than "
       "its allocation (5 bytes)"},
      {{kImage, "A"},
       ImageOf({DataDisk(1, std::vector<LayoutFile>(7, File("R", "", 0, {}, 65535)))}),
       "disk 1: the directory is inconsistent: entry 7 passes the end of the data area"},
      {{"--start=ffff", kImage, "A"},
       one,
       "disk 1: A: would end past FFFF: start FFFF plus 1 bytes",
       true},
      {{"--start=0xFFFF", kImage, "A"},
       one,
       "disk 1: A: would end past FFFF: start FFFF plus 1 bytes",
       true},
      {{kImage, "BIG"},
       ImageOf({DataDisk(1, kFull)}),
       "disk 1: BIG: does not fit: its record takes 40960 bytes of the disk, and 37888 are free",
       true},
      {{kImage, "A"},
       ImageOf({DataDisk(1, std::vector<LayoutFile>(255, kF))}),
       "disk 1: A: does not fit: the directory holds 255 entries, the most it can",
       true},
  };
  std::vector<Row> rows;
  for (const auto& row : refused) {
    rows.push_back({row.args,
                    row.image,
                    {{"A", {1}}, {"BIG", Bytes(40000)}},
                    row.image,
                    "",
                    Says(row.why) + (row.file ? kNothingWritten : "")});
  }
  RunRows(rows);
}

TEST(Pack, PosixEachFileRefusedIsNamed) {
  if (ToolIsWindows()) GTEST_SKIP() << "POSIX file names";
  const Bytes one = ImageOf({DataDisk(1, {})});
  const Tree inputs = {
      {"A", {1}},       {"TOOLONG", {}}, {"A.LONG", {}}, {"A.", {}},  {".A", {}},
      {"A B", {}},      {"A\x01", {}},   {"A\\B", {}},   {"d/A", {}}, {"HUGE", Bytes(65532)},
      {"A\x81\x7F", {}}};
  const std::string file = "disk 1: ";
  RunRows({
      // Each FILE that is refused is named; nothing is written.
      {{kImage, "TOOLONG", "A.LONG", "A.", ".A", "A B", "A\x01", "A\x81\x7F", "A\\B", "d/A", "A",
        "HUGE", "NONE", "/proc/self/stat", "d"},
       one,
       inputs,
       one,
       "",
       Says(file + "TOOLONG: the name is longer than 6 bytes before its extension") +
           Says(file + "A.LONG: the extension is longer than 3 bytes") +
           Says(file + "A.: the name ends in '.', which an entry name cannot keep") +
           Says(file + ".A: the entry name would be empty: nothing stands before the extension") +
           Says(file + "A B: the name contains a space") +
           Says(file + "A\\x01: the name contains a control character") +
           Says(file + "A\\x81\\x7f: the name contains a control character") +
           Says(file + "A\\x5cB: the name contains '\\'") +
           Says(file + "A: its entry name is given twice") +
           Says(file + "HUGE: is 65532 bytes; a record's allocation is at most 65535 bytes, "
                       "which hold 65531 bytes of data") +
           Says(file + "NONE: cannot read: No such file or directory") +
           // Its size said 0 bytes, and it held more.
           Says(file + "/proc/self/stat: changed while it was read") +
           Says(file + "d: not a regular file") + kNothingWritten},
      // With -u, bytes of a name that are no UTF-8 text, or control bytes,
      // stay escaped.
      {{"-u", kImage, "A\x81\x7F", u8"ソ\x01", "\xE3\x80"},
       one,
       inputs,
       one,
       "",
       Says(file + "A\\x81\\x7f: the name contains a control character") +
           Says(file + u8"ソ\\x01: cannot read: No such file or directory") +
           Says(file + "\\xe3\\x80: cannot read: No such file or directory") + kNothingWritten},
  });
}

TEST(Pack, UsageErrors) {
  const struct {
    std::vector<std::string> args;
    std::string problem;
  } rows[] = {
      {{"-c"}, "no image given"},
      {{"--number=1", kImage}, "--number goes with --create"},
      {{"-c", "--delete", kImage}, "--delete cannot be combined with --create"},
      {{"-c", "-d1", kImage},
       "--disk cannot be combined with --create: a new image holds one disk"},
      {{"--delete", "--start=0", kImage}, "--start cannot be combined with --delete"},
      {{"-d0", kImage}, "the disk's place must be a number from 1: '0'"},
      {{"-c", "--number=256", kImage}, "the disk number must be a number from 0 to 255: '256'"},
      {{"--start=10000", kImage}, "the start address must be 1 to 4 hexadecimal digits: '10000'"},
      {{"--start=0x10000", kImage},
       "the start address must be 1 to 4 hexadecimal digits: '0x10000'"},
      {{"--start=0x", kImage}, "the start address must be 1 to 4 hexadecimal digits: '0x'"},
      {{"--start=x1", kImage}, "the start address must be 1 to 4 hexadecimal digits: 'x1'"},
      {{"-c", "--label=SEVENTEEN BYTES!!", kImage},
       "the label is longer than 16 bytes: '"
       "SEVENTEEN BYTES!!'"},
      {{"--bogus", kImage}, "unrecognized or ambiguous option '--bogus'"},
      {{"-x", kImage}, "invalid option -- 'x'"},
      {{"--force", "-xv", kImage}, "invalid option -- 'x'"},
      {{"--from=m.jsonl", "-c", kImage}, "--from takes only --force: the manifest says the rest"},
      {{"--from=m.jsonl", "--start=0", kImage},
       "--from takes only --force: the manifest says the rest"},
      {{"--from=m.jsonl", "--unprotect", kImage},
       "--from takes only --force: the manifest says the rest"},
      {{"--from=m.jsonl", kImage, "A"}, "--from takes no FILE: the manifest names them"},
      {{"--from=", kImage}, "the manifest given to --from is empty"},
      {{"-c", "--system-area=", kImage}, "the file given to --system-area is empty"},
      {{"-c", "--system-area=sa.bin", kImage},
       "--system-area goes with --create --number=0: only a new system disk takes one"},
      {{"--system-area=sa.bin", kImage},
       "--system-area goes with --create --number=0: only a new system disk takes one"},
  };
  ScratchDir dir;
  const ToolRun bare = RunPack(dir.path(), {});
  EXPECT_EQ(bare.err, Lines("Usage: " + bare.argv0 + " [OPTION]... IMAGE [FILE]...\n"));
  // An empty IMAGE names no file.
  const ToolRun empty = RunPack(dir.path(), {"", "A"});
  if (!ToolIsWindows()) {
    EXPECT_EQ(empty.err, "d88pack: : cannot open: No such file or directory\n");
  }
  EXPECT_EQ(empty.status, 1);
  for (const auto& row : rows) {
    SCOPED_TRACE(row.problem);
    const ToolRun run = RunPack(dir.path(), row.args);
    EXPECT_EQ(run.err, Lines("d88pack: " + row.problem + "\nUsage: " + run.argv0 +
                             " [OPTION]... IMAGE [FILE]...\n"
                             "Try 'd88pack --help' for more information.\n"));
    EXPECT_EQ(run.status, 1);
  }
  EXPECT_TRUE(fs::is_empty(dir.path()));
  // The version is d88unpack's, but for the program's name.
  EXPECT_EQ("d88unpack" + RunPack(dir.path(), {"-V"}).out.substr(7),
            RunTool(dir.path(), {"-V"}).out);
}

}  // namespace

namespace {

TEST(Pack, PosixTheFileALinkNamesIsReplacedWholeOrNotAtAll) {
  if (ToolIsWindows()) GTEST_SKIP() << "POSIX links, signals and limits";
  const Bytes old = ImageOf({DataDisk(1, {})});
  // Past 100000 bytes a write fails, with SIGXFSZ at its default or
  // ignored: the run ignores it.
  RunOptions limited;
  limited.fileSizeLimit = 100000;
  RunOptions told = limited;
  told.ignoreFileSizeSignal = true;
  const struct {
    RunOptions options;
    std::vector<std::string> args;
    int status;
    std::string err;
    Bytes real;  // what images/real.d88 holds afterwards
  } rows[] = {
      {{}, {"--force", kImage, "A"}, 0, "", ImageOf({DataDisk(1, {Put("A", "", 0, {1})})})},
      {{}, {kImage, "A"}, 1, Says("is read-only; --force replaces it all the same"), old},
      {limited,
       {"--force", kImage, "A"},
       1,
       Says(std::string("cannot write the new image: ") + std::strerror(EFBIG)),
       old},
      {told,
       {"--force", kImage, "A"},
       1,
       Says(std::string("cannot write the new image: ") + std::strerror(EFBIG)),
       old},
      {{}, {"-c", kImage}, 1, Says("exists already; --force replaces it"), old},
      {{}, {"-c", "--force", kImage}, 0, "", NewImage(1, {})},
      {told,
       {"-c", "--force", kImage},
       1,
       Says(std::string("cannot write the new image: ") + std::strerror(EFBIG)),
       old},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.args[0] + " " + row.args[1] + " " + std::to_string(row.options.fileSizeLimit));
    ScratchDir dir;
    fs::create_directory(dir.path() / "images");
    dir.Put("images/real.d88", old);
    fs::permissions(dir.path() / "images/real.d88", fs::perms::owner_read | fs::perms::group_read);
    fs::create_hard_link(dir.path() / "images/real.d88", dir.path() / "images/hard.d88");
    fs::create_symlink("images/real.d88", dir.path() / kImage);
    // Another group, where the user may give it: the new image keeps it.
    const bool root = geteuid() == 0;
    if (root) {
      ASSERT_EQ(chown((dir.path() / "images/real.d88").c_str(), 0, 1), 0);
    }
    dir.Put("A", {1});
    const ToolRun run = RunPack(dir.path(), row.args, row.options);
    EXPECT_EQ(run.err, row.err);
    EXPECT_EQ(run.status, row.status);
    // The link stays, and so does the other hard link's old image.
    ExpectTreeHolds(dir.path(), {{kImage + std::string("@"), {}},
                                 {"A", {1}},
                                 {"images/", {}},
                                 {"images/real.d88", row.real},
                                 {"images/hard.d88", old}});
    struct stat info;
    ASSERT_EQ(stat((dir.path() / "images/real.d88").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0440u);
    EXPECT_EQ(info.st_gid, root ? 1u : getegid());
  }
  // A link that leads nowhere is no image to replace.
  ScratchDir dir;
  fs::create_symlink("nowhere.d88", dir.path() / kImage);
  const ToolRun run = RunPack(dir.path(), {"-c", "--force", kImage});
  EXPECT_EQ(run.err, Says("is a symbolic link that leads nowhere"));
  EXPECT_EQ(run.status, 1);
}

}  // namespace
