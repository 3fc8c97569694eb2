// Writes a small sample image: a system disk and a data disk with a handful
// of files, one of them empty. Used by the demo.
#include <cstdio>

#include "d88_builder.h"

using namespace d88test;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT.d88\n", argc > 0 ? argv[0] : "make_sample");
    return 2;
  }
  const LayoutDisk system = DataDisk(
      0,
      {File("BOOT", "SYS", 0xC000, Pattern(2048, 7)), File("MONITR", "", 0xE000, Pattern(700, 3))},
      "SYSTEM");
  const LayoutDisk data =
      DataDisk(1,
               {File("GAME", "BIN", 0x1200, Pattern(9000, 1)),
                File("README", "", 0x0000, TextBytes("Sample disk made by make_sample.\n")),
                File("EMPTY", "DAT", 0x8000, {}), File("TITLE", "SCR", 0x4000, Pattern(16000, 42))},
               "GAMES");
  if (!WriteBytes(argv[1], ImageOf({system, data}))) {
    std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[1]);
    return 1;
  }
  return 0;
}
