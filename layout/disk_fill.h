// What a disk holds besides its files: the bytes no record and no directory
// entry holds, and the system area of the system disk. A formatter leaves
// one value in all free sectors (often 0xE5) and another in the unused part
// of the directory track (often 0x20); a disk rebuilt from its files and
// these comes back byte for byte.
#ifndef D88UNPACK_LAYOUT_DISK_FILL_H
#define D88UNPACK_LAYOUT_DISK_FILL_H

#include <cstdint>

#include "d88_image.h"
#include "disk_layout.h"
#include "disk_walk.h"

// No single value: the bytes differ.
constexpr int kMixedFill = -1;

struct DiskFills {
  // The one value of the data area's bytes that no record holds (its start
  // and end address and end - start bytes of data), or kMixedFill; 0 when
  // records hold every byte.
  int fill;
  // The one value of the directory track's bytes that neither a record nor
  // the directory holds, the bytes of the directory's header other than the
  // disk number and the entry count among them, or kMixedFill.
  int directoryFill;
};

// The fill values of the disk loaded into `disk`, which has a directory.
DiskFills FindFills(DecodedDisk& disk, const DiskRecord& record);

// Whether directory byte j of a directory of `count` entries is one the
// directory holds: the disk number, the entry count, or a byte of an entry.
inline bool DirectoryHolds(int j, int count) {
  if (j >= directory_entry::kSize) return j < (count + 1) * directory_entry::kSize;
  return j == directory_entry::kDiskNumberOffset || j == directory_entry::kEntryCountOffset;
}

// Reads the system area of the system disk selected in `image`: sectors 1
// to 16 of 256 bytes of tracks 0 and 1, in order. False when the image does
// not hold all of them in that shape. Leaves the sector range at 1 to 5.
bool ReadSystemArea(D88Image& image, std::uint8_t (&out)[kSystemAreaSize]);

#endif
