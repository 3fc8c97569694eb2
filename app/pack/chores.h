// The chores of d88pack besides putting and deleting files: what each disk
// holds and has free (--info), whether each could take a put (--check), and
// a disk's write protection (--protect, --unprotect).
#ifndef D88UNPACK_APP_PACK_CHORES_H
#define D88UNPACK_APP_PACK_CHORES_H

#include "d88_image.h"
#include "disk_layout.h"
#include "image_replace.h"
#include "options.h"

// Runs the chore `options` ask for on the image `replacement` has found (and
// locked, where the chore changes it). Returns the exit status.
int RunChore(const Options& options, D88Image& image, DecodedDisk& disk,
             ImageReplacement& replacement);

#endif
