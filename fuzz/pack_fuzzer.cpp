// Runs the writer on a script of puts and deletes, on a new disk or on the
// image that follows the script. A finding, besides the sanitizers': the
// extractor's reader does not list exactly the files the script left; a byte
// outside the disk's sector data, or of an image the writer refused, or of
// the disk after a refused put changed; a disk that passed the checks could
// not be written as checked; anything but the image is left.
//
// Script: byte 0, bit 0: a new disk numbered byte 1 (else the image's disk
// at place byte 1 % disks + 1), bit 1: records may be put over bytes that no
// record owns; byte 2 % 32: the operations, 7 bytes each:
// kind (bit 0: delete), name, size (2 bytes), start (2 bytes), fill.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include "chosen_disk.h"
#include "d88_image.h"
#include "disk_check.h"
#include "disk_edit.h"
#include "disk_walk.h"
#include "entry_name.h"
#include "image_file.h"
#include "image_replace.h"
#include "pack_image.h"
#include "scratch.h"

namespace {

constexpr char kImageName[] = "IMAGE.D88";
constexpr std::size_t kOpSize = 7;
const char* const kNames[] = {"A", "B.X", "LONG12.BIN", "C.TXT", "\xB1\xB2.\xB3", "Z"};

using Held = std::tuple<std::string, int, std::vector<std::uint8_t>>;

// The files (name, start, data) of the disk loaded into `disk`, all whole.
std::vector<Held> Entries(DecodedDisk& disk, const DiskRecord& record) {
  std::vector<Held> held;
  EntryWalk walk(disk, record);
  for (EntryRecord entry; walk.Next(entry);) {
    if (entry.problem != EntryProblem::kNone) d88fuzz::Fail("entry %d reads damaged", entry.index);
    held.emplace_back(entry.name, entry.start,
                      std::vector<std::uint8_t>(entry.data, entry.data + entry.size));
  }
  return held;
}

// Runs the script's operations on the disk and on `held` alike.
void Apply(const std::uint8_t* ops, std::size_t count, bool force, DecodedDisk& disk,
           DiskRecord& record, std::vector<Held>& held) {
  DiskEdit edit(disk, record, force);
  static DecodedDisk before;
  for (std::size_t i = 0; i < count; ++i, ops += kOpSize) {
    const char* name = kNames[ops[1] % (sizeof kNames / sizeof kNames[0])];
    EntryName entryName;
    if (MakeEntryName(name, false, entryName) != Refusal::kNone) d88fuzz::Fail("name %s", name);
    const int k = edit.Find(entryName);
    if (ops[0] & 1) {
      if (k == 0) continue;
      edit.Delete(k);
      held.erase(held.begin() + (k - 1));
      continue;
    }
    const int size = (ops[2] << 8 | ops[3]) % 70000;
    const int start = ops[4] << 8 | ops[5];
    std::memcpy(&before, &disk, sizeof before);
    std::uint8_t* data = nullptr;
    if (edit.Put(k, entryName, start, size, data)) {
      if (std::memcmp(&before, &disk, sizeof before) != 0) d88fuzz::Fail("a refused put changed");
      continue;
    }
    std::memset(data, ops[6], static_cast<std::size_t>(size));
    (k == 0 ? held.emplace_back() : held[static_cast<std::size_t>(k - 1)]) =
        Held{name, start, std::vector<std::uint8_t>(data, data + size)};
  }
  edit.Finish();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  d88fuzz::EnterScratchWork();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const bool create = (data[0] & 1) != 0;
  const std::size_t count = data[2] % 32;
  const std::size_t scriptSize = 3 + count * kOpSize;
  if (size < scriptSize) return 0;
  const std::uint8_t* image = data + scriptSize;
  const std::size_t imageSize = size - scriptSize;

  static D88Image reader;
  static DecodedDisk disk;
  static std::uint8_t loaded[kDiskBufferSize];
  ImageReplacement replacement;
  DiskRecord record{};
  std::vector<Held> held;
  int index = 0;
  if (create) {
    DiskEdit::Format(disk, record, data[1]);
    if (replacement.Prepare(kImageName, ImageReplacement::Mode::kCreate)) {
      d88fuzz::Fail("cannot make a new image");
    }
    Apply(data + 3, count, (data[0] & 2) != 0, disk, record, held);
    if (WriteNewImage("FUZZ", 4, data[1], disk, replacement)) d88fuzz::Fail("new image failed");
  } else {
    d88fuzz::WriteWholeFile(kImageName, image, imageSize);
    // The disk is chosen, loaded and checked as d88pack does it, in the
    // file found and locked; a write-protected one is written all the same.
    Problem problem = replacement.Prepare(kImageName, ImageReplacement::Mode::kReplace);
    if (!problem) problem = replacement.Lock();
    if (problem) d88fuzz::Fail("cannot take the image");
    reader.Open(kImageName);
    const long long place = reader.GetDiskCount() > 0 ? data[1] % reader.GetDiskCount() + 1 : 1;
    const DiskChoice choice{place, true, &replacement.State().identity};
    static ImageFile file;
    static ChosenDisk chosen;
    problem = LoadChosenDisk(kImageName, choice, reader, file, disk, chosen).problem;
    index = chosen.index;
    record = chosen.record;
    if (!problem) {
      held = Entries(disk, record);
      std::memcpy(loaded, disk.diskBuffer, sizeof loaded);
      Apply(data + 3, count, (data[0] & 2) != 0, disk, record, held);
      problem = WriteBackDisk(reader, index, chosen.map, loaded, disk, replacement);
      // What was checked before holds: no sector moves.
      if (problem) d88fuzz::Fail("writing a disk that was checked failed");
    }
    replacement.Abandon();
    reader.Open(nullptr);
    if (problem) {
      d88fuzz::ExpectFileContents(kImageName, image, imageSize);
      d88fuzz::CheckAndEmptyScratch();
      return 0;
    }
    // Outside the disk's sector data, every byte is as it was.
    std::ifstream in(kImageName, std::ios::binary);
    std::vector<std::uint8_t> after{std::istreambuf_iterator<char>(in), {}};
    if (after.size() != imageSize) d88fuzz::Fail("the image changed its size");
    const SectorMap& map = chosen.map;
    for (int i = 0; i < map.count; ++i) {
      std::memcpy(after.data() + map.positions[i], image + map.positions[i], kSectorSize);
    }
    if (std::memcmp(after.data(), image, imageSize) != 0) d88fuzz::Fail("a byte outside changed");
  }
  // The extractor's reader lists what the script left.
  if (!reader.Open(kImageName)) d88fuzz::Fail("cannot open the image written");
  record = LoadDisk(reader, index, disk);
  if (Entries(disk, record) != held) d88fuzz::Fail("the reader lists other files");
  reader.Open(nullptr);
  d88fuzz::CheckAndEmptyScratch();
  return 0;
}
