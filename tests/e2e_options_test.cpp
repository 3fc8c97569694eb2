// End-to-end tests of the options, one table for each: every row runs the
// tool in a fresh folder that holds the image, and compares standard output,
// standard error, the whole folder afterwards and the exit status.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "e2e_support.h"

using namespace d88test;
namespace fs = std::filesystem;

namespace {

// Three disks; GAME.BIN stands twice on the first and once on the second.
const std::string kReadme = "read\r\nme\n\x1A";
const Bytes kIpl = Pattern(300, 5);
const std::string kIplData(kIpl.begin(), kIpl.end());
const Bytes kSample = ImageOf({DataDisk(1, {File("GAME", "BIN", 0x1200, TextBytes("game b")),
                                            File("README", "", 0, TextBytes(kReadme)),
                                            File("GAME", "BIN", 0x1300, TextBytes("again"))}),
                               DataDisk(2, {File("GAME", "BIN", 0x2000, TextBytes("game c")),
                                            File("NOTE", "TXT", 0, TextBytes("note"))}),
                               DataDisk(0, {File("IPL", "SYS", 0xC000, kIpl)})});
const std::string kDisk1 = "[Disk B]\n" + ListingLine("GAME.BIN", 0x1200, 0x1206) +
                           ListingLine("README", 0, 10) + ListingLine("GAME.BIN", 0x1300, 0x1305);
const std::string kDisk2 =
    "[Disk C]\n" + ListingLine("GAME.BIN", 0x2000, 0x2006) + ListingLine("NOTE.TXT", 0, 4);
const std::string kDisk3 = "[Disk A]\n" + ListingLine("IPL.SYS", 0xC000, 0xC000 + 300);
const std::string kAll = kDisk1 + kDisk2 + kDisk3;
const Tree kFiles1 = {{"GAME.BIN", TextBytes("again")}, {"README", TextBytes(kReadme)}};
const Tree kFiles2 = {{"GAME.BIN", TextBytes("game c")}, {"NOTE.TXT", TextBytes("note")}};
const Tree kFiles3 = {{"IPL.SYS", kIpl}};
const Tree kAllFiles = Merge(Merge(kFiles1, kFiles2), kFiles3);

// The notes of a plain extraction of kSample: each later GAME.BIN replaces
// the one written before it.
const std::string kReplaced =
    Says({1, "B", "GAME.BIN", Why::kReplacesOfThisDisk}) +
    Says({2, "C", "GAME.BIN", Why::kReplacesOfDisk, 1, 0, -1, "disk.d88", "B"});

// Letter NUL: six entries of 65535 bytes each, then TAIL, whose data runs
// past the end of the disk, and GONE, whose record header lies beyond it.
LayoutDisk OffTheEnd() {
  std::vector<LayoutFile> off;
  for (int k = 1; k <= 6; ++k) off.push_back(File("P" + std::to_string(k), "", 0, {'p'}, 65535));
  off.push_back(File("TAIL", "", 0, Bytes(40000, 't'), 65535));
  off.push_back(File("GONE", "", 0, TextBytes("g")));
  return DataDisk(191, off);
}

// Damage of every kind. Disk 1: a negative size and a name that is never
// created. Disk 2: OffTheEnd(). Disk 3: the image holds only its first and
// its directory track, so CUT's data runs into the missing part and LOST's
// record header lies in it. Disk 4 is blank.
Bytes Damaged() {
  LayoutFile negative = File("NEG", "", 0x20, {});
  negative.end = 0x10;
  Disk cut = MakeLayoutDisk(
      DataDisk(3, {File("CUT", "", 0, Pattern(6000)), File("LOST", "", 0x10, TextBytes("lost"))}));
  for (int t = 1; t < 83; ++t) cut.tracks.erase(t);
  return BuildImage({MakeLayoutDisk(DataDisk(1, {File("OK", "", 0x100, TextBytes("ok")), negative,
                                                 File("A/B", "", 0, TextBytes("x"))})),
                     MakeLayoutDisk(OffTheEnd()), cut, Disk{}});
}

const std::string kNoDirectoryOn4 = DiskLine(4, kBlank);

TEST(Options, ListWritesNothing) {
  std::string fillers;
  for (int k = 1; k <= 6; ++k) fillers += ListingLine("P" + std::to_string(k), 0, 1);
  RunRows(kSample,
          {{{"-l", kImage}, kAll, "", {{"README", TextBytes("old")}}, FileAt("README", "old")},
           {{kImage, "-t"}, kAll, "", {}},
           // No folder is made, nor is one needed.
           {{"--list", "-D", "-C", "missing", kImage}, kAll, "", {}},
           {{"-l", kImage, "GAME.*"},
            "[Disk B]\n" + ListingLine("GAME.BIN", 0x1200, 0x1206) +
                ListingLine("GAME.BIN", 0x1300, 0x1305) + "[Disk C]\n" +
                ListingLine("GAME.BIN", 0x2000, 0x2006) + "[Disk A]\n"}});
  // Only what the image does not give is reported: the negative size and the
  // name that would be refused are no matter.
  RunRows(Damaged(),
          {{{"-l", kImage},
            "[Disk B]\n" + ListingLine("OK", 0x100, 0x102) + ListingLine("NEG", 0x20, 0x10) +
                ListingLine("A/B", 0, 1) + std::string("[Disk \0]\n", 9) + fillers +
                ListingLine("TAIL", 0, 40000) + "[Disk D]\n" + ListingLine("CUT", 0, 6000) +
                ListingLine("LOST", 0, 0),
            Says({2, "\\x00", "TAIL", Why::kTruncatedListed, 36866, 40000}) +
                Says({2, "\\x00", "GONE", Why::kHeaderPastTheEnd}) +
                Says({3, "D", "CUT", Why::kDataMissingListed, 5116, 6000, 5}) +
                Says({3, "D", "LOST", Why::kRecordMissing, 0, 0, 5}) + kNoDirectoryOn4}});
}

TEST(Options, DirectoryTakesTheFiles) {
  const std::string other = u8"出力";
  const Tree out = In("out", kAllFiles);
  RunRows(kSample, {{{"-C", "out", kImage}, kAll, kReplaced, out, Folder("out")},
                    {{kImage, "--directory=out"}, kAll, kReplaced, out, Folder("out")},
                    {{"-Cout", kImage}, kAll, kReplaced, out, Folder("out")},
                    {{"-C", other, kImage}, kAll, kReplaced, In(other, kAllFiles), Folder(other)},
                    {{"-C", "nonexist", kImage},
                     "",
                     "d88unpack: nonexist: the folder to write into: No such file or directory\n"},
                    {{"-C", "x", kImage},
                     "",
                     "d88unpack: x: the folder to write into: Not a directory\n",
                     {{"x", TextBytes("x")}},
                     FileAt("x", "x")}});
  // The image is known in the output folder too.
  const Bytes image = ImageOf({DataDisk(
      1, {File("disk", "d88", 0, TextBytes("evil")), File("OK", "", 0, TextBytes("ok"))})});
  RunRows(image, {{{"-C", "out", "out/disk.d88"},
                   "[Disk B]\n" + ListingLine("disk.d88", 0, 4) + ListingLine("OK", 0, 2),
                   Says({1, "B", "disk.d88", Why::kIsTheImage, 0, 0, -1, "out/disk.d88"}),
                   In("out", {{"disk.d88", image}, {"OK", TextBytes("ok")}}),
                   [](const fs::path& dir) {
                     fs::create_directory(dir / "out");
                     fs::copy_file(dir / kImage, dir / "out" / kImage);
                   }}});
  // A name taken by a file that may not be removed: a process's own files
  // under /proc are there for good.
  if (ToolIsWindows() || !fs::exists("/proc/self/status")) return;
  RunRows(ImageOf({DataDisk(1, {File("status", "", 0, TextBytes("x"))})}),
          {{{"-C", "/proc/self", kImage},
            "[Disk B]\n" + ListingLine("status", 0, 1),
            "d88unpack: disk.d88: disk 1 (B): \"status\": cannot replace: " +
                std::string(std::strerror(EPERM)) + "\n"}});
}

TEST(Options, DiskChoosesByPlace) {
  const std::string again = Says({1, "B", "GAME.BIN", Why::kReplacesOfThisDisk});
  RunRows(kSample, {{{"--disk=3", kImage, "-d1"}, kDisk1 + kDisk3, again, Merge(kFiles1, kFiles3)},
                    {{"-d", "2", "-d2", kImage}, kDisk2, "", kFiles2},  // once
                    {{"-d", "9", kImage}, "", DiskLine(9, "the image holds 3 disks")},
                    {{"-d", "03", kImage}, kDisk3, "", kFiles3},
                    {{"-d", "7", "-d", "2", "-d7", kImage},
                     kDisk2,
                     DiskLine(7, "the image holds 3 disks"),
                     kFiles2},
                    // As many choices as the tool takes.
                    {Args(std::vector<std::string>(256, "-d3"), {kImage}), kDisk3, "", kFiles3}});
  RunRows(ImageOf({DataDisk(1, {})}),
          {{{"-d", "2", kImage}, "", DiskLine(2, "the image holds 1 disk")}});
  // Of an image of more than 64 disks, the tool does not know how many.
  Disk directoryOnly = MakeLayoutDisk(DataDisk(1, {}));
  directoryOnly.tracks = {{83, directoryOnly.tracks.at(83)}};
  RunRows(BuildImage(std::vector<Disk>(65, directoryOnly)),
          {{{"-d", "65", "-d", "64", kImage},
            "[Disk B]\n",
            DiskLine(65, "only the first 64 disks of the image are read") +
                ImageLine("holds more than 64 disks; only the first 64 were read")}});
}

TEST(Options, NamesChooseEntriesByPattern) {
  std::vector<LayoutFile> files;
  for (const std::string name : {"A*B", "AXB", "[X]", "X", "-K", "GAME.BIN", "NOTE.TXT"}) {
    const std::size_t dot = name.find('.');
    files.push_back(File(name.substr(0, dot), dot == std::string::npos ? "" : name.substr(dot + 1),
                         0, TextBytes(name)));
  }
  const auto listed = [](const std::vector<std::string>& chosen) {
    std::string out = "[Disk B]\n";
    for (const std::string& name : chosen) out += ListingLine(name, 0, name.size());
    return out;
  };
  const Bytes image = ImageOf({DataDisk(1, files)});
  const Tree dashed = {{"-x.d88", image}};
  const Prepare dash = [](const fs::path& dir) { fs::copy_file(dir / kImage, dir / "-x.d88"); };
  RunRows(image,
          {{{kImage, "*.BIN", "-l"}, listed({"GAME.BIN"})},
           {{"-l", kImage, "A?B"}, listed({"A*B", "AXB"})},
           {{"-l", kImage, "A\\*B"}, listed({"A*B"})},
           {{"-l", kImage, "[!A-Z]?", "[[]*"}, listed({"[X]", "-K"})},
           {{"-l", kImage, "X", "NONE", "N*", "\\*X"},
            listed({"X", "NOTE.TXT"}),
            "d88unpack: NONE: not found in the image\nd88unpack: \\*X: not found in the image\n"},
           {{"-l", "-d1", kImage, "NONE"},
            "[Disk B]\n",
            "d88unpack: NONE: not found on the disks chosen\n"},
           {{"-l", kImage, "--", "-K"}, listed({"-K"})},
           {{"-l", "--", "-x.d88", "X"}, listed({"X"}), "", dashed, dash},
           {{"-l", "./-x.d88", "X"}, listed({"X"}), "", dashed, dash},
           // As many names as the tool takes.
           {Args({"-l", kImage}, std::vector<std::string>(4096, "X")), listed({"X"})},
           // Letters in either case.
           {{"-l", "-i", kImage, "game.*", "[a-c]x?"}, listed({"AXB", "GAME.BIN"})},
           {{"-l", "--ignore-case", kImage, "note.TXT"}, listed({"NOTE.TXT"})},
           {{"-l", kImage, "game.*"}, "[Disk B]\n", "d88unpack: game.*: not found in the image\n"},
           // A second image given by mistake is most likely a file.
           {{"-l", kImage, "--", "-x.d88"},
            "[Disk B]\n",
            "d88unpack: -x.d88: not found in the image (it names a file: one run reads one image, "
            "and the names after it choose its files)\n",
            dashed,
            dash},
           // A folder is no image.
           {{"-l", kImage, "sub"},
            "[Disk B]\n",
            "d88unpack: sub: not found in the image\n",
            {{"sub/", {}}},
            [](const fs::path& dir) { fs::create_directory(dir / "sub"); }},
           {{kImage, "NOTE.TXT", "?AME.*"},
            listed({"GAME.BIN", "NOTE.TXT"}),
            "",
            {{"GAME.BIN", TextBytes("GAME.BIN")}, {"NOTE.TXT", TextBytes("NOTE.TXT")}}}});

  // Two code page 932 characters whose bytes would be one UTF-8 character:
  // without -u a character is a byte (on Windows, a character of code page
  // 932).
  RunRows(ImageOf({DataDisk(1, {File("\xC3\xA9", "", 0, TextBytes("k"))})}),
          {{{"-l", kImage, "??"}, "[Disk B]\n" + ListingLine("\xC3\xA9", 0, 1)}});
}

TEST(Options, TakenNamesAreReplacedKeptOrSkipped) {
  const Tree first = {{"GAME.BIN", TextBytes("game b")}};
  RunRows(kSample,
          // A file written earlier in the run is replaced with a note, which
          // is no failure; other files are replaced without a word.
          {{{kImage}, kAll, kReplaced, kAllFiles, FileAt("README", "old")},
           {{"--skip-old-files", kImage}, kAll, "", Merge(kAllFiles, first)},
           {{"--skip-old-files", "-d", "2", kImage},
            kDisk2,
            "",
            {{"GAME.BIN", TextBytes("game c")}, {"NOTE.TXT", TextBytes("old")}},
            FileAt("NOTE.TXT", "old")},
           {{"-k", kImage},
            kAll,
            Says({1, "B", "GAME.BIN", Why::kKeptOld}) + Says({2, "C", "GAME.BIN", Why::kKeptOld}),
            Merge(kAllFiles, first)},
           {{"--keep-old-files", "-d", "2", kImage},
            kDisk2,
            Says({2, "C", "NOTE.TXT", Why::kKeptOld}),
            {{"GAME.BIN", TextBytes("game c")}, {"NOTE.TXT", TextBytes("old")}},
            FileAt("NOTE.TXT", "old")},
           {{"-k", "-D", kImage},
            kAll,
            Says({1, "B", "GAME.BIN", Why::kKeptOld}),
            In("disk01", Merge(kFiles1, first), In("disk02", kFiles2, In("disk03", kFiles3)))}});
}

TEST(Options, ToStdoutPassesTheDataAsItIs) {
  // In listing order, whatever the order of the names, and byte for byte:
  // CR, LF and 0x1A too, also on Windows.
  RunRows(kSample, {{{"-O", kImage}, "game b" + kReadme + "again" + "game c" + "note" + kIplData},
                    {{"--to-stdout", "-D", "-k", "-C", "no", kImage, "IPL.SYS", "README"},
                     kReadme + kIplData}});
  // No name is screened; a negative size gives nothing, and a file cut short
  // what the image holds of it.
  // TAIL's last bytes are the directory's.
  const Bytes tail = LayoutDiskBytes(OffTheEnd());
  const Bytes cut = Pattern(5116);
  RunRows(Damaged(),
          {{{"-O", "-d", "1", kImage}, "okx", Says({1, "B", "NEG", Why::kEndBelowStart})},
           {{"-O", "-d", "2", "-d", "3", kImage},
            "pppppp" + std::string(tail.end() - 36866, tail.end()) +
                std::string(cut.begin(), cut.end()),
            Says({2, "\\x00", "TAIL", Why::kTruncated, 36866, 40000}) +
                Says({2, "\\x00", "GONE", Why::kHeaderPastTheEnd}) +
                Says({3, "D", "CUT", Why::kDataMissing, 5116, 6000, 5}) +
                Says({3, "D", "LOST", Why::kRecordMissing, 0, 0, 5})}});
  // The image is cut after disk 1 while the tool is held writing its data:
  // disk 2, found when the image was opened, can no longer be read (its
  // header lies far past disk 1's last sector, which the tool read last).
  if (ToolIsWindows()) return;
  const Bytes big = Pattern(60000, 3);
  Disk first = MakeLayoutDisk(DataDisk(1, {File("BIG", "", 0, big), File("BIG2", "", 0, big)}));
  first.tail = Bytes(100000, 0);
  const Bytes one = BuildImage({first});
  auto folder = std::make_shared<fs::path>();
  RunOptions held;
  held.whileHeld = [folder, &one] { fs::resize_file(*folder / kImage, one.size()); };
  RunRows(Concat(one, ImageOf({DataDisk(2, {})})),
          {{{"-O", kImage},
            std::string(big.begin(), big.end()) + std::string(big.begin(), big.end()),
            DiskLine(2, "its header can no longer be read; the image changed while it was read"),
            {{kImage, one}},
            [folder](const fs::path& dir) { *folder = dir; },
            held}});
}

TEST(Options, SalvageStepsOverADamagedSectorHeader) {
  // A's record fills track 0 up into sector 4, where BIG's record header
  // lies; BIG runs on to track 4. Each row zeroes the headers named.
  const LayoutDisk files =
      DataDisk(1, {File("A", "", 0, Pattern(3500, 1)), File("BIG", "", 0x100, Pattern(20000, 3))});
  const auto zeroed = [&files](std::vector<std::pair<int, int>> headers) {
    Disk disk = MakeLayoutDisk(files);
    for (const auto& [track, sector] : headers) {
      Sector& damaged = disk.tracks.at(track).sectors.at(static_cast<std::size_t>(sector - 1));
      damaged = Sector{0, 0, 0, 0, 0, 0, damaged.data};
    }
    return BuildImage({disk});
  };
  const std::string listing =
      "[Disk B]\n" + ListingLine("A", 0, 3500) + ListingLine("BIG", 0x100, 0x100 + 20000);
  const Tree both = {{"A", Pattern(3500, 1)}, {"BIG", Pattern(20000, 3)}};
  // Without stepping, track 0 ends at sector 3: A's last 432 bytes are
  // lost, and BIG with its record header.
  const std::string lost = ListingLine("BIG", 0, 0);
  const std::string bigLost = Says({1, "B", "BIG", Why::kRecordMissing, 0, 0, 3});
  Bytes cutA = Pattern(3500, 1);
  cutA.resize(3068);
  Bytes zerosA = cutA;
  zerosA.resize(3500, 0);
  const std::string stepped =
      DiskLine(1,
               "the header of track 0 sector 4 is damaged; its data was taken from where the "
               "layout puts it");
  RunRows(
      zeroed({{0, 4}}),
      {{{kImage},
        "[Disk B]\n" + ListingLine("A", 0, 3500) + lost,
        Says({1, "B", "A", Why::kDataMissing, 3068, 3500, 3}) + bigLost,
        {{"A", cutA}}},
       {{"--salvage", kImage}, listing, stepped, both},
       {{"--salvage", "--json", kImage, "A"},
        R"json({"type":"disk","image":"disk.d88","member":null,"disk":1,"number":1,"letter":"B","label":"","label_bytes":"","write_protected":false,"media":0,"directory":true,"reason":"the header of track 0 sector 4 is damaged; its data was taken from where the layout puts it","free_bytes":401408,"free_entries":253,"fill":0,"directory_fill":null,"system_area":null}
{"type":"file","image":"disk.d88","member":null,"disk":1,"name":"A","name_bytes":"41","size":3500,"start":0,"end":3500,"allocation":3504,"status":"written","path":"A"}
)json",
        stepped,
        {{"A", Pattern(3500, 1)}}}});
  // The last sector of a track: the next track stands right after its data.
  // The first sector of a track: the search gives up at once.
  RunRows(zeroed({{0, 4}, {1, 1}, {2, 5}}),
          {{{"--salvage", kImage},
            listing,
            DiskLine(1,
                     "3 sector headers are damaged, from track 0 sector 4 to track 2 sector 5; "
                     "their data was taken from where the layout puts it"),
            both}});
  // The last sector of the disk, where the directory lies: the disk ends
  // right after its data.
  RunRows(zeroed({{83, 5}}),
          {{{kImage}, "", DiskLine(1, DirectoryLacking(5))},
           {{"--salvage", kImage},
            listing,
            DiskLine(1,
                     "the header of track 83 sector 5 is damaged; its data was taken from "
                     "where the layout puts it"),
            both}});
  // Two damaged headers in a row: where the next sector lies cannot be told.
  RunRows(zeroed({{0, 4}, {0, 5}}), {{{"--salvage", kImage},
                                      "[Disk B]\n" + ListingLine("A", 0, 3500) + lost,
                                      Says({1, "B", "A", Why::kSalvaged, 432, 3500, 3}) + bigLost,
                                      {{"A", zerosA}}}});
}

TEST(Options, SalvageWritesZerosForWhatTheImageLacks) {
  // Disk 3's CUT lacks its last 884 bytes, all in track 1 sector 1; LOST's
  // record header is lacking too, and so has no size to salvage. BIG runs
  // over track 1's first three sectors, of which the image lacks two.
  Bytes salvaged = Pattern(5116);
  salvaged.resize(6000, 0);
  Disk gaps = MakeLayoutDisk(DataDisk(5, {File("BIG", "", 0, Pattern(9000, 4))}));
  gaps.tracks.at(1).sectors.erase(gaps.tracks.at(1).sectors.begin(),
                                  gaps.tracks.at(1).sectors.begin() + 2);
  Bytes big = Pattern(9000, 4);
  std::fill(big.begin() + 5116, big.begin() + 5116 + 2048, 0);
  const std::string bigLine =
      "d88unpack: disk.d88: disk 1 (F): \"BIG\": salvaged: 2048 of 9000 bytes written as zeros, "
      "where the image does not hold 2 sectors in full, from track 1 sector 1 to track 1 sector "
      "2\n";
  const std::string cutLines = Says({3, "D", "CUT", Why::kSalvaged, 884, 6000, 5}) +
                               Says({3, "D", "LOST", Why::kRecordMissing, 0, 0, 5});
  const std::string bytes(salvaged.begin(), salvaged.end());
  RunRows(
      Damaged(),
      {{{"--salvage", "-d", "3", kImage},
        "[Disk D]\n" + ListingLine("CUT", 0, 6000) + ListingLine("LOST", 0, 0),
        cutLines,
        {{"CUT", salvaged}}},
       {{"-O", "--salvage", "-d", "3", kImage}, bytes, cutLines},
       {{"--json", "--salvage", "-d", "3", kImage, "CUT"},
        R"json({"type":"disk","image":"disk.d88","member":null,"disk":3,"number":3,"letter":"D","label":"","label_bytes":"","write_protected":false,"media":0,"directory":true,"free_bytes":418816,"free_entries":253,"fill":0,"directory_fill":null,"system_area":null}
{"type":"file","image":"disk.d88","member":null,"disk":3,"name":"CUT","name_bytes":"435554","size":6000,"start":0,"end":6000,"allocation":6004,"status":"salvaged","reason":"884 of 6000 bytes written as zeros, where the image does not hold track 1 sector 1 in full","path":"CUT"}
)json",
        Says({3, "D", "CUT", Why::kSalvaged, 884, 6000, 5}),
        {{"CUT", salvaged}}}});
  // TAIL runs past the end of disk 2, the image lacking the first sector
  // of the last track besides. Zeros stand for that sector, not for what
  // lies past the end.
  Disk tail = MakeLayoutDisk(OffTheEnd());
  tail.tracks.at(83).sectors.erase(tail.tracks.at(83).sectors.begin());
  const Bytes layout = LayoutDiskBytes(OffTheEnd());
  Bytes tailBytes(layout.end() - 36866, layout.end());  // its last bytes are the directory's
  std::fill(tailBytes.end() - 5120, tailBytes.end() - 4096, 0);
  RunRows(BuildImage({tail}),
          {{{"--salvage", kImage, "TAIL"},
            std::string("[Disk \0]\n", 9) + ListingLine("TAIL", 0, 40000),
            "d88unpack: disk.d88: disk 1 (\\x00): \"TAIL\": salvaged: 1024 of 36866 bytes written "
            "as zeros, where the image does not hold track 83 sector 1 in full; its data runs "
            "past the end of the disk, 36866 of 40000 bytes written\n",
            {{"TAIL", tailBytes}}}});
  RunRows(BuildImage({gaps}), {{{"--salvage", kImage},
                                "[Disk F]\n" + ListingLine("BIG", 0, 9000),
                                bigLine,
                                {{"BIG", big}}}});
  // The first sector of the disk holds its first 100 bytes only, and the
  // second is lacking: the zeros begin in the first.
  Disk first = MakeLayoutDisk(DataDisk(5, {File("BIG", "", 0, Pattern(3000, 4))}));
  first.tracks.at(0).sectors.at(0).data.resize(100);
  first.tracks.at(0).sectors.erase(first.tracks.at(0).sectors.begin() + 1);
  Bytes head = Pattern(3000, 4);
  std::fill(head.begin() + 96, head.begin() + 2044, 0);
  RunRows(BuildImage({first}),
          {{{"--salvage", kImage},
            "[Disk F]\n" + ListingLine("BIG", 0, 3000),
            "d88unpack: disk.d88: disk 1 (F): \"BIG\": salvaged: 1948 of 3000 bytes written as "
            "zeros, where the image does not hold 2 sectors in full, from track 0 sector 1 to "
            "track 0 sector 2\n",
            {{"BIG", head}}}});
}

TEST(Options, DiskFoldersKeepTheDisksApart) {
  const Tree folders = In("disk01", kFiles1, In("disk02", kFiles2, In("disk03", kFiles3)));
  // Disk 1's own two files of one name still meet.
  const std::string again = Says({1, "B", "GAME.BIN", Why::kReplacesOfThisDisk});
  std::vector<Row> rows = {
      {{"-D", kImage}, kAll, again, folders},
      {{"-C", "out", "--disk-folders", kImage}, kAll, again, In("out", folders), Folder("out")},
      // A disk's folder is made only when one of its files is written.
      {{"-D", kImage, "NOTE.TXT"},
       "[Disk B]\n[Disk C]\n" + ListingLine("NOTE.TXT", 0, 4) + "[Disk A]\n",
       "",
       In("disk02", {{"NOTE.TXT", TextBytes("note")}})},
      {{"-D", kImage},
       kAll,
       again + Says({2, "C", "GAME.BIN", Why::kNotAFolder, 2}) +
           Says({2, "C", "NOTE.TXT", Why::kNotAFolder, 2}),
       In("disk01", kFiles1, In("disk03", kFiles3, {{"disk02", TextBytes("x")}})),
       FileAt("disk02", "x")}};
  if (!ToolIsWindows()) {
    // A link, even to a folder, is never written through.
    rows.push_back({{"-D", "-d", "3", kImage},
                    kDisk3,
                    Says({3, "A", "IPL.SYS", Why::kNotAFolder, 3}),
                    {{"real/", {}}, {"disk03@", {}}},
                    [](const fs::path& dir) {
                      fs::create_directory(dir / "real");
                      fs::create_directory_symlink("real", dir / "disk03");
                    }});
  }
  RunRows(kSample, rows);
}

// Names in code page 932: half-width katakana, double-byte katakana whose
// trail byte is 0x5C, a hiragana, and a lead byte with nothing after it.
// The disk's label ends in such a byte too.
const std::string kKana = "\xB1\xB2\xB3.\xC3\xDE";
const std::string kSoft = "\x83\x5C\x83\x74\x83\x67.TXT";
Bytes CodePageImage() {
  Disk disk = MakeLayoutDisk(
      DataDisk(1,
               {File("\xB1\xB2\xB3", "\xC3\xDE", 0, TextBytes("k")),
                File("\x83\x5C\x83\x74\x83\x67", "TXT", 0, TextBytes("soft")),
                File("\x82\xA0", "", 0, TextBytes("a")), File("AB\x81", "", 0, TextBytes("bad"))},
               "\x83\x5C\x83\x74\x83\x67\x81"));
  disk.writeProtect = 0x10;
  disk.mediaType = 0x10;
  return BuildImage({disk});
}

// The listing line of `raw` with the name shown as `shown`: the column is
// counted in the name's bytes on the disk.
std::string ShownLine(const std::string& shown, const std::string& raw, int size) {
  return shown + ListingLine(raw, 0, size).substr(raw.size());
}

TEST(Options, Utf8NamesAreConverted) {
  const std::string listing = "[Disk B]\n" + ShownLine(u8"ｱｲｳ.ﾃﾞ", kKana, 1) +
                              ShownLine(u8"ソフト.TXT", kSoft, 4) +
                              ShownLine(u8"あ", "\x82\xA0", 1);
  const bool windows = ToolIsWindows();
  RunRows(CodePageImage(), {{{"-u", kImage},
                             listing + ListingLine("AB\x81", 0, 3),
                             Says({1, "B", "AB\\x81", Why::kNotCodePage932}),
                             {{u8"ｱｲｳ.ﾃﾞ", TextBytes("k")},
                              {u8"ソフト.TXT", TextBytes("soft")},
                              {u8"あ", TextBytes("a")}}},
                            {{"--utf8", "-l", kImage, u8"ソ*", "???.??", "?"}, listing},
                            // Without -u the listing keeps the bytes; Windows matches the
                            // names as Unicode all the same.
                            {{"-l", kImage, u8"ソ*"},
                             "[Disk B]\n" + (windows ? ListingLine(kSoft, 0, 4) : ""),
                             windows ? "" : u8"d88unpack: ソ*: not found in the image\n"}});
}

TEST(Options, JsonDescribesDisksAndEntries) {
  // Disk 2 is only listed: TAIL says nothing of what is missing.
  std::string listed =
      R"({"type":"disk","image":"disk.d88","member":null,"disk":2,"number":191,"letter":"\u0000","label":"","label_bytes":"","write_protected":false,"media":0,"directory":true,"free_bytes":0,"free_entries":247,"fill":0,"directory_fill":0,"system_area":null}
)";
  for (int k = 1; k <= 6; ++k) {
    listed += R"({"type":"file","image":"disk.d88","member":null,"disk":2,"name":"P)" +
              std::to_string(k) + R"(","name_bytes":"503)" + std::to_string(k) +
              R"(","size":1,"start":0,"end":1,"allocation":65535,"status":"listed","path":null})"
              "\n";
  }
  listed +=
      R"({"type":"file","image":"disk.d88","member":null,"disk":2,"name":"TAIL","name_bytes":"5441494c","size":40000,"start":0,"end":40000,"allocation":65535,"status":"listed","path":null}
{"type":"file","image":"disk.d88","member":null,"disk":2,"name":"GONE","name_bytes":"474f4e45","size":null,"start":null,"end":null,"allocation":5,"status":"skipped","reason":"its record header lies past the end of the disk","path":null}
)";
  RunRows(
      Damaged(),
      {{{"--json", "-d", "1", "-d", "3", "-d", "4", kImage},
        R"json({"type":"disk","image":"disk.d88","member":null,"disk":1,"number":1,"letter":"B","label":"","label_bytes":"","write_protected":false,"media":0,"directory":true,"free_bytes":423936,"free_entries":252,"fill":0,"directory_fill":null,"system_area":null}
{"type":"file","image":"disk.d88","member":null,"disk":1,"name":"OK","name_bytes":"4f4b","size":2,"start":256,"end":258,"allocation":6,"status":"written","path":"OK"}
{"type":"file","image":"disk.d88","member":null,"disk":1,"name":"NEG","name_bytes":"4e4547","size":-16,"start":32,"end":16,"allocation":4,"status":"not written","reason":"its end address is below its start address","path":null}
{"type":"file","image":"disk.d88","member":null,"disk":1,"name":"A/B","name_bytes":"412f42","size":1,"start":0,"end":1,"allocation":5,"status":"not written","reason":"the name contains '/'","path":null}
{"type":"disk","image":"disk.d88","member":null,"disk":3,"number":3,"letter":"D","label":"","label_bytes":"","write_protected":false,"media":0,"directory":true,"free_bytes":418816,"free_entries":253,"fill":0,"directory_fill":null,"system_area":null}
{"type":"file","image":"disk.d88","member":null,"disk":3,"name":"CUT","name_bytes":"435554","size":6000,"start":0,"end":6000,"allocation":6004,"status":"truncated","reason":"its data runs into track 1 sector 1, which the image does not hold in full; 5116 of 6000 bytes written","path":"CUT"}
{"type":"file","image":"disk.d88","member":null,"disk":3,"name":"LOST","name_bytes":"4c4f5354","size":0,"start":0,"end":0,"allocation":8,"status":"not written","reason":"its record header lies in track 1 sector 1, which the image does not hold in full","path":null}
{"type":"disk","image":"disk.d88","member":null,"disk":4,"number":null,"letter":null,"label":"","label_bytes":"","write_protected":false,"media":0,"directory":false,"reason":"no directory: the disk is blank (it has no tracks)","free_bytes":null,"free_entries":null,"fill":null,"directory_fill":null,"system_area":null}
)json",
        Says({1, "B", "NEG", Why::kEndBelowStart}) + Says({1, "B", "A/B", Why::kSlash}) +
            Says({3, "D", "CUT", Why::kDataMissing, 5116, 6000, 5}) +
            Says({3, "D", "LOST", Why::kRecordMissing, 0, 0, 5}) + kNoDirectoryOn4,
        {{"OK", TextBytes("ok")}, {"CUT", Pattern(5116)}}},
       {{"--json", "-l", "-d", "2", kImage},
        listed,
        Says({2, "\\x00", "TAIL", Why::kTruncatedListed, 36866, 40000}) +
            Says({2, "\\x00", "GONE", Why::kHeaderPastTheEnd})}});
  // The label and the names are decoded from code page 932, with U+FFFD for
  // each byte it does not define.
  RunRows(
      CodePageImage(),
      {{{"--json", "-l", kImage, "AB*"},
        u8R"({"type":"disk","image":"disk.d88","member":null,"disk":1,"number":1,"letter":"B","label":"ソフト�","label_bytes":"835c8374836781","write_protected":true,"media":16,"directory":true,"free_bytes":423936,"free_entries":251,"fill":0,"directory_fill":null,"system_area":null}
{"type":"file","image":"disk.d88","member":null,"disk":1,"name":"AB�","name_bytes":"414281","size":3,"start":0,"end":3,"allocation":7,"status":"listed","path":null}
)"}});
  // A label of all 16 bytes, with no NUL; the header's next byte is not
  // part of it.
  Bytes label = BuildImage({MakeLayoutDisk(DataDisk(1, {}, "LABEL OF 16 BYTE"))});
  label[16] = 0xFF;
  RunRows(
      label,
      {{{"--json", kImage},
        R"({"type":"disk","image":"disk.d88","member":null,"disk":1,"number":1,"letter":"B","label":"LABEL OF 16 BYTE","label_bytes":"4c4142454c204f462031362042595445","write_protected":false,"media":0,"directory":true,"free_bytes":424960,"free_entries":255,"fill":0,"directory_fill":null,"system_area":null}
)"}});
  // The image's path as UTF-8 text, a byte that is none as U+FFFD (a POSIX
  // path: Windows paths are UTF-16 already).
  if (ToolIsWindows()) return;
  const std::string path = "d\xC3\xA9\xFF\x80.d88";
  RunRows(
      label,
      {{{"--json", "-l", path},
        "{\"type\":\"disk\",\"image\":\"d\xC3\xA9\xEF\xBF\xBD\xEF\xBF\xBD.d88\"," +
            std::string(
                R"("member":null,"disk":1,"number":1,"letter":"B","label":"LABEL OF 16 BYTE","label_bytes":"4c4142454c204f462031362042595445","write_protected":false,"media":0,"directory":true,"free_bytes":424960,"free_entries":255,"fill":0,"directory_fill":null,"system_area":null}
)"),
        "",
        {{path, label}},
        [path](const fs::path& dir) { fs::copy_file(dir / kImage, dir / path); }}});
}

TEST(Options, HelpAndVersionDoNothingElse) {
  const std::string version = "d88unpack " D88UNPACK_PROJECT_VERSION
                              "\n"
                              "Copyright (c) 2026 the d88unpack authors\n"
                              "License MIT: <https://opensource.org/licenses/MIT>.\n"
                              "This is free software: you are free to change and redistribute it.\n"
                              "There is NO WARRANTY, to the extent permitted by law.\n";
  RunRows(kSample, {{{"-V"}, version}, {{kImage, "--version", "-l"}, version}});
  // The help names every option.
  ScratchDir dir;
  dir.Put(kImage, kSample);
  const ToolRun run = RunTool(dir.path(), {kImage, "-D", "--help"});
  EXPECT_EQ(run.out.rfind(Lines("Usage: d88unpack [OPTION]... IMAGE [NAME]...\n"), 0), 0u);
  for (const char* option :
       {"-l, -t, --list", "-C, --directory=DIR", "-d, --disk=N", "-k, --keep-old-files",
        "--skip-old-files", "-O, --to-stdout", "-D, --disk-folders", "-u, --utf8",
        "-i, --ignore-case", "--salvage", "--json", "-h, --help", "-V, --version"}) {
    EXPECT_NE(run.out.find(option), std::string::npos) << option;
  }
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.status, 0);
  ExpectTreeHolds(dir.path(), {{kImage, kSample}});
}

TEST(Options, AnEmptyImageAndTheMostArguments) {
  RunRows(kSample, {{{""}, "", kCannotOpen + "\nd88unpack: : No such file or directory\n"}});
  // As many arguments as are remembered, the program's name among them,
  // and one more. A Windows command line holds at most 32767 characters,
  // fewer than these arguments take.
  if (ToolIsWindows()) return;
  ScratchDir dir;
  std::vector<std::string> args(32767, "x");
  args[0] = "-l";
  for (const char* problem : {"too many names", "too many arguments"}) {
    const ToolRun run = RunTool(dir.path(), args);
    EXPECT_EQ(run.err, Lines(std::string("d88unpack: ") + problem + "\nUsage: " + run.argv0 +
                             " [OPTION]... IMAGE [NAME]...\nTry 'd88unpack --help' for more "
                             "information.\n"));
    args.push_back("x");
  }
}

}  // namespace
