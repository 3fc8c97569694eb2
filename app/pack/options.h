// The command line: what the user asked for.
//
//   d88pack [OPTION]... IMAGE [FILE]...
//   d88pack --delete [OPTION]... IMAGE [NAME]...
//   d88pack --rename [OPTION]... OLD NEW IMAGE
//   d88pack --info | --check | --protect | --unprotect [OPTION]... IMAGE
//   d88pack --from=MANIFEST [--force] IMAGE
//
// Options may stand before or after IMAGE, as getopt_long takes them; "--"
// ends them.
#ifndef D88UNPACK_APP_PACK_OPTIONS_H
#define D88UNPACK_APP_PACK_OPTIONS_H

#include <cstddef>

#include "console.h"
#include "d88_format.h"
#include "native_path.h"

struct Options {
  static constexpr int kMaxOperands = 4096;

  bool create = false;      // -c: a new image of one formatted disk
  bool force = false;       // --force: replace an existing image with -c; write a protected disk
  bool remove = false;      // --delete: the operands are NAME patterns
  bool utf8 = false;        // -u: names are UTF-8, stored as code page 932
  bool verbose = false;     // -v: the disk's listing afterwards
  bool dryRun = false;      // -n: check and tell, write nothing
  bool ignoreCase = false;  // -i: NAME patterns match letters in either case
  bool json = false;        // --json: what is printed, as JSON Lines
  bool info = false;        // --info: what each disk holds and has free
  bool check = false;       // --check: whether each disk could take a put
  bool rename = false;      // --rename: the operands are OLD NEW IMAGE
  int protect = -1;         // --protect 1, --unprotect 0; -1: neither
  bool allDisks = false;    // --all-disks, with --protect or --unprotect

  long long disk = 0;  // -d: the disk's place, from 1; 0: none given
  int number = 1;      // --number, with -c
  int start = -1;      // --start; -1: the replaced entry's, else 0

  // --label, as stored: code page 932 where names are converted.
  char label[d88::disk_header::kNameLength + 1] = {};
  std::size_t labelLength = 0;

  const NativePathChar* image = nullptr;
  // --from: the manifest a new image is made from, or null.
  const NativePathChar* from = nullptr;
  // --system-area, with --create: the system disk's system area, or null.
  const NativePathChar* systemArea = nullptr;
  // FILE... or NAME...: as given (UTF-8 on Windows), and their native form.
  int operandCount = 0;
  const char* const* operands = nullptr;
  const NativePathChar* nativeOperands[kMaxOperands] = {};
};

enum class ParseResult {
  kRun,         // the options are complete
  kDone,        // --help or --version was printed: exit 0
  kUsageError,  // reported on standard error: exit 1
};

// Whether names are converted between UTF-8 and code page 932: with -u, and
// always on Windows, where file names are Unicode.
bool ConvertsNames(const Options& options);

// Parses the arguments after argv[0] into `options`, all of it set anew. `nativeArgs`, where not
// null, holds the same arguments in the host's path type (the wide command line on Windows), from
// which paths are taken.
ParseResult ParseCommandLine(const Console& console, int argc, char** argv,
                             NativePathChar** nativeArgs, Options& options);

#endif
