// d88pack --from=MANIFEST IMAGE: a new image made from the JSON Lines that
// d88unpack --json wrote, and the files it wrote beside them.
#ifndef D88UNPACK_APP_PACK_MANIFEST_H
#define D88UNPACK_APP_PACK_MANIFEST_H

#include <cstdint>

#include "console.h"
#include "disk_layout.h"
#include "disk_walk.h"
#include "file_identity.h"
#include "image_replace.h"
#include "input_file.h"
#include "manifest_line.h"
#include "options.h"

// The most disks and files a manifest makes.
constexpr int kManifestMaxDisks = 64;
constexpr int kManifestMaxFiles = kManifestMaxDisks * kMaxEntryCount;

// What a run from a manifest works in, besides the disk being laid and the
// new image's replacement: kept by the program, taken as found by each run.
struct ManifestWork {
  InputFile input;
  std::uint8_t data[0x10000];
  std::uint8_t systemArea[kSystemAreaSize];
  char text[kMaxManifestLine + 1];
  ManifestLine line;
  ManifestParseRoom parseRoom;
  // What each file read is, and the line that named it.
  FileIdentity identities[kManifestMaxFiles + kManifestMaxDisks];
  long long lines[kManifestMaxFiles + kManifestMaxDisks];
};

// Makes options.image anew from the manifest options.from: one disk for
// each disk object, in order, each file read from its path relative to the
// manifest's folder. Any line refused (named "MANIFEST:LINE: ...") makes
// nothing. Returns the exit status.
int PackFromManifest(const Console& console, const Options& options, DecodedDisk& disk,
                     ImageReplacement& replacement, ManifestWork& work);

// Reads the system area given to --system-area: exactly kSystemAreaSize
// bytes. False, with the complaint shown, when it cannot.
bool ReadSystemAreaFile(const Console& console, const NativePathChar* path, InputFile& input,
                        std::uint8_t (&area)[kSystemAreaSize]);

#endif
