#include "disk_walk.h"

#include <algorithm>
#include <cstring>

#include "directory.h"

namespace {

// The common case: a disk whose 84 tracks all hold sectors 1 to 5 of 1024
// bytes, read whole in one pass; the directory track is then read with them.
// False for any other disk (a system disk, whose first cylinder has other
// sectors, or a damaged one), which is then read track by track. `tried`
// tells whether the read was made: a first sector of another size rules it
// out at once.
bool ReadWholeDisk(D88Image& image, DecodedDisk& disk, bool& tried) {
  std::uint8_t probe[1];
  tried = image.ReadSector(0, 0, 0, 1, kSectorSizeCode, probe, 1) == 1;
  return tried && image.ReadWholeRun(0, 0, 0, 1, kSectorSizeCode, disk.diskBuffer, kDiskBufferSize);
}

}  // namespace

DiskRecord LoadDisk(D88Image& image, int index, DecodedDisk& disk) {
  // A disk that cannot be selected has no tracks, so every read below comes
  // back empty and the disk reads as blank.
  DiskRecord record{};
  record.selected = image.SelectDisk(index);
  image.SetSectorRange(1, kSectorsPerTrack);
  bool triedWhole = false;
  const bool whole = record.selected && ReadWholeDisk(image, disk, triedWhole);
  const DirectoryInfo directory =
      whole ? DecodeDirectory(disk.diskBuffer + kDirectoryTrack * kTrackSize, true, disk)
            : ReadDirectory(image, disk);

  record.place = index + 1;
  record.diskNumber = directory.diskNumber;
  record.entryCount = directory.entryCount;
  record.directoryRead = directory.complete;
  // The reader's name is at most 16 bytes and NUL-terminated.
  std::memcpy(record.label, image.GetDiskName(), sizeof record.label);
  record.writeProtect = image.GetWriteProtect();
  record.mediaType = image.GetMediaType();

  // The data of track t lands at t * 5120 in either case; on the system disk
  // the first two tracks are a system area and are not read.
  record.dataStart = directory.diskNumber == kSystemDiskNumber ? kSystemAreaTracks * kTrackSize : 0;
  if (whole) {
    record.dataEnd = kDiskBufferSize;
    return record;
  }
  const int firstTrack = record.dataStart / kTrackSize;
  // What the read does not deliver reads as zero bytes, not as the previous
  // disk's data. A whole data area is read in one pass and overwrites all of
  // it; only when the image does not supply all is the area cleared and read
  // sector by sector, which says where the image stops. A data area from
  // track 0 is the whole disk, whose read in one pass may have failed above.
  std::uint8_t* area = disk.diskBuffer + record.dataStart;
  const int length = kDiskBufferSize - record.dataStart;
  const bool failedAlready = triedWhole && firstTrack == 0;
  if (failedAlready || !image.ReadWholeRun(firstTrack, firstTrack / 2, firstTrack % 2, 1,
                                           kSectorSizeCode, area, length)) {
    std::memset(area, 0, static_cast<std::size_t>(length));
    image.ReadSectors(firstTrack, firstTrack / 2, firstTrack % 2, 1, kSectorSizeCode, area, length);
  }
  record.dataEnd = record.dataStart + image.GetSupplied();
  return record;
}

EntryWalk::EntryWalk(DecodedDisk& disk, const DiskRecord& record)
    : disk(disk),
      entryCount(record.entryCount),
      dataEnd(record.dataEnd),
      next(1),
      record(record.dataStart) {}

bool EntryWalk::Next(EntryRecord& entry) {
  if (next > entryCount) return false;
  const int k = next++;
  entry = EntryRecord{};
  entry.index = k;
  entry.name = MakeFileName(disk, k);
  const long long here = record;
  // The allocation length counts from the start of this record, not its end.
  record += AllocationLength(disk, k);
  if (here + record_header::kSize > kDiskBufferSize) {
    entry.problem = EntryProblem::kRecordPastDisk;
    return true;
  }

  const std::uint8_t* header = disk.diskBuffer + here;
  if (here + record_header::kSize > dataEnd) entry.problem = EntryProblem::kRecordMissing;
  entry.start = record_header::Start(header);
  entry.end = record_header::End(header);
  entry.size = entry.end - entry.start;
  entry.data = header + record_header::kSize;
  // The image holds the data up to dataEnd, and the disk ends at
  // kDiskBufferSize: a file that runs past either is cut there.
  const long long dataOffset = here + record_header::kSize;
  const long long wanted = std::max(entry.size, 0);
  entry.available = static_cast<int>(std::min(wanted, std::max(dataEnd - dataOffset, 0LL)));
  // A record header the image does not hold says so first.
  if (entry.available < wanted && entry.problem == EntryProblem::kNone) {
    entry.problem =
        dataEnd < kDiskBufferSize ? EntryProblem::kDataMissing : EntryProblem::kDataPastDisk;
  }
  return true;
}
