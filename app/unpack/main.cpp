// d88unpack: lists and extracts the files on the disks of a D88 image.
#include <cstdio>

#ifdef _WIN32
#include "native_api.h"
// CommandLineToArgvW
#include <shellapi.h>
#endif

#include "options.h"
#include "report.h"
#include "run.h"

namespace {

int Start(int argc, char** argv, NativePathChar** nativeArgs) {
  static Options options;
  switch (ParseCommandLine(argc, argv, nativeArgs, options)) {
    case ParseResult::kRun:
      return Run(options);
    case ParseResult::kDone:
      // --help and --version are done only when what they printed got out.
      return StandardOutputWritten() ? 0 : 1;
    case ParseResult::kNoArguments:
    case ParseResult::kUsageError:
      break;
  }
  return 1;
}

}  // namespace

#ifdef _WIN32

int main() {
  // The arguments come from the wide-character command line: argv would
  // hold them in the user's code page, with '?' for every character outside
  // it. Options and patterns are parsed as UTF-8; the image and folder
  // paths are taken in their wide form.
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) {
    std::fprintf(stderr, "d88unpack: cannot read the command line\n");
    return 1;
  }
  static char text[3 * 32768];
  static char* utf8[32768];
  std::size_t used = 0;
  int converted = 0;
  for (; converted < count && converted < 32767; ++converted) {
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide[converted], -1, text + used,
                                           static_cast<int>(sizeof text - used), nullptr, nullptr);
    if (length <= 0) break;
    utf8[converted] = text + used;
    used += static_cast<std::size_t>(length);
  }
  utf8[converted] = nullptr;
  const int status = converted == count ? Start(count, utf8, wide) : 1;
  LocalFree(wide);
  return status;
}

#else

int main(int argc, char** argv) {
  return Start(argc, argv, nullptr);
}

#endif
