#include "disk_space.h"

#include "directory.h"

long long RecordsEnd(const DecodedDisk& disk, const DiskRecord& record) {
  long long end = record.dataStart;
  for (int k = 1; k <= record.entryCount; ++k) end += AllocationLength(disk, k);
  return end;
}

DiskSpace SpaceOf(const DecodedDisk& disk, const DiskRecord& record) {
  const long long end = RecordsEnd(disk, record);
  const long long left = end < kDataAreaEnd ? kDataAreaEnd - end : 0;
  return {end - record.dataStart, left / kSectorSize * kSectorSize,
          kMaxEntryCount - record.entryCount};
}
