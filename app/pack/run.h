// One run of d88pack: check the disk and the FILEs, make the change on the
// disk in memory, and write the image anew, or say what would change.
#ifndef D88UNPACK_APP_PACK_RUN_H
#define D88UNPACK_APP_PACK_RUN_H

#include "options.h"

// Returns the exit status: 0 when everything asked was done, 1 otherwise.
int Run(const Options& options);

#endif
