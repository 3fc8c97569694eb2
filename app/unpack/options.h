// The command line: what the user asked for.
//
//   d88unpack [OPTION]... IMAGE [NAME]...
//
// Options may stand before or after IMAGE, as getopt_long takes them; "--"
// ends them.
#ifndef D88UNPACK_APP_UNPACK_OPTIONS_H
#define D88UNPACK_APP_UNPACK_OPTIONS_H

#include "console.h"
#include "native_path.h"

struct Options {
  static constexpr int kMaxDiskChoices = 256;
  static constexpr int kMaxPatterns = 4096;

  bool list = false;         // -l, -t: list only, write nothing
  bool toStdout = false;     // -O: the files' data to standard output
  bool keepOld = false;      // -k: never replace an existing file
  bool diskFolders = false;  // -D: each disk's files into diskNN/
  bool utf8 = false;         // -u: names as code page 932, shown in UTF-8
  bool json = false;         // --json: JSON Lines instead of the listing
  bool salvage = false;      // --salvage: zeros for what the image lacks
  bool skipOld = false;      // --skip-old-files: keep what stands at a name, silently
  bool ignoreCase = false;   // -i: NAME patterns match ASCII letters in either case
  bool systemArea = false;   // --system-area: the system disk's system area as SYSTEM.AREA

  const NativePathChar* image = nullptr;
  const NativePathChar* directory = nullptr;  // -C, or null: the current folder

  // -d: the places of the disks chosen, from 1, in the order given; none:
  // every disk.
  int diskCount = 0;
  long long disks[kMaxDiskChoices] = {};

  // NAME...: shell patterns, as given (UTF-8 on Windows); none: every entry.
  int patternCount = 0;
  const char* const* patterns = nullptr;
};

enum class ParseResult {
  kRun,          // the options are complete
  kDone,         // --help or --version was printed: exit 0
  kNoArguments,  // nothing at all was given
  kUsageError,   // reported on standard error: exit 1
};

// Parses the arguments after argv[0] into `options`, all of it set anew. `nativeArgs`, where not
// null, holds the same arguments in the host's path type (the wide command line on Windows), from
// which the image and folder paths are taken.
ParseResult ParseCommandLine(const Console& console, int argc, char** argv,
                             NativePathChar** nativeArgs, Options& options);

// "Usage: PROGRAM [d88file]", the line the tool has always printed when it
// is given nothing.
void PrintBareUsage(const Console& console, const char* program);

#endif
