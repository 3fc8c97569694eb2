// Tests of the D88 reader: disk table and sector access.
#include "d88_image.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "d88_builder.h"
#include "image_file.h"
#include "reference_reader.h"
#include "run_tool.h"

namespace {

namespace fs = std::filesystem;
using d88test::Bytes;
using d88test::Concat;
using d88test::Disk;
using d88test::Pattern;
using d88test::Sector;
using d88test::Track;

constexpr std::uint8_t kUntouched = 0xEE;

// The data of sector r of track t, distinct for every sector of a test image.
Bytes SectorData(int track, int r, int n = 3) {
  return Pattern(static_cast<std::size_t>(128) << n, static_cast<std::uint8_t>(track * 7 + r * 3));
}

Sector MakeSector(int track, int r, int n = 3) {
  Sector sector;
  sector.c = track / 2;
  sector.h = track % 2;
  sector.r = r;
  sector.n = n;
  sector.data = SectorData(track, r, n);
  return sector;
}

// A sector whose ID is (c, h, r) and whose data stays that of `sector`.
Sector WithId(Sector sector, int c, int h, int r) {
  sector.c = c;
  sector.h = h;
  sector.r = r;
  return sector;
}

// Sectors 1 to `count` in order, on cylinder track / 2 and head track % 2.
Track PlainTrack(int track, int count = 5, int n = 3) {
  Track out;
  for (int r = 1; r <= count; ++r) out.sectors.push_back(MakeSector(track, r, n));
  return out;
}

// Track 0: thousands of empty headers before its sectors 1 to 5, more than
// one read window's worth; every header's count is 0xFFFF.
Track BehindEmptyHeaders() {
  Sector empty;
  empty.r = 0;
  empty.n = 0;
  empty.countField = 0xFFFF;
  Track track;
  track.sectors.assign(6000, empty);
  for (int r = 1; r <= 5; ++r) {
    track.sectors.push_back(MakeSector(0, r));
    track.sectors.back().countField = 0xFFFF;
  }
  return track;
}

Disk NamedDisk(const std::string& name, int tracks = 0) {
  Disk disk;
  disk.name = name;
  for (int t = 0; t < tracks; ++t) disk.tracks[t] = PlainTrack(t);
  return disk;
}

// What a read returned, and left in a caller's buffer, which starts as
// kUntouched bytes.
struct Result {
  int count;
  Bytes buffer;
  bool operator==(const Result& other) const {
    return count == other.count && buffer == other.buffer;
  }
};

std::ostream& operator<<(std::ostream& out, const Result& result) {
  return out << result.count << " and " << testing::PrintToString(result.buffer);
}

// `expected` delivered at the start of a buffer of `size` untouched bytes.
Bytes Placed(const Bytes& expected, std::size_t size) {
  Bytes out(size, kUntouched);
  std::copy(expected.begin(), expected.end(), out.begin());
  return out;
}

// A read that returned `count` and delivered `expected` so.
Result Delivered(int count, const Bytes& expected, std::size_t size) {
  return {count, Placed(expected, size)};
}

class ReaderTest : public testing::Test {
 protected:
  bool OpenBytes(const Bytes& bytes, const std::string& name = "image.d88") {
    path = scratch.Put(name, bytes);
    return image.Open(fs::path(path).c_str());
  }
  bool OpenDisks(const std::vector<Disk>& disks) { return OpenBytes(d88test::BuildImage(disks)); }
  // An image of `disk` alone, the disk selected.
  bool OpenOne(const Disk& disk) { return OpenDisks({disk}) && image.SelectDisk(0); }

  Result Sector1(int track, int c, int h, int r, int n, int limit, std::size_t size = 2048) {
    Result result{0, Bytes(size, kUntouched)};
    result.count = image.ReadSector(track, c, h, r, n, result.buffer.data(), limit);
    return result;
  }
  Result Run(int track, int c, int h, int r, int n, int length, std::size_t extra = 64) {
    Result result{0, Bytes(static_cast<std::size_t>(std::max(length, 0)) + extra, kUntouched)};
    result.count = image.ReadSectors(track, c, h, r, n, result.buffer.data(), length);
    return result;
  }
  Result Ids(int track, int outLength) {
    Result result{0, Bytes(static_cast<std::size_t>(outLength) + 8, kUntouched)};
    result.count = image.ReadSectorIds(track, result.buffer.data(), outLength);
    return result;
  }

  d88test::ScratchDir scratch;
  std::string path;
  D88Image image;
};

// --- Disk table ---

TEST_F(ReaderTest, ScanEndsAtTheEndOfTheFile) {
  for (std::size_t size : {0, 1, 687}) {
    ASSERT_TRUE(OpenBytes(Bytes(size, 0x11))) << size;
    EXPECT_EQ(image.GetDiskCount(), 0) << size;
    EXPECT_EQ(image.GetCutHeaderBytes(), static_cast<int>(size)) << size;
    EXPECT_FALSE(image.SelectDisk(0)) << size;
  }
  // Fewer than 688 bytes after the last disk end the scan, even when they
  // look like the start of a header; a bare header is a disk.
  const Bytes disks = d88test::BuildImage({NamedDisk("A", 1), NamedDisk("B")});
  ASSERT_TRUE(OpenBytes(Concat(disks, Bytes(disks.begin(), disks.begin() + 687))));
  EXPECT_EQ(image.GetDiskCount(), 2);
  EXPECT_EQ(image.GetCutHeaderBytes(), 687);
  EXPECT_FALSE(image.SelectDisk(2));
  // So does a size that reaches past the end of the file.
  Disk huge = NamedDisk("HUGE", 2);
  huge.sizeField = 0xFFFFFFFFu;
  ASSERT_TRUE(OpenDisks({huge, NamedDisk("AFTER")}));
  EXPECT_EQ(image.GetDiskCount(), 1);
  EXPECT_EQ(image.GetCutHeaderBytes(), 0);
  ASSERT_TRUE(image.SelectDisk(0));
  EXPECT_EQ(Run(0, 0, 0, 1, 3, 2048).count, 2048);
}

TEST_F(ReaderTest, ScanStopsAtSixtyFourDisksAndFollowsEachSizeField) {
  std::vector<Disk> disks;
  for (int i = 0; i < 70; ++i) {
    disks.push_back(NamedDisk("DISK" + std::to_string(i), i % 3));
    disks.back().tail.assign(static_cast<std::size_t>(i), 0x5A);  // sizes differ
  }
  ASSERT_TRUE(OpenDisks(disks));
  EXPECT_EQ(image.GetDiskCount(), 64);
  for (int i : {0, 1, 2, 37, 63}) {
    ASSERT_TRUE(image.SelectDisk(i)) << i;
    EXPECT_STREQ(image.GetDiskName(), ("DISK" + std::to_string(i)).c_str());
    if (i % 3 > 0) {
      EXPECT_EQ(Sector1(0, 0, 0, 2, 3, 1024).buffer, Placed(SectorData(0, 2), 2048)) << i;
    }
  }
  EXPECT_FALSE(image.SelectDisk(64));
  EXPECT_TRUE(image.HasMoreDisks());

  // Exactly 64: nothing is left unread; a 65th header cut short is a cut
  // header, as anywhere else.
  disks.resize(64);
  ASSERT_TRUE(OpenDisks(disks));
  EXPECT_EQ(image.GetDiskCount(), 64);
  EXPECT_FALSE(image.HasMoreDisks());
  Bytes cut = d88test::BuildImage(disks);
  cut.resize(cut.size() + d88::disk_header::kSize - 1, 0);
  ASSERT_TRUE(OpenBytes(cut));
  EXPECT_FALSE(image.HasMoreDisks());
  EXPECT_EQ(image.GetCutHeaderBytes(), d88::disk_header::kSize - 1);
}

TEST_F(ReaderTest, SizeFieldOfZeroEndsTheScanAfterItsDisk) {
  // It would lead to the same header again and again.
  Disk zero = NamedDisk("ZERO", 1);
  zero.sizeField = 0;
  ASSERT_TRUE(OpenDisks({NamedDisk("FIRST", 1), zero, NamedDisk("NEVER", 1)}));
  EXPECT_EQ(image.GetDiskCount(), 2);
  EXPECT_FALSE(image.HasMoreDisks());
  EXPECT_TRUE(image.HasBytesAfterZeroSize());
  ASSERT_TRUE(image.SelectDisk(1));
  EXPECT_STREQ(image.GetDiskName(), "ZERO");
  // A size of 0 leaves no room for any track.
  EXPECT_EQ(Sector1(0, 0, 0, 1, 3, 1024).count, 0);

  zero.name = "LEAD";
  ASSERT_TRUE(OpenDisks({zero, NamedDisk("NEVER")}));
  EXPECT_EQ(image.GetDiskCount(), 1);
  // The last disk of a file may well say 0: nothing is left unread.
  Disk bare = NamedDisk("BARE");
  bare.sizeField = 0;
  ASSERT_TRUE(OpenDisks({NamedDisk("FIRST", 1), bare}));
  EXPECT_FALSE(image.HasBytesAfterZeroSize());
  ASSERT_TRUE(OpenDisks({zero, NamedDisk("NEVER")}));
  ASSERT_TRUE(image.SelectDisk(0));
  EXPECT_STREQ(image.GetDiskName(), "LEAD");
}

// Positions are 64-bit: a disk that starts beyond 4 GiB is found and read.
TEST_F(ReaderTest, DiskBeyondFourGibibytes) {
  Disk first = NamedDisk("FIRST");
  first.sizeField = 0xFFFFFFFFu;
  path = scratch.Put("big.d88", d88test::BuildDisk(first));
  std::error_code error;
  fs::resize_file(path, 0xFFFFFFFFull, error);
  if (error) GTEST_SKIP() << "cannot make a sparse file of 4 GiB here";
  {
    const Bytes second = d88test::BuildDisk(NamedDisk("SECOND", 1));
    std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
    out.seekp(static_cast<std::streamoff>(0xFFFFFFFFll));
    out.write(reinterpret_cast<const char*>(second.data()),
              static_cast<std::streamsize>(second.size()));
    if (!out) GTEST_SKIP() << "cannot write past 4 GiB here";
  }
  ASSERT_TRUE(image.Open(fs::path(path).c_str()));
  EXPECT_EQ(image.GetDiskCount(), 2);
  ASSERT_TRUE(image.SelectDisk(1));
  EXPECT_STREQ(image.GetDiskName(), "SECOND");
  EXPECT_EQ(Sector1(0, 0, 0, 3, 3, 1024).buffer, Placed(SectorData(0, 3), 2048));
}

// --- Selecting a disk ---

TEST_F(ReaderTest, NoDiskIsCurrentBeforeOrAfterAFailedSelection) {
  std::uint8_t buffer[16] = {};
  EXPECT_FALSE(image.SelectDisk(0));
  EXPECT_EQ(image.GetMediaType(), -1);
  EXPECT_STREQ(image.GetDiskName(), "");
  EXPECT_EQ(image.ReadSector(0, 0, 0, 1, 3, buffer, 16), 0);

  Disk a = NamedDisk("ALPHA", 1);
  a.mediaType = 0x20;
  ASSERT_TRUE(OpenDisks({a, NamedDisk("BETA", 1)}));
  EXPECT_EQ(Sector1(0, 0, 0, 1, 3, 1024).count, 0);
  for (int bad : {2, -1, 1000}) {
    ASSERT_TRUE(image.SelectDisk(0));
    EXPECT_EQ(image.GetMediaType(), 0x20);
    EXPECT_FALSE(image.SelectDisk(bad)) << bad;
    EXPECT_STREQ(image.GetDiskName(), "") << bad;
    EXPECT_EQ(image.GetMediaType(), -1) << bad;
    EXPECT_EQ(Sector1(0, 0, 0, 1, 3, 1024).count, 0) << bad;
    EXPECT_EQ(Run(0, 0, 0, 1, 3, 1024).count, 0) << bad;
    EXPECT_EQ(Ids(0, 16).count, 0) << bad;
  }
}

TEST_F(ReaderTest, TrackOffsetsCountFromTheSelectedDisksHeader) {
  Disk b = NamedDisk("B");
  b.tracks[0].sectors = {WithId(MakeSector(5, 1), 0, 0, 1)};  // the same ID, other data
  ASSERT_TRUE(OpenDisks({NamedDisk("A", 1), b}));
  ASSERT_TRUE(image.SelectDisk(1));
  EXPECT_EQ(Sector1(0, 0, 0, 1, 3, 1024).buffer, Placed(SectorData(5, 1), 2048));
  ASSERT_TRUE(image.SelectDisk(0));
  EXPECT_EQ(Sector1(0, 0, 0, 1, 3, 1024).buffer, Placed(SectorData(0, 1), 2048));
}

TEST_F(ReaderTest, DiskNameAndMediaType) {
  Disk full = NamedDisk("0123456789ABCDEFGH");  // the builder keeps 16 bytes
  full.mediaType = 0xFF;
  Disk cut = NamedDisk(std::string("AB\0CD", 5));
  cut.mediaType = 0x10;
  Disk high = NamedDisk("\x83\x65\x83\x58");
  ASSERT_TRUE(OpenDisks({full, cut, high}));
  ASSERT_TRUE(image.SelectDisk(0));
  EXPECT_EQ(std::string(image.GetDiskName()), "0123456789ABCDEF");
  EXPECT_EQ(image.GetMediaType(), 255);
  // A shorter name after a longer one leaves nothing of the longer behind.
  ASSERT_TRUE(image.SelectDisk(1));
  EXPECT_EQ(std::string(image.GetDiskName()), "AB");
  EXPECT_EQ(image.GetMediaType(), 0x10);
  ASSERT_TRUE(image.SelectDisk(2));
  EXPECT_EQ(std::string(image.GetDiskName()), "\x83\x65\x83\x58");
}

// --- Opening ---

TEST_F(ReaderTest, OpenFailsOnEmptyPathMissingFileDirectoryAndFifo) {
  fs::create_directory(scratch.path() / "disk.d88");
  ASSERT_EQ(mkfifo((scratch.path() / "pipe.d88").c_str(), 0600), 0);
  const struct {
    fs::path path;
    int error;
  } cases[] = {{"", ENOENT},
               {scratch.path() / "missing.d88", ENOENT},
               {scratch.path(), EISDIR},
               {scratch.path() / "disk.d88", EISDIR},
               {scratch.path() / "pipe.d88", kNotRegularFile},
               {"/dev/null", kNotRegularFile}};
  for (const auto& c : cases) {
    // A FIFO must not make the open wait for a writer.
    EXPECT_FALSE(image.Open(c.path.c_str())) << c.path;
    EXPECT_EQ(image.GetOpenError(), c.error) << c.path;
    EXPECT_EQ(image.GetDiskCount(), 0);
  }
}

TEST_F(ReaderTest, IdentityIsTheFilesNotItsName) {
  ASSERT_TRUE(OpenDisks({NamedDisk("ONE")}));
  const ImageIdentity first = image.GetIdentity();
  fs::create_hard_link(path, scratch.path() / "other.d88");
  ASSERT_TRUE(image.Open((scratch.path() / "other.d88").c_str()));
  EXPECT_TRUE(SameImageFile(image.GetIdentity(), first));
  ASSERT_TRUE(OpenBytes(d88test::BuildImage({NamedDisk("TWO")}), "two.d88"));
  EXPECT_FALSE(SameImageFile(image.GetIdentity(), first));
  EXPECT_EQ(image.GetReadError(), 0);
}

TEST_F(ReaderTest, OpenAgainClosesAndClearsTheFirstImage) {
  ASSERT_TRUE(OpenDisks({NamedDisk("OLD1", 2), NamedDisk("OLD2", 2)}));
  ASSERT_TRUE(image.SelectDisk(1));

  // Another file: its disks only, and no disk current until one is selected.
  Disk fresh = NamedDisk("NEW");
  fresh.tracks[1] = PlainTrack(1);
  fresh.mediaType = 0x30;
  ASSERT_TRUE(OpenBytes(d88test::BuildImage({fresh}), "other.d88"));
  EXPECT_EQ(image.GetDiskCount(), 1);
  EXPECT_STREQ(image.GetDiskName(), "");
  EXPECT_EQ(image.GetMediaType(), -1);
  EXPECT_EQ(Sector1(1, 0, 1, 1, 3, 1024).count, 0);
  ASSERT_TRUE(image.SelectDisk(0));
  EXPECT_EQ(image.GetMediaType(), 0x30);
  EXPECT_EQ(Sector1(1, 0, 1, 1, 3, 1024).buffer, Placed(SectorData(1, 1), 2048));

  // The same path rewritten, with a longer first disk: nothing of the old
  // content is read.
  Disk rewritten = fresh;
  rewritten.name = "NEWER";
  rewritten.tracks[1].sectors[0].data = SectorData(9, 9);
  rewritten.tail.assign(1000, 0);
  ASSERT_TRUE(OpenBytes(d88test::BuildImage({rewritten, NamedDisk("SECOND")}), "other.d88"));
  EXPECT_EQ(image.GetDiskCount(), 2);
  ASSERT_TRUE(image.SelectDisk(1));
  EXPECT_STREQ(image.GetDiskName(), "SECOND");
  ASSERT_TRUE(image.SelectDisk(0));
  EXPECT_STREQ(image.GetDiskName(), "NEWER");
  EXPECT_EQ(Sector1(1, 0, 1, 1, 3, 1024).buffer, Placed(SectorData(9, 9), 2048));

  // A failed open leaves no image behind.
  EXPECT_FALSE(image.Open(fs::path("").c_str()));
  EXPECT_EQ(image.GetDiskCount(), 0);
  EXPECT_FALSE(image.SelectDisk(0));
  EXPECT_EQ(Sector1(1, 0, 1, 1, 3, 1024).count, 0);

  // No path closes the image.
  ASSERT_TRUE(OpenDisks({fresh}));
  ASSERT_TRUE(image.Open(nullptr));
  EXPECT_EQ(image.GetDiskCount(), 0);
  EXPECT_EQ(image.GetMediaType(), -1);
  EXPECT_FALSE(image.SelectDisk(0));
  EXPECT_EQ(Sector1(1, 0, 1, 1, 3, 1024).count, 0);
}

// An image in memory is no file: it has no identity and no read fails; its
// size is its block's, and nothing past the block is read. Each opens
// after a file, of which nothing is left; a file opened after it is a file
// again.
TEST_F(ReaderTest, AnImageInMemoryIsNoFile) {
  const Bytes bytes = d88test::BuildImage({NamedDisk("ONE", 1)});
  const struct {
    const char* what;
    const std::uint8_t* bytes;
    std::size_t size;
    bool opens;
    int error;
    int disks;
    int sector;  // what a read of track 0's first sector gives
  } rows[] = {
      {"no bytes", nullptr, 0, true, 0, 0, 0},
      {"null with a size", nullptr, 5, false, EINVAL, 0, 0},
      {"a disk", bytes.data(), bytes.size(), true, 0, 1, 1024},
      {"a disk's header and part of a sector header", bytes.data(), 700, true, 0, 1, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    Disk writeProtected = NamedDisk("FILE2", 2);
    writeProtected.writeProtect = 0x10;
    ASSERT_TRUE(OpenDisks({NamedDisk("FILE", 2), writeProtected}));
    ASSERT_TRUE(image.SelectDisk(1));
    const ImageIdentity file = image.GetIdentity();
    EXPECT_TRUE(file.isFile);
    EXPECT_EQ(image.Open(row.bytes, row.size), row.opens);
    EXPECT_EQ(image.GetOpenError(), row.error);
    EXPECT_EQ(image.GetDiskCount(), row.disks);
    EXPECT_EQ(image.GetFileSize(), row.opens ? static_cast<int64_t>(row.size) : -1);
    EXPECT_FALSE(image.GetIdentity().isFile);
    EXPECT_FALSE(SameImageFile(image.GetIdentity(), file));
    EXPECT_STREQ(image.GetDiskName(), "");
    EXPECT_EQ(image.GetWriteProtect(), 0);
    EXPECT_EQ(image.SelectDisk(0), row.disks > 0);
    EXPECT_EQ(Sector1(0, 0, 0, 1, 3, 1024).count, row.sector);
    EXPECT_EQ(image.GetReadError(), 0);
    // The same file again is the same file.
    ASSERT_TRUE(image.Open(fs::path(path).c_str()));
    EXPECT_TRUE(SameImageFile(image.GetIdentity(), file));
  }
  // Two images in memory are never the same file, even of the same bytes;
  // a reader that has opened nothing has neither file nor size.
  D88Image other;
  EXPECT_FALSE(other.GetIdentity().isFile);
  EXPECT_EQ(other.GetFileSize(), -1);
  ASSERT_TRUE(image.Open(bytes.data(), bytes.size()));
  ASSERT_TRUE(other.Open(bytes.data(), bytes.size()));
  EXPECT_FALSE(SameImageFile(image.GetIdentity(), other.GetIdentity()));
}

// --- Single sectors ---

TEST_F(ReaderTest, SectorIsFoundByAllFourIdFieldsAndTheFirstMatchWins) {
  Disk disk = NamedDisk("D");
  Track& track = disk.tracks[0];
  track.sectors = {MakeSector(0, 3), MakeSector(0, 1), MakeSector(0, 2, 2), MakeSector(0, 2)};
  track.sectors.push_back(WithId(MakeSector(4, 4), 0, 0, 1));  // the same ID, other data
  ASSERT_TRUE(OpenOne(disk));

  EXPECT_EQ(Sector1(0, 0, 0, 1, 3, 1024).buffer, Placed(SectorData(0, 1), 2048));
  EXPECT_EQ(Sector1(0, 0, 0, 3, 3, 1024).buffer, Placed(SectorData(0, 3), 2048));
  EXPECT_EQ(Sector1(0, 0, 0, 2, 2, 1024), Delivered(512, SectorData(0, 2, 2), 2048));
  EXPECT_EQ(Sector1(0, 0, 0, 2, 3, 1024).buffer, Placed(SectorData(0, 2), 2048));
  // One field off, or an argument that only matches when cut to a byte.
  const int misses[][4] = {{1, 0, 1, 3},    {0, 1, 1, 3},   {0, 0, 4, 3},   {0, 0, 1, 1},
                           {256, 0, 1, 3},  {0, 256, 1, 3}, {0, 0, 257, 3}, {0, 0, 1, 259},
                           {-256, 0, 1, 3}, {0, 0, 1, -253}};
  for (const auto& id : misses) {
    EXPECT_EQ(Sector1(0, id[0], id[1], id[2], id[3], 1024).count, 0)
        << id[0] << " " << id[1] << " " << id[2] << " " << id[3];
  }
}

TEST_F(ReaderTest, LimitAndDataLength) {
  Disk disk = NamedDisk("D");
  Sector empty = MakeSector(0, 1);
  empty.data.clear();
  Sector shortOne = MakeSector(0, 2);
  shortOne.data.resize(100);
  // The file ends inside the last sector's data.
  Sector cut = MakeSector(0, 4);
  cut.lengthField = 1024;
  cut.data.resize(300);
  disk.tracks[0].sectors = {empty, shortOne, MakeSector(0, 3), cut};
  ASSERT_TRUE(OpenOne(disk));

  EXPECT_EQ(Sector1(0, 0, 0, 1, 3, 1024).count, 0);
  EXPECT_EQ(Sector1(0, 0, 0, 2, 3, 1024), Delivered(100, shortOne.data, 2048));
  const Bytes head(shortOne.data.begin(), shortOne.data.begin() + 40);
  EXPECT_EQ(Sector1(0, 0, 0, 2, 3, 40), Delivered(40, head, 2048));
  EXPECT_EQ(Sector1(0, 0, 0, 3, 3, 0), Delivered(0, {}, 2048));
  EXPECT_EQ(Sector1(0, 0, 0, 3, 3, -1), Delivered(0, {}, 2048));
  // The count stays the whole length; the bytes the file lacks are untouched.
  EXPECT_EQ(Sector1(0, 0, 0, 4, 3, 1024), Delivered(1024, cut.data, 2048));
}

TEST_F(ReaderTest, SearchEndsWhereTheCountFieldsSay) {
  Disk disk = NamedDisk("D");
  // Track 0 says it holds 3 sectors but records 2: the third is the first
  // sector of track 1, which follows it in the file.
  disk.tracks[0] = PlainTrack(0, 2);
  for (Sector& sector : disk.tracks[0].sectors) sector.countField = 3;
  disk.tracks[1].sectors = {WithId(MakeSector(1, 1), 0, 0, 7), WithId(MakeSector(1, 2), 0, 0, 8)};
  for (Sector& sector : disk.tracks[1].sectors) sector.countField = 3;
  // Track 2: each header's own count decides; the second says 2, so the
  // search stops there although the first says 5.
  disk.tracks[2] = PlainTrack(2, 4);
  disk.tracks[2].sectors[0].countField = 5;
  disk.tracks[2].sectors[1].countField = 2;
  // Track 3: a header whose count is 0 ends the search, even when it matches.
  disk.tracks[3] = PlainTrack(3, 3);
  disk.tracks[3].sectors[1].countField = 0;
  ASSERT_TRUE(OpenOne(disk));

  EXPECT_EQ(Sector1(0, 0, 0, 7, 3, 1024).buffer, Placed(SectorData(1, 1), 2048));
  EXPECT_EQ(Sector1(0, 0, 0, 8, 3, 1024).count, 0);
  EXPECT_EQ(Sector1(2, 1, 0, 2, 3, 1024).count, 1024);
  EXPECT_EQ(Sector1(2, 1, 0, 3, 3, 1024).count, 0);
  EXPECT_EQ(Sector1(3, 1, 1, 1, 3, 1024).count, 1024);
  EXPECT_EQ(Sector1(3, 1, 1, 2, 3, 1024).count, 0);
  EXPECT_EQ(Sector1(3, 1, 1, 3, 3, 1024).count, 0);
}

TEST_F(ReaderTest, HeaderCutOffByTheEndOfTheFileEndsTheSearch) {
  Disk disk = NamedDisk("D");
  disk.tracks[0] = PlainTrack(0, 2);
  for (Sector& sector : disk.tracks[0].sectors) sector.countField = 3;
  // Half of a third header: its ID would match, its count and length are gone.
  disk.tail = {0, 0, 3, 3, 3, 0, 0, 0};
  ASSERT_TRUE(OpenOne(disk));
  EXPECT_EQ(Sector1(0, 0, 0, 3, 3, 1024).count, 0);
  EXPECT_EQ(Sector1(0, 0, 0, 4, 3, 1024).count, 0);
  EXPECT_EQ(Run(0, 0, 0, 1, 3, 4096).count, 2048);
  EXPECT_EQ(image.GetSupplied(), 2048);
  EXPECT_EQ(Ids(0, 64).count, 8);
}

TEST_F(ReaderTest, SuppliedEndsAtTheFirstSectorTheFileCutsOff) {
  // Sector 3's data is cut off 100 bytes in by the end of the file: its
  // read still counts 1024 bytes, but nothing from its first byte on was
  // supplied by the file.
  Disk disk = NamedDisk("D");
  disk.tracks[0] = PlainTrack(0, 3);
  Bytes bytes = d88test::BuildImage({disk});
  bytes.resize(bytes.size() - 1024 + 100);
  ASSERT_TRUE(OpenBytes(bytes));
  ASSERT_TRUE(image.SelectDisk(0));
  image.SetSectorRange(1, 3);
  EXPECT_EQ(Run(0, 0, 0, 1, 3, 3 * 1024).count, 3 * 1024);
  EXPECT_EQ(image.GetSupplied(), 2 * 1024);
  EXPECT_EQ(Run(0, 0, 0, 1, 3, 2 * 1024).count, 2 * 1024);
  EXPECT_EQ(image.GetSupplied(), 2 * 1024);
  EXPECT_EQ(Sector1(0, 0, 0, 3, 3, 1024).count, 1024);
  EXPECT_EQ(image.GetSupplied(), 0);
  EXPECT_EQ(Sector1(0, 0, 0, 2, 3, 1024).count, 1024);
  EXPECT_EQ(image.GetSupplied(), 1024);
  EXPECT_EQ(image.GetReadError(), 0);
}

// --- Tracks ---

TEST_F(ReaderTest, AbsentOutOfRangeAndBeyondSizeTracksYieldNothing) {
  Disk disk = NamedDisk("D");
  disk.tracks[0] = PlainTrack(0);
  disk.tracks[163] = PlainTrack(163);
  disk.trackOffsetOverrides[5] = 0xFFFFFF00u;
  ASSERT_TRUE(OpenOne(disk));
  EXPECT_EQ(Sector1(163, 81, 1, 1, 3, 1024).buffer, Placed(SectorData(163, 1), 2048));
  for (int track : {1, 5, 162, 164, -1, 1000, INT_MAX, INT_MIN}) {
    EXPECT_EQ(Sector1(track, 0, 0, 1, 3, 1024).count, 0) << track;
    EXPECT_EQ(Run(track, 0, 0, 1, 3, 1024).count, 0) << track;
    EXPECT_EQ(Ids(track, 16).count, 0) << track;
  }
  // A run that can find nothing plans no step past its track: with the
  // sanitizers on, stepping INT_MAX would overflow.
  image.SetSectorRange(1, 1);
  EXPECT_EQ(Run(INT_MAX, 0, 0, 1, 3, 4096).count, 0);
  EXPECT_EQ(Run(0, INT_MAX, 0, 1, 3, 4096).count, 0);
  EXPECT_EQ(Run(0, 0, INT_MAX, 1, 3, 4096).count, 0);
  EXPECT_EQ(Run(0, 0, 0, INT_MIN, 3, 4096).count, 0);
  EXPECT_EQ(Run(0, 0, 0, INT_MAX, 3, 4096).count, 0);
  // Read sector by sector, a run steps on across what it cannot find.
  for (const auto& [track, c, h] : {std::tuple{INT_MAX, 0, 0}, {0, INT_MAX, 1}}) {
    std::uint8_t data[4 * 1024];
    std::uint16_t held[4] = {1, 1, 1, 1};
    image.ReadEachSector(track, c, h, 1, 3, 4, data, held);
    EXPECT_EQ(std::count(held, held + 4, 0), 4) << track << " " << c;
  }
}

TEST_F(ReaderTest, NothingPastTheDisksEndIsRead) {
  // Track 0 starts right after the header, at 0x2B0, with five sectors of
  // 1024 bytes; the disk's size field cuts it short, and the next disk's
  // bytes (or the rest of the file) lie after that.
  const struct {
    std::uint32_t size;  // the size field
    int count;           // what a read of sector 1 gives
    int supplied;        // of it, the bytes that lie inside the disk
    int ids;             // the IDs of track 0 listed
  } cases[] = {
      {0x2AF, 0, 0, 0},                    // the track starts past the disk's end
      {0x2B0, 0, 0, 0},                    // at it
      {0x2B0 + 15, 0, 0, 0},               // its first header is cut by it
      {0x2B0 + 16, 1024, 0, 1},            // the header is in, none of the data
      {0x2B0 + 16 + 1023, 1024, 0, 1},     // all but a byte
      {0x2B0 + 16 + 1024, 1024, 1024, 1},  // the whole sector
      {0x2B0 + 2 * (16 + 1024), 1024, 1024, 2},
  };
  for (const auto& c : cases) {
    Disk disk = NamedDisk("D");
    disk.tracks[0] = PlainTrack(0);
    disk.sizeField = c.size;
    ASSERT_TRUE(OpenOne(disk));
    EXPECT_EQ(Sector1(0, 0, 0, 1, 3, 1024).count, c.count) << c.size;
    EXPECT_EQ(image.GetSupplied(), c.supplied) << c.size;
    EXPECT_EQ(Ids(0, 4 * 5).count, 4 * c.ids) << c.size;
    EXPECT_EQ(Run(0, 0, 0, 1, 3, 1024).count, c.count) << c.size;
    std::uint8_t data[2048];
    std::uint16_t held[2] = {9, 9};
    image.ReadEachSector(0, 0, 0, 1, 3, 2, data, held);
    EXPECT_EQ(held[0], std::min(std::max(static_cast<int>(c.size) - 0x2B0 - 16, 0), 1024))
        << c.size;
  }
}

// --- Sector IDs ---

TEST_F(ReaderTest, SectorIdsInRecordingOrder) {
  Disk disk = NamedDisk("D");
  disk.tracks[0].sectors = {MakeSector(0, 3), MakeSector(0, 1),
                            WithId(MakeSector(0, 1, 1), 9, 200, 1)};
  // Track 1: headers whose count is 0, then one whose count ends the listing.
  disk.tracks[1].sectors = {MakeSector(1, 1), MakeSector(1, 2), MakeSector(1, 3), MakeSector(1, 4)};
  disk.tracks[1].sectors[0].countField = 0;
  disk.tracks[1].sectors[1].countField = 0;
  disk.tracks[1].sectors[2].countField = 3;
  // Track 2, the last in the file: every count 0, so only `out` or the end
  // of the file ends the listing.
  disk.tracks[2] = PlainTrack(2, 3);
  for (Sector& sector : disk.tracks[2].sectors) sector.countField = 0;
  ASSERT_TRUE(OpenOne(disk));

  const Bytes all = {0, 0, 3, 3, 0, 0, 1, 3, 9, 200, 1, 1};
  EXPECT_EQ(Ids(0, 64), Delivered(12, all, 72));
  EXPECT_EQ(Ids(0, 6), Delivered(4, {0, 0, 3, 3}, 14));
  EXPECT_EQ(Ids(0, 3), Delivered(0, {}, 11));
  EXPECT_EQ(Ids(0, 0).count, 0);

  EXPECT_EQ(Ids(1, 64).count, 12);
  EXPECT_EQ(Ids(2, 64).count, 12);
  EXPECT_EQ(Ids(2, 8).count, 8);
  // Sector search stops at a count of 0 where the listing does not.
  EXPECT_EQ(Sector1(1, 0, 1, 3, 3, 1024).count, 0);
}

// --- Runs ---

class RunTest : public ReaderTest {
 protected:
  void SetUp() override {
    // Tracks 0 to 5 with sectors 1 to 8 of 1024 bytes.
    Disk disk = NamedDisk("RUN");
    for (int t = 0; t < 6; ++t) disk.tracks[t] = PlainTrack(t, 8);
    ASSERT_TRUE(OpenOne(disk));
  }
  // Sectors first to last of each of the given tracks, joined.
  static Bytes Joined(const std::vector<std::pair<int, int>>& trackAndSector) {
    Bytes out;
    for (auto [t, r] : trackAndSector) {
      const Bytes data = SectorData(t, r);
      out.insert(out.end(), data.begin(), data.end());
    }
    return out;
  }
};

TEST_F(RunTest, StepsThroughSectorsHeadsAndCylinders) {
  image.SetSectorRange(1, 5);
  // From sector 4 of cylinder 0 head 1: head 1 to head 0 of the next cylinder,
  // then to its head 1.
  EXPECT_EQ(
      Run(1, 0, 1, 4, 3, 9 * 1024),
      Delivered(9 * 1024,
                Joined({{1, 4}, {1, 5}, {2, 1}, {2, 2}, {2, 3}, {2, 4}, {2, 5}, {3, 1}, {3, 2}}),
                9 * 1024 + 64));

  // The first sector of each new track is firstSector.
  image.SetSectorRange(3, 4);
  EXPECT_EQ(Run(0, 0, 0, 1, 3, 6 * 1024).buffer,
            Placed(Joined({{0, 1}, {0, 2}, {0, 3}, {0, 4}, {1, 3}, {1, 4}}), 6 * 1024 + 64));
}

TEST_F(ReaderTest, DefaultRangeStepsAfterSixteen) {
  Disk disk = NamedDisk("SIXTEEN");
  disk.tracks[0] = PlainTrack(0, 17, 1);
  disk.tracks[1] = PlainTrack(1, 16, 1);
  ASSERT_TRUE(OpenOne(disk));
  Bytes expected = Concat(SectorData(0, 15, 1), SectorData(0, 16, 1));
  for (int r = 1; r <= 16; ++r) expected = Concat(expected, SectorData(1, r, 1));
  EXPECT_EQ(Run(0, 0, 0, 15, 1, 18 * 256), Delivered(18 * 256, expected, 18 * 256 + 64));
  // Sector by sector too, with the smallest size code: 128 bytes each.
  disk.tracks[0] = PlainTrack(0, 2, 0);
  ASSERT_TRUE(OpenOne(disk));
  Bytes each(2 * 128);
  std::uint16_t held[2] = {};
  image.ReadEachSector(0, 0, 0, 1, 0, 2, each.data(), held);
  EXPECT_EQ(each, Concat(SectorData(0, 1, 0), SectorData(0, 2, 0)));
  EXPECT_EQ(held[1], 128);
  // The largest size code a run takes, 2^30 bytes as it says, of which a
  // sector holds what its data length gives.
  Sector huge = MakeSector(0, 1);
  huge.n = 23;
  huge.data.resize(100);
  disk.tracks[0].sectors = {huge};
  ASSERT_TRUE(OpenOne(disk));
  EXPECT_EQ(Run(0, 0, 0, 1, 23, 100), Delivered(100, huge.data, 164));
  EXPECT_EQ(Run(0, 0, 0, 1, 24, 100).count, 0);
}

TEST_F(RunTest, PartialLastSectorAndEndsOfARun) {
  image.SetSectorRange(1, 5);
  // Only the needed part of the last sector is read.
  const Bytes third = SectorData(0, 3);
  EXPECT_EQ(Run(0, 0, 0, 1, 3, 2 * 1024 + 100),
            Delivered(2 * 1024 + 100,
                      Concat(Joined({{0, 1}, {0, 2}}), Bytes(third.begin(), third.begin() + 100)),
                      2 * 1024 + 164));

  // Running off the last track returns the whole sectors delivered.
  EXPECT_EQ(Run(5, 2, 1, 4, 3, 5 * 1024).count, 2 * 1024);
  // Another size code does not match these sectors.
  EXPECT_EQ(Run(0, 0, 0, 1, 2, 1024).count, 0);
  EXPECT_EQ(Run(0, 0, 0, 1, 3, 0, 16), Delivered(0, {}, 16));
  EXPECT_EQ(Run(0, 0, 0, 1, 3, -5, 16), Delivered(0, {}, 16));
}

TEST_F(RunTest, StartAboveLastSectorNeverChangesTrack) {
  image.SetSectorRange(1, 5);
  EXPECT_EQ(Run(0, 0, 0, 6, 3, 3 * 1024).buffer,
            Placed(Joined({{0, 6}, {0, 7}, {0, 8}}), 3 * 1024 + 64));
  // Sector 9 is missing from track 0; track 1's sector 1 is not taken.
  EXPECT_EQ(Run(0, 0, 0, 6, 3, 5 * 1024).count, 3 * 1024);
  // Starting at lastSector itself does step.
  EXPECT_EQ(Run(0, 0, 0, 5, 3, 2 * 1024).buffer, Placed(Joined({{0, 5}, {1, 1}}), 2 * 1024 + 64));
}

TEST_F(ReaderTest, ShortOrMissingSectorEndsARun) {
  Disk disk = NamedDisk("D");
  disk.tracks[0] = PlainTrack(0, 5);
  disk.tracks[0].sectors[2].data.resize(512);
  disk.tracks[1] = PlainTrack(1, 5);
  disk.tracks[1].sectors[1].n = 2;
  // Track 2 absent, track 3 present.
  disk.tracks[3] = PlainTrack(3, 5);
  // Size codes whose sector size is no positive int.
  disk.tracks[4].sectors = {MakeSector(4, 1, 0), MakeSector(4, 1, 0)};
  disk.tracks[4].sectors[0].n = 24;
  disk.tracks[4].sectors[1].n = 31;
  ASSERT_TRUE(OpenOne(disk));
  image.SetSectorRange(1, 5);

  // The short sector's bytes are in the buffer but not counted.
  const Bytes shortData = disk.tracks[0].sectors[2].data;
  EXPECT_EQ(Run(0, 0, 0, 1, 3, 5 * 1024),
            Delivered(2048, Concat(SectorData(0, 1), SectorData(0, 2), shortData), 5 * 1024 + 64));
  // Asked for no more than it holds, the short sector completes the run.
  EXPECT_EQ(Run(0, 0, 0, 1, 3, 2048 + 512).count, 2048 + 512);
  EXPECT_EQ(Run(1, 0, 1, 1, 3, 5 * 1024).count, 1024);
  EXPECT_EQ(Run(1, 0, 1, 3, 3, 5 * 1024).count, 3 * 1024);
  for (int n : {24, 31}) EXPECT_EQ(Run(4, 2, 0, 1, n, 2048), Delivered(0, {}, 2048 + 64)) << n;
}

// A run sweeps the walks of all its tracks through the image together; what
// it returns must be exactly what the reference reader, which reads sector
// by sector and walks every track from its start each time, gives.
TEST_F(ReaderTest, RunMatchesTheReferenceReaderOnTrickyTracks) {
  Disk disk = NamedDisk("TRICKY");
  disk.tracks[0] = BehindEmptyHeaders();
  // Track 1: out of order, with duplicate IDs whose later copies differ.
  disk.tracks[1].sectors = {MakeSector(1, 3),
                            MakeSector(1, 1),
                            MakeSector(1, 2),
                            WithId(MakeSector(7, 7), 0, 1, 1),
                            MakeSector(1, 5),
                            MakeSector(1, 4),
                            WithId(MakeSector(8, 8), 0, 1, 4)};
  // Track 2: the header of sector 3 matches but its count is 0.
  disk.tracks[2] = PlainTrack(2, 5);
  disk.tracks[2].sectors[2].countField = 0;
  // Track 3: the count field stops the search before sector 4.
  disk.tracks[3] = PlainTrack(3, 5);
  disk.tracks[3].sectors[2].countField = 3;
  // Track 4: sectors 6 to 9 as well, for runs above lastSector, and a
  // sector 0 at its end, for runs that start below it.
  disk.tracks[4] = PlainTrack(4, 9);
  disk.tracks[4].sectors.push_back(MakeSector(4, 0));
  const Bytes bytes = d88test::BuildImage({disk});
  ASSERT_TRUE(OpenBytes(bytes));
  ASSERT_TRUE(image.SelectDisk(0));
  d88test::ReferenceReader reference(bytes.data(), bytes.size());
  ASSERT_TRUE(reference.SelectDisk(0));

  // The empty headers do not hide the real sectors.
  image.SetSectorRange(1, 5);
  EXPECT_EQ(Run(0, 0, 0, 1, 3, 5120),
            Delivered(5120,
                      Concat(SectorData(0, 1), SectorData(0, 2), SectorData(0, 3), SectorData(0, 4),
                             SectorData(0, 5)),
                      5120 + 64));
  EXPECT_EQ(Run(1, 0, 1, 1, 3, 5120).count, 5120);

  struct Case {
    int first, last, track, r, length;
  };
  const std::vector<Case> cases = {
      {1, 5, 0, 1, 5 * 5120},   {1, 5, 0, 3, 5 * 5120},     {1, 5, 1, 1, 3 * 5120},
      {1, 5, 2, 1, 5120},       {1, 5, 2, 4, 3 * 5120},     {1, 5, 3, 1, 5120},
      {1, 5, 3, 4, 5120},       {2, 4, 0, 2, 4 * 5120},     {1, 16, 0, 1, 5 * 5120},
      {1, 5, 4, 6, 5120},       {1, 3, 4, 7, 5120},         {4, 5, 0, 4, 3000},
      {1, 1, 0, 1, 5 * 5120},   {5, 1, 0, 1, 5 * 5120},     {1, 5, 1, 0, 1024},
      {1, 300, 0, 1, 5 * 5120}, {0, 5, 0, 5, 5 * 5120},     {1, 5, 4, 250, 8 * 1024},
      {1, 5, 0, -2, 5 * 5120},  {1, -1, 0, -2, 5 * 5120},   {-3, 5, 0, 4, 5 * 5120},
      {1, 5, 4, -1, 2 * 1024},  {1, 255, 3, 250, 10 * 1024}};
  for (const Case& test : cases) {
    const std::string label = "case " + std::to_string(&test - cases.data());
    const int c = test.track / 2;
    const int h = test.track % 2;
    image.SetSectorRange(test.first, test.last);
    const Result run = Run(test.track, c, h, test.r, 3, test.length);
    reference.SetSectorRange(test.first, test.last);
    Bytes expected(run.buffer.size(), kUntouched);
    const int count =
        reference.ReadSectors(test.track, c, h, test.r, 3, expected.data(), test.length);
    EXPECT_EQ(run.count, count) << label;
    EXPECT_EQ(run.buffer, expected) << label;
    // Read sector by sector, the run's sectors hold the same bytes.
    const int sectors = (test.length + 1023) / 1024;
    Bytes each(static_cast<std::size_t>(sectors) * 1024, kUntouched);
    Bytes referenceEach(each);
    std::vector<std::uint16_t> held(static_cast<std::size_t>(sectors));
    std::vector<std::uint16_t> referenceHeld(held);
    image.ReadEachSector(test.track, c, h, test.r, 3, sectors, each.data(), held.data());
    reference.ReadEachSector(test.track, c, h, test.r, 3, sectors, referenceEach.data(),
                             referenceHeld.data());
    EXPECT_EQ(each, referenceEach) << label;
    EXPECT_EQ(held, referenceHeld) << label;
  }
}

// --- An image in memory ---

// A hash of buffers, for a survey of the image to compare.
std::uint64_t Hash(const void* bytes, std::size_t size) {
  std::uint64_t hash = 14695981039346656037u;
  for (std::size_t i = 0; i < size; ++i) {
    hash = (hash ^ static_cast<const std::uint8_t*>(bytes)[i]) * 1099511628211u;
  }
  return hash;
}

template <typename T>
std::uint64_t Hash(const std::vector<T>& items) {
  return Hash(items.data(), items.size() * sizeof(T));
}

// Everything the reader tells of the image it has open, a line for each
// part: the disk table and the format check; for each disk, and one past
// the last, its header's fields, each track's sector IDs and where they
// lie, and the runs of the layout and of the system disk's first cylinder,
// read whole, sector by sector and located, and their last sector alone.
std::string Survey(D88Image& image) {
  std::ostringstream out;
  const FormatCheck& check = image.GetFormatCheck();
  out << image.GetDiskCount() << " disks " << image.HasMoreDisks() << image.GetCutHeaderBytes()
      << image.HasBytesAfterZeroSize() << " format " << static_cast<int>(check.problem) << " "
      << check.track << " " << check.offset << " " << check.size << " size " << image.GetFileSize()
      << "\n";
  for (int d = 0; d <= image.GetDiskCount(); ++d) {
    out << "disk " << d << ": " << image.SelectDisk(d) << " " << image.GetDiskName() << " "
        << image.GetMediaType() << " " << image.GetWriteProtect() << " " << image.GetDiskOffset()
        << " " << image.GetDiskSize() << "\n";
    for (int t = 0; t < D88Image::kTrackCount; ++t) {
      Bytes ids(256);
      std::vector<std::int64_t> positions(64);
      const int listed = image.ReadSectorIds(t, ids.data(), 256, positions.data());
      out << " track " << t << ": " << image.HasTrack(t) << " " << listed << " " << Hash(ids) << " "
          << Hash(positions) << "\n";
    }
    for (const auto& [last, n, count] : {std::tuple{5, 3, 420}, {16, 1, 32}}) {
      const int size = count << (7 + n);
      image.SetSectorRange(1, last);
      Bytes whole(static_cast<std::size_t>(size), kUntouched);
      Bytes each(whole);
      std::vector<std::uint16_t> held(static_cast<std::size_t>(count));
      std::vector<std::int64_t> positions(held.size());
      std::vector<int> lengths(held.size());
      out << " run " << count << ": " << image.ReadSectors(0, 0, 0, 1, n, whole.data(), size);
      out << " " << image.GetSupplied() << " " << Hash(whole);
      image.ReadEachSector(0, 0, 0, 1, n, count, each.data(), held.data());
      image.LocateRun(0, 0, 0, 1, n, count, positions.data(), lengths.data());
      out << " " << Hash(each) << " " << Hash(held) << " " << Hash(positions) << " "
          << Hash(lengths);
      Bytes sector(2048, kUntouched);
      out << " " << image.ReadSector(1, 0, 1, last, n, sector.data(), 2048);
      out << " " << image.GetSupplied() << " " << Hash(sector) << "\n";
    }
  }
  out << "read error " << image.GetReadError() << "\n";
  return out.str();
}

// A file, through its window and around it, and memory give the same
// bytes: as many as asked for, up to the end and none past it, and to Peek
// no more than a window holds. Nothing fails.
TEST(ImageFile, ReadsTheSameInAFileAndInMemory) {
  const Bytes bytes = Pattern(200000);
  d88test::ScratchDir scratch;
  ImageFile file;
  ASSERT_TRUE(file.Open(fs::path(scratch.Put("image.d88", bytes)).c_str()));
  ImageFile memory;
  ASSERT_TRUE(memory.Open(bytes.data(), bytes.size()));
  const struct {
    int64_t position, length;
    int64_t read;  // the bytes ReadAt gives
    bool peeked;
  } rows[] = {{0, 16, 16, true},
              {0, 1, 1, true},
              {0, 0, 0, false},
              {-1, 16, 0, false},
              {199984, 16, 16, true},
              {199985, 16, 15, false},
              {0, 65536, 65536, true},
              {0, 65537, 65537, false},
              {100000, 65536, 65536, true},
              {150000, 65536, 50000, false},
              {200000, 65536, 0, false},
              {70000, 100000, 100000, false}};
  for (const auto& row : rows) {
    for (ImageFile* source : {&file, &memory}) {
      SCOPED_TRACE(std::to_string(row.position) + " " + std::to_string(row.length) +
                   (source == &file ? " from the file" : " from memory"));
      const std::uint8_t* peeked = source->Peek(row.position, row.length);
      ASSERT_EQ(peeked != nullptr, row.peeked);
      if (peeked != nullptr) {
        EXPECT_TRUE(std::equal(peeked, peeked + row.length, bytes.begin() + row.position));
      }
      Bytes out(static_cast<std::size_t>(row.length));
      ASSERT_EQ(source->ReadAt(row.position, out.data(), row.length), row.read);
      EXPECT_TRUE(std::equal(out.begin(), out.begin() + row.read, bytes.begin() + row.position));
      EXPECT_EQ(source->GetReadError(), 0);
    }
  }
}

// Each image read from a file and from memory: the two tell the same.
TEST(MemoryImage, TellsAllThatTheSameImageInAFileTells) {
  const Bytes layout = d88test::ImageOf(
      {d88test::DataDisk(1, {d88test::File("BIG", "BIN", 0x100, Pattern(65000, 1)),
                             d88test::File("REST", "", 0x8000, Pattern(200000, 3))}),
       d88test::DataDisk(0, {d88test::File("SYS", "", 0, Pattern(5000, 4))})});
  Bytes cut = layout;
  cut.resize(cut.size() - 100037);
  Disk zero = NamedDisk("ZERO", 1);
  zero.sizeField = 0;
  Disk beyond = NamedDisk("BEYOND", 2);
  beyond.sizeField = 0xFFFFFFFFu;
  std::vector<Disk> many;
  for (int i = 0; i < 65; ++i) many.push_back(NamedDisk("D" + std::to_string(i), i % 3));
  Disk chain = NamedDisk("CHAIN");
  chain.tracks[0] = BehindEmptyHeaders();
  chain.tracks[1] = PlainTrack(1);
  chain.writeProtect = 0x10;
  chain.mediaType = 0x20;
  Disk inside = NamedDisk("INSIDE", 1);
  inside.trackOffsetOverrides[3] = 0x30;
  const d88test::LayoutDisk one = d88test::DataDisk(3, {d88test::File("F", "", 0, Pattern(9000))});

  const struct {
    const char* what;
    Bytes bytes;
    int disks;
  } rows[] = {
      {"nothing", {}, 0},
      {"a header cut short", Bytes(687, 0x11), 0},
      {"disks of the layout", layout, 2},
      {"a disk of 160 track offsets", d88test::Table160(d88test::ImageOf({one})), 1},
      {"cut inside a sector's data", cut, 2},
      {"cut in a third header", Concat(layout, Bytes(layout.begin(), layout.begin() + 100)), 2},
      {"a size past the end of the file", d88test::BuildImage({beyond, NamedDisk("AFTER")}), 1},
      {"a size of 0 before more", d88test::BuildImage({NamedDisk("A", 1), zero, NamedDisk("B")}),
       2},
      {"more disks than are read", d88test::BuildImage(many), 64},
      {"headers over more than a window", d88test::BuildImage({chain}), 1},
      {"a chain every track shares", d88test::BuildImage({d88test::SharedEmptyRunDisk(one, 3000)}),
       1},
      {"a track inside the header", d88test::BuildImage({inside}), 1},
  };
  d88test::ScratchDir scratch;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    D88Image fromFile;
    ASSERT_TRUE(fromFile.Open(fs::path(scratch.Put("image.d88", row.bytes)).c_str()));
    ASSERT_EQ(fromFile.GetDiskCount(), row.disks);
    D88Image fromMemory;
    ASSERT_TRUE(fromMemory.Open(row.bytes.data(), row.bytes.size()));
    EXPECT_EQ(Survey(fromMemory), Survey(fromFile));
  }
}
}  // namespace
