// End-to-end tests of damaged and foreign images: what the image does not
// hold is reported, never written as zero bytes or passed off as success.
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "e2e_support.h"

using namespace d88test;
namespace fs = std::filesystem;

namespace {

struct DamageCase {
  std::string label;
  Bytes image;
  std::string out;
  std::string err;
  Tree files;
};

Bytes Cut(const Bytes& bytes, std::size_t size) {
  return Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
}

// Seven files of one byte, whose allocation lengths take the walk to
// `offset` in the disk; their listing, and their files added to `files`.
std::vector<LayoutFile> Fillers(int offset) {
  std::vector<LayoutFile> files;
  for (int k = 1; k <= 7; ++k) {
    files.push_back(File("P" + std::to_string(k), "", 0, TextBytes("p"),
                         static_cast<std::uint16_t>(k < 7 ? 65535 : offset - 6 * 65535)));
  }
  return files;
}

std::string FillerLines() {
  std::string lines;
  for (int k = 1; k <= 7; ++k) lines += ListingLine("P" + std::to_string(k), 0, 1);
  return lines;
}

Tree FillerFiles(Tree files) {
  for (int k = 1; k <= 7; ++k) files["P" + std::to_string(k)] = TextBytes("p");
  return files;
}

// The last bytes of the disk's last sector, and `last` put there.
Bytes& LastBytes(Disk& disk) {
  return disk.tracks.at(83).sectors.at(4).data;
}

void PutLast(Disk& disk, const Bytes& last) {
  std::copy(last.begin(), last.end(),
            LastBytes(disk).end() - static_cast<std::ptrdiff_t>(last.size()));
}

// A disk whose walk runs off the end of the disk: EDGE's record header is
// the last four bytes but four of the disk, its data the last four; HALF's
// header is cut by the end, OUT's starts at the end, FAR's far beyond it.
Disk RunOffTheEndDisk() {
  std::vector<LayoutFile> files = Fillers(430072);
  LayoutFile edge = File("EDGE", "", 0x10, {}, 6);
  edge.end = 0x1A;
  files.push_back(edge);
  files.push_back(File("HALF", "", 0, TextBytes("h"), 2));
  files.push_back(File("OUT", "", 0, TextBytes("o"), 65535));
  files.push_back(File("FAR", "", 0, TextBytes("f")));
  Disk disk = MakeLayoutDisk(DataDisk(1, files));
  // Directory bytes 7 to 0 sit in the disk's last eight bytes and are not
  // read as directory; EDGE's record is put there.
  PutLast(disk, {0x00, 0x10, 0x00, 0x1A, 'W', 'X', 'Y', 'Z'});
  return disk;
}

// A disk whose last two records meet its end: the data of ENDS ends at the
// disk's last byte, and LAST's record header is the disk's last four bytes,
// directory bytes 3 to 0. They read as spaces (a size of 0) unless `last`
// replaces them.
Disk AtTheEndDisk(const Bytes& last) {
  std::vector<LayoutFile> files = Fillers(430076 - 200);
  files.push_back(File("ENDS", "", 0x100, Pattern(200, 3), 200));
  files.push_back(File("LAST", "", 0, {}));
  Disk disk = MakeLayoutDisk(DataDisk(1, files));
  PutLast(disk, last);
  return disk;
}

std::vector<DamageCase> DamageCases() {
  std::vector<DamageCase> cases;
  const LayoutDisk files = DataDisk(
      1, {File("HEAD", "", 0x100, Pattern(3000, 1)), File("CUT", "", 0x200, Pattern(9000, 2)),
          File("LOST", "", 0x300, TextBytes("lost"))});
  const std::string headAndCut = "[Disk B]\n" + ListingLine("HEAD", 0x100, 0x100 + 3000) +
                                 ListingLine("CUT", 0x200, 0x200 + 9000);
  const Tree head = {{"HEAD", Pattern(3000, 1)}};

  // A truncated download: the file ends 10 bytes into CUT's data in track
  // 2, sector 1 (at 10240); LOST's record lies past the end, in sector 2.
  cases.push_back({"cut inside a record",
                   Cut(BuildDisk(DirectoryFirst(files)),
                       kDiskHeaderSize + 3 * kRecordedTrackSize + d88::sector_header::kSize + 10),
                   headAndCut + ListingLine("LOST", 0, 0),
                   Says({1, "B", "CUT", Why::kDataMissing, 10250 - 3008, 9000, 10}) +
                       Says({1, "B", "LOST", Why::kRecordMissing, 0, 0, 11}),
                   Merge(head, {{"CUT", Cut(Pattern(9000, 2), 10250 - 3008)}})});

  // A sector missing from the data area: track 1 lacks sector 2. HEAD lies
  // before it; CUT runs into it; LOST lies whole beyond it.
  {
    Disk disk = MakeLayoutDisk(files);
    disk.tracks.at(1).sectors.erase(disk.tracks.at(1).sectors.begin() + 1);
    cases.push_back(
        {"missing sector", BuildDisk(disk), headAndCut + ListingLine("LOST", 0x300, 0x304),
         Says({1, "B", "CUT", Why::kDataMissing, 6144 - 3008, 9000, 6}),
         Merge(head, {{"CUT", Cut(Pattern(9000, 2), 6144 - 3008)}, {"LOST", TextBytes("lost")}})});
    // A file whose last byte is the first of a sector the image lacks.
    Disk edge = MakeLayoutDisk(DataDisk(1, {File("EDGE", "", 0, Pattern(1021, 9))}));
    edge.tracks.at(0).sectors.erase(edge.tracks.at(0).sectors.begin() + 1);
    cases.push_back({"a file that just reaches a missing sector",
                     BuildDisk(edge),
                     "[Disk B]\n" + ListingLine("EDGE", 0, 1021),
                     Says({1, "B", "EDGE", Why::kDataMissing, 1020, 1021, 1}),
                     {{"EDGE", Cut(Pattern(1021, 9), 1020)}}});
    // A sector that no file reaches loses nothing: track 83 sector 1 lies
    // below a small directory.
    Disk directory = MakeLayoutDisk(files);
    directory.tracks.at(83).sectors.erase(directory.tracks.at(83).sectors.begin());
    cases.push_back({"a sector no file reaches", BuildDisk(directory),
                     headAndCut + ListingLine("LOST", 0x300, 0x304), "",
                     Merge(head, {{"CUT", Pattern(9000, 2)}, {"LOST", TextBytes("lost")}})});
  }

  // A disk whose directory track is missing, after a good disk: no header
  // line, for there is no letter to show, and what was found instead.
  {
    Disk blank = MakeLayoutDisk(DataDisk(2, {File("GONE", "", 0, TextBytes("gone"))}));
    blank.tracks.erase(83);
    cases.push_back(
        {"missing directory track",
         Concat(ImageOf({DataDisk(1, {File("A", "", 0, TextBytes("a"))})}), BuildDisk(blank)),
         "[Disk B]\n" + ListingLine("A", 0, 1),
         DiskLine(2, DirectoryLacking(5)),
         {{"A", TextBytes("a")}}});
  }

  // A disk is read from its own bytes only. Disk 1 lacks its directory
  // track, and in its place (a) a header that would lead a search on into
  // disk 2's directory track, or (b) a header at its very end whose data
  // would be disk 2's header.
  for (const bool dataPast : {false, true}) {
    const LayoutDisk one = DataDisk(1, {File("ONE", "TXT", 0, TextBytes("one"))});
    const Disk two = MakeLayoutDisk(DataDisk(2, {File("TWO", "TXT", 0, TextBytes("two"))}));
    Disk first = MakeLayoutDisk(one);
    Sector lead;
    lead.c = 41;
    lead.h = 1;
    lead.r = dataPast ? 5 : 0;
    lead.countField = 0xFFFF;
    // Its data: the 1024 bytes past disk 1's end, or all up to disk 2's
    // directory track.
    lead.lengthField =
        static_cast<int>(dataPast ? 1024 : kDiskHeaderSize + 83 * kRecordedTrackSize);
    first.tracks[83].sectors = {lead};
    cases.push_back({dataPast ? "a sector whose data lies in the next disk"
                              : "a search that would walk on into the next disk",
                     Concat(BuildDisk(first), BuildDisk(two)),
                     "[Disk C]\n" + ListingLine("TWO.TXT", 0, 3),
                     DiskLine(1, DirectoryLacking(5)),
                     {{"TWO.TXT", TextBytes("two")}}});
  }

  // Not a D88 image at all: a text file given by mistake, other bytes, and
  // first headers that cannot be a disk's. Nothing is listed.
  {
    std::string text;
    while (text.size() < 3000) text += "This is a README, not a disk image.\n";
    Bytes program(4096, 0);  // an executable's header: 64-bit fields, mostly zero
    program[0] = 0x7F;
    program[1] = 'E';
    Disk small = MakeLayoutDisk(DataDisk(1, {}));
    small.sizeField = kDiskHeaderSize - 1;
    const auto trackAt = [](std::uint32_t offset) {
      Disk inside = MakeLayoutDisk(DataDisk(1, {}));
      inside.trackOffsetOverrides[5] = offset;
      return BuildDisk(inside);
    };
    const struct {
      const char* label;
      Bytes image;
      std::string why;
    } foreign[] = {
        {"text file", TextBytes(text),
         "track 1 of its first disk starts at byte 1936287828, past the disk's end at byte "
         "1634560288"},
        {"bytes of no format", Pattern(5000),
         "track 0 of its first disk starts at byte 589439264, past the disk's end at byte "
         "522067228"},
        {"an executable", program,
         "the size of its first disk, 0 bytes, is smaller than a disk header"},
        {"a size smaller than a header", BuildDisk(small),
         "the size of its first disk, 687 bytes, is smaller than a disk header"},
        {"a track inside the header", trackAt(0x23),
         "track 5 of its first disk starts at byte 35, inside the disk header"},
        {"a track inside the track table", trackAt(0x100),
         "track 5 of its first disk starts at byte 256, inside the disk header"},
        {"the last track read, past the disk",
         [] {
           Disk past = MakeLayoutDisk(DataDisk(1, {}));
           past.trackOffsetOverrides[83] = 0x7FFFFFFF;
           return BuildDisk(past);
         }(),
         "track 83 of its first disk starts at byte 2147483647, past the disk's end at byte "
         "437488"},
    };
    for (const auto& f : foreign) {
      cases.push_back({f.label, f.image, "", ImageLine("not a D88 image (" + f.why + ")"), {}});
    }
    // A track that starts at the disk's very end holds no sector.
    Bytes atEnd = BuildDisk(MakeLayoutDisk(DataDisk(1, {File("KEPT", "", 0, Pattern(9, 1))})));
    d88::PutLittle32(atEnd.data() + d88::disk_header::kTrackTableOffset + 4 * 163,
                     static_cast<std::uint32_t>(atEnd.size()));
    // Entries past track 83 are never read: what they hold, however wrong,
    // changes nothing.
    for (const std::uint32_t offset : {0x7FFFFFFFu, 0x23u}) {
      Disk damaged = MakeLayoutDisk(DataDisk(1, {File("KEPT", "", 0, Pattern(9, 1))}));
      damaged.trackOffsetOverrides[84] = offset;
      damaged.trackOffsetOverrides[163] = offset;
      cases.push_back({"a table entry past track 83 out of range",
                       BuildDisk(damaged),
                       "[Disk B]\n" + ListingLine("KEPT", 0, 9),
                       "",
                       {{"KEPT", Pattern(9, 1)}}});
    }
    cases.push_back({"a track at the disk's end",
                     atEnd,
                     "[Disk B]\n" + ListingLine("KEPT", 0, 9),
                     "",
                     {{"KEPT", Pattern(9, 1)}}});
  }

  // Images in common use that keep 160 track offsets, their first track
  // right after them at 0x2A0: the 16 bytes where the table's last four
  // entries would be are its first sector header.
  {
    const LayoutDisk disk = DataDisk(1, {File("SHORT", "TBL", 0x100, Pattern(2000, 5))});
    const Bytes bytes = Table160(BuildDisk(MakeLayoutDisk(disk)));
    cases.push_back({"160 track offsets",
                     bytes,
                     "[Disk B]\n" + ListingLine("SHORT.TBL", 0x100, 0x100 + 2000),
                     "",
                     {{"SHORT.TBL", Pattern(2000, 5)}}});
  }

  // A disk of another layout: forty cylinders of sixteen 256-byte sectors.
  {
    const auto another = [](const std::string& shape) {
      return DiskLine(1, "no directory: the disk is of another layout (80 tracks" + shape + ")");
    };
    Disk other;
    for (int t = 0; t < 80; ++t) {
      for (int r = 1; r <= 16; ++r) {
        other.tracks[t].sectors.push_back(FilledSector(t / 2, t % 2, r, 1, 0xE5));
      }
    }
    cases.push_back(
        {"another layout", BuildDisk(other), "", another(" of 16 sectors of 256 bytes"), {}});
    // Tracks of the layout that hold its first sector only, and no
    // directory track: a damaged disk of the layout.
    Disk firsts;
    for (int t = 0; t < 83; ++t) firsts.tracks[t].sectors = {FilledSector(t / 2, t % 2, 1, 3, 0)};
    cases.push_back({"only the first sector of each track",
                     BuildDisk(firsts),
                     "",
                     DiskLine(1, DirectoryLacking(5)),
                     {}});
    // A disk is of the layout when most of its tracks are: half is not.
    for (int t = 40; t < 83; ++t) firsts.tracks.erase(t);
    for (int t = 40; t < 80; ++t) firsts.tracks[t] = other.tracks[t];
    cases.push_back({"half the tracks of the layout",
                     BuildDisk(firsts),
                     "",
                     another(", the first of 1 sector of 1024 bytes"),
                     {}});
    // Tracks of more than one shape: the first is described.
    for (int t = 1; t < 80; ++t) other.tracks[t].sectors.resize(9);
    cases.push_back({"another layout of mixed tracks",
                     BuildDisk(other),
                     "",
                     another(", the first of 16 sectors of 256 bytes"),
                     {}});
  }

  // A disk size of 0 would find the same disk again and again: it ends the
  // scan after that disk, which has no room for a track. The disk after it
  // is not reached.
  {
    Disk zero = MakeLayoutDisk(DataDisk(2, {File("NEVER", "", 0, TextBytes("never"))}));
    zero.sizeField = 0;
    cases.push_back(
        {"size 0",
         Concat(ImageOf({DataDisk(1, {File("ONCE", "", 0, TextBytes("once"))})}),
                BuildImage({zero, MakeLayoutDisk(DataDisk(3, {}))})),
         "[Disk B]\n" + ListingLine("ONCE", 0, 4),
         DiskLine(2, kBlank) +
             ImageLine("disk 2 gives its size as 0; what follows it in the image is not read"),
         {{"ONCE", TextBytes("once")}}});
  }

  // 65 disks: the first 64 are read, and the rest reported.
  {
    // Each disk holds its directory track alone, to keep the image small.
    Disk directoryOnly = MakeLayoutDisk(DataDisk(1, {}));
    directoryOnly.tracks = {{83, directoryOnly.tracks.at(83)}};
    std::string out;
    for (int i = 0; i < 64; ++i) out += "[Disk B]\n";
    cases.push_back({"65 disks",
                     BuildImage(std::vector<Disk>(65, directoryOnly)),
                     out,
                     ImageLine("holds more than 64 disks; only the first 64 were read"),
                     {}});
    // 64 disks and part of a 65th header: a cut header, as anywhere else.
    Bytes cut = BuildImage(std::vector<Disk>(64, directoryOnly));
    cut.resize(cut.size() + 100, 0x20);
    cases.push_back({"64 disks and a cut header",
                     cut,
                     out,
                     ImageLine("the image ends inside the header of disk 65 (100 of 688 bytes); "
                               "that disk is not read"),
                     {}});
  }

  // Blank and cut-off disks after one full of data: nothing leaks from it.
  // The full disk fills its first 120008 bytes.
  {
    const LayoutDisk full = DataDisk(
        1, {File("FILL1", "", 0, Pattern(60000, 11)), File("FILL2", "", 0, Pattern(60000, 12))});
    const std::string listing =
        "[Disk B]\n" + ListingLine("FILL1", 0, 60000) + ListingLine("FILL2", 0, 60000);
    const Tree filled = {{"FILL1", Pattern(60000, 11)}, {"FILL2", Pattern(60000, 12)}};
    cases.push_back({"a blank disk after a full one", Concat(ImageOf({full}), BuildDisk(Disk{})),
                     listing, DiskLine(2, kBlank), filled});
    // Cut inside the data area (the directory track is then missing) and cut
    // inside the directory's own last sector: a disk cut off.
    const Bytes two = ImageOf({full, full});
    for (const std::size_t end : {two.size() / 2 + kDiskHeaderSize + 100000, two.size() - 50}) {
      cases.push_back({"a later disk cut at " + std::to_string(end), Cut(two, end), listing,
                       DiskLine(2, "no directory: the image is cut off at byte " +
                                       std::to_string(end) + ", inside this disk"),
                       filled});
    }
    // Cut inside the directory header's first eight bytes, which are never
    // read: the directory is whole. One byte more takes the disk number.
    const Bytes plusTwo = ImageOf({full, DataDisk(2, {File("TWO", "TXT", 0, TextBytes("two"))})});
    for (const std::size_t cut : {1, 8}) {
      cases.push_back({"the last disk cut by " + std::to_string(cut) + " bytes",
                       Cut(plusTwo, plusTwo.size() - cut),
                       listing + "[Disk C]\n" + ListingLine("TWO.TXT", 0, 3), "",
                       Merge(filled, {{"TWO.TXT", TextBytes("two")}})});
    }
    cases.push_back({"the last disk cut by 9 bytes", Cut(plusTwo, plusTwo.size() - 9), listing,
                     DiskLine(2, "no directory: the image is cut off at byte " +
                                     std::to_string(plusTwo.size() - 9) + ", inside this disk"),
                     filled});
    // Cut 500 bytes into sector 3 of track 20 (disk offset 104948) of the
    // second disk. CUT's data begins at 100004 and is written up to the
    // cut. LOST's record lies past it, in track 21 sector 3: listed from the
    // zero bytes it reads as, but not written.
    const Bytes cutData = Pattern(10000, 17);
    const Bytes first = ImageOf({full});
    const Bytes whole = Concat(
        first,
        BuildDisk(DirectoryFirst(DataDisk(
            2, {File("HEAD", "", 0, Pattern(100), 50000), File("MID", "", 0, Pattern(3000), 50000),
                File("CUT", "", 0x1000, cutData), File("LOST", "", 0x2000, TextBytes("gone"))}))));
    cases.push_back({"a later disk cut inside a record",
                     Cut(whole, first.size() + kDiskHeaderSize + 21 * kRecordedTrackSize +
                                    2 * kRecordedSectorSize + d88::sector_header::kSize + 500),
                     listing + "[Disk C]\n" + ListingLine("HEAD", 0, 100) +
                         ListingLine("MID", 0, 3000) + ListingLine("CUT", 0x1000, 0x1000 + 10000) +
                         ListingLine("LOST", 0, 0),
                     Says({2, "C", "CUT", Why::kDataMissing, 4944, 10000, 20 * 5 + 2}) +
                         Says({2, "C", "LOST", Why::kRecordMissing, 0, 0, 21 * 5 + 2}),
                     Merge(filled, {{"HEAD", Pattern(100)},
                                    {"MID", Pattern(3000)},
                                    {"CUT", Cut(cutData, 104948 - 100004)}})});
  }

  // Records at and past the end of the disk.
  cases.push_back({"records at and past the end of the disk",
                   Concat(BuildDisk(RunOffTheEndDisk()),
                          ImageOf({DataDisk(2, {File("AFTER", "", 0, TextBytes("after"))})})),
                   "[Disk B]\n" + FillerLines() + ListingLine("EDGE", 0x10, 0x1A) + "[Disk C]\n" +
                       ListingLine("AFTER", 0, 5),
                   Says({1, "B", "EDGE", Why::kTruncated, 4, 10}) +
                       Says({1, "B", "HALF", Why::kHeaderPastTheEnd}) +
                       Says({1, "B", "OUT", Why::kHeaderPastTheEnd}) +
                       Says({1, "B", "FAR", Why::kHeaderPastTheEnd}),
                   FillerFiles({{"EDGE", TextBytes("WXYZ")}, {"AFTER", TextBytes("after")}})});
  // ENDS is whole; LAST's header in the disk's last four bytes is read, and
  // data it gives lies past the end.
  for (const bool data : {false, true}) {
    Disk disk = AtTheEndDisk(data ? Bytes{0x00, 0x10, 0x00, 0x1A} : TextBytes("    "));
    const Bytes ends(LastBytes(disk).end() - 200, LastBytes(disk).end());
    cases.push_back({data ? "a header in the disk's last four bytes, with data"
                          : "data to the disk's last byte, a header in its last four",
                     BuildDisk(disk),
                     "[Disk B]\n" + FillerLines() + ListingLine("ENDS", 0x100, 0x1C8) +
                         ListingLine("LAST", data ? 0x10 : 0x2020, data ? 0x1A : 0x2020),
                     data ? Says({1, "B", "LAST", Why::kTruncated, 0, 10}) : "",
                     FillerFiles({{"ENDS", ends}, {"LAST", {}}})});
  }

  // A file shorter than a disk header: a disk cut off, or no image at all.
  cases.push_back(
      {"a disk header cut short",
       Cut(ImageOf({DataDisk(1, {File("A", "", 0, TextBytes("a"))})}), kDiskHeaderSize - 1),
       "",
       ImageLine("the image ends inside the header of disk 1 (687 of 688 bytes); that disk is not "
                 "read"),
       {}});

  // Not failures: a disk read in full that holds no file, and an empty file.
  cases.push_back({"empty directory", ImageOf({DataDisk(3, {})}), "[Disk D]\n", "", {}});
  cases.push_back({"empty file", {}, "", "", {}});
  return cases;
}

TEST(Damage, WhatTheImageDoesNotHoldIsReported) {
  // Listed, each image gives the same lines, with the bytes there readable
  // rather than written, and nothing is written.
  for (const DamageCase& c : DamageCases()) {
    SCOPED_TRACE(c.label);
    std::string listed = c.err;
    for (std::size_t at = 0; (at = listed.find("bytes written", at)) != std::string::npos;) {
      listed.replace(at, 13, "bytes readable");
    }
    RunRows(c.image, {{{kImage}, c.out, c.err, c.files}, {{"-l", kImage}, c.out, listed}});
  }
}

TEST(Damage, PosixReadErrorIsReportedOnce) {
  if (ToolIsWindows() || !fs::exists("/proc/self/mem")) GTEST_SKIP() << "needs /proc";
  // A regular file whose every read fails: the tool's own memory at offset 0.
  ScratchDir dir;
  const ToolRun run = RunTool(dir.path(), {"/proc/self/mem"});
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "d88unpack: /proc/self/mem: cannot read: Input/output error\n");
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(fs::is_empty(dir.path()));
}

}  // namespace
