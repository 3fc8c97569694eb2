// d88unpack: lists and extracts the files on the disks of a D88 image into
// the current directory.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "d88_image.h"
#include "extract_files.h"

namespace {

// The one image reader of the run: constructed before main and destroyed
// after it, so the image is closed however main returns.
D88Image image;

// "Cannot open the file", in Shift-JIS, written as these bytes whatever the
// console's own encoding.
const char kCannotOpen[] =
    "\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xF0\x83\x49\x81\x5B\x83\x76\x83\x93\x82\xC5\x82\xAB"
    "\x82\xDC\x82\xB9\x82\xF1";

// Listing lines that never reached their destination are a failure too.
bool StandardOutputWritten() {
  if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return true;
  std::fprintf(stderr, "d88unpack: standard output: %s\n", std::strerror(errno));
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "Usage: %s [d88file]\n",
                 argc > 0 && argv[0] != nullptr ? argv[0] : "d88unpack");
    return 1;
  }
  const char* path = argv[1];
  if (!image.Open(path)) {
    std::fwrite(kCannotOpen, 1, sizeof kCannotOpen - 1, stderr);
    std::fputc('\n', stderr);
    return 1;
  }
  const bool clean = ExtractAllDisks(image, path);
  return clean && StandardOutputWritten() ? 0 : 1;
}
