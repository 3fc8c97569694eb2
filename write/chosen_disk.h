// The disk a run writes: chosen by its place in the image, loaded, and
// checked as writing it needs.
#ifndef D88UNPACK_WRITE_CHOSEN_DISK_H
#define D88UNPACK_WRITE_CHOSEN_DISK_H

#include "d88_image.h"
#include "disk_check.h"
#include "disk_layout.h"
#include "file_identity.h"
#include "image_file.h"
#include "native_path.h"
#include "refusal.h"

struct DiskChoice {
  long long place;  // from 1; 0: the image's only disk
  bool force;       // a write-protected disk is written all the same
  // The file the image must be read from (the one found, and locked), or
  // null: whatever file stands at the path.
  const FileIdentity* identity;
};

struct ChosenDisk {
  int index;  // from 0
  DiskRecord record;
  SectorMap map;
};

// Why the disk chosen cannot be written, and what the words are about: the
// image as a whole (`place` 0) or its disk at `place`.
struct ChoiceProblem {
  Problem problem;
  long long place;

  explicit operator bool() const { return static_cast<bool>(problem); }
};

// Opens the image at `path` with `image`: it must be the file `identity`
// names (where not null), a D88 image rather than a compressed file or an
// archive, and hold a disk.
Problem OpenChosenImage(const NativePathChar* path, const FileIdentity* identity, D88Image& image);

// The disk at `place` (from 1; 0: the only one) of the image open, as its
// index from 0 in `index`; what stops the choice otherwise.
ChoiceProblem ChooseDiskIndex(const D88Image& image, long long place, int& index);

// Opens the image at `path` with `image`, chooses its disk, loads it into
// `disk` and `chosen`, and checks that it may be written: a D88 image whose
// disk is chosen unambiguously, wholly of the layout, its directory
// consistent, and not write-protected unless forced. `file` is used to look
// at the image once more, where the disk lies and where the file ends, and
// is closed again.
ChoiceProblem LoadChosenDisk(const NativePathChar* path, const DiskChoice& choice, D88Image& image,
                             ImageFile& file, DecodedDisk& disk, ChosenDisk& chosen);

#endif
