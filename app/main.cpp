// d88unpack: lists and extracts the files on the disks of a D88 image into
// the current directory.
#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// CommandLineToArgvW
#include <shellapi.h>
#endif

#include "d88_image.h"
#include "disk_walk.h"
#include "extract_files.h"
#include "report.h"

namespace {

// The one image reader of the run: constructed before main and destroyed
// after it, so the image is closed however main returns.
D88Image image;

// Listing lines that never reached their destination are a failure too.
bool StandardOutputWritten() {
  if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return true;
  std::fprintf(stderr, "d88unpack: standard output: %s\n", std::strerror(errno));
  return false;
}

// Lists and extracts the files of the disk just loaded. Returns false when
// any entry was not written as listed.
bool ExtractFiles(const DiskRecord& disk, const OutputPlace& place) {
  bool clean = true;
  EntryWalk walk(disk);
  EntryRecord entry;
  while (walk.Next(entry)) {
    const EntryOutcome outcome = ExtractEntry(entry, entry.name, place);
    if (!ShowEntry(disk, entry, outcome)) clean = false;
  }
  return clean;
}

// Opens the image, lists and extracts its disks in file order, and gives the
// exit status.
int Run(const NativePathChar* path) {
  if (!image.Open(path)) {
    ShowOpenFailure(path, image.OpenError());
    return 1;
  }
  const OutputFolder folder;
  const OutputPlace place{folder, GuardImageAndConsole(image.Identity())};
  bool clean = true;
  bool readErrorShown = false;
  // A failed read is counted as missing data where it happened; it is
  // reported once, as soon as it is seen.
  const auto checkReads = [&] {
    if (image.ReadError() == 0 || readErrorShown) return;
    ShowReadError(path, image.ReadError());
    readErrorShown = true;
    clean = false;
  };
  checkReads();
  for (int i = 0; i < image.GetDiskCount(); ++i) {
    const DiskRecord disk = LoadDisk(image, i);
    ShowDisk(disk);
    checkReads();
    if (!ShowDiskProblems(disk)) clean = false;
    if (!ExtractFiles(disk, place)) clean = false;
  }
  if (image.CutHeaderBytes() > 0) {
    ShowCutHeader(path, image.GetDiskCount() + 1, image.CutHeaderBytes());
    clean = false;
  }
  if (image.HasMoreDisks()) {
    ShowMoreDisks(path, image.GetDiskCount());
    clean = false;
  }
  checkReads();
  return clean && StandardOutputWritten() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  // argv holds the path converted to the user's code page, with '?' for
  // every character outside it; the wide-character command line holds it
  // as typed. The wide parse also decides the count, so that the two parses
  // cannot disagree about what was asked.
  int wideCount = 0;
  wchar_t** wideArgv = CommandLineToArgvW(GetCommandLineW(), &wideCount);
  const int count = wideArgv != nullptr ? wideCount : argc;
  const NativePathChar* path = wideArgv != nullptr && wideCount == 2 ? wideArgv[1] : nullptr;
#else
  const int count = argc;
  const NativePathChar* path = argc == 2 ? argv[1] : nullptr;
#endif
  int status = 1;
  if (count != 2 || path == nullptr) {
    // Started with no program name at all (some kernels then pass one empty
    // name), the message names the tool itself.
    const bool named = argc > 0 && argv[0] != nullptr && argv[0][0] != '\0';
    std::fprintf(stderr, "Usage: %s [d88file]\n", named ? argv[0] : "d88unpack");
  } else {
    status = Run(path);
  }
#ifdef _WIN32
  LocalFree(wideArgv);
#endif
  return status;
}
