#include "disk_check.h"

#include <algorithm>
#include <numeric>

#include "d88_format.h"
#include "directory.h"

namespace {

namespace dh = d88::disk_header;
namespace sh = d88::sector_header;

constexpr int kDataAreaEnd = kDirectoryTrack * kTrackSize;

// Runs from the first sector of `map`'s first track, as the reader reads the
// data area.
void Locate(D88Image& image, SectorMap& map) {
  const int t = map.firstTrack;
  image.SetSectorRange(1, kSectorsPerTrack);
  image.LocateRun(t, t / 2, t % 2, 1, kSectorSizeCode, map.count, map.positions, map.lengths);
}

}  // namespace

bool FindDiskSpan(ImageFile& file, int index, DiskSpan& span) {
  std::uint8_t header[dh::kSize];
  int64_t offset = 0;
  for (int i = 0;; ++i) {
    if (file.ReadAt(offset, header, dh::kSize) < dh::kSize) return false;
    if (i == index) break;
    offset += dh::DiskSize(header);
  }
  span.offset = offset;
  span.size = dh::DiskSize(header);
  return true;
}

Problem CheckWholeLayout(D88Image& image, ImageFile& file, const DiskSpan& span,
                         const DiskRecord& record, SectorMap& map) {
  if (record.finding == DiskFinding::kUnselectable) return Refuse(Refusal::kDiskUnreadable);
  if (!record.HasDirectory()) return Refuse(Refusal::kDiskNoDirectory);
  map.firstTrack = record.dataStart / kTrackSize;
  map.count = (kTracksPerDisk - map.firstTrack) * kSectorsPerTrack;
  Locate(image, map);
  // A sector's header must lie after the disk's header, and its data within
  // the disk's size: what is written changes this disk only.
  const int64_t lowest = span.offset + dh::kSize + sh::kSize;
  const int64_t highest = span.offset + span.size - kSectorSize;
  for (int i = 0; i < map.count; ++i) {
    const long long track = map.firstTrack + i / kSectorsPerTrack;
    const long long sector = i % kSectorsPerTrack + 1;
    const int64_t position = map.positions[i];
    if (position == -1) return Refuse(Refusal::kDiskSectorMissing, track, sector);
    if (map.lengths[i] != kSectorSize) {
      return Refuse(Refusal::kDiskSectorSize, track, sector, map.lengths[i]);
    }
    if (position < lowest || position > highest) {
      return Refuse(Refusal::kDiskSectorOutside, track, sector);
    }
    std::uint8_t last;
    if (file.ReadAt(position + kSectorSize - 1, &last, 1) != 1) {
      return Refuse(Refusal::kDiskSectorCut, track, sector);
    }
  }
  // Each sector's data and the header before it clear of every other's.
  static int order[SectorMap::kMaxSectors];
  std::iota(order, order + map.count, 0);
  std::sort(order, order + map.count,
            [&map](int a, int b) { return map.positions[a] < map.positions[b]; });
  for (int i = 1; i < map.count; ++i) {
    if (map.positions[order[i]] - map.positions[order[i - 1]] < sh::kSize + kSectorSize) {
      const int later = order[i];
      return Refuse(Refusal::kDiskSectorsOverlap, map.firstTrack + later / kSectorsPerTrack,
                    later % kSectorsPerTrack + 1);
    }
  }
  return Problem{};
}

bool SectorsStayPut(D88Image& image, int diskIndex, const SectorMap& map) {
  static SectorMap again;
  again.firstTrack = map.firstTrack;
  again.count = map.count;
  if (!image.SelectDisk(diskIndex)) return false;
  Locate(image, again);
  return std::equal(map.positions, map.positions + map.count, again.positions) &&
         std::equal(map.lengths, map.lengths + map.count, again.lengths);
}

Problem CheckDirectory(const DecodedDisk& disk, const DiskRecord& record) {
  long long offset = record.dataStart;
  for (int k = 1; k <= record.entryCount; ++k) {
    const int allocation = AllocationLength(disk, k);
    if (offset + std::max(allocation, record_header::kSize) > kDataAreaEnd) {
      return Refuse(Refusal::kDirectoryPastDataArea, k);
    }
    const std::uint8_t* header = disk.diskBuffer + offset;
    const int size = record_header::End(header) - record_header::Start(header);
    if (size < 0) return Refuse(Refusal::kDirectoryEndBelowStart, k);
    if (record_header::kSize + size > allocation) {
      return Refuse(Refusal::kDirectoryRecordOverlap, k, record_header::kSize + size, allocation);
    }
    offset += allocation;
  }
  return Problem{};
}
