// Tests of the writing back of a disk: the copy of the image must hold the
// disk's sectors as they were read, and the sectors changed are written.
#include "pack_image.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "chosen_disk.h"
#include "d88_builder.h"
#include "d88_format.h"
#include "disk_check.h"
#include "disk_walk.h"
#include "image_file.h"
#include "image_replace.h"
#include "protection.h"
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
    // The map says sector 0 holds fewer bytes than the new image does: its
    // reading back finds the sectors elsewhere than they were.
    bool mapAmiss = false;
  } rows[] = {
      {"nothing changed", -1, -1, Refusal::kNone},
      {"the edit's sector written", -1, 7, Refusal::kNone},
      {"the file's first sector changed", 0, 7, Refusal::kImageChanged},
      {"the file's last sector changed", 419, -1, Refusal::kImageChanged},
      {"the sector the edit changes, changed", 7, 7, Refusal::kImageChanged},
      {"the reading back finds the sectors moved", -1, 7, Refusal::kDiskSectorsShift, true},
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
    if (row.mapAmiss) {
      loaded->map.lengths[0] = 512;
      expected = changed;
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

TEST(LoadChosenDisk, ChoosesTheDiskAndRefusesOneThatMayNotBeWritten) {
  const d88test::LayoutDisk data = d88test::DataDisk(1, {d88test::File("A", "", 0, {1})});
  const Bytes one = d88test::ImageOf({data});
  const Bytes two = d88test::ImageOf({data, data});
  const auto protectedBy = [&one](std::uint8_t byte) {
    Bytes image = one;
    image[d88::disk_header::kWriteProtectOffset] = byte;
    return image;
  };
  Bytes notD88 = one;
  notD88[d88::disk_header::kDiskSizeOffset] = 0x10;
  for (int i = 1; i < 4; ++i) notD88[d88::disk_header::kDiskSizeOffset + i] = 0;
  const struct {
    const char* what;
    Bytes image;
    long long place;
    bool force;
    Refusal why;
    long long problemPlace;  // 0: the problem is the image's
    int index;               // of the disk chosen, when none
  } rows[] = {
      {"the only disk", one, 0, false, Refusal::kNone, 0, 0},
      {"the only disk by its place", one, 1, false, Refusal::kNone, 0, 0},
      {"the second of two", two, 2, false, Refusal::kNone, 0, 1},
      {"one of two not chosen", two, 0, false, Refusal::kImageChooseDisk, 0, 0},
      {"past the last of two", two, 3, false, Refusal::kImageNoSuchDisk, 3, 0},
      {"past the only one", one, 2, false, Refusal::kImageNoSuchDisk1, 2, 0},
      {"no image", notD88, 0, false, Refusal::kNotD88, 0, 0},
      {"write-protected", protectedBy(0x10), 0, false, Refusal::kDiskWriteProtected, 1, 0},
      {"protected by another byte", protectedBy(0x01), 0, false, Refusal::kDiskWriteProtected, 1,
       0},
      {"protected by FF", protectedBy(0xFF), 0, false, Refusal::kDiskWriteProtected, 1, 0},
      {"protected, and forced", protectedBy(0x10), 0, true, Refusal::kNone, 0, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    d88test::ScratchDir dir;
    const std::string path = dir.Put("disk.d88", row.image);
    auto loaded = std::make_unique<Loaded>();
    ImageFile file;
    ChosenDisk chosen{};
    const ChoiceProblem problem = LoadChosenDisk(path.c_str(), {row.place, row.force, nullptr},
                                                 loaded->image, file, loaded->disk, chosen);
    EXPECT_EQ(problem.problem.why, row.why);
    EXPECT_EQ(problem.place, row.problemPlace);
    if (!problem) {
      EXPECT_EQ(chosen.index, row.index);
    }
  }
}

TEST(ReadDiskSpan, TakesWhereTheDiskLiesFromTheReader) {
  d88test::ScratchDir dir;
  const Bytes one = d88test::ImageOf({d88test::DataDisk(1, {})});
  const std::string path = dir.Put("disk.d88", d88test::Concat(one, one));
  auto loaded = std::make_unique<Loaded>();
  ASSERT_TRUE(loaded->image.Open(path.c_str()));
  ImageFile file;
  ASSERT_TRUE(file.Open(path.c_str()));
  DiskSpan span{};
  ASSERT_TRUE(ReadDiskSpan(loaded->image, file, 1, span));
  EXPECT_EQ(span.offset, static_cast<int64_t>(one.size()));
  EXPECT_EQ(span.size, one.size());
  EXPECT_EQ(span.header[0], one[0]);
  file.Close();
  // The file cut short since the reader read it: the header is not there.
  d88test::WriteBytes(path, Bytes(one.begin(), one.end() - 1000));
  ASSERT_TRUE(file.Open(path.c_str()));
  EXPECT_FALSE(ReadDiskSpan(loaded->image, file, 1, span));
}

TEST(LoadChosenDisk, AnImageThatCannotBeOpened) {
  d88test::ScratchDir dir;
  std::filesystem::create_directory(dir.path() / "folder");
  const struct {
    const char* name;
    Refusal why;
    int error;
  } rows[] = {
      {"/dev/null", Refusal::kImageNotRegular, 0},
      {"folder", Refusal::kImageUnopenable, EISDIR},
      {"missing.d88", Refusal::kImageUnopenable, ENOENT},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    auto loaded = std::make_unique<Loaded>();
    ImageFile file;
    ChosenDisk chosen{};
    // A name from the root is taken as it stands.
    const std::string path = (dir.path() / row.name).string();
    const ChoiceProblem problem = LoadChosenDisk(path.c_str(), {0, false, nullptr}, loaded->image,
                                                 file, loaded->disk, chosen);
    EXPECT_EQ(problem.problem.why, row.why);
    EXPECT_EQ(problem.problem.error, row.error);
    EXPECT_EQ(problem.place, 0);
  }
}

TEST(LoadChosenDisk, TheFileReadMustBeTheOneFound) {
  d88test::ScratchDir dir;
  const Bytes image = d88test::ImageOf({d88test::DataDisk(1, {})});
  const std::string path = dir.Put("disk.d88", image);
  const std::string other = dir.Put("other.d88", image);
  ImageReplacement found;
  ASSERT_FALSE(found.Prepare(other.c_str(), ImageReplacement::Mode::kReplace));
  auto loaded = std::make_unique<Loaded>();
  ImageFile file;
  ChosenDisk chosen{};
  const DiskChoice choice{0, false, &found.State().identity};
  EXPECT_EQ(
      LoadChosenDisk(path.c_str(), choice, loaded->image, file, loaded->disk, chosen).problem.why,
      Refusal::kImageChanged);
  EXPECT_FALSE(LoadChosenDisk(other.c_str(), choice, loaded->image, file, loaded->disk, chosen));
}

TEST(WriteProtection, TheCopyMustHoldTheHeadersAsTheyWereRead) {
  d88test::Disk protectedDisk = d88test::MakeLayoutDisk(d88test::DataDisk(2, {}));
  protectedDisk.writeProtect = kWriteProtected;
  const Bytes image =
      d88test::BuildImage({d88test::MakeLayoutDisk(d88test::DataDisk(1, {})), protectedDisk});
  const struct {
    const char* what;
    bool on;
    int changedByte;  // a byte of disk 2's header another writer changes; -1: none
    Refusal why;
  } rows[] = {
      {"protected", true, -1, Refusal::kNone},
      {"unprotected", false, -1, Refusal::kNone},
      {"the first disk's name changed", true, 0, Refusal::kImageChanged},
      {"the second disk's track table changed", false, 0x2AF, Refusal::kImageChanged},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    d88test::ScratchDir dir;
    const std::string path = dir.Put("disk.d88", image);
    ImageFile file;
    DiskSpan spans[2];
    auto read = std::make_unique<D88Image>();
    ASSERT_TRUE(read->Open(path.c_str()));
    ASSERT_TRUE(file.Open(path.c_str()));
    ASSERT_TRUE(ReadDiskSpan(*read, file, 0, spans[0]));
    ASSERT_TRUE(ReadDiskSpan(*read, file, 1, spans[1]));
    file.Close();
    Bytes changed = image;
    if (row.changedByte == 0) changed[0] ^= 0xFF;
    if (row.changedByte > 0) changed[spans[1].offset + row.changedByte] ^= 0xFF;
    d88test::WriteBytes(path, changed);
    Bytes expected = changed;
    if (row.why == Refusal::kNone) {
      expected[0x1A] = row.on ? kWriteProtected : 0;
      expected[spans[1].offset + 0x1A] = row.on ? kWriteProtected : 0;
    }
    ImageReplacement replacement;
    ASSERT_FALSE(replacement.Prepare(path.c_str(), ImageReplacement::Mode::kReplace));
    ASSERT_FALSE(replacement.Lock());
    EXPECT_EQ(WriteProtection(spans, 2, row.on, replacement).why, row.why);
    EXPECT_EQ(d88test::ReadBytes(path), expected);
    const auto entries = std::filesystem::directory_iterator(dir.path());
    EXPECT_EQ(std::distance(std::filesystem::begin(entries), std::filesystem::end(entries)), 1);
  }
}

}  // namespace
