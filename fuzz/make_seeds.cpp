// Writes the seed corpus of the fuzz targets: clean disks, a system disk and
// damaged images, each as one file into EXTRACT_DIR, and the same images with
// a script of reader operations appended into READER_DIR.
//
// Most disks keep only the tracks their files use and the directory track:
// the data-area read then stops at the first missing track, which is itself
// a case worth fuzzing, and keeps the seeds small. One full disk (about
// 437 KB) covers a complete 84-track read.
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "d88_builder.h"
#include "d88_format.h"
#include "reader_script.h"

using namespace d88test;
using d88fuzz::Op;
using d88fuzz::OpKind;

namespace {

// The layout disk with only the listed tracks present.
Disk Trimmed(const LayoutDisk& layout, const std::set<int>& keep) {
  Disk disk = MakeLayoutDisk(layout);
  for (auto it = disk.tracks.begin(); it != disk.tracks.end();) {
    it = keep.count(it->first) != 0 ? std::next(it) : disk.tracks.erase(it);
  }
  return disk;
}

LayoutDisk DataDisk() {
  return d88test::DataDisk(1,
                           {File("GAME", "BIN", 0x1200, Pattern(1500, 1)),
                            File("README", "", 0x0000, TextBytes("Two files and an empty one.\n")),
                            File("EMPTY", "DAT", 0x8000, {})},
                           "DATA");
}

LayoutDisk SystemDisk() {
  return d88test::DataDisk(
      0,
      {File("BOOT", "SYS", 0xC000, Pattern(2048, 7)), File("MONITR", "", 0xE000, Pattern(700, 3))},
      "SYSTEM");
}

Bytes SmallDataImage() {
  return BuildImage({Trimmed(DataDisk(), {0, 83})});
}

Bytes Cut(Bytes bytes, std::size_t size) {
  bytes.resize(size);
  return bytes;
}

struct Seed {
  std::string name;
  Bytes image;
  std::vector<Op> script = {};  // for the reader target; empty: ReaderScript()
};

Op MakeOp(OpKind kind, int a0, int a1, int a2, int a3, int a4, int amount) {
  return Op{kind, {a0, a1, a2, a3, a4}, amount};
}

// A disk whose tracks 0 to 5 share one chain of 48 headers of 128-byte
// sectors (size code 0), drawn from `seed`. The chain is made of blocks that
// each hold sectors 1 and 2 of every track in a shuffled order, and the
// counts are about a block long, so that the count test ends the walks that
// entered at different depths at different headers, some before and some
// after they find what they want. Each track enters at one of the first 12
// headers, often the same one as another track, or at a header hidden in a
// sector's data.
//
// Every sector's data is eight headers of other IDs (size code 1) with no
// data and counts above the chain's length, each leading to the next and the
// last to the next header of the chain: any 16-byte step inside the chain is
// a header, so that moving a track's offset moves its entry, and walks that
// enter through the data meet the others having passed another number of
// headers (or the same, from the data's last header).
Disk SharedChainDisk(std::uint32_t seed) {
  namespace sh = d88::sector_header;
  constexpr int kTracks = 6;
  constexpr int kBlock = 2 * kTracks;
  constexpr int kLinks = 4 * kBlock;
  constexpr int kHidden = 8;
  constexpr int kLink = sh::kSize + kHidden * sh::kSize;
  std::uint32_t state = seed;
  const auto draw = [&state](int bound) {
    state = state * 1103515245u + 12345u;
    return static_cast<int>((state >> 16) % static_cast<std::uint32_t>(bound));
  };
  Disk disk;
  disk.name = "CHAIN";
  std::vector<Sector>& chain = disk.tracks[0].sectors;
  for (int block = 0; block < kLinks / kBlock; ++block) {
    int ids[kBlock];
    for (int i = 0; i < kBlock; ++i) ids[i] = i;
    for (int i = kBlock - 1; i > 0; --i) std::swap(ids[i], ids[draw(i + 1)]);
    for (int id : ids) {
      const int j = static_cast<int>(chain.size());
      Sector sector;
      sector.c = id / 2 / 2;
      sector.h = id / 2 % 2;
      sector.r = 1 + id % 2;
      sector.n = 0;
      const int roll = draw(16);
      sector.countField = roll == 0 ? 0 : roll == 1 ? 0xFFFF : 1 + draw(2 * kBlock);
      sector.data.assign(kHidden * sh::kSize, 0);
      for (int i = 0; i < kHidden; ++i) {
        std::uint8_t* header = sector.data.data() + i * sh::kSize;
        header[sh::kCylinderOffset] = static_cast<std::uint8_t>(j);
        header[sh::kHeadOffset] = static_cast<std::uint8_t>(i);
        header[sh::kRecordOffset] = static_cast<std::uint8_t>(1 + i % 2);
        header[sh::kSizeCodeOffset] = 1;
        d88::PutLittle16(header + sh::kSectorCountOffset, 0x100);
      }
      chain.push_back(sector);
    }
  }
  for (int t = 0; t < kTracks; ++t) {
    const int entry = draw(12);
    const int hidden = draw(3) == 0 ? draw(kHidden) : -1;
    const int at = entry * kLink + (hidden < 0 ? 0 : sh::kSize + hidden * sh::kSize);
    disk.trackOffsetOverrides[t] = static_cast<std::uint32_t>(d88::disk_header::kSize + at);
  }
  return disk;
}

// Runs over the tracks of a shared chain under several sector ranges: from
// each of the first tracks to the last, and over each pair of neighbours.
std::vector<Op> SharedChainScript() {
  std::vector<Op> ops = {MakeOp(OpKind::kSelect, 0, 0, 0, 0, 0, 0)};
  const int ranges[][2] = {{1, 2}, {1, 1}, {2, 2}};
  for (const auto& range : ranges) {
    ops.push_back(MakeOp(OpKind::kRange, range[0], range[1], 0, 0, 0, 0));
    const int perTrack = range[1] - range[0] + 1;
    for (int track : {0, 1, 2}) {
      ops.push_back(MakeOp(OpKind::kReadSectors, track, track / 2, track % 2, range[0], 0,
                           (6 - track) * perTrack * 128 - 40));
    }
  }
  for (int track = 1; track < 5; ++track) {
    ops.push_back(MakeOp(OpKind::kReadSectors, track, track / 2, track % 2, 2, 0, 256));
  }
  return ops;
}

std::vector<Seed> Seeds() {
  std::vector<Seed> seeds;
  const Bytes small = SmallDataImage();
  seeds.push_back({"data_disk", small});
  seeds.push_back({"system_disk", BuildImage({Trimmed(SystemDisk(), {0, 1, 2, 83})})});
  seeds.push_back({"system_and_data", BuildImage({Trimmed(SystemDisk(), {0, 1, 2, 83}),
                                                  Trimmed(DataDisk(), {0, 83})})});

  // A whole disk: a file across track boundaries, a jump by a long
  // allocation, and a file in the last tracks before the directory.
  LayoutDisk full = DataDisk();
  full.files.push_back(File("LONG", "DAT", 0x0100, Pattern(30000, 9)));
  for (int i = 0; i < 5; ++i) {
    full.files.push_back(File("JUMP", "", 0, {}, 0xFFFF));
  }
  full.files.push_back(File("LATE", "", 0x2000, Pattern(2000, 5)));
  seeds.push_back({"full_disk", BuildImage({MakeLayoutDisk(full)})});

  // Cut off: inside the disk header, inside a sector header of the directory
  // track, inside the directory's last sector; and an empty file.
  seeds.push_back({"cut_in_header", Cut(small, 500)});
  seeds.push_back({"cut_in_sector_header",
                   Cut(small, small.size() - 5 * (d88::sector_header::kSize + 1024) + 8)});
  seeds.push_back({"cut_in_directory", Cut(small, small.size() - 100)});
  seeds.push_back({"empty_file", {}});

  // A disk whose size field is 0, which ends the scan.
  Disk zeroSize = Trimmed(DataDisk(), {0, 83});
  zeroSize.sizeField = 0;
  seeds.push_back({"size_zero", BuildImage({zeroSize})});

  // More disks than the table holds, each a bare header.
  std::vector<Disk> bare(66);
  for (Disk& disk : bare) disk.name = "BARE";
  seeds.push_back({"many_disks", BuildImage(bare)});

  // Track offsets: past the disk's size, into the middle of a sector, and
  // exactly at the disk's end.
  Disk badOffsets = Trimmed(DataDisk(), {0, 83});
  badOffsets.trackOffsetOverrides[0] = d88::disk_header::kSize + 100;
  badOffsets.trackOffsetOverrides[83] = 0x7FFFFFF0;
  badOffsets.trackOffsetOverrides[1] = static_cast<std::uint32_t>(BuildDisk(badOffsets).size());
  seeds.push_back({"bad_track_offsets", BuildImage({badOffsets})});

  // Sector counts of 0 on the directory track, and a track that starts with
  // a run of empty headers whose count is 0xFFFF.
  Disk countZero = Trimmed(DataDisk(), {0, 83});
  for (Sector& sector : countZero.tracks[83].sectors) sector.countField = 0;
  seeds.push_back({"sector_count_zero", BuildImage({countZero})});
  Disk emptyRun = Trimmed(DataDisk(), {0, 83});
  for (int t : {0, 83}) {
    std::vector<Sector>& sectors = emptyRun.tracks[t].sectors;
    std::vector<Sector> run(200);
    for (Sector& empty : run) {
      empty.r = 0;
      empty.countField = 0xFFFF;
    }
    sectors.insert(sectors.begin(), run.begin(), run.end());
  }
  seeds.push_back({"empty_header_run", BuildImage({emptyRun})});

  // Sectors out of order, a duplicate ID (the first wins) and a short one.
  Disk shuffled = Trimmed(DataDisk(), {0, 83});
  std::vector<Sector>& track0 = shuffled.tracks[0].sectors;
  std::swap(track0[0], track0[3]);
  track0.push_back(FilledSector(0, 0, 2, 3, 0xEE));
  shuffled.tracks[83].sectors[2].lengthField = 512;
  seeds.push_back({"shuffled_sectors", BuildImage({shuffled})});

  // Directory damage: allocation lengths that run past the disk, an end
  // address below the start, 255 entries and disk number 191.
  LayoutDisk overlong = DataDisk();
  for (int i = 0; i < 8; ++i) {
    overlong.files.push_back(File("FAR" + std::to_string(i), "", 0x100, Pattern(8), 0xFFFF));
  }
  seeds.push_back({"overlong_allocation", BuildImage({Trimmed(overlong, {0, 83})})});
  LayoutDisk backwards = DataDisk();
  backwards.files[0].end = 0x1000;
  backwards.files[1].allocation = 0;
  seeds.push_back({"end_before_start", BuildImage({Trimmed(backwards, {0, 83})})});
  LayoutDisk crowded = DataDisk();
  crowded.diskNumber = 191;
  crowded.entryCountField = 255;
  seeds.push_back({"crowded_directory", BuildImage({Trimmed(crowded, {0, 83})})});

  // Names that must not be written as they stand: separators, dot names, an
  // empty name, a NUL, high bytes, and the image's own name.
  LayoutDisk names = DataDisk();
  names.files = {
      File("A/B", "", 0x100, Pattern(4)),
      File("..", "", 0x100, Pattern(4)),
      File(".", "", 0x100, Pattern(4)),
      File("", "", 0x100, Pattern(4)),
      File("../X", "", 0x100, Pattern(4)),
      File("/", "", 0x100, Pattern(4)),
      File(std::string("N\0L", 3), "", 0x100, Pattern(4)),
      File("\x83\x74\x83\x40", "", 0x100, Pattern(4)),
      File("IMAGE", "D88", 0x100, Pattern(4)),
  };
  seeds.push_back({"hostile_names", BuildImage({Trimmed(names, {0, 83})})});

  // The names of the traps the extraction target lays in its folder: links,
  // a hard link, a FIFO, a folder and links to the image. The same disk
  // twice, so that each name is taken again by a file of this run.
  LayoutDisk traps = DataDisk();
  traps.files.clear();
  for (const char* trap : {"LINK", "DANGLE", "HARD", "FIFO", "DIR", "IMG", "IMGLNK"}) {
    traps.files.push_back(File(trap, "", 0x100, Pattern(6)));
  }
  seeds.push_back({"trap_names", BuildImage({Trimmed(traps, {0, 83}), Trimmed(traps, {0, 83})})});

  // Tracks that share one chain of headers at different depths: chains
  // picked among many for runs that read far across their tracks.
  for (std::uint32_t chainSeed : {901u, 1318u, 2038u}) {
    seeds.push_back({"shared_chain_" + std::to_string(chainSeed),
                     BuildImage({SharedChainDisk(chainSeed)}), SharedChainScript()});
  }
  return seeds;
}

// What the reader target does with a seed: the disk loop's own calls, a
// listing of IDs, single-sector reads and a few calls at the edges.
std::vector<Op> ReaderScript() {
  return {
      MakeOp(OpKind::kSelect, 0, 0, 0, 0, 0, 0),
      MakeOp(OpKind::kRange, 1, 5, 0, 0, 0, 0),
      MakeOp(OpKind::kReadSectors, 83, 41, 1, 1, 3, 5120),
      MakeOp(OpKind::kReadSectorIds, 83, 0, 0, 0, 0, 64),
      MakeOp(OpKind::kReadSectors, 0, 0, 0, 1, 3, d88fuzz::kWholeDisk),
      MakeOp(OpKind::kReadEachSector, 0, 0, 0, 1, 3, d88fuzz::kWholeDisk),
      MakeOp(OpKind::kReadSector, 0, 0, 0, 3, 3, 1000),
      MakeOp(OpKind::kReadSectors, 0, 0, 0, 4, 3, 3000),
      MakeOp(OpKind::kReadSectorIds, 0, 0, 0, 0, 0, 6),
      MakeOp(OpKind::kRange, 1, 16, 0, 0, 0, 0),
      MakeOp(OpKind::kReadSectors, 2, 1, 0, 1, 3, 2048),
      MakeOp(OpKind::kReadSector, 164, 0, 0, 1, 3, 1024),
      MakeOp(OpKind::kReadSectors, 0, 0, 0, 1, 25, 1024),
      MakeOp(OpKind::kSelect, 1, 0, 0, 0, 0, 0),
      MakeOp(OpKind::kReadSector, 83, 41, 1, 5, 3, 1024),
      MakeOp(OpKind::kSelect, -1, 0, 0, 0, 0, 0),
      MakeOp(OpKind::kReadSector, 0, 0, 0, 1, 3, 1024),
  };
}

}  // namespace

// The writer target's inputs: a script that puts, replaces and deletes, on
// a new disk or before a whole disk of the layout, which the writer takes.
bool WritePackSeeds(const std::string& folder) {
  const Bytes ops = {0, 0, 5, 0xDC, 0x12, 0, 0xAA, 0, 1, 0, 0x10, 0, 0, 0xBB,
                     0, 0, 0, 0x20, 0x80, 0, 0xCC, 1, 1, 0, 0,    0, 0, 0};
  const std::pair<std::string, Bytes> seeds[] = {{"new_data", {1, 1, 4}},
                                                 {"new_system", {1, 0, 4}},
                                                 {"data", ImageOf({DataDisk()})},
                                                 {"system", ImageOf({SystemDisk()})}};
  for (const auto& [name, image] : seeds) {
    Bytes input = image.size() == 3 ? image : Bytes{0, 0, 4};
    input.insert(input.end(), ops.begin(), ops.end());
    if (image.size() != 3) input.insert(input.end(), image.begin(), image.end());
    if (!WriteBytes(folder + "/" + name, input)) return false;
  }
  return true;
}

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: %s EXTRACT_DIR READER_DIR [PACK_DIR]\n",
                 argc > 0 ? argv[0] : "make_seeds");
    return 2;
  }
  if (argc == 4 && !WritePackSeeds(argv[3])) {
    std::fprintf(stderr, "%s: cannot write the writer's seeds\n", argv[0]);
    return 1;
  }
  const std::vector<Op> script = ReaderScript();
  for (const Seed& seed : Seeds()) {
    const std::string extract = std::string(argv[1]) + "/" + seed.name;
    const std::string reader = std::string(argv[2]) + "/" + seed.name;
    if (!WriteBytes(extract, seed.image) ||
        !WriteBytes(reader,
                    d88fuzz::JoinInput(seed.image, seed.script.empty() ? script : seed.script))) {
      std::fprintf(stderr, "%s: cannot write %s\n", argv[0], seed.name.c_str());
      return 1;
    }
  }
  return 0;
}
