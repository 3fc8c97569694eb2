// End-to-end tests of damaged and foreign images: what the image does not
// hold is reported, never written as zero bytes or passed off as success.
#include <unistd.h>

#include <filesystem>
#include <map>
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
  std::string err;  // "\n"-separated lines; "IMAGE" stands for the image's path
  std::map<std::string, Bytes> files;
};

Bytes Cut(const Bytes& bytes, std::size_t size) {
  return Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
}

std::string DiskLine(int place, const std::string& text) {
  return "d88unpack: disk " + std::to_string(place) + ": " + text + "\n";
}

std::string ComplaintText(const Complaint& c) {
  return ComplaintLine(c) + "\n";
}

std::vector<DamageCase> DamageCases() {
  std::vector<DamageCase> cases;
  const LayoutDisk files = DataDisk(
      1, {File("HEAD", "", 0x100, Pattern(3000, 1)), File("CUT", "", 0x200, Pattern(9000, 2)),
          File("LOST", "", 0x300, TextBytes("lost"))});

  // A truncated download: the file ends inside CUT's data. The sector the
  // end cuts (track 2, sector 1, at 10240) is missing from its first byte.
  {
    const Bytes whole = BuildDisk(DirectoryFirst(files));
    const std::size_t end =
        kDiskHeaderSize + 3 * kRecordedTrackSize + d88::sector_header::kSize + 10;
    cases.push_back({"cut inside a record",
                     Cut(whole, end),
                     "[Disk B]\n" + ListingLine("HEAD", 0x100, 0x100 + 3000) +
                         ListingLine("CUT", 0x200, 0x200 + 9000) + ListingLine("LOST", 0, 0),
                     ComplaintText({1, "B", "CUT", Why::kDataMissing, 10240 - 3008, 9000}) +
                         ComplaintText({1, "B", "LOST", Why::kRecordMissing}),
                     {{"HEAD", Pattern(3000, 1)}, {"CUT", Cut(Pattern(9000, 2), 10240 - 3008)}}});
  }

  // A sector missing from the data area: track 1 lacks sector 2. HEAD lies
  // before it; CUT runs into it; LOST's record lies beyond it.
  {
    Disk disk = MakeLayoutDisk(files);
    disk.tracks.at(1).sectors.erase(disk.tracks.at(1).sectors.begin() + 1);
    cases.push_back({"missing sector",
                     BuildDisk(disk),
                     "[Disk B]\n" + ListingLine("HEAD", 0x100, 0x100 + 3000) +
                         ListingLine("CUT", 0x200, 0x200 + 9000) + ListingLine("LOST", 0, 0),
                     ComplaintText({1, "B", "CUT", Why::kDataMissing, 6144 - 3008, 9000}) +
                         ComplaintText({1, "B", "LOST", Why::kRecordMissing}),
                     {{"HEAD", Pattern(3000, 1)}, {"CUT", Cut(Pattern(9000, 2), 6144 - 3008)}}});
  }

  // A disk whose directory track is missing, after a good disk: its header
  // line from zero bytes, then the report.
  {
    Disk blank = MakeLayoutDisk(DataDisk(2, {File("GONE", "", 0, TextBytes("gone"))}));
    blank.tracks.erase(83);
    cases.push_back(
        {"missing directory track",
         Concat(ImageOf({DataDisk(1, {File("A", "", 0, TextBytes("a"))})}), BuildDisk(blank)),
         "[Disk B]\n" + ListingLine("A", 0, 1) + "[Disk A]\n",
         DiskLine(2, kNoDirectory),
         {{"A", TextBytes("a")}}});
  }

  // Not a D88 image at all: a text file given by mistake.
  {
    std::string text;
    while (text.size() < 3000) text += "This is a README, not a disk image.\n";
    cases.push_back({"text file", TextBytes(text), "[Disk A]\n", DiskLine(1, kNoDirectory), {}});
  }

  // A disk size of 0 would find the same disk again and again: it ends the
  // scan after that disk, which has no room for a track. The disk after it
  // is not reached.
  {
    Disk zero = MakeLayoutDisk(DataDisk(2, {File("NEVER", "", 0, TextBytes("never"))}));
    zero.sizeField = 0;
    cases.push_back({"size 0",
                     Concat(ImageOf({DataDisk(1, {File("ONCE", "", 0, TextBytes("once"))})}),
                            BuildImage({zero, MakeLayoutDisk(DataDisk(3, {}))})),
                     "[Disk B]\n" + ListingLine("ONCE", 0, 4) + "[Disk A]\n",
                     DiskLine(2, kNoDirectory) +
                         "d88unpack: IMAGE: disk 2 gives its size as 0; what follows it in the "
                         "image is not read\n",
                     {{"ONCE", TextBytes("once")}}});
  }

  // 65 disks: the first 64 are read, and the rest reported.
  {
    // Each disk holds its directory track alone, to keep the image small.
    Disk directoryOnly = MakeLayoutDisk(DataDisk(1, {}));
    directoryOnly.tracks = {{83, directoryOnly.tracks.at(83)}};
    const std::vector<Disk> disks(65, directoryOnly);
    std::string out;
    for (int i = 0; i < 64; ++i) out += "[Disk B]\n";
    cases.push_back({"65 disks",
                     BuildImage(disks),
                     out,
                     "d88unpack: IMAGE: holds more than 64 disks; only the first 64 were read\n",
                     {}});
    // 64 disks and part of a 65th header: a cut header, as anywhere else.
    Bytes cut = BuildImage(std::vector<Disk>(64, directoryOnly));
    cut.resize(cut.size() + 100, 0x20);
    cases.push_back({"64 disks and a cut header",
                     cut,
                     out,
                     "d88unpack: IMAGE: the image ends inside the header of disk 65 (100 of 688 "
                     "bytes); that disk is not read\n",
                     {}});
  }

  // Not failures: a disk read in full that holds no file, and an empty file.
  cases.push_back({"empty directory", ImageOf({DataDisk(3, {})}), "[Disk D]\n", "", {}});
  cases.push_back({"empty file", {}, "", "", {}});
  return cases;
}

TEST(Damage, WhatTheImageDoesNotHoldIsReported) {
  for (const DamageCase& c : DamageCases()) {
    ScratchDir dir;
    dir.Put("disk.d88", c.image);
    const ToolRun run = RunTool(dir.path(), {"disk.d88"});
    std::string err = c.err;
    const std::size_t image = err.find("IMAGE");
    if (image != std::string::npos) err.replace(image, 5, "disk.d88");
    EXPECT_EQ(run.out, Lines(c.out)) << c.label;
    EXPECT_EQ(run.err, Lines(err)) << c.label;
    EXPECT_EQ(run.status, err.empty() ? 0 : 1) << c.label;
    std::map<std::string, Bytes> files = c.files;
    files["disk.d88"] = c.image;
    ExpectFolderHolds(dir.path(), files);
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
