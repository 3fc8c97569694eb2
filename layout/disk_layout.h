// The disk layout the tools read and write, and the work areas a disk of it
// is decoded in.
//
// A disk has 84 tracks (42 cylinders, 2 heads) of five 1024-byte sectors.
// Its directory is a list of 11-byte entries stored backwards at the end of
// the last track: directory byte j is byte 5119 - j of track 83. Entry 0 is a
// header (disk number at directory byte 8, entry count at byte 10); entries
// 1 to n hold a space-padded 6-byte name, a 3-byte extension and a big-endian
// allocation length. The files' records follow each other in the data area:
// a big-endian start and end address, then end - start bytes of data. On the
// system disk (number 0) cylinder 0 is a system area and the data area
// starts at track 2.
#ifndef D88UNPACK_LAYOUT_DISK_LAYOUT_H
#define D88UNPACK_LAYOUT_DISK_LAYOUT_H

#include <cstdint>

constexpr int kSectorsPerTrack = 5;
constexpr int kSectorSize = 1024;
constexpr int kSectorSizeCode = 3;
constexpr int kTrackSize = kSectorsPerTrack * kSectorSize;  // 5120
constexpr int kTracksPerDisk = 84;
constexpr int kDiskBufferSize = kTracksPerDisk * kTrackSize;  // 430080
constexpr int kSectorsPerDisk = kTracksPerDisk * kSectorsPerTrack;
constexpr int kDirectoryTrack = 83;
constexpr int kSystemDiskNumber = 0;
constexpr int kSystemAreaTracks = 2;
// The system area as formatted: sixteen 256-byte sectors on each of its two
// tracks, 8 KiB that hold the boot program.
constexpr int kSystemAreaSectors = 16;
constexpr int kSystemAreaSectorSizeCode = 1;
constexpr int kSystemAreaSectorSize = 128 << kSystemAreaSectorSizeCode;
constexpr int kSystemAreaTrackSize = kSystemAreaSectors * kSystemAreaSectorSize;
constexpr int kSystemAreaSize = kSystemAreaTracks * kSystemAreaTrackSize;
constexpr int kNameBufferSize = 11;
// The entry count is one byte of the directory's header.
constexpr int kMaxEntryCount = 255;

// The directory: 11-byte entries in directory order, which is the directory
// track read backwards. Offsets below are in directory order, so the
// big-endian allocation length lies low byte first on the track.
namespace directory_entry {
constexpr int kSize = 11;
// Entry 0, the directory header.
constexpr int kDiskNumberOffset = 8;
constexpr int kEntryCountOffset = 10;
// Entries 1 to n, one per file, in the order of their records.
constexpr int kNameOffset = 0;  // space-padded
constexpr int kNameLength = 6;
constexpr int kExtensionOffset = 6;  // space-padded
constexpr int kExtensionLength = 3;
constexpr int kAllocationOffset = 9;  // big-endian 16-bit

// The distance from the start of this entry's record to the next one's.
inline int AllocationLength(const std::uint8_t* entry) {
  return entry[kAllocationOffset] << 8 | entry[kAllocationOffset + 1];
}
}  // namespace directory_entry

// The 4-byte header at the start of each file's record: the file's
// big-endian start and end addresses. The data, end - start bytes, follows.
namespace record_header {
constexpr int kSize = 4;
constexpr int kStartOffset = 0;
constexpr int kEndOffset = 2;

inline int Start(const std::uint8_t* header) {
  return header[kStartOffset] << 8 | header[kStartOffset + 1];
}

inline int End(const std::uint8_t* header) {
  return header[kEndOffset] << 8 | header[kEndOffset + 1];
}
}  // namespace record_header

// The disk's letter: 'A' for the system disk, then one per disk number. It is
// one raw byte: disk number 191 gives a NUL, 63 and above bytes of 0x80 up.
inline unsigned char DiskLetter(int diskNumber) {
  return static_cast<unsigned char>(('A' + diskNumber) & 0xFF);
}

// One disk of the layout as it is read from an image and decoded: the work
// areas that hold it, reused for each disk that is loaded into them. It is
// about 436 KB: callers keep it in static storage or on the heap, never on a
// thread's stack.
struct DecodedDisk {
  // The disk's data, track t at t * 5120.
  std::uint8_t diskBuffer[kDiskBufferSize];
  // Its directory in directory order: the directory track read backwards.
  std::uint8_t directoryBytes[kTrackSize];
  // The file name of the entry last named.
  char nameBuffer[kNameBufferSize];
  // How many bytes of each sector, from its start, the image holds: sector
  // s, at diskBuffer + s * 1024, is sector s % 5 + 1 of track s / 5. What
  // the image does not hold reads as zero bytes.
  std::uint16_t held[kSectorsPerDisk];
};

// The first byte from `from` up to `to` (offsets in diskBuffer) that the
// image does not hold, or `to` when it holds them all.
int FirstMissingByte(const DecodedDisk& disk, int from, int to);

// What the image lacks of the bytes from `from` up to `to`.
struct MissingBytes {
  int bytes;        // how many
  int sectors;      // in how many sectors
  int firstSector;  // the first of these sectors, and the last (-1: none)
  int lastSector;
};
MissingBytes CountMissingBytes(const DecodedDisk& disk, int from, int to);

#endif
