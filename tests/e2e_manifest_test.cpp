// Making an image again from what d88unpack --json wrote: the manifest and
// the files beside it. An image whose bytes outside its records are each of
// one value comes back byte for byte; any other lists alike. A manifest that
// cannot be followed makes nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "d88_builder.h"
#include "d88_format.h"
#include "disk_fill.h"
#include "disk_layout.h"
#include "e2e_support.h"
#include "run_tool.h"

using namespace d88test;
namespace fs = std::filesystem;

namespace {

constexpr char kManifest[] = "src/manifest.jsonl";

// The disk of `layout` as a formatter leaves it: the data area's bytes that
// no record holds `fill`, the directory track's bytes the directory does not
// hold `directoryFill`, and a system disk's first cylinder a pattern.
Disk Formatted(const LayoutDisk& layout, std::uint8_t fill, std::uint8_t directoryFill) {
  Bytes bytes = LayoutDiskBytes(layout);
  std::vector<bool> held(bytes.size(), false);
  std::size_t at = layout.diskNumber == kSystemDiskNumber ? kSystemAreaTracks * kTrackSize : 0;
  for (const LayoutFile& file : layout.files) {
    for (std::size_t i = 0; i < 4 + file.data.size() && at + i < held.size(); ++i) {
      held[at + i] = true;
    }
    at += file.allocation.value_or(static_cast<std::uint16_t>(4 + file.data.size()));
  }
  constexpr std::size_t kDirectoryAt = kDirectoryTrack * kTrackSize;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i < kDirectoryAt && !held[i]) bytes[i] = fill;
    const int j = static_cast<int>(bytes.size() - 1 - i);
    if (i >= kDirectoryAt && !DirectoryHolds(j, static_cast<int>(layout.files.size()))) {
      bytes[i] = directoryFill;
    }
  }
  Disk disk = MakeLayoutDisk(layout);
  for (auto& [t, track] : disk.tracks) {
    for (Sector& sector : track.sectors) {
      if (sector.n != kSectorSizeCode) {
        sector.data = Pattern(sector.data.size(), static_cast<std::uint8_t>(sector.r + t));
        continue;
      }
      const auto from = bytes.begin() + t * kTrackSize + (sector.r - 1) * kSectorSize;
      sector.data.assign(from, from + kSectorSize);
    }
  }
  return disk;
}

struct Trip {
  ToolRun unpack;
  ToolRun pack;
  Bytes rebuilt;
};

// Unpacks disk.d88 as the manual says, the manifest written into the
// folder of the files by the shell, then makes new.d88 from it.
Trip RoundTrip(const ScratchDir& dir, std::vector<std::string> extra = {}) {
  fs::create_directory(dir.path() / "src");
  RunOptions into;
  into.stdoutPath = kManifest;
  std::vector<std::string> args = {"--json", "-D", "-C", "src", "--system-area"};
  args.insert(args.end(), extra.begin(), extra.end());
  args.push_back(kImage);
  Trip trip;
  trip.unpack = RunTool(dir.path(), args, into);
  trip.pack = RunPack(dir.path(), {std::string("--from=") + kManifest, "new.d88"});
  if (fs::exists(dir.path() / "new.d88")) trip.rebuilt = ReadBytes(dir.path() / "new.d88");
  return trip;
}

// d88pack makes each disk of an image; the image is the disks joined.
struct PackedImage {
  std::string what;
  std::vector<std::vector<std::vector<std::string>>> disks;  // d88pack runs for each disk
  std::vector<int> writeProtected;                           // disks (from 0) protected after
  std::vector<std::string> unpackArgs = {};
};

TEST(Manifest, ImagesMadeByD88packComeBackByteForByte) {
  const Bytes systemArea = Pattern(kSystemAreaSize, 7);
  const std::vector<PackedImage> images = {
      {"a system disk with a system area, a label and --start",
       {{{"-c", "--number=0", "--label=SYSTEM DISK", "--system-area=in/sa.bin", "d.d88",
          "in/GAME.BIN", "in/EMPTY.DAT"},
         {"--start=1200", "d.d88", "in/TITLE.SCR"}}},
       {}},
      {"three disks: a protected one, deleted and replaced entries, a system disk without a "
       "system area",
       {{{"-c", "--number=1", "--label=DATA", "d.d88", "in/GAME.BIN", "in/README", "in/TITLE.SCR"},
         {"--delete", "d.d88", "README"},
         {"--start=8000", "d.d88", "in/GAME.BIN"}},
        {{"-c", "--number=2", "d.d88", "in/README"}},
        {{"-c", "--number=0", "d.d88", "in/BIG.DAT"}}},
       {1}},
      {"names in code page 932, unpacked as UTF-8",
       {{{"-c", "-u", "--label=ｿﾌﾄ", "d.d88", u8"in/ｱｲ.BIN", "in/README"}}},
       {},
       {"-u"}},
  };
  for (const PackedImage& image : images) {
    SCOPED_TRACE(image.what);
    ScratchDir dir;
    fs::create_directory(dir.path() / "in");
    dir.Put("in/sa.bin", systemArea);
    dir.Put("in/GAME.BIN", Pattern(3000, 1));
    dir.Put("in/EMPTY.DAT", {});
    dir.Put("in/TITLE.SCR", Pattern(1020, 2));
    dir.Put("in/README", TextBytes("read me\n"));
    dir.Put("in/BIG.DAT", Pattern(65531, 3));
    dir.Put(u8"in/ｱｲ.BIN", Pattern(10, 4));
    Bytes joined;
    for (std::size_t d = 0; d < image.disks.size(); ++d) {
      fs::remove(dir.path() / "d.d88");
      for (const auto& args : image.disks[d]) {
        const ToolRun run = RunPack(dir.path(), args);
        ASSERT_EQ(run.status, 0) << run.err;
      }
      Bytes disk = ReadBytes(dir.path() / "d.d88");
      if (std::find(image.writeProtected.begin(), image.writeProtected.end(), d) !=
          image.writeProtected.end()) {
        disk[d88::disk_header::kWriteProtectOffset] = 0x10;
      }
      joined = Concat(joined, disk);
    }
    dir.Put(kImage, joined);
    const Trip trip = RoundTrip(dir, image.unpackArgs);
    EXPECT_EQ(trip.unpack.err, "");
    EXPECT_EQ(trip.unpack.status, 0);
    EXPECT_EQ(trip.pack.err, "");
    EXPECT_EQ(trip.pack.status, 0);
    EXPECT_TRUE(trip.rebuilt == joined);
    // The system area given to -c is the one written back.
    if (image.disks[0][0][2] == "--number=0" &&
        image.disks[0][0][4].rfind("--system-area", 0) == 0) {
      EXPECT_EQ(ReadBytes(dir.path() / "src" / "disk01" / "SYSTEM.AREA"), systemArea);
    }
  }
}

// The listing and every file of two images alike.
void ExpectListedAlike(const ScratchDir& dir, const std::string& a, const std::string& b) {
  for (const std::string& image : {a, b}) fs::create_directory(dir.path() / ("x" + image));
  const ToolRun first = RunTool(dir.path(), {"-D", "-C", "x" + a, a});
  const ToolRun second = RunTool(dir.path(), {"-D", "-C", "x" + b, b});
  EXPECT_EQ(first.out, second.out);
  EXPECT_EQ(TreeOf(dir.path() / ("x" + a)), TreeOf(dir.path() / ("x" + b)));
}

TEST(Manifest, ImagesLaidOutOtherwise) {
  const LayoutDisk system = DataDisk(
      0, {File("BOOT", "SYS", 0x100, Pattern(700, 1)), File("A", "", 0, Pattern(1, 2))}, "BOOT");
  // Records back to back, one with room after it, two entries of one
  // record, an empty file, and one that ends at FFFF.
  const LayoutDisk data = DataDisk(
      3, {File("ONE", "BIN", 0x1200, Pattern(5000, 3)), File("TWO", "", 0, Pattern(20, 4), 600),
          File("SAME1", "", 0x80, Pattern(30, 5), 0), File("SAME2", "", 0x80, Pattern(30, 5)),
          File("NONE", "DAT", 0, {}), File("TOP", "", 0xFFF0, Pattern(15, 6))});
  struct Case {
    std::string what;
    std::vector<Disk> disks;
    bool exact;
  };
  Disk stray = Formatted(data, 0xE5, 0x20);
  stray.tracks.at(40).sectors.at(2).data.at(10) = 0x00;  // a free sector of mixed bytes
  // A disk without files whose first byte is not the fill.
  Disk emptyOdd = Formatted(DataDisk(2, {}), 0xE5, 0x20);
  emptyOdd.tracks.at(0).sectors.at(0).data.at(0) = 0x00;
  // The first byte after TWO's record, at 5004 + 24: track 0, sector 5.
  Disk afterRecord = Formatted(data, 0xE5, 0x20);
  afterRecord.tracks.at(0).sectors.at(4).data.at(5028 - 4096) = 0x00;
  Disk protectedDisk = Formatted(data, 0x00, 0x00);
  protectedDisk.writeProtect = 0x10;
  protectedDisk.mediaType = 0x10;
  const std::vector<Case> cases = {
      {"fill 0xE5, directory fill 0x20, a system area",
       {Formatted(system, 0xE5, 0x20), Formatted(data, 0xE5, 0x20)},
       true},
      {"write-protected, media 2DD", {protectedDisk}, true},
      {"a free sector of mixed bytes", {Formatted(system, 0xE5, 0x20), stray}, false},
      {"the byte right after a record differs", {afterRecord}, false},
      {"the first byte of a disk without files differs", {emptyOdd}, false},
      {"the builder's directory header: spaces before the disk number",
       {MakeLayoutDisk(data)},
       false},
  };
  // The data area's first byte counts toward its fill like any other.
  {
    ScratchDir dir;
    dir.Put(kImage, BuildImage({emptyOdd}));
    RoundTrip(dir);
    const Bytes manifest = ReadBytes(dir.path() / kManifest);
    const std::string text(manifest.begin(), manifest.end());
    EXPECT_NE(text.find(R"("fill":null,"directory_fill":32,)"), std::string::npos) << text;
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir dir;
    const Bytes image = BuildImage(c.disks);
    dir.Put(kImage, image);
    const Trip trip = RoundTrip(dir);
    EXPECT_EQ(trip.unpack.status, 0) << trip.unpack.err;
    EXPECT_EQ(trip.pack.err, "");
    EXPECT_EQ(trip.pack.status, 0);
    EXPECT_EQ(trip.rebuilt == image, c.exact);
    ExpectListedAlike(dir, kImage, "new.d88");
  }
}

TEST(Manifest, UnpackTellsFillsPathsAndTheSystemArea) {
  const LayoutDisk system = DataDisk(0, {File("GAME", "BIN", 0x1200, Pattern(3, 1))}, "S");
  Disk otherShape = MakeLayoutDisk(system);
  otherShape.tracks.at(1).sectors.pop_back();
  const Bytes area = [] {
    Bytes bytes;
    for (int t = 0; t < 2; ++t) {
      for (int r = 1; r <= 16; ++r) {
        const Bytes sector = Pattern(256, static_cast<std::uint8_t>(r + t));
        bytes.insert(bytes.end(), sector.begin(), sector.end());
      }
    }
    return bytes;
  }();
  const std::string disk =
      R"({"type":"disk","image":"disk.d88","member":null,"disk":1,"number":0,"letter":"A","label":"S","label_bytes":"53","write_protected":false,"media":0,"directory":true,"free_bytes":413696,"free_entries":254,"fill":229,"directory_fill":32,)";
  const std::string file =
      R"({"type":"file","image":"disk.d88","member":null,"disk":1,"name":"GAME.BIN","name_bytes":"47414d452e42494e","size":3,"start":4608,"end":4611,"allocation":7,"status":"written","path":)";
  RunRows(BuildImage({Formatted(system, 0xE5, 0x20)}),
          {{{"--json", "--system-area", "-C", "out", kImage},
            disk +
                R"("system_area":"SYSTEM.AREA"})"
                "\n" +
                file +
                R"("GAME.BIN"})"
                "\n",
            "",
            In("out", {{"SYSTEM.AREA", area}, {"GAME.BIN", Pattern(3, 1)}}),
            Folder("out")},
           {{"--json", "-D", kImage},
            disk +
                R"("system_area":null})"
                "\n" +
                file +
                R"("disk01/GAME.BIN"})"
                "\n",
            "",
            In("disk01", {{"GAME.BIN", Pattern(3, 1)}})},
           {{"--json", "-l", kImage},
            disk +
                R"("system_area":null})"
                "\n" +
                std::string(file).replace(file.find("written"), 7, "listed") + "null}\n"}});
  // A SYSTEM.AREA kept as it stood is none this run wrote.
  RunRows(BuildImage({Formatted(system, 0xE5, 0x20)}),
          {{{"--json", "--system-area", "--skip-old-files", kImage},
            disk +
                R"("system_area":null})"
                "\n" +
                file +
                R"("GAME.BIN"})"
                "\n",
            "",
            {{"SYSTEM.AREA", TextBytes("old")}, {"GAME.BIN", Pattern(3, 1)}},
            FileAt("SYSTEM.AREA", "old")}});
  // Without --json the files and SYSTEM.AREA are written all the same; a
  // system area of another shape is not.
  RunRows(BuildImage({otherShape}),
          {{{"--system-area", kImage},
            "[Disk A]\n" + ListingLine("GAME.BIN", 0x1200, 0x1203),
            "d88unpack: disk.d88: disk 1: the system area is not 16 sectors of 256 bytes on each "
            "of tracks 0 and 1; it is not written\n",
            {{"GAME.BIN", Pattern(3, 1)}}}});
  // A name that is not UTF-8 has no path without -u.
  const std::string diskB =
      R"({"type":"disk","image":"disk.d88","member":null,"disk":1,"number":1,"letter":"B","label":"","label_bytes":"","write_protected":false,"media":0,"directory":true,"free_bytes":423936,"free_entries":254,"fill":0,"directory_fill":null,"system_area":null})"
      "\n";
  const std::string kana =
      u8R"({"type":"file","image":"disk.d88","member":null,"disk":1,"name":"ｱ","name_bytes":"b1","size":1,"start":0,"end":1,"allocation":5,"status":"written","path":)";
  // Windows names are UTF-16: there the name is converted, -u or not.
  if (!ToolIsWindows()) {
    RunRows(ImageOf({DataDisk(1, {File("\xB1", "", 0, {1})})}),
            {{{"--json", kImage}, diskB + kana + "null}\n", "", {{"\xB1", {1}}}}});
  }
  RunRows(ImageOf({DataDisk(1, {File("\xB1", "", 0, {1})})}), {{{"--json", "-u", kImage},
                                                                diskB + kana +
                                                                    u8R"("ｱ"})"
                                                                    "\n",
                                                                "",
                                                                {{u8"ｱ", {1}}}}});
}

// A manifest d88pack refuses, and why.
struct Refused {
  std::string what;
  std::string manifest;  // its lines
  std::string err;       // after "d88pack: src/m.jsonl"
  std::function<void(const fs::path&)> prepare = nullptr;
};

constexpr char kDiskLine[] =
    R"({"type":"disk","number":1,"label_bytes":"","write_protected":false,"media":0,"directory":true})"
    "\n";

std::string FileLine(const std::string& path, int size = 3, const std::string& more = "") {
  return R"({"type":"file","name_bytes":"41","size":)" + std::to_string(size) +
         R"(,"start":0,"end":)" + std::to_string(size) + more + R"(,"status":"written","path":)" +
         path + "}\n";
}

void Put(const fs::path& path, const std::string& text) {
  WriteBytes(path.string(), TextBytes(text));
}

TEST(Manifest, RefusedManifestsMakeNothing) {
  const std::string nothing = "d88pack: new.d88: nothing written; the image is as it was\n";
  const auto abc = [](const fs::path& src) { Put(src / "A", "abc"); };
  const std::vector<Refused> rows = {
      {"a disk without a directory",
       R"({"type":"disk","directory":false})"
       "\n",
       ":1: the disk has no directory, so no files to put back; the image cannot be made"},
      {"a file not written",
       std::string(kDiskLine) +
           R"({"type":"file","name_bytes":"41","size":3,"start":0,"end":3,"status":"not written","path":null})"
           "\n",
       ":2: the file was not written (status \"not written\"); the image cannot be made without "
       "it"},
      {"a file without a path", kDiskLine + FileLine("null"),
       ":2: the file has no path: its name is not UTF-8 text (d88unpack --utf8 writes it so)"},
      {"a path that is missing", kDiskLine + FileLine("\"A\""),
       ":2: A: cannot read: No such file or directory"},
      {"an absolute path", kDiskLine + FileLine("\"/etc/hostname\""),
       ":2: /etc/hostname: the path is absolute; it must lie in the manifest's folder"},
      {"a path out of the folder", kDiskLine + FileLine("\"../A\""),
       ":2: ../A: the path leads out of the manifest's folder"},
      {"a path out of the folder and back", kDiskLine + FileLine("\"d/../../src/A\""),
       ":2: d/../../src/A: the path leads out of the manifest's folder"},
      {"an empty part", kDiskLine + FileLine("\"d//A\""),
       ":2: \"d//A\": the path is empty or has an empty part"},
      {"a link to a file", kDiskLine + FileLine("\"L\""),
       ":2: L: the path leads through a symbolic link, which is not followed",
       [](const fs::path& src) {
         Put(src / "A", "abc");
         fs::create_symlink("A", src / "L");
       }},
      {"a link to a folder", kDiskLine + FileLine("\"d/A\""),
       ":2: d/A: the path leads through a symbolic link, which is not followed",
       [](const fs::path& src) {
         fs::create_directory(src / "real");
         Put(src / "real" / "A", "abc");
         fs::create_directory_symlink("real", src / "d");
       }},
      {"a file of another size", kDiskLine + FileLine("\"A\"", 4),
       ":2: A: holds 3 bytes; the manifest says 4", abc},
      {"one file for two entries", kDiskLine + FileLine("\"A\"") + FileLine("\"./A\""),
       ":3: ./A: is the file of line 2 too; one file cannot hold both", abc},
      {"records over each other with other bytes",
       kDiskLine + FileLine("\"A\"", 3, R"(,"allocation":0)") + FileLine("\"B\""),
       ":3: the file's record lies over an earlier one and would change it",
       [](const fs::path& src) {
         Put(src / "A", "abc");
         Put(src / "B", "abd");
       }},
      {"records sharing a byte that differs",
       kDiskLine + FileLine("\"A\"", 3, R"(,"allocation":6)") + FileLine("\"B\""),
       ":3: the file's record lies over an earlier one and would change it",
       [](const fs::path& src) {
         Put(src / "A", "abc");
         Put(src / "B", "abc");
       }},
      {"a record into the directory track",
       kDiskLine + FileLine("\"A\"", 3, R"(,"allocation":65535)") +
           FileLine("\"B\"", 3, R"(,"allocation":65535)") +
           FileLine("\"C\"", 3, R"(,"allocation":65535)") +
           FileLine("\"D\"", 3, R"(,"allocation":65535)") +
           FileLine("\"E\"", 3, R"(,"allocation":65535)") +
           FileLine("\"F\"", 3, R"(,"allocation":65535)") + FileLine("\"G\"", 40000),
       ":8: the file's record does not fit: it would reach the directory track",
       [](const fs::path& src) {
         for (const char* name : {"A", "B", "C", "D", "E", "F"}) Put(src / name, "abc");
         WriteBytes((src / "G").string(), Pattern(40000));
       }},
      {"a file before any disk", FileLine("\"A\""), ":1: a file before the first disk"},
      {"no disk at all", "\n", ": holds no disk"},
      {"not JSON", "{\"type\":\n", ":1: not JSON: Invalid value. (at byte 10)"},
      {"not an object", "[1]\n", ":1: not a JSON object"},
      {"no type", "{}\n", ":1: \"type\" must be \"disk\" or \"file\""},
      {"a disk number past 255",
       R"({"type":"disk","number":256,"label_bytes":"","write_protected":false,"media":0,"directory":true})"
       "\n",
       ":1: \"number\" must be a whole number from 0 to 255"},
      {"a label of odd digits",
       R"({"type":"disk","number":1,"label_bytes":"414","write_protected":false,"media":0,"directory":true})"
       "\n",
       ":1: \"label_bytes\" must be at most 16 bytes as pairs of hexadecimal digits"},
      {"a label not hexadecimal",
       R"({"type":"disk","number":1,"label_bytes":"4g","write_protected":false,"media":0,"directory":true})"
       "\n",
       ":1: \"label_bytes\" must be hexadecimal digits"},
      {"write protection not true or false",
       R"({"type":"disk","number":1,"label_bytes":"","write_protected":1,"media":0,"directory":true})"
       "\n",
       ":1: \"write_protected\" must be true or false"},
      {"a fill past 255",
       R"({"type":"disk","number":1,"label_bytes":"","write_protected":false,"media":0,"directory":true,"fill":300})"
       "\n",
       ":1: \"fill\" must be a whole number from 0 to 255, or null"},
      {"no media",
       R"({"type":"disk","number":1,"label_bytes":"","write_protected":false,"directory":true})"
       "\n",
       ":1: \"media\" is missing"},
      {"a size that is not end - start",
       std::string(kDiskLine) +
           R"({"type":"file","name_bytes":"41","size":3,"start":0,"end":4,"status":"written","path":"A"})"
           "\n",
       ":2: \"size\" is not \"end\" - \"start\""},
      {"a name no entry lists as",
       std::string(kDiskLine) +
           R"({"type":"file","name_bytes":"2020","size":3,"start":0,"end":3,"status":"written","path":"A"})"
           "\n",
       ":2: \"name_bytes\" is no name an entry lists as", abc},
      {"a name ending in a dot",
       std::string(kDiskLine) +
           R"({"type":"file","name_bytes":"412e","size":3,"start":0,"end":3,"status":"written","path":"A"})"
           "\n",
       ":2: \"name_bytes\" is no name an entry lists as", abc},
      {"a name starting with a space",
       std::string(kDiskLine) +
           R"({"type":"file","name_bytes":"2041","size":3,"start":0,"end":3,"status":"written","path":"A"})"
           "\n",
       ":2: \"name_bytes\" is no name an entry lists as", abc},
      {"a name of seven bytes",
       std::string(kDiskLine) +
           R"({"type":"file","name_bytes":"41414141414141","size":3,"start":0,"end":3,"status":"written","path":"A"})"
           "\n",
       ":2: \"name_bytes\" is no name an entry lists as", abc},
      {"an extension of four bytes",
       std::string(kDiskLine) +
           R"({"type":"file","name_bytes":"412e41524541","size":3,"start":0,"end":3,"status":"written","path":"A"})"
           "\n",
       ":2: \"name_bytes\" is no name an entry lists as", abc},
      {"a system area on a data disk",
       R"({"type":"disk","number":1,"label_bytes":"","write_protected":false,"media":0,"directory":true,"system_area":"S"})"
       "\n",
       ":1: only the system disk (number 0) has a system area"},
      {"a system area of another size",
       R"({"type":"disk","number":0,"label_bytes":"","write_protected":false,"media":0,"directory":true,"system_area":"S"})"
       "\n",
       ":1: S: holds 3 bytes; the manifest says 8192",
       [](const fs::path& src) { Put(src / "S", "abc"); }},
      {"a line too long", std::string(70000, ' ') + "\n",
       ":1: the line is longer than 65536 bytes"},
  };
  for (const Refused& row : rows) {
    SCOPED_TRACE(row.what);
    // Under wine a symbolic link of the host's is the file it leads to.
    if (ToolIsWindows() && row.what.find("link") != std::string::npos) continue;
    ScratchDir dir;
    fs::create_directory(dir.path() / "src");
    dir.Put("src/m.jsonl", TextBytes(row.manifest));
    if (row.prepare) row.prepare(dir.path() / "src");
    const ToolRun run = RunPack(dir.path(), {"--from=src/m.jsonl", "new.d88"});
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, Lines("d88pack: src/m.jsonl" + row.err + "\n" + nothing));
    EXPECT_EQ(run.status, 1);
    // Nothing is made, and nothing left behind.
    for (const auto& entry : fs::directory_iterator(dir.path())) {
      EXPECT_EQ(entry.path().filename(), "src");
    }
  }
}

TEST(Manifest, WhatStandsAtTheImageAndTheSystemAreaFile) {
  ScratchDir dir;
  fs::create_directory(dir.path() / "src");
  dir.Put("src/m.jsonl", TextBytes(kDiskLine));
  dir.Put("old.d88", TextBytes("old"));
  dir.Put("sa.bin", Pattern(100));
  struct Case {
    std::vector<std::string> args;
    std::string err;
  };
  const std::vector<Case> cases = {
      {{"--from=src/m.jsonl", "old.d88"},
       "d88pack: old.d88: exists already; --force replaces it\n"},
      {{"--from=src/none.jsonl", "new.d88"},
       "d88pack: src/none.jsonl: cannot open: No such file or directory\n"
       "d88pack: new.d88: nothing written; the image is as it was\n"},
      {{"-c", "--number=0", "--system-area=sa.bin", "new.d88"},
       "d88pack: sa.bin: a system area is 8192 bytes; this file holds 100\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    const ToolRun run = RunPack(dir.path(), c.args);
    EXPECT_EQ(run.err, Lines(c.err));
    EXPECT_EQ(run.status, 1);
    EXPECT_FALSE(fs::exists(dir.path() / "new.d88"));
  }
  EXPECT_EQ(ReadBytes(dir.path() / "old.d88"), TextBytes("old"));
  // With --force an image that stands there is replaced.
  const ToolRun run = RunPack(dir.path(), {"--from=src/m.jsonl", "--force", "old.d88"});
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.status, 0);
  // A disk of number 1 and no files, as -c makes it.
  ASSERT_EQ(RunPack(dir.path(), {"-c", "made.d88"}).status, 0);
  EXPECT_EQ(ReadBytes(dir.path() / "old.d88"), ReadBytes(dir.path() / "made.d88"));
}

}  // namespace
