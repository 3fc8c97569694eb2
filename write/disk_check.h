// What a disk must be before it is written: wholly of the layout, with every
// sector of its data area and directory track where the image holds it in
// full, and a directory whose records follow each other within the data
// area.
#ifndef D88UNPACK_WRITE_DISK_CHECK_H
#define D88UNPACK_WRITE_DISK_CHECK_H

#include <cstdint>

#include "d88_image.h"
#include "disk_layout.h"
#include "disk_walk.h"
#include "image_file.h"
#include "refusal.h"

// Where a disk lies in the image file: its header's position, its size
// field and the header itself.
struct DiskSpan {
  int64_t offset;
  std::uint32_t size;
  std::uint8_t header[d88::disk_header::kSize];
};

// Where disk `index` (from 0) of the image `image` has open lies, from the
// reader's table of disks, and its header as `file` (the same image, opened
// once more) holds it. False when the file holds no whole header there.
bool ReadDiskSpan(const D88Image& image, ImageFile& file, int index, DiskSpan& span);

// Why the image `image` has open is no D88 image at all, as its reader
// found when it opened it: nothing when it can be one.
Problem CheckFormat(const D88Image& image);

// Where the data of each sector the writer may change lies in the file: the
// sectors 1 to 5 of the tracks from the data area's first to the directory
// track, in the order a run reads them.
struct SectorMap {
  static constexpr int kMaxSectors = kTracksPerDisk * kSectorsPerTrack;
  int firstTrack;
  int count;
  int64_t positions[kMaxSectors];
  int lengths[kMaxSectors];
  // The sectors, 0 to count - 1, in the order of their data in the file.
  int byPosition[kMaxSectors];

  // Where sector i's data lies in diskBuffer.
  int BufferOffset(int i) const { return firstTrack * kTrackSize + i * kSectorSize; }
};

// Whether the disk loaded by LoadDisk into `record` is wholly of the layout:
// its header read, its directory read in full, and every sector of its data
// area and directory track (the system disk's first cylinder aside) found,
// of 1024 bytes, held in full by the file and within the disk's own bytes
// after its track table; and no sector header of any track of the disk in
// the data of those sectors, which writing them would change (so that no
// two of them overlap either). Fills `map` on the way. `file` is the
// image opened once more, to see where it ends and walk the headers.
Problem CheckWholeLayout(D88Image& image, ImageFile& file, const DiskSpan& span,
                         const DiskRecord& record, SectorMap& map);

// Locates the sectors of `map` once more in the image `image` has open (the
// new one) and says whether each lies where it did.
bool SectorsStayPut(D88Image& image, int diskIndex, const SectorMap& map);

// Whether the directory of the disk loaded into `disk` is consistent: each
// record's end at or above its start, the record within its allocation and
// each allocation within the data area.
Problem CheckDirectory(const DecodedDisk& disk, const DiskRecord& record);

// Every inconsistency of that directory, at most one an entry, in entry
// order; the walk stops at the first allocation that passes the data area.
// Returns how many there are.
int FindDirectoryProblems(const DecodedDisk& disk, const DiskRecord& record,
                          Problem (&found)[kMaxEntryCount]);

// Why a disk with no directory cannot be written, in d88unpack's words.
Problem NoDirectory(const DiskRecord& record);

// Where the bytes after the last record, which no record owns, are not all
// zeros: kUnownedFound or kUnownedFoundRange with the first and last sector
// that hold such bytes, or nothing.
Problem FindUnownedBytes(const DecodedDisk& disk, const DiskRecord& record);

#endif
