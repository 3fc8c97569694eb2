#include "reference_reader.h"

#include <algorithm>
#include <cstring>

namespace d88test {
namespace {

namespace dh = d88::disk_header;
namespace sh = d88::sector_header;

}  // namespace

ReferenceReader::ReferenceReader(const std::uint8_t* data, std::size_t length, long headerBudget)
    : bytes(data), size(static_cast<std::int64_t>(length)), budget(headerBudget) {
  // A disk counts when its whole header is there; its size field leads to
  // the next one.
  std::int64_t offset = 0;
  while (diskCount < kMaxDisks) {
    diskOffsets[diskCount] = offset;
    if (offset + dh::kSize > size) {
      cutHeaderBytes = static_cast<int>(std::max<std::int64_t>(0, size - offset));
      return;
    }
    // A size of 0 would lead to the same header again: the scan ends.
    const std::uint32_t sizeField = dh::DiskSize(bytes + offset);
    ++diskCount;
    if (sizeField == 0) {
      bytesAfterZeroSize = offset + dh::kSize < size;
      return;
    }
    offset += sizeField;
  }
  moreDisks = offset + dh::kSize <= size;
  if (!moreDisks) cutHeaderBytes = static_cast<int>(std::max<std::int64_t>(0, size - offset));
}

bool ReferenceReader::SelectDisk(int index) {
  currentDiskOffset = -1;
  mediaType = -1;
  diskSize = 0;
  std::memset(diskName, 0, sizeof diskName);
  if (index < 0 || index >= diskCount) return false;
  currentDiskOffset = diskOffsets[index];
  const std::uint8_t* header = bytes + currentDiskOffset;
  // An image that starts its first track between 0x2A0 and 0x2AF keeps
  // fewer than 164 offsets: the entries from that point on are track data.
  std::uint32_t first = dh::kSize;
  for (int i = 0; i < 160; ++i) {
    const std::uint32_t offset = dh::TrackOffset(header, i);
    if (offset != 0) first = std::min(first, offset);
  }
  const std::uint32_t tableEnd = first >= 0x2A0 ? first : dh::kSize;
  for (int i = 0; i < dh::kTrackCount; ++i) {
    const bool inTable = dh::kTrackTableOffset + 4 * static_cast<std::uint32_t>(i) + 4 <= tableEnd;
    trackOffsets[i] = inTable ? dh::TrackOffset(header, i) : 0;
  }
  mediaType = header[dh::kMediaTypeOffset];
  diskSize = dh::DiskSize(header);
  for (int i = 0; i < dh::kNameLength && header[dh::kNameOffset + i] != 0; ++i) {
    diskName[i] = static_cast<char>(header[dh::kNameOffset + i]);
  }
  return true;
}

void ReferenceReader::SetSectorRange(int first, int last) {
  firstSector = first;
  lastSector = last;
}

std::int64_t ReferenceReader::DiskEnd() const {
  return currentDiskOffset + diskSize;
}

std::int64_t ReferenceReader::Locate(int track) const {
  if (track < 0 || track >= dh::kTrackCount) return -1;
  if (trackOffsets[track] == 0 || trackOffsets[track] > diskSize) return -1;
  return currentDiskOffset + trackOffsets[track];
}

int ReferenceReader::ReadSector(int track, int c, int h, int r, int n, std::uint8_t* buffer,
                                int limit) {
  const int found = FindSector(track, c, h, r, n, buffer, limit);
  supplied = lastSectorCut ? 0 : found;
  return found;
}

int ReferenceReader::FindSector(int track, int c, int h, int r, int n, std::uint8_t* buffer,
                                int limit) {
  lastSectorCut = false;
  if (limit <= 0) return 0;
  std::int64_t position = Locate(track);
  if (position < 0) return 0;
  // Header i of the walk ends it when its own count says the track holds
  // i + 1 sectors; a count of 0 ends it at once.
  for (std::int64_t i = 0;; ++i) {
    // A header must lie wholly inside the file and inside the disk.
    if (!Walk() || position + sh::kSize > std::min(size, DiskEnd())) return 0;
    const std::uint8_t* header = bytes + position;
    const std::int64_t count = sh::SectorCount(header);
    const int length = static_cast<int>(sh::DataLength(header));
    if (count == 0) return 0;
    if (header[sh::kCylinderOffset] == c && header[sh::kHeadOffset] == h &&
        header[sh::kRecordOffset] == r && header[sh::kSizeCodeOffset] == n) {
      // Bytes past the end of the file or the disk are not there to copy,
      // but count.
      const int wanted = std::min(length, limit);
      const std::int64_t from = position + sh::kSize;
      const std::int64_t there = std::max<std::int64_t>(
          0, std::min<std::int64_t>(wanted, std::min(size, DiskEnd()) - from));
      if (there > 0) std::memcpy(buffer, bytes + from, static_cast<std::size_t>(there));
      lastSectorCut = there < wanted;
      lastSectorThere = static_cast<int>(there);
      return wanted;
    }
    position += sh::kSize + length;
    if (i == count - 1) return 0;
  }
}

void ReferenceReader::Step(int& track, int& c, int& h, int& r) const {
  // After lastSector the next track: head 0, head 1, then the next cylinder.
  if (r == lastSector) {
    if (track < INT_MAX) ++track;
    if (h == 0) {
      h = 1;
    } else {
      h = 0;
      if (c < INT_MAX) ++c;
    }
    r = firstSector;
  } else if (r < INT_MAX) {
    ++r;
  }
}

int ReferenceReader::ReadSectors(int track, int c, int h, int r, int n, std::uint8_t* buffer,
                                 int length) {
  supplied = 0;
  // Size codes whose sector size is no positive int find nothing.
  if (n < 0 || n > 23) return 0;
  int chunk = 128 << n;
  int done = 0;
  // Where the first sector cut short by the end of the file begins.
  int cut = -1;
  while (done < length) {
    if (length - done < chunk) chunk = length - done;
    const int got = FindSector(track, c, h, r, n, buffer + done, chunk);
    if (lastSectorCut && cut < 0) cut = done;
    if (got < chunk) break;
    done += chunk;
    Step(track, c, h, r);
  }
  supplied = cut >= 0 && cut < done ? cut : done;
  return done;
}

void ReferenceReader::ReadEachSector(int track, int c, int h, int r, int n, int count,
                                     std::uint8_t* buffer, std::uint16_t* held) {
  if (n < 0 || n > 23 || count <= 0) return;
  const int sectorSize = 128 << n;
  for (int i = 0; i < count; ++i) {
    // Each sector on its own: what the file gives of it, then zeros.
    std::uint8_t* sector = buffer + static_cast<std::size_t>(i) * sectorSize;
    std::memset(sector, 0, static_cast<std::size_t>(sectorSize));
    const int found = FindSector(track, c, h, r, n, sector, sectorSize);
    held[i] = static_cast<std::uint16_t>(lastSectorCut ? lastSectorThere : found);
    std::memset(sector + held[i], 0, static_cast<std::size_t>(sectorSize - held[i]));
    Step(track, c, h, r);
  }
}

int ReferenceReader::ReadSectorIds(int track, std::uint8_t* out, int outLength) {
  std::int64_t position = Locate(track);
  if (position < 0) return 0;
  int stored = 0;
  for (std::int64_t i = 0; sh::kIdLength * (static_cast<std::int64_t>(stored) + 1) <= outLength;
       ++i) {
    if (!Walk() || position + sh::kSize > std::min(size, DiskEnd())) break;
    const std::uint8_t* header = bytes + position;
    std::memcpy(out + sh::kIdLength * stored, header, sh::kIdLength);
    ++stored;
    position += sh::kSize + sh::DataLength(header);
    if (i == static_cast<std::int64_t>(sh::SectorCount(header)) - 1) break;
  }
  return sh::kIdLength * stored;
}

}  // namespace d88test
