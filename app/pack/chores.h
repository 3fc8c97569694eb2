// The chores of d88pack besides putting and deleting files: what each disk
// holds and has free (--info), whether each could take a put (--check), and
// a disk's write protection (--protect, --unprotect).
#ifndef D88UNPACK_APP_PACK_CHORES_H
#define D88UNPACK_APP_PACK_CHORES_H

#include "console.h"
#include "d88_image.h"
#include "disk_check.h"
#include "disk_walk.h"
#include "image_file.h"
#include "image_replace.h"
#include "options.h"

// What the chores work in: kept by the program, taken as found by each run.
struct ChoreWork {
  // The image once more, as the layout's checks read it.
  ImageFile file;
  SectorMap map;
  DiskSpan spans[D88Image::kMaxDisks];
};

// Runs the chore `options` ask for on the image `replacement` has found (and
// locked, where the chore changes it). Returns the exit status.
int RunChore(const Console& console, const Options& options, D88Image& image, DecodedDisk& disk,
             ImageReplacement& replacement, ChoreWork& work);

#endif
