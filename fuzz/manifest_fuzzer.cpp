// Reads the input as the lines of a manifest and lays the disks it
// describes, as d88pack --from does, each file's data made up from its
// size. A finding, besides the sanitizers': a line taken for a disk or a
// file with values out of their range, or a disk laid whose records do not
// walk back as the files laid.
//
// At most 64 lines of at most kMaxManifestLine bytes are read.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "directory.h"
#include "disk_walk.h"
#include "lay_disk.h"
#include "manifest_line.h"

namespace {

constexpr int kMaxLines = 64;

struct Laid {
  int start;
  int size;
  std::uint8_t seed;
};

DecodedDisk disk;
char text[kMaxManifestLine + 1];
ManifestParseRoom room;
std::uint8_t data[0x10000];

void Check(bool ok) {
  if (ok) return;
  std::fputs("fuzz finding: the manifest's disk was not laid as read\n", stderr);
  std::abort();
}

// The laid disk walks back as laid.
void CheckDisk(int number, const std::vector<Laid>& laid) {
  DiskRecord record{};
  record.finding = DiskFinding::kDirectory;
  const DirectoryInfo directory = ReadDirectory(disk);
  Check(directory.read && directory.diskNumber == number &&
        directory.entryCount == static_cast<int>(laid.size()));
  record.diskNumber = number;
  record.entryCount = directory.entryCount;
  record.dataStart = number == kSystemDiskNumber ? kSystemAreaTracks * kTrackSize : 0;
  EntryWalk walk(disk, record);
  for (EntryRecord entry; walk.Next(entry);) {
    const Laid& file = laid[entry.index - 1];
    Check(entry.problem == EntryProblem::kNone && entry.start == file.start &&
          entry.size == file.size);
    for (int i = 0; i < file.size; ++i) {
      Check(entry.data[i] == static_cast<std::uint8_t>(file.seed + i));
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  static ManifestLine line;
  DiskLayer layer(disk);
  bool inDisk = false;
  int number = 0;
  std::vector<Laid> laid;
  std::size_t at = 0;
  for (int n = 0; n < kMaxLines && at < size; ++n) {
    std::size_t length = 0;
    while (at + length < size && bytes[at + length] != '\n' && length < kMaxManifestLine) {
      ++length;
    }
    std::memcpy(text, bytes + at, length);
    text[length] = 0;
    at += length + 1;
    ParseManifestLine(text, room, line);
    if (line.kind == LineKind::kDisk) {
      if (inDisk) {
        layer.Finish();
        CheckDisk(number, laid);
      }
      inDisk = line.disk.directory;
      if (!inDisk) continue;
      const ManifestDisk& given = line.disk;
      Check(given.number >= 0 && given.number <= 255 && given.labelLength <= 16 &&
            given.fill >= 0 && given.fill <= 255 && given.directoryFill >= 0 &&
            given.directoryFill <= 255 && given.media >= 0 && given.media <= 255);
      DiskLook look{};
      look.number = given.number;
      look.fill = given.fill;
      look.directoryFill = given.directoryFill;
      layer.Begin(look);
      number = given.number;
      laid.clear();
    } else if (line.kind == LineKind::kFile && inDisk && line.file.written) {
      const ManifestFile& given = line.file;
      Check(given.size >= 0 && given.start >= 0 && given.start + given.size <= 0xFFFF &&
            given.allocation >= -1 && given.allocation <= 0xFFFF && given.nameLength <= 15);
      EntryName name;
      if (!ListedEntryName(given.name, given.nameLength, name)) continue;
      const std::uint8_t seed = static_cast<std::uint8_t>(given.start + given.size);
      for (int i = 0; i < given.size; ++i) data[i] = static_cast<std::uint8_t>(seed + i);
      const int allocation = given.allocation < 0 ? kNewAllocation : given.allocation;
      if (layer.Add(name, given.start, data, given.size, allocation) == LayProblem::kNone) {
        laid.push_back({given.start, given.size, seed});
      }
    }
  }
  if (inDisk) {
    layer.Finish();
    CheckDisk(number, laid);
  }
  return 0;
}
