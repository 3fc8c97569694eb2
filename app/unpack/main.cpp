// d88unpack: lists and extracts the files on the disks of a D88 image.
#include "console.h"
#include "options.h"
#include "run.h"

const char kProgramName[] = "d88unpack";

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

int main(int argc, char** argv) {
  return StartWithArguments(argc, argv, Start);
}
