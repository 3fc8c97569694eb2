// One run of d88pack: check the disk and the FILEs, make the change on the
// disk in memory, and write the image anew, or say what would change.
#ifndef D88UNPACK_APP_PACK_RUN_H
#define D88UNPACK_APP_PACK_RUN_H

#include <cstdio>

#include "console.h"
#include "options.h"

namespace pack {

// d88pack's whole command line: `argv` as UTF-8 text, argv[0] the name it
// was invoked by; the listing goes to `out`, messages to `err`. Returns the
// exit status: 0 when everything asked was done, 1 otherwise. Each call
// gives what a new process given the same command would; calls take turns,
// sharing the program's one work area.
int Main(int argc, char** argv, std::FILE* out, std::FILE* err);

// What a run works in, made once by the program.
struct WorkArea;

// A run of the options parsed into `work`.
int Run(const Console& console, WorkArea& work);

}  // namespace pack

#endif
