// One run of the tool: open the image, walk its disks and entries, and do
// with each what the options ask.
#ifndef D88UNPACK_APP_UNPACK_RUN_H
#define D88UNPACK_APP_UNPACK_RUN_H

#include "options.h"

// Returns the exit status: 0 when everything asked was done, 1 otherwise.
int Run(const Options& options);

#endif
