#include "disk_fill.h"

#include <algorithm>

namespace {

// Folds one byte into the value found so far: -2 while none was seen.
constexpr int kNoneSeen = -2;

void Fold(int& value, std::uint8_t byte) {
  if (value == kNoneSeen) {
    value = byte;
  } else if (value != byte) {
    value = kMixedFill;
  }
}

}  // namespace

DiskFills FindFills(DecodedDisk& disk, const DiskRecord& record) {
  // Where each record lies: records follow each other in directory order,
  // so their starts never go back.
  int from[kMaxEntryCount];
  int to[kMaxEntryCount];
  int count = 0;
  EntryWalk walk(disk, record);
  for (EntryRecord entry; walk.Next(entry);) {
    if (!entry.HasRecordHeader()) break;
    const int at = static_cast<int>(entry.data - disk.diskBuffer) - record_header::kSize;
    from[count] = at;
    to[count] = at + record_header::kSize + std::min(std::max(entry.size, 0), kDiskBufferSize);
    ++count;
  }
  int fill = kNoneSeen;
  int directoryFill = kNoneSeen;
  constexpr int kDirectoryTrackStart = kDirectoryTrack * kTrackSize;
  int next = 0;
  int coveredTo = 0;
  for (int at = record.dataStart; at < kDiskBufferSize; ++at) {
    while (next < count && from[next] <= at) coveredTo = std::max(coveredTo, to[next++]);
    if (at < coveredTo) continue;
    if (at < kDirectoryTrackStart) {
      Fold(fill, disk.diskBuffer[at]);
    } else if (!DirectoryHolds(kDiskBufferSize - 1 - at, record.entryCount)) {
      Fold(directoryFill, disk.diskBuffer[at]);
    }
  }
  return {fill == kNoneSeen ? 0 : fill, directoryFill == kNoneSeen ? 0 : directoryFill};
}

bool ReadSystemArea(D88Image& image, std::uint8_t (&out)[kSystemAreaSize]) {
  image.SetSectorRange(1, kSystemAreaSectors);
  bool whole = true;
  for (int track = 0; track < kSystemAreaTracks; ++track) {
    std::uint8_t* into = out + track * kSystemAreaTrackSize;
    const int read = image.ReadSectors(track, track / 2, track % 2, 1, kSystemAreaSectorSizeCode,
                                       into, kSystemAreaTrackSize);
    if (read != kSystemAreaTrackSize || image.GetSupplied() != read) whole = false;
  }
  image.SetSectorRange(1, kSectorsPerTrack);
  return whole;
}
