#include "disk_walk.h"

#include <algorithm>
#include <cstring>

#include "directory.h"

static_assert(kTracksPerDisk == D88Image::kCheckedTracks,
              "the reader checks the tracks of the layout's disks");

namespace {

// The most sector IDs a track is looked at for.
constexpr int kMaxIds = 64;

// What the disk's tracks hold, and whether most of them hold sectors of the
// layout: at least one of the sectors 1 to 5 of 1024 bytes, by their own C
// and H.
TrackShape ShapeOf(D88Image& image, bool& ofTheLayout) {
  TrackShape shape{0, 0, 0, true};
  int layoutTracks = 0;
  for (int t = 0; t < d88::disk_header::kTrackCount; ++t) {
    if (!image.HasTrack(t)) continue;
    std::uint8_t ids[kMaxIds * d88::sector_header::kIdLength] = {};
    const int listed = image.ReadSectorIds(t, ids, sizeof ids);
    const int count = listed / d88::sector_header::kIdLength;
    // The size its first sector's code gives, as far as a code can mean one.
    const int size = 128 << std::min<int>(ids[3], 7);
    bool layout = false;
    for (const std::uint8_t* id = ids; id != ids + listed; id += d88::sector_header::kIdLength) {
      layout = layout || (id[0] == t / 2 && id[1] == t % 2 && id[2] >= 1 &&
                          id[2] <= kSectorsPerTrack && id[3] == kSectorSizeCode);
    }
    if (layout) ++layoutTracks;
    if (shape.tracks++ == 0) {
      shape.sectors = count;
      shape.sectorSize = size;
    } else if (count != shape.sectors || size != shape.sectorSize) {
      shape.uniform = false;
    }
  }
  ofTheLayout = layoutTracks * 2 > shape.tracks;
  return shape;
}

// Why a selected disk has no directory that can be read.
void FindWhy(D88Image& image, int missingSector, DiskRecord& record) {
  bool ofTheLayout = false;
  record.shape = ShapeOf(image, ofTheLayout);
  const int64_t fileSize = image.GetFileSize();
  if (record.shape.tracks == 0) {
    record.finding = DiskFinding::kBlank;
  } else if (fileSize != -1 && fileSize < image.GetDiskOffset() + image.GetDiskSize()) {
    record.finding = DiskFinding::kCutOff;
    record.cutAt = fileSize;
  } else if (ofTheLayout) {
    record.finding = DiskFinding::kDirectoryMissing;
    record.missingSector = missingSector;
  } else {
    record.finding = DiskFinding::kOtherLayout;
  }
}

// Fills the sectors that a search did not find from a walk by their places,
// track by track, noting the damaged headers stepped over.
void StepDamagedHeaders(D88Image& image, DecodedDisk& disk, DiskRecord& record) {
  for (int t = 0; t < kTracksPerDisk; ++t) {
    std::uint16_t* const held = disk.held + t * kSectorsPerTrack;
    if (std::find(held, held + kSectorsPerTrack, 0) == held + kSectorsPerTrack) continue;
    std::uint8_t data[kTrackSize];
    std::uint16_t placedHeld[kSectorsPerTrack];
    PlacedSector how[kSectorsPerTrack];
    image.ReadTrackByPlace(t, t / 2, t % 2, 1, kSectorsPerTrack, kSectorSizeCode, data, placedHeld,
                           how);
    for (int i = 0; i < kSectorsPerTrack; ++i) {
      if (held[i] != 0 || how[i] == PlacedSector::kNotReached) continue;
      std::uint8_t* const sector = disk.diskBuffer + (t * kSectorsPerTrack + i) * kSectorSize;
      std::memcpy(sector, data + i * kSectorSize, placedHeld[i]);
      held[i] = placedHeld[i];
      if (how[i] != PlacedSector::kStepped) continue;
      const int index = t * kSectorsPerTrack + i;
      if (record.steppedHeaders++ == 0) record.firstStepped = index;
      record.lastStepped = index;
    }
  }
}

}  // namespace

DiskRecord LoadDisk(D88Image& image, int index, DecodedDisk& disk, bool stepDamagedHeaders) {
  // A disk that cannot be selected has no tracks, so every sector comes
  // back missing.
  DiskRecord record{};
  record.place = index + 1;
  record.firstStepped = -1;
  record.lastStepped = -1;
  const bool selected = image.SelectDisk(index);
  // The reader's name is at most 16 bytes and NUL-terminated.
  std::memcpy(record.label, image.GetDiskName(), sizeof record.label);
  record.writeProtect = image.GetWriteProtect();
  record.mediaType = image.GetMediaType();

  // Every sector of the disk in one pass over its part of the image, each
  // to its place: the data of track t lands at t * 5120. A missing sector
  // loses its own bytes only.
  image.SetSectorRange(1, kSectorsPerTrack);
  image.ReadEachSector(0, 0, 0, 1, kSectorSizeCode, kSectorsPerDisk, disk.diskBuffer, disk.held);
  if (stepDamagedHeaders && selected) StepDamagedHeaders(image, disk, record);
  const DirectoryInfo directory = ReadDirectory(disk);
  if (!selected) {
    record.finding = DiskFinding::kUnselectable;
  } else if (!directory.read) {
    FindWhy(image, directory.missingSector, record);
  } else {
    record.finding = DiskFinding::kDirectory;
    record.diskNumber = directory.diskNumber;
    record.entryCount = directory.entryCount;
    // On the system disk the first two tracks are a system area.
    record.dataStart =
        directory.diskNumber == kSystemDiskNumber ? kSystemAreaTracks * kTrackSize : 0;
  }
  return record;
}

EntryWalk::EntryWalk(DecodedDisk& disk, const DiskRecord& record)
    : disk(disk),
      entryCount(record.HasDirectory() ? record.entryCount : 0),
      next(1),
      record(record.dataStart) {}

bool EntryWalk::Next(EntryRecord& entry) {
  if (next > entryCount) return false;
  const int k = next++;
  entry = EntryRecord{};
  entry.index = k;
  entry.name = MakeFileName(disk, k, entry.nameLength);
  entry.missingSector = -1;
  entry.missing = MissingBytes{0, 0, -1, -1};
  const long long here = record;
  // The allocation length counts from the start of this record, not its end.
  entry.allocation = AllocationLength(disk, k);
  record += entry.allocation;
  if (here + record_header::kSize > kDiskBufferSize) {
    entry.problem = EntryProblem::kRecordPastDisk;
    return true;
  }

  const int headerAt = static_cast<int>(here);
  const std::uint8_t* header = disk.diskBuffer + headerAt;
  entry.start = record_header::Start(header);
  entry.end = record_header::End(header);
  entry.size = entry.end - entry.start;
  entry.data = header + record_header::kSize;
  const int headerMissing = FirstMissingByte(disk, headerAt, headerAt + record_header::kSize);
  if (headerMissing < headerAt + record_header::kSize) {
    entry.problem = EntryProblem::kRecordMissing;
    entry.missingSector = headerMissing / kSectorSize;
    return true;
  }
  // The disk ends at kDiskBufferSize, and the image may lack bytes before
  // that: a file is cut at the first of them.
  const int dataAt = headerAt + record_header::kSize;
  entry.inDisk = std::min(std::max(entry.size, 0), kDiskBufferSize - dataAt);
  entry.missing = CountMissingBytes(disk, dataAt, dataAt + entry.inDisk);
  entry.available = FirstMissingByte(disk, dataAt, dataAt + entry.inDisk) - dataAt;
  if (entry.missing.sectors > 0) {
    entry.problem = EntryProblem::kDataMissing;
    entry.missingSector = entry.missing.firstSector;
  } else if (entry.inDisk < entry.size) {
    entry.problem = EntryProblem::kDataPastDisk;
  }
  return true;
}
