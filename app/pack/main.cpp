// d88pack: puts files on a disk of a D88 image, or makes a new one.
#include "console.h"
#include "options.h"
#include "run.h"

const char kProgramName[] = "d88pack";

namespace {

int Start(int argc, char** argv, NativePathChar** nativeArgs) {
  static Options options;
  const ParseResult parsed = ParseCommandLine(argc, argv, nativeArgs, options);
  if (parsed == ParseResult::kRun) return Run(options);
  // --help and --version are done only when what they printed got out.
  return parsed == ParseResult::kDone && StandardOutputWritten() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  return StartWithArguments(argc, argv, Start);
}
