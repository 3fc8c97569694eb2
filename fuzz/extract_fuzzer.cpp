// Runs the whole extraction on one input taken as an image file: the disk
// table, every disk's directory, the listing and the output files, in a
// scratch folder that the process works in.
//
// Besides what the sanitizers catch, an input is a finding when the run
// writes anything outside the scratch folder, writes through a link or a
// hard link that stands in it, opens a FIFO there (the run hangs), leaves
// anything but regular files and disk folders in it, or changes the image it
// reads. The input's size picks how files are written: taken names
// replaced, kept or skipped, salvaged or not, each disk into a folder of its
// own or not.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "d88_image.h"
#include "disk_layout.h"
#include "disk_walk.h"
#include "extract_files.h"
#include "scratch.h"

namespace {

// A name that a directory entry can spell (IMAGE + D88), so that inputs
// can also try to overwrite the image being read.
constexpr char kImageName[] = "IMAGE.D88";

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  d88fuzz::EnterScratchWork();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  d88fuzz::WriteWholeFile(kImageName, data, size);
  d88fuzz::LayTraps(kImageName);

  // Each input starts as a fresh process would: a new reader and a new,
  // zero disk.
  {
    auto image = std::make_unique<D88Image>();
    auto disk = std::make_unique<DecodedDisk>();
    auto written = std::make_unique<WrittenFiles>();
    if (!image->Open(kImageName)) d88fuzz::Fail("cannot open the image just written");
    const OutputFolder folder;
    OutputFolder diskFolder;
    // The input's size picks how taken names are met, whether files are
    // salvaged, and whether each disk has a folder of its own.
    const int mode = static_cast<int>(size % 6);
    OutputTarget target{};
    target.folder = &folder;
    target.guarded = GuardImageAndConsole(image->GetIdentity(), 1, 2);
    target.taken = static_cast<TakenNames>(mode % 3);
    target.salvage = mode >= 3;
    target.written = written.get();
    target.diskFolder = mode % 2 == 1 ? &diskFolder : nullptr;
    for (int i = 0; i < image->GetDiskCount(); ++i) {
      const DiskRecord record = LoadDisk(*image, i, *disk);
      EnterDisk(target, record);
      EntryWalk walk(*disk, record);
      for (EntryRecord entry; walk.Next(entry);) ExtractEntry(entry, entry.name, target);
    }
  }

  d88fuzz::ExpectFileContents(kImageName, data, size);
  d88fuzz::CheckAndEmptyScratch();
  return 0;
}
