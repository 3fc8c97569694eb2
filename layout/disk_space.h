// How much of a disk its files take and how much is left for more: the
// records lie one after another from the start of the data area, each
// owning its allocation, and the data area ends where the directory track
// begins. A new record is given whole sectors, so the room left is the
// sectors that lie wholly after the last record.
#ifndef D88UNPACK_LAYOUT_DISK_SPACE_H
#define D88UNPACK_LAYOUT_DISK_SPACE_H

#include "disk_layout.h"
#include "disk_walk.h"

// Where the data area ends in DecodedDisk::diskBuffer: where the directory
// track begins.
constexpr int kDataAreaEnd = kDirectoryTrack * kTrackSize;

// Where the record after the last would start: the data area's start and
// every entry's allocation. A directory that does not fit its disk may put
// it past the data area.
long long RecordsEnd(const DecodedDisk& disk, const DiskRecord& record);

struct DiskSpace {
  long long used;   // bytes the records own
  long long free;   // bytes of the sectors wholly after the last record
  int freeEntries;  // entries the directory can still take
};

// The space of the disk last loaded into `disk`, which has a directory.
DiskSpace SpaceOf(const DecodedDisk& disk, const DiskRecord& record);

#endif
