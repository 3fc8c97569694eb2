#include "directory.h"

#include <algorithm>

namespace {

namespace de = directory_entry;

// The directory of 256 entries at most fits its track.
static_assert((kMaxEntryCount + 1) * de::kSize <= kTrackSize, "the directory fits its track");

const std::uint8_t* Entry(const DecodedDisk& disk, int k) {
  return disk.directoryBytes + de::kSize * k;
}

}  // namespace

DirectoryInfo ReadDirectory(DecodedDisk& disk) {
  // The directory runs backwards from the last byte of the track: its header
  // first, then as many entries as the header counts.
  constexpr int kTrackEnd = (kDirectoryTrack + 1) * kTrackSize;
  const std::uint8_t* const last = disk.diskBuffer + kTrackEnd - 1;
  DirectoryInfo info{false, 0, 0, -1};
  // Only the bytes that are used must be there: the header's disk number
  // and count (directory bytes 8 to 10), and the entries. The header's
  // first eight bytes, the very last of the track, are never read, so an
  // image cut short by a byte or two keeps its directory.
  constexpr int kUsedEnd = kTrackEnd - de::kDiskNumberOffset;
  int missing = FirstMissingByte(disk, kTrackEnd - de::kSize, kUsedEnd);
  if (missing == kUsedEnd) {
    const int entryCount = last[-de::kEntryCountOffset];
    const int directoryLength = (entryCount + 1) * de::kSize;
    missing = FirstMissingByte(disk, kTrackEnd - directoryLength, kUsedEnd);
    if (missing == kUsedEnd) {
      std::reverse_copy(last + 1 - directoryLength, last + 1, disk.directoryBytes);
      info = DirectoryInfo{true, disk.directoryBytes[de::kDiskNumberOffset], entryCount, -1};
      return info;
    }
  }
  info.missingSector = missing / kSectorSize;
  return info;
}

const char* MakeFileName(DecodedDisk& disk, int k, int& length) {
  char* const nameBuffer = disk.nameBuffer;
  const std::uint8_t* name = Entry(disk, k) + de::kNameOffset;
  length = 0;
  // Only a space ends a part; a NUL is copied and so ends the text there.
  for (int i = 0; i < de::kNameLength && name[i] != ' '; ++i) {
    nameBuffer[length++] = static_cast<char>(name[i]);
  }
  const std::uint8_t* extension = Entry(disk, k) + de::kExtensionOffset;
  if (extension[0] != ' ') {
    nameBuffer[length++] = '.';
    for (int i = 0; i < de::kExtensionLength && extension[i] != ' '; ++i) {
      nameBuffer[length++] = static_cast<char>(extension[i]);
    }
  }
  nameBuffer[length] = 0;
  return nameBuffer;
}

int AllocationLength(const DecodedDisk& disk, int k) {
  return de::AllocationLength(Entry(disk, k));
}
