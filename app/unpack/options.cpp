#include "options.h"

#include <getopt.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "command_line.h"

#ifndef D88UNPACK_VERSION
#define D88UNPACK_VERSION "0.0.0"
#endif

namespace {

// Options with no short form.
constexpr int kJsonOption = 256;
constexpr int kSalvageOption = 257;
constexpr int kSkipOldOption = 258;
constexpr int kSystemAreaOption = 270;

const option kLongOptions[] = {
    {"list", no_argument, nullptr, 'l'},
    {"directory", required_argument, nullptr, 'C'},
    {"disk", required_argument, nullptr, 'd'},
    {"keep-old-files", no_argument, nullptr, 'k'},
    {"skip-old-files", no_argument, nullptr, kSkipOldOption},
    {"salvage", no_argument, nullptr, kSalvageOption},
    {"ignore-case", no_argument, nullptr, 'i'},
    {"to-stdout", no_argument, nullptr, 'O'},
    {"disk-folders", no_argument, nullptr, 'D'},
    {"utf8", no_argument, nullptr, 'u'},
    {"json", no_argument, nullptr, kJsonOption},
    {"system-area", no_argument, nullptr, kSystemAreaOption},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {nullptr, 0, nullptr, 0},
};

// The leading ':' makes a missing argument return ':' rather than '?'.
const char kShortOptions[] = ":ltC:d:kODuihV";

const char kHelp[] =
    "Usage: d88unpack [OPTION]... IMAGE [NAME]...\n"
    "List and extract the files stored on the disks of the D88 disk image IMAGE.\n"
    "For each disk it prints a header line, then one line per file (name, size,\n"
    "start and end address), and writes each file into the current folder.\n"
    "\n"
    "  -l, -t, --list          list only; create no file or folder\n"
    "  -C, --directory=DIR     write the files into DIR, which must exist\n"
    "  -d, --disk=N            only the disk at place N in the image (from 1);\n"
    "                            may be given more than once\n"
    "  -k, --keep-old-files    never replace an existing file; report it instead\n"
    "      --skip-old-files    never replace an existing file, and say nothing of it\n"
    "  -O, --to-stdout         write the files' data to standard output, one after\n"
    "                            another, instead of files and the listing\n"
    "  -D, --disk-folders      put each disk's files into a folder disk01, disk02, ...\n"
    "  -u, --utf8              read names as code page 932 (Shift-JIS) and show and\n"
    "                            write them in UTF-8\n"
    "  -i, --ignore-case       NAME patterns match letters in either case\n"
    "      --salvage           write every file in full, with zeros where the image\n"
    "                            lacks its data (reported; the exit status stays 1)\n"
    "      --json              JSON Lines instead of the listing: one object per\n"
    "                            disk, then one per file\n"
    "      --system-area       also write the system disk's system area (its first\n"
    "                            cylinder, the boot program) as SYSTEM.AREA\n"
    "  -h, --help              show this help and exit\n"
    "  -V, --version           show the version and exit\n"
    "\n"
    "NAME is a shell pattern (*, ?, [...]) matched against whole file names as\n"
    "listed; only matching files are listed and extracted.\n"
    "\n"
    "The disks read are those of 84 tracks (42 cylinders, 2 sides) of five\n"
    "1024-byte sectors, with the directory at the end of the last track.\n"
    "\n"
    "Exit status: 0 when everything asked was done; 1 when anything was not, each\n"
    "problem reported on standard error.\n"
    "\n"
    "Examples:\n"
    "  d88unpack -l games.d88               list what the disks hold\n"
    "  d88unpack -d 2 -C out games.d88      extract the second disk into out/\n"
    "  d88unpack -O games.d88 README > r    one file's data to standard output\n";

constexpr char kUsage[] = "[OPTION]... IMAGE [NAME]...";

// One line that says what is wrong, then the usage line and where to learn
// more.
ParseResult UsageError(const Console& console, int argc, char** argv, const char* format,
                       const char* detail) {
  ShowUsageError(console, argc, argv, kUsage, format, detail);
  return ParseResult::kUsageError;
}

}  // namespace

void PrintBareUsage(const Console& console, const char* program) {
  std::fprintf(console.err, "Usage: %s [d88file]\n", program);
}

ParseResult ParseCommandLine(const Console& console, int argc, char** argv,
                             NativePathChar** nativeArgs, Options& options) {
  // Each call starts from what a fresh process has.
  options = Options();
  if (argc < 2) {
    PrintBareUsage(console, InvokedName(argc, argv));
    return ParseResult::kNoArguments;
  }
  // getopt_long moves the arguments around; remember where each began, to
  // find its native form afterwards.
  if (!RememberArguments(argc, argv))
    return UsageError(console, argc, argv, "%s", "too many arguments");

  opterr = 0;
  // 0, not 1: getopt_long starts afresh, forgetting where an earlier
  // call's parse stood.
  optind = 0;
  for (;;) {
    const int before = optind;
    const int option = getopt_long(argc, argv, kShortOptions, kLongOptions, nullptr);
    if (option == -1) break;
    switch (option) {
      case 'l':
      case 't':
        options.list = true;
        break;
      case 'C':
        options.directory = NativeOf(optarg, argc, nativeArgs);
        if (options.directory == nullptr || optarg[0] == 0) {
          return UsageError(console, argc, argv, "%s", "the folder given to --directory is empty");
        }
        break;
      case 'd': {
        errno = 0;
        char* end = nullptr;
        const long long place = std::strtoll(optarg, &end, 10);
        if (optarg[0] < '0' || optarg[0] > '9' || *end != 0 || errno != 0 || place < 1) {
          return UsageError(console, argc, argv, "the disk's place must be a number from 1: '%s'",
                            optarg);
        }
        if (options.diskCount == Options::kMaxDiskChoices) {
          return UsageError(console, argc, argv, "%s", "too many disks chosen");
        }
        options.disks[options.diskCount++] = place;
        break;
      }
      case 'k':
        options.keepOld = true;
        break;
      case 'O':
        options.toStdout = true;
        break;
      case 'D':
        options.diskFolders = true;
        break;
      case 'u':
        options.utf8 = true;
        break;
      case kJsonOption:
        options.json = true;
        break;
      case kSalvageOption:
        options.salvage = true;
        break;
      case kSystemAreaOption:
        options.systemArea = true;
        break;
      case kSkipOldOption:
        options.skipOld = true;
        break;
      case 'i':
        options.ignoreCase = true;
        break;
      case 'h':
        std::fputs(kHelp, console.out);
        return ParseResult::kDone;
      case 'V':
        ShowVersion(console, D88UNPACK_VERSION);
        return ParseResult::kDone;
      default:
        ShowOptionError(console, argc, argv, kUsage, option, LongOptionGiven(argv, before));
        return ParseResult::kUsageError;
    }
  }
  if (options.toStdout && (options.list || options.json)) {
    return UsageError(console, argc, argv, "%s",
                      options.list ? "--to-stdout cannot be combined with --list"
                                   : "--to-stdout cannot be combined with --json");
  }
  if (options.systemArea && (options.list || options.toStdout)) {
    return UsageError(console, argc, argv, "%s",
                      options.list ? "--system-area cannot be combined with --list"
                                   : "--system-area cannot be combined with --to-stdout");
  }
  if (optind >= argc) return UsageError(console, argc, argv, "%s", "no image given");
  options.image = NativeOf(argv[optind], argc, nativeArgs);
  if (options.image == nullptr) return UsageError(console, argc, argv, "%s", "no image given");
  options.patternCount = argc - optind - 1;
  options.patterns = argv + optind + 1;
  if (options.patternCount > Options::kMaxPatterns) {
    return UsageError(console, argc, argv, "%s", "too many names");
  }
  return ParseResult::kRun;
}
