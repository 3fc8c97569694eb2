#include "disk_walk.h"

#include <cstring>

#include "directory.h"
#include "disk_layout.h"

DiskRecord LoadDisk(D88Image& image, int index) {
  // A disk that cannot be selected has no tracks, so every read below comes
  // back empty and the disk reads as blank.
  image.SelectDisk(index);
  const DirectoryInfo directory = ReadDirectory(image);

  DiskRecord disk{};
  disk.place = index + 1;
  disk.diskNumber = directory.diskNumber;
  disk.entryCount = directory.entryCount;
  disk.directoryRead = directory.complete;
  // The reader's name is at most 16 bytes and NUL-terminated.
  std::memcpy(disk.label, image.GetDiskName(), sizeof disk.label);
  disk.writeProtect = image.GetWriteProtect();
  disk.mediaType = image.GetMediaType();

  // The data of track t lands at t * 5120 in either case; on the system disk
  // the first two tracks are a system area and are not read.
  disk.dataStart = directory.diskNumber == kSystemDiskNumber ? kSystemAreaTracks * kTrackSize : 0;
  const int firstTrack = disk.dataStart / kTrackSize;
  // What the read does not deliver reads as zero bytes, not as the previous
  // disk's data.
  std::memset(diskBuffer + disk.dataStart, 0, kDiskBufferSize - disk.dataStart);
  image.ReadSectors(firstTrack, firstTrack / 2, firstTrack % 2, 1, kSectorSizeCode,
                    diskBuffer + disk.dataStart, kDiskBufferSize - disk.dataStart);
  return disk;
}

EntryWalk::EntryWalk(const DiskRecord& disk)
    : entryCount(disk.entryCount), next(1), record(disk.dataStart) {}

bool EntryWalk::Next(EntryRecord& entry) {
  if (next > entryCount) return false;
  const int k = next++;
  entry = EntryRecord{};
  entry.index = k;
  entry.name = MakeFileName(k);
  const long long here = record;
  // The allocation length counts from the start of this record, not its end.
  record += AllocationLength(k);
  if (here + record_header::kSize > kDiskBufferSize) return true;

  const std::uint8_t* header = diskBuffer + here;
  entry.headerRead = true;
  entry.start = record_header::Start(header);
  entry.end = record_header::End(header);
  entry.size = entry.end - entry.start;
  entry.data = header + record_header::kSize;
  const long long onDisk = kDiskBufferSize - (here + record_header::kSize);
  entry.available = entry.size < 0         ? 0
                    : entry.size <= onDisk ? entry.size
                                           : static_cast<int>(onDisk);
  return true;
}
