#include "disk_check.h"

#include <algorithm>
#include <numeric>
#include <tuple>

#include "d88_format.h"
#include "directory.h"
#include "disk_edit.h"

namespace {

namespace dh = d88::disk_header;
namespace sh = d88::sector_header;

// Runs from the first sector of `map`'s first track, as the reader reads the
// data area.
void Locate(D88Image& image, SectorMap& map) {
  const int t = map.firstTrack;
  image.SetSectorRange(1, kSectorsPerTrack);
  image.LocateRun(t, t / 2, t % 2, 1, kSectorSizeCode, map.count, map.positions, map.lengths);
}

// The sector of `map` whose data the bytes from `from` up to `to` reach
// into, or -1.
int SectorReached(const SectorMap& map, int64_t from, int64_t to) {
  const int* after =
      std::partition_point(map.byPosition, map.byPosition + map.count,
                           [&map, from](int i) { return map.positions[i] + kSectorSize <= from; });
  return after != map.byPosition + map.count && map.positions[*after] < to ? *after : -1;
}

// One track's walk along its sector headers: the header it stands on, and
// how many it has passed since the track's first. A walk ends after the
// header whose sector count is one more than that number; past the largest
// count it never ends so, and all such walks are alike.
struct HeaderWalk {
  int64_t position;
  int64_t index;
  int track;
};
constexpr int64_t kEndless = 0xFFFF;

// The heap gives out the walk nearest the start of the file first.
bool Later(const HeaderWalk& a, const HeaderWalk& b) {
  return std::tie(a.position, a.index) > std::tie(b.position, b.index);
}

// Walks every track of the disk in the table along its headers as far as
// any search of the reader can go: from its first header on, after each
// header's data, until a header's own count says the track ends there or
// the disk or the file does. A sector search may stop sooner; none goes
// further. All walks move forward through the file together, and walks that
// stand on the same header having passed as many go on as one, so that no
// header is read more than a few times however many tracks lead to it.
Problem CheckHeadersClear(ImageFile& file, const DiskSpan& span, const SectorMap& map) {
  HeaderWalk walks[dh::kTrackCount];
  int count = 0;
  const int tableLength = dh::TrackTableLength(span.header);
  for (int t = 0; t < tableLength; ++t) {
    const std::uint32_t offset = dh::TrackOffset(span.header, t);
    if (offset != 0 && offset <= span.size) walks[count++] = {span.offset + offset, 0, t};
  }
  const int64_t diskEnd = span.offset + span.size;
  HeaderWalk last{-1, -1, -1};
  std::make_heap(walks, walks + count, Later);
  while (count > 0) {
    std::pop_heap(walks, walks + count, Later);
    HeaderWalk& walk = walks[count - 1];
    const bool again = walk.position == last.position && walk.index == last.index;
    last = walk;
    const std::uint8_t* header =
        walk.position + sh::kSize <= diskEnd ? file.Peek(walk.position, sh::kSize) : nullptr;
    if (again || header == nullptr) {
      --count;
      continue;
    }
    const int sector = SectorReached(map, walk.position, walk.position + sh::kSize);
    if (sector >= 0) {
      return HeaderInData(walk.track, map.firstTrack + sector / kSectorsPerTrack,
                          sector % kSectorsPerTrack + 1);
    }
    if (walk.index == static_cast<int64_t>(sh::SectorCount(header)) - 1) {
      --count;
      continue;
    }
    walk.position += sh::kSize + sh::DataLength(header);
    walk.index = std::min(walk.index + 1, kEndless);
    std::push_heap(walks, walks + count, Later);
  }
  if (file.GetReadError() != 0) return Failed(Refusal::kImageUnreadable, file.GetReadError());
  return Problem{};
}

}  // namespace

Problem NoDirectory(const DiskRecord& record) {
  return NoDirectory(FactsOf(record));
}

bool ReadDiskSpan(const D88Image& image, ImageFile& file, int index, DiskSpan& span) {
  span.offset = image.GetDiskStart(index);
  if (file.ReadAt(span.offset, span.header, dh::kSize) < dh::kSize) return false;
  span.size = dh::DiskSize(span.header);
  return true;
}

Problem CheckFormat(const D88Image& image) {
  const FormatCheck& check = image.GetFormatCheck();
  return check.problem == FormatCheck::Problem::kNone ? Problem{} : NotD88(check);
}

Problem CheckWholeLayout(D88Image& image, ImageFile& file, const DiskSpan& span,
                         const DiskRecord& record, SectorMap& map) {
  if (!record.HasDirectory()) return NoDirectory(FactsOf(record));
  map.firstTrack = record.dataStart / kTrackSize;
  map.count = (kTracksPerDisk - map.firstTrack) * kSectorsPerTrack;
  Locate(image, map);
  // A sector's header must lie after the disk's track table, and its data
  // within the disk's size: what is written changes this disk only.
  const int tableEnd = dh::kTrackTableOffset + 4 * dh::TrackTableLength(span.header);
  const int64_t lowest = span.offset + tableEnd + sh::kSize;
  const int64_t highest = span.offset + span.size - kSectorSize;
  // A sector whose last byte lies past the end of the file is cut off.
  const int64_t fileSize = file.GetSize();
  for (int i = 0; i < map.count; ++i) {
    const long long track = map.firstTrack + i / kSectorsPerTrack;
    const long long sector = i % kSectorsPerTrack + 1;
    const int64_t position = map.positions[i];
    if (position == -1) return SectorMissing(track, sector);
    if (map.lengths[i] != kSectorSize) {
      return SectorSize(track, sector, map.lengths[i]);
    }
    if (position < lowest || position > highest) {
      return SectorOutside(track, sector);
    }
    if (position + kSectorSize > fileSize) return SectorCut(track, sector);
  }
  // The sectors in file order, for the walk to tell whose data a header
  // lies in. Two sectors that overlap are found so: the later one's header
  // lies in the earlier one's data.
  std::iota(map.byPosition, map.byPosition + map.count, 0);
  std::sort(map.byPosition, map.byPosition + map.count,
            [&map](int a, int b) { return map.positions[a] < map.positions[b]; });
  return CheckHeadersClear(file, span, map);
}

bool SectorsStayPut(D88Image& image, int diskIndex, const SectorMap& map) {
  SectorMap again;
  again.firstTrack = map.firstTrack;
  again.count = map.count;
  if (!image.SelectDisk(diskIndex)) return false;
  Locate(image, again);
  return std::equal(map.positions, map.positions + map.count, again.positions) &&
         std::equal(map.lengths, map.lengths + map.count, again.lengths);
}

int FindDirectoryProblems(const DecodedDisk& disk, const DiskRecord& record,
                          Problem (&found)[kMaxEntryCount]) {
  int count = 0;
  long long offset = record.dataStart;
  for (int k = 1; k <= record.entryCount; ++k) {
    const int allocation = AllocationLength(disk, k);
    if (offset + std::max(allocation, record_header::kSize) > kDataAreaEnd) {
      found[count++] = EntryPastDataArea(k);
      break;
    }
    const std::uint8_t* header = disk.diskBuffer + offset;
    const int size = record_header::End(header) - record_header::Start(header);
    if (size < 0) {
      found[count++] = EntryEndBelowStart(k);
    } else if (record_header::kSize + size > allocation) {
      found[count++] = RecordPastAllocation(k, record_header::kSize + size, allocation);
    }
    offset += allocation;
  }
  return count;
}

Problem CheckDirectory(const DecodedDisk& disk, const DiskRecord& record) {
  Problem found[kMaxEntryCount];
  return FindDirectoryProblems(disk, record, found) > 0 ? found[0] : Problem{};
}

Problem FindUnownedBytes(const DecodedDisk& disk, const DiskRecord& record) {
  const long long end = RecordsEnd(disk, record);
  int first = 0;
  int last = 0;
  if (end >= kDataAreaEnd ||
      !FindNonZeroSectors(disk, static_cast<int>(end), kDataAreaEnd, first, last)) {
    return Problem{};
  }
  if (first == last) return UnownedFound(TrackOf(first), SectorNumberOf(first));
  return UnownedFound(TrackOf(first), SectorNumberOf(first), TrackOf(last), SectorNumberOf(last));
}
