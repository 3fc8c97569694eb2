#include "disk_edit.h"

#include <algorithm>
#include <cstring>

#include "directory.h"

namespace {

namespace de = directory_entry;
namespace rh = record_header;

void PutBig16(std::uint8_t* p, int value) {
  p[0] = static_cast<std::uint8_t>(value >> 8);
  p[1] = static_cast<std::uint8_t>(value);
}

bool AllZero(const std::uint8_t* from, const std::uint8_t* to) {
  return std::all_of(from, to, [](std::uint8_t byte) { return byte == 0; });
}

}  // namespace

int NewAllocation(int size) {
  const int record = rh::kSize + size;
  const int whole = (record + kSectorSize - 1) / kSectorSize * kSectorSize;
  return whole > kMaxAllocation ? record : whole;
}

DiskEdit::DiskEdit(DecodedDisk& disk, DiskRecord& record, bool overwriteUnowned)
    : disk(disk),
      record(record),
      overwriteUnowned(overwriteUnowned),
      mostEntries(record.entryCount) {}

void DiskEdit::Format(DecodedDisk& disk, DiskRecord& record, int number) {
  std::memset(disk.diskBuffer, 0, sizeof disk.diskBuffer);
  std::memset(disk.directoryBytes, 0, sizeof disk.directoryBytes);
  disk.directoryBytes[de::kDiskNumberOffset] = static_cast<std::uint8_t>(number);
  // What the walk over its entries needs.
  record = DiskRecord{};
  record.place = 1;
  record.diskNumber = number;
  record.finding = DiskFinding::kDirectory;
  record.dataStart = number == kSystemDiskNumber ? kSystemAreaTracks * kTrackSize : 0;
  // A new disk holds every sector of its own.
  std::fill(disk.held, disk.held + kSectorsPerDisk, static_cast<std::uint16_t>(kSectorSize));
}

std::uint8_t* DiskEdit::Entry(int k) const {
  return disk.directoryBytes + de::kSize * k;
}

int DiskEdit::Allocation(int k) const {
  return AllocationLength(disk, k);
}

void DiskEdit::SetAllocation(int k, int allocation) {
  PutBig16(Entry(k) + de::kAllocationOffset, allocation);
}

int DiskEdit::Offset(int k) const {
  int offset = record.dataStart;
  for (int i = 1; i < k; ++i) offset += Allocation(i);
  return offset;
}

int DiskEdit::Find(const EntryName& name) const {
  for (int k = 1; k <= record.entryCount; ++k) {
    if (std::memcmp(Entry(k) + de::kNameOffset, name.bytes, EntryName::kSize) == 0) return k;
  }
  return 0;
}

int DiskEdit::Free() const {
  return kDataAreaEnd - Used();
}

int DiskEdit::Start(int k) const {
  return rh::Start(disk.diskBuffer + Offset(k));
}

bool FindNonZeroSectors(const DecodedDisk& disk, int from, int to, int& first, int& last) {
  first = -1;
  last = -1;
  for (int sector = from / kSectorSize; sector * kSectorSize < to; ++sector) {
    const std::uint8_t* begin = disk.diskBuffer + std::max(from, sector * kSectorSize);
    const std::uint8_t* end = disk.diskBuffer + std::min(to, (sector + 1) * kSectorSize);
    if (AllZero(begin, end)) continue;
    if (first < 0) first = sector;
    last = sector;
  }
  return first >= 0;
}

Problem DiskEdit::CheckUnowned(int from, int to) const {
  int first = 0;
  int last = 0;
  if (overwriteUnowned || !FindNonZeroSectors(disk, from, to, first, last)) return Problem{};
  if (first == last) return UnownedBytes(TrackOf(first), SectorNumberOf(first));
  return UnownedBytes(TrackOf(first), SectorNumberOf(first), TrackOf(last), SectorNumberOf(last));
}

Problem DiskEdit::Put(int k, const EntryName& name, int start, int size, std::uint8_t*& data) {
  if (size > kMaxFileSize) return FileTooLarge(size);
  if (start + size > 0xFFFF) return FileEndPastFFFF(start, size);
  const int used = Used();
  // A replaced record that fits keeps its allocation; any other gets a new
  // one, and the records after it move by the difference.
  const int old = k == 0 ? 0 : Allocation(k);
  const int allocation = k != 0 && rh::kSize + size <= old ? old : NewAllocation(size);
  if (k == 0 && record.entryCount == kMaxEntryCount) {
    return DirectoryFull(kMaxEntryCount);
  }
  const int room = kDataAreaEnd - used + old;
  if (allocation > room) return FileDoesNotFit(allocation, room);
  const int grown = allocation - old;
  const Problem unowned = CheckUnowned(used, used + grown);
  if (unowned) return unowned;
  if (k == 0) {
    k = ++record.entryCount;
    if (k > mostEntries) mostEntries = k;
    std::memcpy(Entry(k) + de::kNameOffset, name.bytes, EntryName::kSize);
    SetAllocation(k, 0);
  }
  // The records after entry k move to their new place.
  const int offset = Offset(k);
  const int next = offset + old;
  std::memmove(disk.diskBuffer + offset + allocation, disk.diskBuffer + next,
               static_cast<std::size_t>(used - next));
  SetAllocation(k, allocation);
  std::uint8_t* header = disk.diskBuffer + offset;
  std::memset(header, 0, static_cast<std::size_t>(allocation));
  PutBig16(header + rh::kStartOffset, start);
  PutBig16(header + rh::kEndOffset, start + size);
  data = header + rh::kSize;
  return Problem{};
}

Problem DiskEdit::Rename(int k, const EntryName& name) {
  const int other = Find(name);
  if (other != 0 && other != k) return Refuse(Refusal::kNameOnDisk);
  std::memcpy(Entry(k) + de::kNameOffset, name.bytes, EntryName::kSize);
  return Problem{};
}

void DiskEdit::Delete(int k) {
  const int used = Used();
  const int offset = Offset(k);
  const int allocation = Allocation(k);
  std::memmove(disk.diskBuffer + offset, disk.diskBuffer + offset + allocation,
               static_cast<std::size_t>(used - offset - allocation));
  // What the last records owned and left is no one's now.
  std::memset(disk.diskBuffer + used - allocation, 0, static_cast<std::size_t>(allocation));
  std::memmove(Entry(k), Entry(k + 1),
               static_cast<std::size_t>(de::kSize * (record.entryCount - k)));
  --record.entryCount;
}

void DiskEdit::Finish() {
  const int count = record.entryCount;
  disk.directoryBytes[de::kEntryCountOffset] = static_cast<std::uint8_t>(count);
  // Entries that are gone leave zeros behind.
  const int length = (count + 1) * de::kSize;
  const int cleared = (mostEntries + 1) * de::kSize;
  std::memset(disk.directoryBytes + length, 0, static_cast<std::size_t>(cleared - length));
  // The directory runs backwards from the last byte of its track.
  std::uint8_t* track = disk.diskBuffer + kDirectoryTrack * kTrackSize;
  for (int j = 0; j < cleared; ++j) track[kTrackSize - 1 - j] = disk.directoryBytes[j];
}
