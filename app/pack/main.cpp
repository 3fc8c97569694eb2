// d88pack: puts files on a disk of a D88 image, or makes a new one.
#include "console.h"
#include "run.h"

int main(int argc, char** argv) {
  return StartWithArguments(argc, argv, pack::Main);
}
