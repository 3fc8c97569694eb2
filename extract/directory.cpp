#include "directory.h"

#include <cstring>

namespace {

namespace de = directory_entry;

// The directory of 256 entries at most fits its track.
static_assert((kMaxEntryCount + 1) * de::kSize <= kTrackSize, "the directory fits its track");

const std::uint8_t* Entry(const DecodedDisk& disk, int k) {
  return disk.directoryBytes + de::kSize * k;
}

}  // namespace

DirectoryInfo ReadDirectory(D88Image& image, DecodedDisk& disk) {
  // Only what this read delivers is decoded: a blank or cut-off disk reads as
  // zero bytes, never as what the previous disk left in the buffer.
  std::memset(disk.diskBuffer, 0, kTrackSize);
  image.SetSectorRange(1, kSectorsPerTrack);
  const int delivered = image.ReadSectors(kDirectoryTrack, kDirectoryTrack / 2, kDirectoryTrack % 2,
                                          1, kSectorSizeCode, disk.diskBuffer, kTrackSize);
  // Read in full: every sector found, and all their bytes in the file.
  return DecodeDirectory(disk.diskBuffer,
                         delivered == kTrackSize && image.GetSupplied() == kTrackSize, disk);
}

DirectoryInfo DecodeDirectory(const std::uint8_t* track, bool complete, DecodedDisk& disk) {
  // The directory runs backwards from the last byte of the track.
  const int entryCount = track[kTrackSize - 1 - de::kEntryCountOffset];
  const int directoryLength = (entryCount + 1) * de::kSize;
  for (int j = 0; j < directoryLength; ++j) disk.directoryBytes[j] = track[kTrackSize - 1 - j];
  const int diskNumber = disk.directoryBytes[de::kDiskNumberOffset];
  return DirectoryInfo{diskNumber, entryCount, complete};
}

const char* MakeFileName(DecodedDisk& disk, int k) {
  char* const nameBuffer = disk.nameBuffer;
  const std::uint8_t* name = Entry(disk, k) + de::kNameOffset;
  int length = 0;
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
