#include "lay_disk.h"

#include <algorithm>
#include <cstring>

#include "disk_edit.h"
#include "disk_fill.h"
#include "new_disk.h"

namespace {

namespace de = directory_entry;
namespace rh = record_header;

constexpr int kWriteProtected = 0x10;

void PutBig16(std::uint8_t* p, int value) {
  p[0] = static_cast<std::uint8_t>(value >> 8);
  p[1] = static_cast<std::uint8_t>(value);
}

}  // namespace

bool ListedEntryName(const char* listed, std::size_t length, EntryName& name) {
  std::size_t stem = length;
  for (std::size_t i = 0; i < length; ++i) {
    if (listed[i] == ' ' || listed[i] == 0) return false;
    if (listed[i] == '.') stem = i;
  }
  const std::size_t extension = stem < length ? length - stem - 1 : 0;
  if (stem > static_cast<std::size_t>(de::kNameLength) ||
      extension > static_cast<std::size_t>(de::kExtensionLength) ||
      (stem < length && extension == 0)) {
    return false;
  }
  std::memset(name.bytes, ' ', sizeof name.bytes);
  std::memcpy(name.bytes + de::kNameOffset, listed, stem);
  if (extension > 0) std::memcpy(name.bytes + de::kExtensionOffset, listed + stem + 1, extension);
  return true;
}

void DiskLayer::Begin(const DiskLook& look) {
  number = look.number;
  directoryFill = look.directoryFill;
  count = 0;
  next = number == kSystemDiskNumber ? kSystemAreaTracks * kTrackSize : 0;
  coveredTo = 0;
  std::memset(disk.diskBuffer, look.fill, kDataAreaEnd);
  std::memset(disk.diskBuffer + kDataAreaEnd, look.directoryFill, kTrackSize);
  std::memset(disk.directoryBytes, look.directoryFill, sizeof disk.directoryBytes);
  std::fill(disk.held, disk.held + kSectorsPerDisk, static_cast<std::uint16_t>(kSectorSize));
}

LayProblem DiskLayer::Add(const EntryName& name, int start, const std::uint8_t* data, int size,
                          int allocation) {
  if (count == kMaxEntryCount) return LayProblem::kDirectoryFull;
  if (start + size > 0xFFFF) return LayProblem::kEndPastFFFF;
  const long long at = next;
  const long long end = at + rh::kSize + size;
  if (end > kDataAreaEnd) return LayProblem::kPastDataArea;
  const int from = static_cast<int>(at);
  std::uint8_t header[rh::kSize];
  PutBig16(header + rh::kStartOffset, start);
  PutBig16(header + rh::kEndOffset, start + size);
  // Records may share bytes (an allocation shorter than the record, or 0:
  // two entries of one record) only where they agree.
  const int shared = std::min(static_cast<int>(end), coveredTo) - from;
  if (shared > 0) {
    const int inHeader = std::min(shared, rh::kSize);
    if (std::memcmp(disk.diskBuffer + from, header, static_cast<std::size_t>(inHeader)) != 0 ||
        (shared > rh::kSize && std::memcmp(disk.diskBuffer + from + rh::kSize, data,
                                           static_cast<std::size_t>(shared - rh::kSize)) != 0)) {
      return LayProblem::kOverEarlierRecord;
    }
  }
  std::memcpy(disk.diskBuffer + from, header, sizeof header);
  std::memcpy(disk.diskBuffer + from + rh::kSize, data, static_cast<std::size_t>(size));
  coveredTo = std::max(coveredTo, static_cast<int>(end));
  if (allocation == kNewAllocation) allocation = NewAllocation(size);
  std::uint8_t* entry = disk.directoryBytes + de::kSize * ++count;
  std::memcpy(entry + de::kNameOffset, name.bytes, EntryName::kSize);
  PutBig16(entry + de::kAllocationOffset, allocation);
  next = at + allocation;
  return LayProblem::kNone;
}

void DiskLayer::Finish() {
  disk.directoryBytes[de::kDiskNumberOffset] = static_cast<std::uint8_t>(number);
  disk.directoryBytes[de::kEntryCountOffset] = static_cast<std::uint8_t>(count);
  // The directory runs backwards from the last byte of its track; what it
  // does not hold keeps the directory's fill.
  std::uint8_t* track = disk.diskBuffer + kDataAreaEnd;
  for (int j = 0; j < kTrackSize; ++j) {
    if (DirectoryHolds(j, count)) track[kTrackSize - 1 - j] = disk.directoryBytes[j];
  }
}

Problem AppendDisk(ImageReplacement& replacement, const DiskLook& look, const DecodedDisk& disk) {
  std::uint8_t header[d88::disk_header::kSize];
  std::uint8_t track[kNewTrackMaxSize];
  NewDiskHeader(look.label, look.labelLength, look.number, header);
  header[d88::disk_header::kWriteProtectOffset] = look.writeProtected ? kWriteProtected : 0;
  header[d88::disk_header::kMediaTypeOffset] = static_cast<std::uint8_t>(look.media);
  Problem problem = replacement.Append(header, sizeof header);
  for (int t = 0; t < kTracksPerDisk && !problem; ++t) {
    const int length = NewDiskTrack(disk.diskBuffer, look.number, t, track, look.systemArea);
    problem = replacement.Append(track, static_cast<std::size_t>(length));
  }
  return problem;
}
