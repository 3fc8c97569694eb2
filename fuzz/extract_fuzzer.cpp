// Runs the whole extraction on one input taken as the tool takes its
// image: the disk table, every disk's directory, the listing and the output
// files, in a scratch folder that the process works in. A compressed file or
// an archive is read member by member (each at most 1 MiB, at most eight);
// anything else as an image file, or, by the input's size, as standard
// input is read, whole into memory.
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
#include "read_stream.h"
#include "scratch.h"
#include "sniff.h"
#ifdef D88UNPACK_HAVE_LIBARCHIVE
#include "archive_reader.h"
#endif

namespace {

// A name that a directory entry can spell (IMAGE + D88), so that inputs
// can also try to overwrite the image being read.
constexpr char kImageName[] = "IMAGE.D88";

// The most an image is read to in memory here, and the most members of an
// archive read: enough for every path, little enough for a second.
constexpr std::size_t kMemoryLimit = std::size_t{1} << 20;
constexpr int kMostMembers = 8;

void ExtractAll(D88Image& image, DecodedDisk& disk, OutputTarget& target, bool salvage) {
  for (int i = 0; i < image.GetDiskCount(); ++i) {
    const DiskRecord record = LoadDisk(image, i, disk, salvage);
    EnterDisk(target, record);
    EntryWalk walk(disk, record);
    for (EntryRecord entry; walk.Next(entry);) ExtractEntry(entry, entry.name, target);
  }
}

// The input read as standard input is: whole, into memory.
void ExtractFromStream(const std::uint8_t* data, std::size_t size, D88Image& image,
                       DecodedDisk& disk, OutputTarget& target, bool salvage) {
  ByteBuffer bytes;
  if (size > 0) {
    std::FILE* stream = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
    if (stream == nullptr) d88fuzz::Fail("cannot open the input as a stream");
    const int error = ReadWholeStream(stream, bytes, kMemoryLimit);
    std::fclose(stream);
    if (error != 0) return;
    if (bytes.size() != size) d88fuzz::Fail("the stream read differs from the input");
  }
  image.Open(bytes.data(), bytes.size());
  ExtractAll(image, disk, target, salvage);
  image.Open(static_cast<const char*>(nullptr));
}

// The input read as a compressed file or an archive: each member an image.
bool ExtractMembers(const std::uint8_t* data, std::size_t size, D88Image& image, DecodedDisk& disk,
                    OutputTarget& target, bool salvage) {
#ifdef D88UNPACK_HAVE_LIBARCHIVE
  if (CompressedOrArchive(data, size).what == nullptr) return false;
  ArchiveReader reader;
  if (!reader.Open(data, size)) return true;
  ByteBuffer member;
  for (int n = 0; n < kMostMembers; ++n) {
    if (reader.NextMember(member, kMemoryLimit) != ArchiveReader::Next::kMember) break;
    image.Open(member.data(), member.size());
    ExtractAll(image, disk, target, salvage);
  }
  image.Open(static_cast<const char*>(nullptr));
  return true;
#else
  (void)data, (void)size, (void)image, (void)disk, (void)target, (void)salvage;
  return false;
#endif
}

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
    // Compressed files and archives are read member by member; an image
    // from the file, or (every other size) from a stream in memory as
    // standard input is read. Damaged headers are stepped over when files
    // are salvaged, as --salvage does.
    if (!ExtractMembers(data, size, *image, *disk, target, target.salvage)) {
      if (size / 6 % 2 == 0) {
        ExtractAll(*image, *disk, target, target.salvage);
      } else {
        ExtractFromStream(data, size, *image, *disk, target, target.salvage);
      }
    }
  }

  d88fuzz::ExpectFileContents(kImageName, data, size);
  d88fuzz::CheckAndEmptyScratch();
  return 0;
}
