#include "d88_image.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "d88_format.h"

namespace dh = d88::disk_header;
namespace sh = d88::sector_header;

namespace {

// The largest size code a run reads: 128 << n must stay a positive int.
// What a sector holds is told in 16 bits, as its data length is.
constexpr int kLargestRunSizeCode = 23;

}  // namespace

D88Image::D88Image() noexcept
    : diskCount(0),
      firstSector(1),
      lastSector(16),
      diskOffsets(),
      diskSize(0),
      currentDiskOffset(-1),
      trackOffsets(),
      mediaType(-1),
      writeProtect(0),
      diskName() {}

D88Image::~D88Image() {
  file.Close();
}

bool D88Image::Open(const NativePathChar* path) {
  Clear();
  if (path == nullptr) return true;
  if (!file.Open(path)) return false;
  ScanDisks();
  return true;
}

bool D88Image::Open(const std::uint8_t* bytes, std::size_t size) {
  Clear();
  if (!file.Open(bytes, size)) return false;
  ScanDisks();
  return true;
}

void D88Image::Clear() {
  file.Close();
  diskCount = 0;
  moreDisks = false;
  bytesAfterZeroSize = false;
  cutHeaderBytes = 0;
  formatCheck = FormatCheck{};
  mediaType = -1;
  // A reader used for a second image starts from a clean slate.
  currentDiskOffset = -1;
  diskSize = 0;
  writeProtect = 0;
  std::memset(diskName, 0, sizeof diskName);
}

void D88Image::ScanDisks() {
  // Each disk's size field gives the distance to the next disk's header. A
  // disk counts as soon as its whole header can be read, whatever its size
  // says. A size of 0 leads nowhere: it would find the same disk again, so
  // the scan ends after it. Positions are 64-bit: 64 sizes of up to 4 GiB
  // cannot overflow them.
  std::uint8_t header[kDiskHeaderSize];
  int64_t offset = 0;
  while (diskCount < kMaxDisks) {
    diskOffsets[diskCount] = offset;
    const int64_t got = file.ReadAt(offset, header, kDiskHeaderSize);
    if (got < kDiskHeaderSize) {
      cutHeaderBytes = static_cast<int>(got);
      return;
    }
    const std::uint32_t size = dh::DiskSize(header);
    if (diskCount == 0) formatCheck = CheckFirstHeader(header);
    ++diskCount;
    if (size == 0) {
      // Whatever the file holds after this header cannot be reached.
      std::uint8_t next = 0;
      bytesAfterZeroSize = file.ReadAt(offset + kDiskHeaderSize, &next, 1) == 1;
      return;
    }
    offset += size;
  }
  // The table is full; a whole header after it is a disk that is not read,
  // and part of one is a header cut short, as before a full table.
  const int64_t got = file.ReadAt(offset, header, kDiskHeaderSize);
  moreDisks = got == kDiskHeaderSize;
  if (!moreDisks) cutHeaderBytes = static_cast<int>(got);
}

FormatCheck D88Image::CheckFirstHeader(const std::uint8_t* header) {
  using Problem = FormatCheck::Problem;
  const std::uint32_t size = dh::DiskSize(header);
  if (size < static_cast<std::uint32_t>(kDiskHeaderSize)) {
    return FormatCheck{Problem::kSizeBelowHeader, 0, 0, size};
  }
  // Each offset is 0 (no track), past the table, and no farther than the
  // disk's end (a track that starts there is empty). Only the tracks the
  // tools read are looked at: an entry past them is never used, and old
  // damage there says nothing of whether the file is an image.
  const int tableLength = dh::TrackTableLength(header);
  const std::uint32_t tableEnd =
      dh::kTrackTableOffset + 4 * static_cast<std::uint32_t>(tableLength);
  const int checked = std::min(tableLength, kCheckedTracks);
  for (int i = 0; i < checked; ++i) {
    const std::uint32_t offset = dh::TrackOffset(header, i);
    if (offset == 0) continue;
    if (offset < tableEnd) return FormatCheck{Problem::kTrackInsideHeader, i, offset, size};
    if (offset > size) return FormatCheck{Problem::kTrackPastDisk, i, offset, size};
  }
  return FormatCheck{};
}

bool D88Image::SelectDisk(int index) {
  if (!file.IsOpen()) return false;
  // A zero size makes every track absent until a selection succeeds.
  currentDiskOffset = -1;
  mediaType = -1;
  writeProtect = 0;
  diskSize = 0;
  std::memset(diskName, 0, sizeof diskName);
  if (index < 0 || index >= diskCount) return false;

  std::uint8_t header[kDiskHeaderSize];
  // The file may have shrunk since it was scanned; use no byte it did not give.
  if (file.ReadAt(diskOffsets[index], header, kDiskHeaderSize) < kDiskHeaderSize) return false;
  currentDiskOffset = diskOffsets[index];
  // Past a short table, the entries are track data: those tracks are absent.
  const int tableLength = dh::TrackTableLength(header);
  for (int i = 0; i < kTrackCount; ++i) {
    trackOffsets[i] = i < tableLength ? dh::TrackOffset(header, i) : 0;
  }
  writeProtect = header[dh::kWriteProtectOffset];
  mediaType = header[dh::kMediaTypeOffset];
  diskSize = dh::DiskSize(header);
  // The name is NUL-padded to 16 bytes; a name without NUL uses all 16 and
  // the terminator at index 16 is never overwritten.
  const std::uint8_t* name = header + dh::kNameOffset;
  for (int i = 0; i < dh::kNameLength && name[i] != 0; ++i)
    diskName[i] = static_cast<char>(name[i]);
  return true;
}

void D88Image::SetSectorRange(int first, int last) {
  firstSector = first;
  lastSector = last;
}

int64_t D88Image::LocateTrack(int track) const {
  if (!file.IsOpen() || track < 0 || track >= kTrackCount) return TrackSweep::kAbsent;
  // An offset of 0 marks an absent track, and so does one beyond the disk.
  const std::uint32_t offset = trackOffsets[track];
  if (offset == 0 || offset > diskSize) return TrackSweep::kAbsent;
  return currentDiskOffset + offset;
}

bool D88Image::HasTrack(int track) const {
  const int64_t start = LocateTrack(track);
  return start != TrackSweep::kAbsent && start + kSectorHeaderSize <= DiskEnd();
}

int64_t D88Image::DiskEnd() const {
  return currentDiskOffset + diskSize;
}

int D88Image::ReadSpot(const TrackSweep::Spot* spot, std::uint8_t* buffer, int limit) {
  spotCut = false;
  if (spot == nullptr) return 0;
  const int k = spot->dataLength < limit ? spot->dataLength : limit;
  // Where the file or the disk ends (or the file fails) inside the data,
  // the missing bytes keep what the buffer held; the count stays k, and the
  // cut is remembered.
  const int64_t there = std::min<int64_t>(k, DiskEnd() - spot->dataPosition);
  spotCut = file.ReadAt(spot->dataPosition, buffer, there) < k;
  return k;
}

int D88Image::ReadSector(int track, int c, int h, int r, int n, std::uint8_t* buffer, int limit) {
  supplied = 0;
  if (limit <= 0) return 0;
  sweep.Clear();
  sweep.AddTrack(LocateTrack(track), c, h, r, r);
  sweep.Sweep(file, DiskEnd(), n);
  const int k = ReadSpot(sweep.Find(0, r), buffer, limit);
  supplied = spotCut ? 0 : k;
  return k;
}

void D88Image::PlanRun(int track, int c, int h, int r, int64_t sectors, bool throughGaps,
                       std::uint8_t* destination, int sectorSize) {
  sweep.Clear();
  while (sectors > 0) {
    // A run steps to the next track after lastSector; one that starts
    // above it never changes track and counts up until a sector is
    // missing. Sector numbers below 0 and past the largest ID byte count
    // but are never found.
    const bool steps = r <= lastSector && lastSector <= sh::kLargestIdByte;
    const int last = steps ? lastSector : sh::kLargestIdByte;
    const int64_t available = r <= last ? static_cast<int64_t>(last) - r + 1 : 0;
    const int64_t take = available < sectors ? available : sectors;
    const int64_t start = LocateTrack(track);
    // Nothing is wanted of a track that can give nothing (lastR < r); of
    // a run that starts below 0, only the sectors from 0 on, each at its
    // place in the destination.
    const int lastR = static_cast<int>(std::max<int64_t>(static_cast<int64_t>(r) + take - 1, -1));
    const int firstR = r < 0 && lastR >= 0 ? 0 : r;
    std::uint8_t* const to = destination != nullptr && firstR != r
                                 ? destination + -static_cast<int64_t>(r) * sectorSize
                                 : destination;
    if (!sweep.AddTrack(start, c, h, firstR, lastR, to)) return;
    // The next track's sectors follow this one's in the run.
    if (destination != nullptr) destination += take * sectorSize;
    sectors -= take;
    // A run that does not step, or that ends on this track, plans no more.
    if (!steps) return;
    if (take < available) return;
    // Nothing is found on an absent track, nor by a C or H that no header
    // byte holds: a run that stops at a gap ends there.
    const bool gap = start == TrackSweep::kAbsent || !sh::IsIdByte(c) || !sh::IsIdByte(h);
    if (gap && !throughGaps) return;
    // Double-sided stepping: head 0, head 1, then the next cylinder. A run
    // read through gaps may go on past every track of the table and every
    // C a header can hold; there it finds nothing, and counts no further.
    if (track < INT_MAX) ++track;
    if (h == 0) {
      h = 1;
    } else {
      h = 0;
      if (c < INT_MAX) ++c;
    }
    r = firstSector;
  }
}

int D88Image::ReadSectors(int track, int c, int h, int r, int n, std::uint8_t* buffer, int length) {
  supplied = 0;
  if (n < 0 || n > kLargestRunSizeCode || length <= 0) return 0;
  const int sectorSize = 128 << n;

  PlanRun(track, c, h, r, (static_cast<int64_t>(length) + sectorSize - 1) / sectorSize, false);
  sweep.Sweep(file, DiskEnd(), n);

  int chunk = sectorSize;
  int done = 0;
  int planIndex = 0;
  int firstCut = -1;  // where the first sector that the file cut off begins
  while (done < length) {
    if (length - done < chunk) chunk = length - done;
    // A missing sector, or one shorter than the part asked of it, ends the
    // run; what a short sector delivered in the buffer is not counted.
    const int got = ReadSpot(sweep.Find(planIndex, r), buffer + done, chunk);
    if (spotCut && firstCut < 0) firstCut = done;
    if (got < chunk) break;
    done += chunk;
    StepRun(planIndex, r);
  }
  supplied = firstCut >= 0 && firstCut < done ? firstCut : done;
  return done;
}

void D88Image::StepRun(int& planIndex, int& r) const {
  if (r == lastSector) {
    // On to the next planned track, which carries the stepped C and H.
    ++planIndex;
    r = firstSector;
  } else if (r < INT_MAX) {
    // A number past the largest ID byte is never found; a run read sector
    // by sector may count on that far.
    ++r;
  }
}

void D88Image::ReadEachSector(int track, int c, int h, int r, int n, int count,
                              std::uint8_t* buffer, std::uint16_t* held) {
  if (n < 0 || n > kLargestRunSizeCode || count <= 0) return;
  const int sectorSize = 128 << n;
  std::uint8_t* const end = buffer + static_cast<std::size_t>(count) * sectorSize;
  PlanRun(track, c, h, r, count, true, buffer, sectorSize);
  sweep.Sweep(file, DiskEnd(), n, sectorSize, end);
  int planIndex = 0;
  for (int i = 0; i < count; ++i) {
    const TrackSweep::Spot* spot = sweep.Find(planIndex, r);
    held[i] = static_cast<std::uint16_t>(spot != nullptr ? spot->held : 0);
    // What the image does not hold of the sector reads as zero bytes.
    std::uint8_t* sector = buffer + static_cast<std::size_t>(i) * sectorSize;
    std::memset(sector + held[i], 0, static_cast<std::size_t>(sectorSize - held[i]));
    StepRun(planIndex, r);
  }
}

void D88Image::LocateRun(int track, int c, int h, int r, int n, int count, int64_t* positions,
                         int* lengths) {
  PlanRun(track, c, h, r, count, true);
  sweep.Sweep(file, DiskEnd(), n);
  int planIndex = 0;
  for (int i = 0; i < count; ++i) {
    const TrackSweep::Spot* spot = sweep.Find(planIndex, r);
    positions[i] = spot != nullptr ? spot->dataPosition : -1;
    lengths[i] = spot != nullptr ? spot->dataLength : 0;
    StepRun(planIndex, r);
  }
}

void D88Image::ReadTrackByPlace(int track, int c, int h, int firstR, int lastR, int n,
                                std::uint8_t* buffer, std::uint16_t* held, PlacedSector* how) {
  for (int r = firstR; r <= lastR; ++r) {
    held[r - firstR] = 0;
    how[r - firstR] = PlacedSector::kNotReached;
  }
  // The largest size whose length a header's 16 bits can give.
  constexpr int kLargestPlacedSizeCode = 8;
  if (n < 0 || n > kLargestPlacedSizeCode) return;
  const int size = 128 << n;
  const int64_t nextTrack = track < kTrackCount ? LocateTrack(track + 1) : TrackSweep::kAbsent;
  int64_t position = LocateTrack(track);
  if (position == TrackSweep::kAbsent) return;
  // Whether a header of sector (c, h, r, n) with a whole sector's data
  // stands at `at`.
  const auto standsAt = [&](int64_t at, int r, bool lengthToo) {
    std::uint8_t header[kSectorHeaderSize];
    if (at + kSectorHeaderSize > DiskEnd()) return false;
    if (file.ReadAt(at, header, kSectorHeaderSize) < kSectorHeaderSize) return false;
    return header[sh::kCylinderOffset] == c && header[sh::kHeadOffset] == h &&
           header[sh::kRecordOffset] == r && header[sh::kSizeCodeOffset] == n &&
           (!lengthToo || sh::DataLength(header) == static_cast<std::uint32_t>(size));
  };
  for (int r = firstR; r <= lastR; ++r) {
    const int i = r - firstR;
    const int64_t after = position + kSectorHeaderSize + size;
    if (standsAt(position, r, true)) {
      how[i] = PlacedSector::kFound;
    } else {
      const bool nextInPlace =
          r < lastR ? standsAt(after, r + 1, false) : after == DiskEnd() || after == nextTrack;
      if (position + kSectorHeaderSize > DiskEnd() || !nextInPlace) return;
      how[i] = PlacedSector::kStepped;
    }
    const int64_t there = std::min<int64_t>(size, DiskEnd() - (position + kSectorHeaderSize));
    held[i] = static_cast<std::uint16_t>(file.ReadAt(
        position + kSectorHeaderSize, buffer + static_cast<std::size_t>(i) * size, there));
    position = after;
  }
}

int D88Image::ReadSectorIds(int track, std::uint8_t* out, int outLength, int64_t* positions) {
  int64_t position = LocateTrack(track);
  if (position == TrackSweep::kAbsent) return 0;
  // Unlike a sector search, a header whose count is 0 does not end the
  // listing; it ends when a header's own count says so, when `out` is full
  // or where the file cuts a header off.
  int stored = 0;
  std::uint8_t header[kSectorHeaderSize];
  for (int64_t i = 0; sh::kIdLength * (static_cast<int64_t>(stored) + 1) <= outLength; ++i) {
    if (position + kSectorHeaderSize > DiskEnd()) break;
    if (file.ReadAt(position, header, kSectorHeaderSize) < kSectorHeaderSize) break;
    std::memcpy(out + sh::kIdLength * stored, header, sh::kIdLength);
    if (positions != nullptr) positions[stored] = position;
    ++stored;
    position += kSectorHeaderSize + sh::DataLength(header);
    if (i == static_cast<int64_t>(sh::SectorCount(header)) - 1) break;
  }
  return sh::kIdLength * stored;
}
