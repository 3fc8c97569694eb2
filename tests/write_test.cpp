// Tests of the writer's work on a disk held in memory: entry names from file
// names, the checks of a directory, and the changes a put or a delete makes.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "d88_builder.h"
#include "d88_image.h"
#include "disk_check.h"
#include "disk_edit.h"
#include "disk_walk.h"
#include "entry_name.h"

namespace {

using d88test::Bytes;
using d88test::File;
using d88test::LayoutDisk;
using d88test::LayoutFile;

TEST(MakeEntryName, StoresOnlyWhatIsListedBackAsIs) {
  const struct {
    const char* name;
    bool fromUtf8;
    Refusal why;
    const char* bytes;  // the 9 bytes stored, when not refused
  } rows[] = {
      {"A.TXT", false, Refusal::kNone, "A     TXT"},
      {"ABCDEF.XYZ", false, Refusal::kNone, "ABCDEFXYZ"},
      {"NOEXT", false, Refusal::kNone, "NOEXT    "},
      {"A.B.C", false, Refusal::kNone, "A.B   C  "},  // split at the last '.'
      {"ABCDEFG", false, Refusal::kNameTooLong, nullptr},
      {"A.TEXT", false, Refusal::kExtensionTooLong, nullptr},
      {".TXT", false, Refusal::kNameEmpty, nullptr},
      {"A.", false, Refusal::kNameEndsInDot, nullptr},
      {"A B", false, Refusal::kNameSpace, nullptr},
      {"A\x7F", false, Refusal::kNameControl, nullptr},
      {"A\x1F", false, Refusal::kNameControl, nullptr},
      {"A\\B", false, Refusal::kNameBackslash, nullptr},
      // A trail byte is part of its character: 0x5C and 0x40 after a lead
      // byte are no backslash or '@'.
      {"\x83\x5C.TXT", false, Refusal::kNone, "\x83\x5C    TXT"},
      {"\x83\x40\x83\x5C", false, Refusal::kNone, "\x83\x40\x83\x5C     "},
      {"\x83\x40.TXT", false, Refusal::kNone, "\x83\x40    TXT"},
      // A lead byte before 0x7F or a byte below 0x40 begins no character.
      {"\x81\x7F", false, Refusal::kNameControl, nullptr},
      {"\x81\x1F", false, Refusal::kNameControl, nullptr},
      {"\x81 ", false, Refusal::kNameSpace, nullptr},
      // From UTF-8: ァ is 83 40, ソ 83 5C, half-width ｱ one byte.
      {u8"ァ.TXT", true, Refusal::kNone, "\x83\x40    TXT"},
      {u8"ァソ.ｱ", true, Refusal::kNone, "\x83\x40\x83\x5C  \xB1  "},
      {u8"ソフトウ.TXT", true, Refusal::kNameTooLong, nullptr},
      {u8"€", true, Refusal::kNameNotCodePage932, nullptr},
      {"A\x01\xE2\x82\xAC", true, Refusal::kNameControl, nullptr},
      {"\xE3\x80", true, Refusal::kNameNotCodePage932, nullptr},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EntryName entry{};
    EXPECT_EQ(MakeEntryName(row.name, row.fromUtf8, entry), row.why);
    if (row.bytes != nullptr) {
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(entry.bytes), EntryName::kSize),
                std::string(row.bytes));
    }
  }
}

// A disk of the layout, loaded as the writer loads one.
struct Held {
  std::unique_ptr<D88Image> image = std::make_unique<D88Image>();
  std::unique_ptr<DecodedDisk> disk = std::make_unique<DecodedDisk>();
  Bytes bytes;
  DiskRecord record{};

  explicit Held(const LayoutDisk& layout) : bytes(d88test::ImageOf({layout})) {
    EXPECT_TRUE(image->Open(bytes.data(), bytes.size()));
    record = LoadDisk(*image, 0, *disk);
    EXPECT_TRUE(record.HasDirectory());
  }
};

LayoutFile WithEnd(LayoutFile file, int end) {
  file.end = static_cast<std::uint16_t>(end);
  return file;
}

TEST(CheckDirectory, RefusesWhatTheRecordsDoNotAgreeWith) {
  const Bytes four = d88test::Pattern(4);
  const struct {
    const char* what;
    std::vector<LayoutFile> files;
    Refusal why;
    long long entry;
  } rows[] = {
      {"records in order", {File("A", "", 0x100, four), File("B", "", 0, {})}, Refusal::kNone, 0},
      {"an end at its start", {WithEnd(File("A", "", 0x100, {}), 0x100)}, Refusal::kNone, 0},
      {"an end one below its start",
       {File("A", "", 0, four), WithEnd(File("B", "", 0x100, four), 0xFF)},
       Refusal::kDirectoryEndBelowStart,
       2},
      {"a record longer than its allocation",
       {File("A", "", 0x100, four, 7)},
       Refusal::kDirectoryRecordOverlap,
       1},
      {"a record as long as its allocation", {File("A", "", 0x100, four, 8)}, Refusal::kNone, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    Held held(d88test::DataDisk(1, row.files));
    const Problem problem = CheckDirectory(*held.disk, held.record);
    EXPECT_EQ(problem.why, row.why);
    EXPECT_EQ(problem.a, row.entry);
  }
}

TEST(CheckDirectory, AnAllocationPastTheDataAreaIsRefused) {
  // Seven allocations of 65535 bytes pass the end of the data area of a
  // data disk (81 tracks of 5120 bytes).
  std::vector<LayoutFile> files;
  for (int i = 0; i < 7; ++i) files.push_back(File(std::string(1, 'A' + i), "", 0, {}, 0xFFFF));
  Held held(d88test::DataDisk(1, files));
  const Problem problem = CheckDirectory(*held.disk, held.record);
  EXPECT_EQ(problem.why, Refusal::kDirectoryPastDataArea);
  EXPECT_EQ(problem.a, 7);
}

EntryName NameOf(const char* text) {
  EntryName name{};
  EXPECT_EQ(MakeEntryName(text, false, name), Refusal::kNone) << text;
  return name;
}

// The entries of the disk as the reader lists them: name, start and data.
using Listed = std::vector<std::tuple<std::string, int, Bytes>>;
Listed ListOf(DecodedDisk& disk, const DiskRecord& record) {
  Listed listed;
  EntryWalk walk(disk, record);
  for (EntryRecord entry; walk.Next(entry);) {
    EXPECT_EQ(entry.problem, EntryProblem::kNone) << entry.name;
    listed.emplace_back(entry.name, entry.start, Bytes(entry.data, entry.data + entry.size));
  }
  return listed;
}

TEST(DiskEdit, PutsReplacesAndDeletes) {
  const Bytes a = d88test::TextBytes("first\n");
  const Bytes b = d88test::Pattern(3000, 3);
  const LayoutDisk disk =
      d88test::DataDisk(1, {File("A", "TXT", 0x1234, a), File("B", "BIN", 0, b)});
  const Bytes small = d88test::Pattern(3, 9);
  const Bytes large = d88test::Pattern(5000, 9);
  const struct {
    const char* what;
    const char* name;  // put; null: delete entry `deleted`
    int start;
    Bytes data;
    int deleted;
    Listed after;
  } rows[] = {
      {"a new entry after the last",
       "C.DAT",
       0x9000,
       small,
       0,
       {{"A.TXT", 0x1234, a}, {"B.BIN", 0, b}, {"C.DAT", 0x9000, small}}},
      {"a smaller record in its place",
       "A.TXT",
       0x100,
       small,
       0,
       {{"A.TXT", 0x100, small}, {"B.BIN", 0, b}}},
      {"a larger one moves the records after it",
       "A.TXT",
       0,
       large,
       0,
       {{"A.TXT", 0, large}, {"B.BIN", 0, b}}},
      {"an empty file", "A.TXT", 0xFFFF, {}, 0, {{"A.TXT", 0xFFFF, {}}, {"B.BIN", 0, b}}},
      {"one that ends at FFFF",
       "A.TXT",
       0xFFFC,
       small,
       0,
       {{"A.TXT", 0xFFFC, small}, {"B.BIN", 0, b}}},
      {"the first deleted", nullptr, 0, {}, 1, {{"B.BIN", 0, b}}},
      {"the last deleted", nullptr, 0, {}, 2, {{"A.TXT", 0x1234, a}}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    Held held(disk);
    DiskEdit edit(*held.disk, held.record);
    if (row.name != nullptr) {
      const EntryName name = NameOf(row.name);
      std::uint8_t* data = nullptr;
      const int size = static_cast<int>(row.data.size());
      ASSERT_FALSE(edit.Put(edit.Find(name), name, row.start, size, data));
      if (size > 0) std::memcpy(data, row.data.data(), row.data.size());
    } else {
      edit.Delete(row.deleted);
    }
    edit.Finish();
    EXPECT_EQ(ListOf(*held.disk, held.record), row.after);
    EXPECT_FALSE(CheckDirectory(*held.disk, held.record));
  }
}

TEST(DiskEdit, RefusesWhatDoesNotFitAndLeavesTheDiskAsItWas) {
  const Bytes four = d88test::Pattern(4);
  std::vector<LayoutFile> full;
  for (int i = 0; i < kMaxEntryCount; ++i) full.push_back(File("F" + std::to_string(i), "", 0, {}));
  // Six allocations of 65535 bytes leave 31750 bytes of a data disk's data
  // area (83 tracks of 5120 bytes): a new record takes whole sectors.
  std::vector<LayoutFile> large;
  for (int i = 0; i < 6; ++i) large.push_back(File(std::string(1, 'A' + i), "", 0, {}, 0xFFFF));
  const struct {
    const char* what;
    std::vector<LayoutFile> files;
    int start;
    int size;
    int unowned;  // a byte other than zero this far after the last record; -1: none
    bool force;
    Refusal why;
    long long a;
    long long b;
  } rows[] = {
      {"past FFFF", {}, 0xFFFD, 3, -1, false, Refusal::kFileEndPastFFFF, 0xFFFD, 3},
      {"too large", {}, 0, kMaxFileSize + 1, -1, false, Refusal::kFileTooLarge, 65532, 0},
      {"the largest", {}, 0, kMaxFileSize, -1, false, Refusal::kNone, 0, 0},
      {"a full directory", full, 0, 1, -1, false, Refusal::kDirectoryFull, 255, 0},
      {"no room", large, 0, 31741, -1, false, Refusal::kFileDoesNotFit, 32768, 31750},
      {"just room", large, 0, 31740, -1, false, Refusal::kNone, 0, 0},
      {"over a byte no record owns", {File("A", "", 0, four)}, 0, 100, 50, false,
       Refusal::kUnownedBytes, 0, 1},
      {"over it, forced", {File("A", "", 0, four)}, 0, 100, 50, true, Refusal::kNone, 0, 0},
      {"short of it", {File("A", "", 0, four)}, 0, 100, 2000, false, Refusal::kNone, 0, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    Held held(d88test::DataDisk(1, row.files));
    if (row.unowned >= 0) {
      DiskEdit probe(*held.disk, held.record);
      held.disk->diskBuffer[kDataAreaEnd - probe.Free() + row.unowned] = 1;
    }
    const auto before = std::make_unique<DecodedDisk>(*held.disk);
    DiskEdit edit(*held.disk, held.record, row.force);
    const EntryName name = NameOf("NEW.BIN");
    std::uint8_t* data = nullptr;
    const Problem problem = edit.Put(0, name, row.start, row.size, data);
    EXPECT_EQ(problem.why, row.why);
    EXPECT_EQ(problem.a, row.a);
    EXPECT_EQ(problem.b, row.b);
    if (problem) {
      EXPECT_EQ(std::memcmp(before.get(), held.disk.get(), sizeof *before), 0);
    }
  }
}

}  // namespace
