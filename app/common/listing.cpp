#include "listing.h"

#include <cstdio>

#include "console.h"

namespace {

// A terminal takes a control byte as a command: it is shown as '?', one
// column for one byte. In a file or a pipe the bytes stay as they are.
unsigned char Shown(unsigned char byte) {
  return IsControlByte(byte) && OutputIsTerminal() ? '?' : byte;
}

void PutShown(const char* text) {
  for (const char* p = text; *p != 0; ++p)
    std::fputc(Shown(static_cast<unsigned char>(*p)), stdout);
}

void PutDiskTag(int diskNumber) {
  std::fputs("[Disk ", stdout);
  std::fputc(Shown(static_cast<unsigned char>(('A' + diskNumber) & 0xFF)), stdout);
  std::fputs("]", stdout);
}

}  // namespace

void PrintDiskLine(int diskNumber) {
  PutDiskTag(diskNumber);
  std::fputc('\n', stdout);
}

void PrintDiskSummary(const DiskSummary& disk) {
  PutDiskTag(disk.diskNumber);
  std::printf("  DISK=%d  FILES=%3d  USED=%6lld  FREE=%6lld  PROTECTED=%s  LABEL=", disk.place,
              disk.files, disk.used, disk.free, disk.writeProtected ? "yes" : "no");
  PutShown(disk.label);
  std::fputc('\n', stdout);
}

void PrintListingLine(const char* shown, int columns, int size, int start, int end) {
  PutShown(shown);
  for (int i = columns; i < 12; ++i) std::fputc(' ', stdout);
  std::printf("  %5d  START=%04x  END=%04x\n", size, start, end);
}
