// Listing and extracting the files of the disks of an image.
#ifndef D88UNPACK_EXTRACT_EXTRACT_FILES_H
#define D88UNPACK_EXTRACT_EXTRACT_FILES_H

#include "d88_image.h"
#include "native_path.h"

// What a disk's extraction needs to know besides its directory, and what it
// reports back.
struct DiskContext {
  const NativePathChar* imagePath;  // no output file may replace the image
  int diskIndex;                    // the disk's place in the image, from 0
  bool problem;                     // set when an entry was refused or failed
};

// Loads the current disk's data area, prints one listing line per directory
// entry and writes each file into the current directory. An entry that cannot
// be written as it stands is reported on standard error with the disk, the
// name and the reason, sets context.problem, and the walk goes on.
void ExtractFiles(D88Image& image, DiskContext& context, int diskNumber, int entryCount);

// Lists and extracts every disk of an open image, in file order. Returns
// false when any entry of any disk was refused or failed.
bool ExtractAllDisks(D88Image& image, const NativePathChar* imagePath);

#endif
