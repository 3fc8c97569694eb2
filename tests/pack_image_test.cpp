// Tests of the writing back of a disk: the copy of the image must hold the
// disk's sectors as they were read, and the sectors changed are written.
#include "pack_image.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "d88_builder.h"
#include "disk_check.h"
#include "disk_walk.h"
#include "image_file.h"
#include "image_replace.h"
#include "run_tool.h"

namespace {

using d88test::Bytes;

struct Loaded {
  D88Image image;
  DecodedDisk disk;
  std::uint8_t before[kDiskBufferSize];
  SectorMap map;
};

TEST(WriteBackDisk, TheCopyMustHoldTheSectorsAsTheyWereRead) {
  const Bytes image = d88test::ImageOf(
      {d88test::DataDisk(1, {d88test::File("A", "", 0, d88test::Pattern(3000, 1))})});
  const struct {
    const char* what;
    int changedInFile;  // the sector of the map whose first byte the file's
                        // writer changes after the read; -1: none
    int changedOnDisk;  // the sector the edit changes; -1: none
    Refusal why;
  } rows[] = {
      {"nothing changed", -1, -1, Refusal::kNone},
      {"the edit's sector written", -1, 7, Refusal::kNone},
      {"the file's first sector changed", 0, 7, Refusal::kImageChanged},
      {"the file's last sector changed", 419, -1, Refusal::kImageChanged},
      {"the sector the edit changes, changed", 7, 7, Refusal::kImageChanged},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    d88test::ScratchDir dir;
    const std::string path = dir.Put("disk.d88", image);
    auto loaded = std::make_unique<Loaded>();
    ASSERT_TRUE(loaded->image.Open(path.c_str()));
    const DiskRecord record = LoadDisk(loaded->image, 0, loaded->disk);
    ImageFile file;
    DiskSpan span{};
    ASSERT_TRUE(file.Open(path.c_str()));
    ASSERT_TRUE(ReadDiskSpan(loaded->image, file, 0, span));
    ASSERT_FALSE(CheckWholeLayout(loaded->image, file, span, record, loaded->map));
    file.Close();
    std::memcpy(loaded->before, loaded->disk.diskBuffer, kDiskBufferSize);
    // Another writer changes the file after it was read, and before its
    // state is noted: as one within the same tick of the clock would.
    Bytes changed = image;
    if (row.changedInFile >= 0) changed[loaded->map.positions[row.changedInFile]] ^= 0xFF;
    d88test::WriteBytes(path, changed);
    Bytes expected = changed;
    if (row.changedOnDisk >= 0) {
      loaded->disk.diskBuffer[loaded->map.BufferOffset(row.changedOnDisk)] ^= 0x55;
      if (row.why == Refusal::kNone) expected[loaded->map.positions[row.changedOnDisk]] ^= 0x55;
    }
    ImageReplacement replacement;
    ASSERT_FALSE(replacement.Prepare(path.c_str(), ImageReplacement::Mode::kReplace));
    ASSERT_FALSE(replacement.Lock());
    const Problem problem =
        WriteBackDisk(loaded->image, 0, loaded->map, loaded->before, loaded->disk, replacement);
    EXPECT_EQ(problem.why, row.why);
    EXPECT_EQ(d88test::ReadBytes(path), expected);
    // No temporary file is left.
    const auto entries = std::filesystem::directory_iterator(dir.path());
    EXPECT_EQ(std::distance(std::filesystem::begin(entries), std::filesystem::end(entries)), 1);
  }
}

}  // namespace
