#include "directory.h"

#include <cstdio>
#include <cstring>

std::uint8_t diskBuffer[kDiskBufferSize];
std::uint8_t directoryBytes[kTrackSize];
char nameBuffer[kNameBufferSize];

namespace {

constexpr int kDiskNumberByte = 8;
constexpr int kEntryCountByte = 10;
constexpr int kNameLength = 6;
constexpr int kExtensionLength = 3;
constexpr int kMaxEntry = (kTrackSize - kDirectoryEntrySize) / kDirectoryEntrySize;

const std::uint8_t* Entry(int k) {
  return directoryBytes + kDirectoryEntrySize * k;
}

}  // namespace

DirectoryInfo ReadDirectory(D88Image& image) {
  // Only what this read delivers is decoded: a blank or cut-off disk reads as
  // zero bytes, never as what the previous disk left in the buffer.
  std::memset(diskBuffer, 0, kTrackSize);
  image.SetSectorRange(1, kSectorsPerTrack);
  image.ReadSectors(kDirectoryTrack, kDirectoryTrack / 2, kDirectoryTrack % 2, 1, kSectorSizeCode,
                    diskBuffer, kTrackSize);

  // The directory runs backwards from the last byte of the track.
  const int entryCount = diskBuffer[kTrackSize - 1 - kEntryCountByte];
  const int directoryLength = (entryCount + 1) * kDirectoryEntrySize;
  for (int j = 0; j < directoryLength; ++j) directoryBytes[j] = diskBuffer[kTrackSize - 1 - j];
  const int diskNumber = directoryBytes[kDiskNumberByte];

  // The letter is one raw byte: disk number 191 gives a NUL, 63 and above
  // bytes of 0x80 and up.
  std::fputs("[Disk ", stdout);
  std::fputc(('A' + diskNumber) & 0xFF, stdout);
  std::fputs("]\n", stdout);
  return DirectoryInfo{diskNumber, entryCount};
}

const char* MakeFileName(int k) {
  nameBuffer[0] = 0;
  if (k < 0 || k > kMaxEntry) return nameBuffer;
  const std::uint8_t* entry = Entry(k);
  int length = 0;
  // Only a space ends a part; a NUL is copied and so ends the text there.
  for (int i = 0; i < kNameLength && entry[i] != ' '; ++i) {
    nameBuffer[length++] = static_cast<char>(entry[i]);
  }
  const std::uint8_t* extension = entry + kNameLength;
  if (extension[0] != ' ') {
    nameBuffer[length++] = '.';
    for (int i = 0; i < kExtensionLength && extension[i] != ' '; ++i) {
      nameBuffer[length++] = static_cast<char>(extension[i]);
    }
  }
  nameBuffer[length] = 0;
  return nameBuffer;
}

int AllocationLength(int k) {
  if (k < 0 || k > kMaxEntry) return 0;
  const std::uint8_t* entry = Entry(k);
  return entry[9] << 8 | entry[10];
}
