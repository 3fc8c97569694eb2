// Writes a small sample image: a system disk and a data disk with a handful
// of files, one of them empty. Used by the demo and as a fuzzing seed.
#include <cstdio>

#include "d88_builder.h"

using namespace d88test;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT.d88\n", argc > 0 ? argv[0] : "make_sample");
    return 2;
  }
  LayoutDisk system;
  system.diskNumber = 0;
  system.diskName = "SYSTEM";
  system.files = {
      {"BOOT", "SYS", 0xC000, std::nullopt, Pattern(2048, 7), std::nullopt},
      {"MONITR", "", 0xE000, std::nullopt, Pattern(700, 3), std::nullopt},
  };
  LayoutDisk data;
  data.diskNumber = 1;
  data.diskName = "GAMES";
  data.files = {
      {"GAME", "BIN", 0x1200, std::nullopt, Pattern(9000, 1), std::nullopt},
      {"README", "", 0x0000, std::nullopt, TextBytes("Sample disk made by make_sample.\n"),
       std::nullopt},
      {"EMPTY", "DAT", 0x8000, std::nullopt, {}, std::nullopt},
      {"TITLE", "SCR", 0x4000, std::nullopt, Pattern(16000, 42), std::nullopt},
  };
  if (!WriteBytes(argv[1], BuildImage({MakeLayoutDisk(system), MakeLayoutDisk(data)}))) {
    std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[1]);
    return 1;
  }
  return 0;
}
