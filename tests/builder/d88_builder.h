// Builds D88 images from a readable description, for the tests, the fuzzers'
// seeds, the benchmark and the demo's sample image. Needs no test framework.
//
// Two levels: a container level (disks, tracks and sectors with every header
// field open to override, for damaged images) and a layout level (a disk of
// the layout the tools read and write, described by its disk number and
// files).
#ifndef D88UNPACK_TESTS_BUILDER_D88_BUILDER_H
#define D88UNPACK_TESTS_BUILDER_D88_BUILDER_H

#include <cstdint>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace d88test {

using Bytes = std::vector<std::uint8_t>;

// One sector: its ID, its header's count and length fields, and its data.
struct Sector {
  int c = 0;
  int h = 0;
  int r = 1;
  int n = 3;
  std::optional<int> countField;   // default: the number of sectors in its track
  std::optional<int> lengthField;  // default: data.size()
  Bytes data;                      // written as it stands after the header
};

struct Track {
  std::vector<Sector> sectors;  // in recording order
};

struct Disk {
  std::string name;                                   // up to 16 bytes, NUL-padded
  std::uint8_t writeProtect = 0x00;                   // 0x10: write-protected
  std::uint8_t mediaType = 0x00;                      // 0x00 is 2D
  std::optional<std::uint32_t> sizeField;             // default: the disk's real size
  std::map<int, Track> tracks;                        // by track index 0 to 163
  std::map<int, std::uint32_t> trackOffsetOverrides;  // replaces computed table entries
  Bytes tail;  // extra bytes after the last track, counted in the size
};

// The bytes of one disk, header first, tracks in index order.
Bytes BuildDisk(const Disk& disk);

// The bytes of an image: the disks laid end to end.
Bytes BuildImage(const std::vector<Disk>& disks);

// A one-disk image as images in common use that keep 160 track offsets
// hold it: its first track `cut` bytes earlier, at 0x2A0 (or, cut further,
// inside the table).
Bytes Table160(Bytes bytes, int cut = 16);

// A sector of the size its code gives (128 << n), filled with `fill`.
Sector FilledSector(int c, int h, int r, int n, std::uint8_t fill);

// Bytes 0, 1, 2, ... wrapping at 251, so that misplaced data shows.
Bytes Pattern(std::size_t length, std::uint8_t seed = 0);

Bytes TextBytes(const std::string& text);

// The parts one after another: bytes, or files of a disk.
template <typename T, typename... Rest>
std::vector<T> Concat(std::vector<T> first, const Rest&... rest) {
  (first.insert(first.end(), std::begin(rest), std::end(rest)), ...);
  return first;
}

// --- The disk layout: 84 tracks of five 1024-byte sectors. ---

struct LayoutFile {
  std::string name;       // raw bytes, space-padded to 6 (longer is cut)
  std::string extension;  // raw bytes, space-padded to 3 (longer is cut)
  std::uint16_t start = 0;
  std::optional<std::uint16_t> end;  // default: start + data.size()
  Bytes data;
  std::optional<std::uint16_t> allocation;  // default: 4 + data.size()
};

struct LayoutDisk {
  int diskNumber = 1;  // 0 is the system disk, whose data area starts at track 2
  std::vector<LayoutFile> files;
  std::optional<int> entryCountField;  // default: files.size()
  std::string diskName;
};

// The 430080 bytes of the disk as the tool reads them: track t at t * 5120,
// the records packed from the start of the data area, and the directory
// written backwards at the end of track 83.
Bytes LayoutDiskBytes(const LayoutDisk& layout);

// The same disk as a D88 disk: tracks in index order, sectors 1 to 5 of
// 1024 bytes each; on the system disk, tracks 0 and 1 hold sixteen 256-byte
// sectors instead.
Disk MakeLayoutDisk(const LayoutDisk& layout);

// A file of the layout: its name and extension as raw bytes, its start
// address and its data; the end address and the allocation length follow
// from the data unless an allocation length is given.
LayoutFile File(const std::string& name, const std::string& extension, std::uint16_t start,
                Bytes data);
LayoutFile File(const std::string& name, const std::string& extension, std::uint16_t start,
                Bytes data, std::uint16_t allocation);

// A disk of the layout with the given disk number (0 is the system disk) and
// files, and the name in its D88 header.
LayoutDisk DataDisk(int number, std::vector<LayoutFile> files, std::string diskName = "");

// An image of disks of the layout, laid out plainly, in the given order.
Bytes ImageOf(const std::vector<LayoutDisk>& layouts);

// A hostile disk that extracts to what `layout` gives: every track of its
// table points at one shared run of `emptyHeaders` sector headers that match
// no sector (sector count 0xFFFF, no data), after which all the disk's
// sectors stand in track order, each with a count of 0xFFFF as well. Any
// sector search walks the whole run first.
Disk SharedEmptyRunDisk(const LayoutDisk& layout, int emptyHeaders);

// Writes bytes to a file; returns false on failure.
bool WriteBytes(const std::string& path, const Bytes& bytes);
Bytes ReadBytes(const std::string& path);

}  // namespace d88test

#endif
