// Reading a disk's directory and naming its files.
#ifndef D88UNPACK_LAYOUT_DIRECTORY_H
#define D88UNPACK_LAYOUT_DIRECTORY_H

#include "disk_layout.h"

struct DirectoryInfo {
  // The image holds the bytes of the directory's header and of all its
  // entries; when false, nothing else here is set but missingSector.
  bool read;
  int diskNumber;  // 0 to 255; 0 is the system disk
  int entryCount;  // 0 to 255
  // When not read: the first sector of the directory track that the image
  // does not hold in full, as an index into DecodedDisk::held.
  int missingSector;
};

// Decodes the directory of the disk loaded into `disk`, from the end of its
// track 83, into disk.directoryBytes (in directory order), when the image
// holds the sectors that the directory's header and entries lie in.
DirectoryInfo ReadDirectory(DecodedDisk& disk);

// Builds the file name of directory entry k (1 to kMaxEntryCount) in
// disk.nameBuffer and returns it: the name up to its first space, then '.'
// and the extension up to its first space when the extension does not start
// with a space. Bytes are copied as they stand; `length` gets the bytes
// built, which a NUL among them makes more than the text's own length.
const char* MakeFileName(DecodedDisk& disk, int k, int& length);

// The allocation length of entry k: the distance from the start of its record
// to the start of the next.
int AllocationLength(const DecodedDisk& disk, int k);

#endif
