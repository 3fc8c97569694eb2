#include "listing.h"

#include <cstdio>

#include "console.h"

namespace {

// A terminal takes a control byte as a command: it is shown as '?', one
// column for one byte. In a file or a pipe the bytes stay as they are.
unsigned char Shown(unsigned char byte) {
  return IsControlByte(byte) && OutputIsTerminal() ? '?' : byte;
}

}  // namespace

void PrintDiskLine(int diskNumber) {
  std::fputs("[Disk ", stdout);
  std::fputc(Shown(static_cast<unsigned char>(('A' + diskNumber) & 0xFF)), stdout);
  std::fputs("]\n", stdout);
}

void PrintListingLine(const char* shown, int columns, int size, int start, int end) {
  for (const char* p = shown; *p != 0; ++p)
    std::fputc(Shown(static_cast<unsigned char>(*p)), stdout);
  for (int i = columns; i < 12; ++i) std::fputc(' ', stdout);
  std::printf("  %5d  START=%04x  END=%04x\n", size, start, end);
}
