// d88pack --from=MANIFEST IMAGE: a new image made from the JSON Lines that
// d88unpack --json wrote, and the files it wrote beside them.
#ifndef D88UNPACK_APP_PACK_MANIFEST_H
#define D88UNPACK_APP_PACK_MANIFEST_H

#include <cstdint>

#include "disk_layout.h"
#include "options.h"

// Makes options.image anew from the manifest options.from: one disk for
// each disk object, in order, each file read from its path relative to the
// manifest's folder. Any line refused (named "MANIFEST:LINE: ...") makes
// nothing. Returns the exit status.
int PackFromManifest(const Options& options);

// Reads the system area given to --system-area: exactly kSystemAreaSize
// bytes. False, with the complaint shown, when it cannot.
bool ReadSystemAreaFile(const NativePathChar* path, std::uint8_t (&area)[kSystemAreaSize]);

#endif
