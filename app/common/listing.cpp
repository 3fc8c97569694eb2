#include "listing.h"

#include <cstdio>

#include "console.h"

namespace {

// A terminal takes a control byte as a command: it is shown as '?', one
// column for one byte. In a file or a pipe the bytes stay as they are.
unsigned char Shown(const Console& console, unsigned char byte) {
  return IsControlByte(byte) && console.outIsTerminal ? '?' : byte;
}

void PutShown(const Console& console, const char* text) {
  for (const char* p = text; *p != 0; ++p) {
    std::fputc(Shown(console, static_cast<unsigned char>(*p)), console.out);
  }
}

void PutDiskTag(const Console& console, int diskNumber) {
  std::fputs("[Disk ", console.out);
  std::fputc(Shown(console, static_cast<unsigned char>(('A' + diskNumber) & 0xFF)), console.out);
  std::fputs("]", console.out);
}

}  // namespace

void PrintDiskLine(const Console& console, int diskNumber) {
  PutDiskTag(console, diskNumber);
  std::fputc('\n', console.out);
}

void PrintDiskSummary(const Console& console, const DiskSummary& disk) {
  PutDiskTag(console, disk.diskNumber);
  std::fprintf(console.out,
               "  DISK=%d  FILES=%3d  USED=%6lld  FREE=%6lld  PROTECTED=%s  LABEL=", disk.place,
               disk.files, disk.used, disk.free, disk.writeProtected ? "yes" : "no");
  PutShown(console, disk.label);
  std::fputc('\n', console.out);
}

void PrintListingLine(const Console& console, const char* shown, int columns, int size, int start,
                      int end) {
  PutShown(console, shown);
  for (int i = columns; i < 12; ++i) std::fputc(' ', console.out);
  std::fprintf(console.out, "  %5d  START=%04x  END=%04x\n", size, start, end);
}
