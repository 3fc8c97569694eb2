#include "listing.h"

#include <cstdio>

#include "console.h"

namespace {

// A terminal takes a control byte as a command: it is shown as '?', one
// column for one byte. In a file or a pipe the bytes stay as they are.
unsigned char Shown(const Console& console, unsigned char byte) {
  return IsControlByte(byte) && console.outIsTerminal ? '?' : byte;
}

}  // namespace

void PrintDiskLine(const Console& console, int diskNumber) {
  std::fputs("[Disk ", console.out);
  std::fputc(Shown(console, static_cast<unsigned char>(('A' + diskNumber) & 0xFF)), console.out);
  std::fputs("]\n", console.out);
}

void PrintListingLine(const Console& console, const char* shown, int columns, int size, int start,
                      int end) {
  for (const char* p = shown; *p != 0; ++p) {
    std::fputc(Shown(console, static_cast<unsigned char>(*p)), console.out);
  }
  for (int i = columns; i < 12; ++i) std::fputc(' ', console.out);
  std::fprintf(console.out, "  %5d  START=%04x  END=%04x\n", size, start, end);
}
