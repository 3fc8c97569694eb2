// Tests of the disk's loading and directory decoding, and of file naming.
#include "directory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "d88_builder.h"
#include "disk_walk.h"
#include "run_tool.h"

namespace {

using d88test::Bytes;
using d88test::LayoutDisk;
using d88test::LayoutFile;

// The disk the tests decode into: too large for a test's stack.
DecodedDisk& TheDisk() {
  static DecodedDisk disk;
  return disk;
}

// Stores entry k in directory order: 6 name bytes, 3 extension bytes and the
// big-endian allocation length.
void SetEntry(int k, const std::string& name, const std::string& extension,
              unsigned allocation = 0) {
  ASSERT_EQ(name.size(), 6u);
  ASSERT_EQ(extension.size(), 3u);
  std::uint8_t* entry = TheDisk().directoryBytes + directory_entry::kSize * k;
  std::memcpy(entry, name.data(), 6);
  std::memcpy(entry + 6, extension.data(), 3);
  entry[9] = static_cast<std::uint8_t>(allocation >> 8);
  entry[10] = static_cast<std::uint8_t>(allocation);
}

TEST(MakeFileName, NameAndExtensionEndAtTheirFirstSpace) {
  const struct {
    std::string name, extension;
    std::string made;  // the bytes built, a NUL among them
  } cases[] = {
      {"GAME  ", "BIN", "GAME.BIN"},
      {"ABCDEF", "XYZ", "ABCDEF.XYZ"},
      {"README", "   ", "README"},
      {"A B   ", "   ", "A"},
      {"A B   ", "C D", "A.C"},
      {"PROG  ", " X ", "PROG"},
      {"      ", "DAT", ".DAT"},
      {"      ", "   ", ""},
      // Bytes are copied as they stand, control bytes and Shift-JIS too.
      {"game\t1", "b\x7F ", "game\t1.b\x7F"},
      {"\x83\x65\x83\x58\x83\x67", "\xA0\xFF\x80", "\x83\x65\x83\x58\x83\x67.\xA0\xFF\x80"},
      // A NUL is not a space: it is copied, and so ends the text early.
      {std::string("AB\0CD ", 6), "TXT", std::string("AB\0CD.TXT", 9)},
      {std::string("\0NAME ", 6), "BIN", std::string("\0NAME.BIN", 9)},
  };
  for (const auto& c : cases) {
    SetEntry(1, c.name, c.extension, 0x1234);
    int length = -1;
    const char* name = MakeFileName(TheDisk(), 1, length);
    EXPECT_EQ(std::string(name, static_cast<std::size_t>(length)), c.made) << c.made;
    EXPECT_EQ(name[length], 0) << c.made;
    EXPECT_EQ(AllocationLength(TheDisk(), 1), 0x1234) << c.made;
  }
  // The allocation length is big-endian and unsigned.
  SetEntry(2, "B     ", "   ", 0xFF80);
  EXPECT_EQ(AllocationLength(TheDisk(), 2), 0xFF80);
}

LayoutFile File(const std::string& name, const std::string& extension, std::size_t size) {
  LayoutFile file;
  file.name = name;
  file.extension = extension;
  file.start = 0x8000;
  file.data = d88test::Pattern(size, static_cast<std::uint8_t>(size));
  return file;
}

class LoadDiskTest : public testing::Test {
 protected:
  // Writes the disks as an image, opens it and loads disk `index`.
  DiskRecord Load(const std::vector<d88test::Disk>& disks, int index) {
    const std::string path = scratch.Put("image.d88", d88test::BuildImage(disks));
    EXPECT_TRUE(image->Open(std::filesystem::path(path).c_str()));
    return LoadDisk(*image, index, TheDisk());
  }

  d88test::ScratchDir scratch;
  std::unique_ptr<D88Image> image = std::make_unique<D88Image>();
};

TEST_F(LoadDiskTest, DecodesTheDirectoryStoredBackwards) {
  LayoutDisk full = d88test::DataDisk(3, {});
  for (int k = 1; k <= 255; ++k) full.files.push_back(File("F" + std::to_string(k), "", 0));
  full.files.back() = File("LAST", "END", 0);
  full.files.back().allocation = 0x5AA5;
  const struct {
    LayoutDisk layout;
    std::vector<std::string> names;  // some of its entries' names, by index from 1
  } cases[] = {
      {d88test::DataDisk(1, {File("GAME", "BIN", 3000), File("README", "", 10)}),
       {"GAME.BIN", "README"}},
      {d88test::DataDisk(2, {}), {}},
      // The last directory byte comes from track byte 5119 - 2815 = 2304.
      {full, {"F1", "F2"}},
      {d88test::DataDisk(0, {File("IPL", "SYS", 5)}), {"IPL.SYS"}},
  };
  for (const auto& c : cases) {
    const DiskRecord record = Load({d88test::MakeLayoutDisk(c.layout)}, 0);
    ASSERT_EQ(record.finding, DiskFinding::kDirectory) << c.layout.diskNumber;
    EXPECT_EQ(record.diskNumber, c.layout.diskNumber);
    EXPECT_EQ(record.entryCount, static_cast<int>(c.layout.files.size()));
    EXPECT_EQ(record.dataStart, c.layout.diskNumber == 0 ? 2 * kTrackSize : 0);
    for (std::size_t k = 0; k < c.names.size(); ++k) {
      int length = 0;
      EXPECT_STREQ(MakeFileName(TheDisk(), static_cast<int>(k) + 1, length), c.names[k].c_str());
    }
  }
  int length = 0;
  Load({d88test::MakeLayoutDisk(full)}, 0);
  EXPECT_STREQ(MakeFileName(TheDisk(), 255, length), "LAST.END");
  EXPECT_EQ(AllocationLength(TheDisk(), 255), 0x5AA5);
}

TEST_F(LoadDiskTest, TheDirectoryIsReadWhenItsSectorsAreThere) {
  // Six entries lie in sector 5 alone; 100 reach into sector 4.
  std::vector<LayoutFile> many;
  for (int k = 0; k < 100; ++k) many.push_back(File("F" + std::to_string(k), "", 1));
  const struct {
    std::string label;
    std::size_t files;         // of `many`
    std::vector<int> lacking;  // sectors of track 83 the image does not hold
    bool read;
    int missingSector;  // the first sector of the directory the image lacks
  } cases[] = {
      {"whole", 6, {}, true, -1},
      {"lacking sectors 1 to 4", 6, {1, 2, 3, 4}, true, -1},
      {"lacking sector 5", 6, {5}, false, 83 * 5 + 4},
      {"entries in sector 4, which is there", 100, {1, 2, 3}, true, -1},
      {"entries in sector 4, which is not", 100, {4}, false, 83 * 5 + 3},
  };
  for (const auto& c : cases) {
    d88test::Disk disk = d88test::MakeLayoutDisk(
        d88test::DataDisk(1, std::vector<LayoutFile>(many.begin(), many.begin() + c.files)));
    std::vector<d88test::Sector>& sectors = disk.tracks.at(83).sectors;
    for (auto r = c.lacking.rbegin(); r != c.lacking.rend(); ++r) {
      sectors.erase(sectors.begin() + (*r - 1));
    }
    const DiskRecord record = Load({disk}, 0);
    EXPECT_EQ(record.HasDirectory(), c.read) << c.label;
    EXPECT_EQ(record.entryCount, c.read ? static_cast<int>(c.files) : 0) << c.label;
    if (!c.read) {
      EXPECT_EQ(record.finding, DiskFinding::kDirectoryMissing) << c.label;
      EXPECT_EQ(record.missingSector, c.missingSector) << c.label;
    }
  }
}

}  // namespace
