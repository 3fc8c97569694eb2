// Reading a disk's directory and naming its files.
#ifndef D88UNPACK_EXTRACT_DIRECTORY_H
#define D88UNPACK_EXTRACT_DIRECTORY_H

#include "d88_image.h"
#include "disk_layout.h"

struct DirectoryInfo {
  int diskNumber;  // 0 to 255; 0 is the system disk
  int entryCount;  // 0 to 255
  bool complete;   // the whole directory track was read from the file
};

// Reads the directory track of the image's current disk into
// disk.directoryBytes (in directory order), using the start of
// disk.diskBuffer to read it in, and returns the disk number and entry
// count. What the read does not deliver decodes as zero bytes. Leaves the
// sector range at 1 to 5.
DirectoryInfo ReadDirectory(D88Image& image, DecodedDisk& disk);

// Decodes the directory track's 5120 bytes at `track` into
// disk.directoryBytes, as ReadDirectory does once it has read them.
DirectoryInfo DecodeDirectory(const std::uint8_t* track, bool complete, DecodedDisk& disk);

// Builds the file name of directory entry k (1 to kMaxEntryCount) in
// disk.nameBuffer and returns it: the name up to its first space, then '.' and the extension up to its
// first space when the extension does not start with a space. Bytes are
// copied as they stand.
const char* MakeFileName(DecodedDisk& disk, int k);

// The allocation length of entry k: the distance from the start of its record
// to the start of the next.
int AllocationLength(const DecodedDisk& disk, int k);

#endif
