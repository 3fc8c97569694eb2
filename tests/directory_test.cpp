// Tests of directory decoding and file naming.
#include "directory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "d88_builder.h"
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

std::string NameOf(const std::string& name, const std::string& extension) {
  SetEntry(1, name, extension);
  return MakeFileName(TheDisk(), 1);
}

TEST(MakeFileName, NameAndExtensionEndAtTheirFirstSpace) {
  EXPECT_EQ(NameOf("GAME  ", "BIN"), "GAME.BIN");
  EXPECT_EQ(NameOf("ABCDEF", "XYZ"), "ABCDEF.XYZ");
  EXPECT_EQ(NameOf("README", "   "), "README");
  EXPECT_EQ(NameOf("A B   ", "   "), "A");
  EXPECT_EQ(NameOf("A B   ", "C D"), "A.C");
  EXPECT_EQ(NameOf("PROG  ", " X "), "PROG");
  EXPECT_EQ(NameOf("      ", "DAT"), ".DAT");
  EXPECT_EQ(NameOf("      ", "   "), "");
}

TEST(MakeFileName, BytesAreCopiedAsTheyStand) {
  EXPECT_EQ(NameOf("game\t1", "b\x7F "), "game\t1.b\x7F");
  EXPECT_EQ(NameOf("\x83\x65\x83\x58\x83\x67", "\xA0\xFF\x80"),
            "\x83\x65\x83\x58\x83\x67.\xA0\xFF\x80");
  // A NUL is not a space: it is copied, and so ends the text.
  SetEntry(2, std::string("AB\0CD ", 6), "TXT");
  const char* name = MakeFileName(TheDisk(), 2);
  EXPECT_STREQ(name, "AB");
  EXPECT_EQ(std::string(name, 9), std::string("AB\0CD.TXT", 9));
  EXPECT_EQ(NameOf(std::string("\0NAME ", 6), "BIN"), "");
}

TEST(AllocationLength, IsBigEndianAndUnsigned) {
  SetEntry(1, "A     ", "   ", 0x1234);
  SetEntry(2, "B     ", "   ", 0xFFFF);
  SetEntry(3, "C     ", "   ", 0x0080);
  SetEntry(4, "D     ", "   ", 0);
  EXPECT_EQ(AllocationLength(TheDisk(), 1), 0x1234);
  EXPECT_EQ(AllocationLength(TheDisk(), 2), 0xFFFF);
  EXPECT_EQ(AllocationLength(TheDisk(), 3), 0x80);
  EXPECT_EQ(AllocationLength(TheDisk(), 4), 0);
}

class ReadDirectoryTest : public testing::Test {
 protected:
  void OpenLayouts(const std::vector<LayoutDisk>& layouts) {
    std::vector<d88test::Disk> disks;
    for (const LayoutDisk& layout : layouts) disks.push_back(d88test::MakeLayoutDisk(layout));
    OpenDisks(disks);
  }
  void OpenDisks(const std::vector<d88test::Disk>& disks) {
    const std::string path = scratch.Put("image.d88", d88test::BuildImage(disks));
    ASSERT_TRUE(image.Open(std::filesystem::path(path).c_str()));
    ASSERT_EQ(image.GetDiskCount(), static_cast<int>(disks.size()));
  }
  // Selects disk `index` and reads its directory.
  DirectoryInfo Read(int index) {
    EXPECT_TRUE(image.SelectDisk(index));
    return ReadDirectory(image, TheDisk());
  }

  d88test::ScratchDir scratch;
  D88Image image;
};

LayoutFile File(const std::string& name, const std::string& extension, std::size_t size,
                std::uint16_t start = 0x8000) {
  LayoutFile file;
  file.name = name;
  file.extension = extension;
  file.start = start;
  file.data = d88test::Pattern(size, static_cast<std::uint8_t>(size));
  return file;
}

TEST_F(ReadDirectoryTest, DecodesTheDirectoryStoredBackwards) {
  LayoutDisk layout;
  layout.diskNumber = 1;
  layout.files = {File("GAME", "BIN", 3000), File("README", "", 10), File("A B", " X ", 0)};
  layout.files[2].allocation = 0xABCD;
  OpenLayouts({layout});

  const DirectoryInfo info = Read(0);
  EXPECT_TRUE(info.complete);
  EXPECT_EQ(info.diskNumber, 1);
  EXPECT_EQ(info.entryCount, 3);
  EXPECT_STREQ(MakeFileName(TheDisk(), 1), "GAME.BIN");
  EXPECT_EQ(AllocationLength(TheDisk(), 1), 3004);
  EXPECT_STREQ(MakeFileName(TheDisk(), 2), "README");
  EXPECT_EQ(AllocationLength(TheDisk(), 2), 14);
  EXPECT_STREQ(MakeFileName(TheDisk(), 3), "A");
  EXPECT_EQ(AllocationLength(TheDisk(), 3), 0xABCD);

  // The data-area read that follows steps through five sectors per track.
  std::vector<std::uint8_t> buffer(2 * kTrackSize);
  EXPECT_EQ(image.ReadSectors(0, 0, 0, 1, kSectorSizeCode, buffer.data(), 2 * kTrackSize),
            2 * kTrackSize);
}

TEST_F(ReadDirectoryTest, EmptyAndFullDirectories) {
  LayoutDisk empty;
  empty.diskNumber = 2;
  LayoutDisk full;
  full.diskNumber = 3;
  for (int k = 1; k <= 255; ++k) full.files.push_back(File("F" + std::to_string(k), "", 0));
  full.files.back().name = "LAST";
  full.files.back().extension = "END";
  full.files.back().allocation = 0x5AA5;
  OpenLayouts({full, empty});

  DirectoryInfo info = Read(0);
  EXPECT_EQ(info.diskNumber, 3);
  EXPECT_EQ(info.entryCount, 255);
  EXPECT_STREQ(MakeFileName(TheDisk(), 1), "F1");
  EXPECT_STREQ(MakeFileName(TheDisk(), 128), "F128");
  // The last directory byte comes from track byte 5119 - 2815 = 2304.
  EXPECT_STREQ(MakeFileName(TheDisk(), 255), "LAST.END");
  EXPECT_EQ(AllocationLength(TheDisk(), 255), 0x5AA5);
  const Bytes disk = d88test::LayoutDiskBytes(full);
  EXPECT_EQ(TheDisk().directoryBytes[2815], disk[kDirectoryTrack * kTrackSize + 2304]);
  EXPECT_EQ(TheDisk().directoryBytes[2815], 0xA5);

  info = Read(1);
  EXPECT_TRUE(info.complete);
  EXPECT_EQ(info.diskNumber, 2);
  EXPECT_EQ(info.entryCount, 0);
}

TEST_F(ReadDirectoryTest, DiskLetterIsOneRawByte) {
  const std::vector<std::pair<int, std::string>> letters = {
      {0, "A"},      {25, "Z"},  {63, "\x80"}, {190, "\xFF"},
      {191, {'\0'}}, {255, "@"}, {1, "B"},     {1, "B"}};
  std::vector<LayoutDisk> layouts;
  for (const auto& [number, letter] : letters) {
    layouts.emplace_back();
    layouts.back().diskNumber = number;
    layouts.back().files = {File("F", "", 1)};
  }
  OpenLayouts(layouts);
  for (std::size_t i = 0; i < letters.size(); ++i) {
    const DirectoryInfo info = Read(static_cast<int>(i));
    EXPECT_EQ(std::string(1, static_cast<char>(DiskLetter(info.diskNumber))), letters[i].second)
        << letters[i].first;
    EXPECT_EQ(info.diskNumber, letters[i].first);
    EXPECT_EQ(info.entryCount, 1);
  }
}

TEST_F(ReadDirectoryTest, UnreadableDirectoryDecodesAsZeroBytes) {
  LayoutDisk data;
  data.diskNumber = 4;
  data.files = {File("KEEP", "ME", 100), File("MORE", "", 5)};
  // A blank disk, and one whose directory track lacks sector 5.
  d88test::Disk noSector5 = d88test::MakeLayoutDisk(data);
  noSector5.tracks[kDirectoryTrack].sectors.pop_back();
  OpenDisks({d88test::MakeLayoutDisk(data), d88test::Disk{}, noSector5});

  const DirectoryInfo first = Read(0);
  EXPECT_EQ(first.entryCount, 2);
  EXPECT_EQ(first.diskNumber, 4);
  EXPECT_TRUE(first.complete);
  for (int index : {1, 2}) {
    const DirectoryInfo info = Read(index);
    EXPECT_FALSE(info.complete) << index;
    EXPECT_EQ(info.diskNumber, 0) << index;
    EXPECT_EQ(info.entryCount, 0) << index;
  }
}

}  // namespace
