// What every chore of d88pack does first: open the image it found, check
// that it is a D88 image that holds a disk, and choose the disk; and the
// lines that say why it cannot.
#ifndef D88UNPACK_APP_PACK_IMAGE_CHOICE_H
#define D88UNPACK_APP_PACK_IMAGE_CHOICE_H

#include "d88_image.h"
#include "image_replace.h"
#include "native_path.h"
#include "refusal.h"

// "d88pack: IMAGE: REASON", and "d88pack: IMAGE: disk N: REASON".
void ShowImageProblem(const NativePathChar* path, const Problem& problem);
void ShowDiskProblem(const NativePathChar* path, long long place, const Problem& problem);

// Opens the image at `path` with `image`: it must be the file `replacement`
// found (and locked, for a run that changes it), a D88 image, and hold a
// disk. Says why not on standard error.
bool OpenFoundImage(const NativePathChar* path, D88Image& image,
                    const ImageReplacement& replacement);

// The disk chosen with --disk (`disk`, 0 when none was given: the only one
// there is), from 0; -1, said on standard error, when there is no such disk
// or there are several to choose from.
int ChooseDisk(const NativePathChar* path, const D88Image& image, long long disk);

#endif
