#include "command_line.h"

#include <getopt.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "console.h"

namespace {

constexpr int kMostArguments = 32768;
char* original[kMostArguments];

}  // namespace

const char* InvokedName(int argc, char** argv) {
  // Started with no program name at all (some kernels then pass one empty
  // name), messages name the tool itself.
  return argc > 0 && argv[0] != nullptr && argv[0][0] != '\0' ? argv[0] : kProgramName;
}

void ShowUsageError(const Console& console, int argc, char** argv, const char* usage,
                    const char* format, const char* detail) {
  std::fprintf(console.err, "%s: ", kProgramName);
  std::fprintf(console.err, format, detail);
  std::fprintf(console.err, "\nUsage: %s %s\n", InvokedName(argc, argv), usage);
  std::fprintf(console.err, "Try '%s --help' for more information.\n", kProgramName);
}

const char* LongOptionGiven(char** argv, int before) {
  const char* given = argv[optind - 1];
  return optind != before && given != nullptr && std::strncmp(given, "--", 2) == 0 ? given
                                                                                   : nullptr;
}

void ShowOptionError(const Console& console, int argc, char** argv, const char* usage, int option,
                     const char* given) {
  char text[256];
  // Some getopt_long implementations (MinGW's) report an argument given to
  // a long option that takes none as a missing one.
  const bool missing = option == ':';
  if (given != nullptr) {
    const bool unwanted = missing ? std::strchr(given, '=') != nullptr : optopt != 0;
    const char* format = unwanted  ? "option '%s' doesn't allow an argument"
                         : missing ? "option '%s' requires an argument"
                                   : "unrecognized or ambiguous option '%s'";
    // The option as written, up to any '='.
    std::snprintf(text, sizeof text, "%s", given);
    char* equals = std::strchr(text, '=');
    if (equals != nullptr) *equals = 0;
    ShowUsageError(console, argc, argv, usage, format, text);
    return;
  }
  text[0] = static_cast<char>(optopt);
  text[1] = 0;
  ShowUsageError(console, argc, argv, usage,
                 missing ? "option requires an argument -- '%s'" : "invalid option -- '%s'", text);
}

bool RememberArguments(int argc, char** argv) {
  if (argc > kMostArguments) return false;
  std::copy(argv, argv + argc, original);
  return true;
}

NativePathChar* NativeOf(char* text, int argc, NativePathChar** nativeArgs) {
#ifdef _WIN32
  for (int i = 0; i < argc && nativeArgs != nullptr; ++i) {
    const std::size_t length = std::strlen(original[i]);
    if (text < original[i] || text > original[i] + length) continue;
    // What comes before the text is the option, ASCII: as many UTF-16
    // units as bytes.
    for (const char* p = original[i]; p < text; ++p) {
      if (static_cast<unsigned char>(*p) >= 0x80) return nullptr;
    }
    return nativeArgs[i] + (text - original[i]);
  }
  return nullptr;
#else
  (void)argc;
  (void)nativeArgs;
  return text;
#endif
}

void ShowVersion(const Console& console, const char* version) {
  std::fprintf(console.out,
               "%s %s\n"
               "Copyright (c) 2026 the d88unpack authors\n"
               "License MIT: <https://opensource.org/licenses/MIT>.\n"
               "This is free software: you are free to change and redistribute it.\n"
               "There is NO WARRANTY, to the extent permitted by law.\n",
               kProgramName, version);
}
