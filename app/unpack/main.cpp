// d88unpack: lists and extracts the files on the disks of a D88 image.
#include "console.h"
#include "run.h"

int main(int argc, char** argv) {
  return StartWithArguments(argc, argv, unpack::Main);
}
