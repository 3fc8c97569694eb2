// One run of the tool: open the image, walk its disks and entries, and do
// with each what the options ask.
#ifndef D88UNPACK_APP_UNPACK_RUN_H
#define D88UNPACK_APP_UNPACK_RUN_H

#include <cstdio>

#include "console.h"
#include "options.h"

namespace unpack {

// d88unpack's whole command line: `argv` as UTF-8 text, argv[0] the name it
// was invoked by; the listing and the files' data go to `out`, messages to
// `err`. Returns the exit status: 0 when everything asked was done, 1
// otherwise. Each call gives what a new process given the same command
// would; calls take turns, sharing the program's one work area.
int Main(int argc, char** argv, std::FILE* out, std::FILE* err);

// What a run works in, made once by the program.
struct WorkArea;

// A run of the options parsed into `work`.
int Run(const Console& console, WorkArea& work);

}  // namespace unpack

#endif
