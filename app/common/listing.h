// The listing both programs print: a header line for each disk, then one
// line for each file.
#ifndef D88UNPACK_APP_COMMON_LISTING_H
#define D88UNPACK_APP_COMMON_LISTING_H

#include "console.h"

// On the console's output: "[Disk X]", the letter one raw byte ('A' + the disk number); on a
// terminal a control byte is shown as '?'.
void PrintDiskLine(const Console& console, int diskNumber);

// What a disk holds, in a line of its own: its letter, its place in the
// image, its files, the bytes they own and the bytes free, its protection
// and its label (shown as `label`, on a terminal its control bytes as '?').
struct DiskSummary {
  int diskNumber;
  int place;
  int files;
  long long used;
  long long free;
  bool writeProtected;
  const char* label;
};

// "[Disk X]  DISK=N  FILES=%3d  USED=%6lld  FREE=%6lld  PROTECTED=yes|no
// LABEL=TEXT".
void PrintDiskSummary(const Console& console, const DiskSummary& disk);

// "%-12s  %5d  START=%04x  END=%04x": the name shown as `shown` (on a
// terminal its control bytes as '?'), padded to 12 columns counted as
// `columns`, its bytes on the disk.
void PrintListingLine(const Console& console, const char* shown, int columns, int size, int start,
                      int end);

#endif
