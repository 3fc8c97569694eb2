#include "options.h"

#include <getopt.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "codepage.h"
#include "command_line.h"

#ifndef D88UNPACK_VERSION
#define D88UNPACK_VERSION "0.0.0"
#endif

namespace {

// Options with no short form.
enum : int {
  kForceOption = 256,
  kDeleteOption,
  kNumberOption,
  kLabelOption,
  kStartOption,
  kJsonOption,
  kInfoOption,
  kCheckOption,
  kRenameOption,
  kProtectOption,
  kUnprotectOption,
  kAllDisksOption,
  kFromOption = 280,
  kSystemAreaOption,
};

const option kLongOptions[] = {
    {"create", no_argument, nullptr, 'c'},
    {"delete", no_argument, nullptr, kDeleteOption},
    {"disk", required_argument, nullptr, 'd'},
    {"number", required_argument, nullptr, kNumberOption},
    {"label", required_argument, nullptr, kLabelOption},
    {"start", required_argument, nullptr, kStartOption},
    {"force", no_argument, nullptr, kForceOption},
    {"from", required_argument, nullptr, kFromOption},
    {"system-area", required_argument, nullptr, kSystemAreaOption},
    {"utf8", no_argument, nullptr, 'u'},
    {"verbose", no_argument, nullptr, 'v'},
    {"dry-run", no_argument, nullptr, 'n'},
    {"ignore-case", no_argument, nullptr, 'i'},
    {"json", no_argument, nullptr, kJsonOption},
    {"info", no_argument, nullptr, kInfoOption},
    {"check", no_argument, nullptr, kCheckOption},
    {"rename", no_argument, nullptr, kRenameOption},
    {"protect", no_argument, nullptr, kProtectOption},
    {"unprotect", no_argument, nullptr, kUnprotectOption},
    {"all-disks", no_argument, nullptr, kAllDisksOption},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {nullptr, 0, nullptr, 0},
};

// The leading ':' makes a missing argument return ':' rather than '?'.
const char kShortOptions[] = ":cd:uvnihV";

const char kUsage[] = "[OPTION]... IMAGE [FILE]...";

const char kHelp[] =
    "Usage: d88pack [OPTION]... IMAGE [FILE]...\n"
    "  or:  d88pack --delete [OPTION]... IMAGE [NAME]...\n"
    "  or:  d88pack --rename [OPTION]... OLD NEW IMAGE\n"
    "  or:  d88pack --info | --check | --protect | --unprotect [OPTION]... IMAGE\n"
    "  or:  d88pack --from=MANIFEST [--force] IMAGE\n"
    "Put files on a disk of the D88 disk image IMAGE, the disks that d88unpack\n"
    "reads. A FILE whose name is on the disk already replaces that entry's data;\n"
    "the others are added after the last file. IMAGE is replaced only once the new\n"
    "image is complete.\n"
    "\n"
    "  -c, --create            make IMAGE anew: one formatted, empty disk, then\n"
    "                            put the FILEs on it\n"
    "      --delete            remove the entries whose names match the NAME\n"
    "                            patterns (*, ?, [...]); the records after them\n"
    "                            move up\n"
    "      --rename            give the one entry whose name matches the pattern\n"
    "                            OLD the name NEW; nothing else changes\n"
    "      --info              print each disk's letter, files, bytes used and\n"
    "                            free, protection and label\n"
    "      --check             read each disk as a put would and report what\n"
    "                            stops one; change nothing\n"
    "      --protect, --unprotect\n"
    "                          set or clear the disk's write protection\n"
    "      --all-disks         with --protect or --unprotect: every disk\n"
    "  -d, --disk=N            the disk at place N in the image (from 1); needed\n"
    "                            when the image holds more than one\n"
    "      --number=N          with --create: the disk number, 0 to 255 (default\n"
    "                            1); 0 makes a system disk\n"
    "      --label=TEXT        with --create: the disk's name in the image (at\n"
    "                            most 16 bytes)\n"
    "      --start=ADDR        the start address of the FILEs, in hexadecimal,\n"
    "                            0x optional (default: the replaced entry's,\n"
    "                            else 0000)\n"
    "      --system-area=FILE  with --create --number=0: the system area (the first\n"
    "                            cylinder, 8192 bytes) from FILE\n"
    "      --from=MANIFEST     make IMAGE anew from the JSON Lines d88unpack --json\n"
    "                            wrote, reading each file at its \"path\" relative\n"
    "                            to MANIFEST's folder\n"
    "      --force             with --create, replace an existing IMAGE; otherwise\n"
    "                            write on a write-protected disk, over bytes no\n"
    "                            file owns, or replace an IMAGE you may not write\n"
    "                            or whose owner or attributes cannot be kept\n"
    "  -u, --utf8              FILE names are UTF-8, stored as code page 932\n"
    "                            (Shift-JIS); NAME patterns match names so shown\n"
    "  -v, --verbose           print the disk's listing afterwards, as d88unpack\n"
    "  -n, --dry-run           check everything and say what would change; write\n"
    "                            nothing\n"
    "  -i, --ignore-case       NAME and OLD patterns match letters in either case\n"
    "      --json              print what -n, -v and --info print as JSON Lines,\n"
    "                            as d88unpack --json\n"
    "  -h, --help              show this help and exit\n"
    "  -V, --version           show the version and exit\n"
    "\n"
    "A FILE's entry name is its file name: 1 to 6 bytes, then '.' and an\n"
    "extension of up to 3. Its record is its start and end address and its data,\n"
    "at most 65531 bytes. An image of several disks is their images joined, as\n"
    "cat joins them. Runs that change one image take turns.\n"
    "\n"
    "Exit status: 0 when everything asked was done; 1 otherwise, each problem\n"
    "reported on standard error. A refused run leaves IMAGE as it was.\n"
    "\n"
    "Examples:\n"
    "  d88pack -c new.d88 GAME.BIN README     a new image with two files\n"
    "  d88pack -d 2 games.d88 --start=1200 GAME.BIN\n"
    "                                         put GAME.BIN on the second disk\n"
    "  d88pack --delete games.d88 '*.BAK'     remove the .BAK files\n"
    "  d88pack --rename GAME.BIN GAME2.BIN games.d88\n"
    "                                         rename an entry\n"
    "  d88pack --info games.d88               the free space of every disk\n"
    "  d88pack --from=src/manifest.jsonl games.d88\n"
    "                                         make games.d88 again from what\n"
    "                                         d88unpack --json -D -C src wrote\n";

ParseResult UsageError(const Console& console, int argc, char** argv, const char* format,
                       const char* detail) {
  ShowUsageError(console, argc, argv, kUsage, format, detail);
  return ParseResult::kUsageError;
}

// A whole decimal number from `lowest` to `highest`, or -1.
long long Decimal(const char* text, long long lowest, long long highest) {
  errno = 0;
  char* end = nullptr;
  const long long value = std::strtoll(text, &end, 10);
  if (text[0] < '0' || text[0] > '9' || *end != 0 || errno != 0) return -1;
  return value >= lowest && value <= highest ? value : -1;
}

// One to four hexadecimal digits, with or without a leading 0x, or -1.
int Hexadecimal(const char* text) {
  if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text += 2;
  const std::size_t length = std::strlen(text);
  if (length == 0 || length > 4 || std::strspn(text, "0123456789abcdefABCDEF") != length) {
    return -1;
  }
  return static_cast<int>(std::strtol(text, nullptr, 16));
}

// The options of the chores other than a put: one at a time, each with the
// options that go with it.
ParseResult CheckChores(const Console& console, int argc, char** argv, const Options& options) {
  const char* const names[] = {"--create", "--delete",
                               "--rename", "--info",
                               "--check",  options.protect == 0 ? "--unprotect" : "--protect"};
  const bool given[] = {options.create, options.remove, options.rename,
                        options.info,   options.check,  options.protect >= 0};
  const char* chore = nullptr;
  for (int i = 0; i < 6; ++i) {
    if (!given[i]) continue;
    if (chore != nullptr) {
      char text[96];
      std::snprintf(text, sizeof text, "%s cannot be combined with %s", names[i], chore);
      return UsageError(console, argc, argv, "%s", text);
    }
    chore = names[i];
  }
  if (options.allDisks && options.protect < 0) {
    return UsageError(console, argc, argv, "%s", "--all-disks goes with --protect or --unprotect");
  }
  if (options.allDisks && options.disk != 0) {
    return UsageError(console, argc, argv, "%s", "--disk cannot be combined with --all-disks");
  }
  if (options.ignoreCase && !options.remove && !options.rename) {
    return UsageError(console, argc, argv, "%s", "--ignore-case goes with --delete or --rename");
  }
  if (options.json && !options.dryRun && !options.verbose && !options.info) {
    return UsageError(console, argc, argv, "%s", "--json goes with --dry-run, --verbose or --info");
  }
  const bool onlyImage = options.info || options.check || options.protect >= 0;
  if (chore != nullptr && options.start >= 0 && !options.create && !options.remove) {
    return UsageError(console, argc, argv, "--start cannot be combined with %s", chore);
  }
  if (onlyImage && argc - optind > 1) {
    return UsageError(console, argc, argv, "%s takes no name after the image", chore);
  }
  return ParseResult::kRun;
}

}  // namespace

bool ConvertsNames(const Options& options) {
#ifdef _WIN32
  (void)options;
  return true;
#else
  return options.utf8;
#endif
}

ParseResult ParseCommandLine(const Console& console, int argc, char** argv,
                             NativePathChar** nativeArgs, Options& options) {
  // Each call starts from what a fresh process has.
  options = Options();
  if (argc < 2) {
    std::fprintf(console.err, "Usage: %s %s\n", InvokedName(argc, argv), kUsage);
    return ParseResult::kUsageError;
  }
  // getopt_long moves the arguments around; remember where each began, to
  // find its native form afterwards.
  if (!RememberArguments(argc, argv))
    return UsageError(console, argc, argv, "%s", "too many arguments");
  const char* label = nullptr;
  bool numberGiven = false;
  opterr = 0;
  // 0, not 1: getopt_long starts afresh, forgetting where an earlier
  // call's parse stood.
  optind = 0;
  for (;;) {
    const int before = optind;
    const int option = getopt_long(argc, argv, kShortOptions, kLongOptions, nullptr);
    if (option == -1) break;
    switch (option) {
      case 'c':
        options.create = true;
        break;
      case kDeleteOption:
        options.remove = true;
        break;
      case 'd': {
        if (options.disk != 0)
          return UsageError(console, argc, argv, "%s", "only one disk can be chosen");
        options.disk = Decimal(optarg, 1, 1LL << 62);
        if (options.disk < 0) {
          return UsageError(console, argc, argv, "the disk's place must be a number from 1: '%s'",
                            optarg);
        }
        break;
      }
      case kNumberOption: {
        const long long number = Decimal(optarg, 0, 255);
        if (number < 0) {
          return UsageError(console, argc, argv,
                            "the disk number must be a number from 0 to 255: '%s'", optarg);
        }
        options.number = static_cast<int>(number);
        numberGiven = true;
        break;
      }
      case kLabelOption:
        label = optarg;
        break;
      case kStartOption:
        options.start = Hexadecimal(optarg);
        if (options.start < 0) {
          return UsageError(console, argc, argv,
                            "the start address must be 1 to 4 hexadecimal digits: '%s'", optarg);
        }
        break;
      case kFromOption:
      case kSystemAreaOption:
        (option == kFromOption ? options.from : options.systemArea) =
            NativeOf(optarg, argc, nativeArgs);
        if (optarg[0] == 0 ||
            (option == kFromOption ? options.from : options.systemArea) == nullptr) {
          return UsageError(console, argc, argv, "%s",
                            option == kFromOption ? "the manifest given to --from is empty"
                                                  : "the file given to --system-area is empty");
        }
        break;
      case kForceOption:
        options.force = true;
        break;
      case 'u':
        options.utf8 = true;
        break;
      case 'v':
        options.verbose = true;
        break;
      case 'n':
        options.dryRun = true;
        break;
      case 'i':
        options.ignoreCase = true;
        break;
      case kJsonOption:
        options.json = true;
        break;
      case kInfoOption:
        options.info = true;
        break;
      case kCheckOption:
        options.check = true;
        break;
      case kRenameOption:
        options.rename = true;
        break;
      case kProtectOption:
      case kUnprotectOption:
        if (options.protect >= 0 && options.protect != (option == kProtectOption ? 1 : 0)) {
          return UsageError(console, argc, argv, "%s",
                            "--protect cannot be combined with --unprotect");
        }
        options.protect = option == kProtectOption ? 1 : 0;
        break;
      case kAllDisksOption:
        options.allDisks = true;
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
  if (!options.create && (numberGiven || label != nullptr)) {
    return UsageError(console, argc, argv, "%s",
                      numberGiven ? "--number goes with --create" : "--label goes with --create");
  }
  if (options.create && (options.remove || options.disk != 0)) {
    return UsageError(console, argc, argv, "%s",
                      options.remove ? "--delete cannot be combined with --create"
                                     : "--disk cannot be combined with --create: a new image "
                                       "holds one disk");
  }
  if (options.from != nullptr &&
      (options.create || options.remove || options.disk != 0 || numberGiven || label != nullptr ||
       options.start >= 0 || options.utf8 || options.dryRun || options.verbose ||
       options.systemArea != nullptr || options.ignoreCase || options.json || options.info ||
       options.check || options.rename || options.protect >= 0 || options.allDisks)) {
    return UsageError(console, argc, argv, "%s",
                      "--from takes only --force: the manifest says the rest");
  }
  if (options.systemArea != nullptr && (!options.create || options.number != 0)) {
    return UsageError(console, argc, argv, "%s",
                      "--system-area goes with --create --number=0: only a new system disk "
                      "takes one");
  }
  const ParseResult chores = CheckChores(console, argc, argv, options);
  if (chores != ParseResult::kRun) return chores;
  if (options.remove && options.start >= 0) {
    return UsageError(console, argc, argv, "%s", "--start cannot be combined with --delete");
  }
  if (label != nullptr) {
    // Stored as the names are: code page 932 where names are converted.
    char stored[256];
    const std::size_t length = std::strlen(label);
    if (!ConvertsNames(options)) {
      std::snprintf(stored, sizeof stored, "%s", label);
    } else if (!Utf8ToCp932(label, length, stored, sizeof stored)) {
      return UsageError(console, argc, argv, "the label has no exact form in code page 932: '%s'",
                        label);
    }
    options.labelLength = std::strlen(stored);
    if (options.labelLength > d88::disk_header::kNameLength) {
      return UsageError(console, argc, argv, "the label is longer than 16 bytes: '%s'", label);
    }
    std::memcpy(options.label, stored, options.labelLength);
  }
  if (options.rename && argc - optind != 3) {
    return UsageError(console, argc, argv, "%s", "--rename takes OLD NEW IMAGE");
  }
  // With --rename the image comes last, after the two names.
  const int imageAt = options.rename ? argc - 1 : optind;
  if (optind >= argc) return UsageError(console, argc, argv, "%s", "no image given");
  options.image = NativeOf(argv[imageAt], argc, nativeArgs);
  if (options.image == nullptr) return UsageError(console, argc, argv, "%s", "no image given");
  // d88unpack reads an image from standard input; d88pack puts a new image
  // in the old one's place, which a stream does not have.
  if (std::strcmp(argv[optind], "-") == 0) {
    return UsageError(console, argc, argv, "%s",
                      "the image cannot be standard input: a new image takes the place of the "
                      "old one; give its path (./- for a file of that name)");
  }
  options.operandCount = argc - optind - 1;
  options.operands = argv + optind + (options.rename ? 0 : 1);
  if (options.from != nullptr && options.operandCount > 0) {
    return UsageError(console, argc, argv, "%s", "--from takes no FILE: the manifest names them");
  }
  if (options.operandCount > Options::kMaxOperands) {
    return UsageError(console, argc, argv, "%s", "too many arguments");
  }
  for (int i = 0; i < options.operandCount; ++i) {
    options.nativeOperands[i] =
        NativeOf(argv[optind + (options.rename ? 0 : 1) + i], argc, nativeArgs);
    if (options.nativeOperands[i] == nullptr) {
      return UsageError(console, argc, argv, "%s", "an argument cannot be read");
    }
  }
  return ParseResult::kRun;
}
