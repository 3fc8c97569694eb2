// Writes the benchmark's images into a folder:
//
//   many.d88     64 disks of 40 files each (2,560 files, every name distinct),
//                mostly data disks with a system disk every sixteenth disk;
//   hostile.d88  one data disk whose track table points every track at one
//                shared run of 60,000 empty sector headers (sector count
//                0xFFFF, no data), the disk's real sectors after them;
//   hostile-plain.d88  the same disk laid out plainly, which hostile.d88
//                must extract to;
//   clean.d88    ordinary data disks padded to exactly the size of
//                hostile.d88, to compare the two.
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "d88_builder.h"

using namespace d88test;

namespace {

constexpr int kDisks = 64;
constexpr int kFilesPerDisk = 40;
constexpr int kEmptyHeaders = 60000;

// One stem per slot on a disk; the disk's number follows it, so that no two
// files of the image share a name.
const char* const kStems[kFilesPerDisk] = {
    "BOOT", "MAIN", "GAME", "TITL", "MAP", "CHR", "PAT", "SND", "BGM", "SE",
    "MSG",  "TXT",  "SAVE", "CFG",  "LVL", "ENM", "ITM", "FNT", "PAL", "SPR",
    "OPN",  "END",  "MNU",  "SCN",  "EVT", "DAT", "TBL", "LIB", "DRV", "UTL",
    "INI",  "HLP",  "DOC",  "PIC",  "BG",  "OBJ", "VOX", "KNJ", "ROM", "WRK"};
const char* const kExtensions[] = {"BIN", "DAT", "SCR", "TXT", "BAS", "", "CHR", "SYS"};

// A small deterministic generator, so every run writes the same images.
struct Random {
  std::uint32_t state;
  std::uint32_t Next() {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
  }
  int Between(int low, int high) { return low + static_cast<int>(Next() % (high - low + 1)); }
};

Bytes RandomBytes(Random& random, std::size_t length) {
  Bytes out(length);
  for (std::uint8_t& byte : out) byte = static_cast<std::uint8_t>(random.Next() >> 24);
  return out;
}

// Program-like text: lines of a listing, as a disk of the time would hold.
Bytes TextFile(Random& random, std::size_t length) {
  std::string text;
  for (int line = 10; text.size() < length; line += 10) {
    text += std::to_string(line) + " PRINT \"LINE " + std::to_string(random.Between(0, 9999)) +
            "\":GOSUB " + std::to_string(random.Between(100, 9000)) + "\r\n";
  }
  text.resize(length);
  return TextBytes(text);
}

// Disk `index` of the image: 40 files of 1 to 8 KB.
LayoutDisk BenchDisk(int index, bool system) {
  Random random{0x9E3779B9u ^ static_cast<std::uint32_t>(index * 7919 + 1)};
  LayoutDisk disk;
  disk.diskNumber = system ? 0 : 1 + index % 25;
  char diskName[32];
  std::snprintf(diskName, sizeof diskName, "%s%02d", system ? "SYSTEM" : "DATA", index);
  disk.diskName = diskName;
  for (int k = 0; k < kFilesPerDisk; ++k) {
    char name[32];
    std::snprintf(name, sizeof name, "%s%02d", kStems[k], index);
    const char* extension = kExtensions[(k + index) % 8];
    const std::size_t size = static_cast<std::size_t>(random.Between(1024, 8192));
    const std::uint16_t start = static_cast<std::uint16_t>(random.Between(0x10, 0x60) << 8);
    Bytes data = std::string(extension) == "TXT" || std::string(extension) == "BAS"
                     ? TextFile(random, size)
                     : RandomBytes(random, size);
    disk.files.push_back(File(name, extension, start, std::move(data)));
  }
  return disk;
}

bool Write(const std::string& path, const Bytes& bytes) {
  if (WriteBytes(path, bytes)) return true;
  std::fprintf(stderr, "make_bench_images: cannot write %s\n", path.c_str());
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT-FOLDER\n", argc > 0 ? argv[0] : "make_bench_images");
    return 2;
  }
  const std::string folder = argv[1];

  std::vector<LayoutDisk> many;
  for (int i = 0; i < kDisks; ++i) many.push_back(BenchDisk(i, i % 16 == 0));
  if (!Write(folder + "/many.d88", ImageOf(many))) return 1;

  const Bytes hostile = BuildImage({SharedEmptyRunDisk(BenchDisk(kDisks, false), kEmptyHeaders)});
  if (!Write(folder + "/hostile.d88", hostile)) return 1;
  // The same disk laid out plainly: hostile.d88 must extract to the same.
  if (!Write(folder + "/hostile-plain.d88", ImageOf({BenchDisk(kDisks, false)}))) return 1;

  // Three clean disks and a tail on the last one bring the clean image to
  // the hostile one's size.
  std::vector<Disk> clean;
  for (int i = kDisks + 1; i <= kDisks + 3; ++i)
    clean.push_back(MakeLayoutDisk(BenchDisk(i, false)));
  const std::size_t size = BuildImage(clean).size();
  if (size > hostile.size()) {
    std::fprintf(stderr, "make_bench_images: the clean image outgrew the hostile one\n");
    return 1;
  }
  clean.back().tail.assign(hostile.size() - size, 0);
  if (!Write(folder + "/clean.d88", BuildImage(clean))) return 1;

  std::printf("many.d88     %d disks, %d files\n", kDisks, kDisks * kFilesPerDisk);
  std::printf("hostile.d88  %zu bytes\n", hostile.size());
  std::printf("clean.d88    %zu bytes\n", hostile.size());
  return 0;
}
