// Tests of the rules that decide whether a name from a disk may be written,
// and of the check that keeps the image itself from being overwritten.
#include "output_name.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "output_file.h"
#include "run_tool.h"
#include "written_files.h"

namespace {

using d88test::ScratchDir;
namespace fs = std::filesystem;

TEST(CheckOutputName, RefusesNamesThatAreNoFileOfTheCurrentFolder) {
  EXPECT_EQ(CheckOutputName(""), NameVerdict::kEmpty);
  EXPECT_EQ(CheckOutputName("."), NameVerdict::kDotOrDotDot);
  EXPECT_EQ(CheckOutputName(".."), NameVerdict::kDotOrDotDot);
  for (const char* name : {"/", "A/B", "../X", "X/", "/ETC"}) {
    EXPECT_EQ(CheckOutputName(name), NameVerdict::kSlash) << name;
  }
  for (const char* name : {"...", ".X", "X..", "A.B", "-", " "}) {
    EXPECT_EQ(CheckOutputName(name), NameVerdict::kAccepted) << name;
  }
}

// The unit tests run on POSIX hosts only; the rules of a Windows build are
// tested end to end against its executable under wine (the Windows* tests
// of e2e_test.cpp).
TEST(CheckOutputName, TakesEveryOtherByteAsItStandsOnPosix) {
  for (const char* name : {"A\\B", "C:D", "CON", "nul.txt", "\xB1\xB2", "AB\x81", "\x01\x7F\xFF"}) {
    EXPECT_EQ(CheckOutputName(name), NameVerdict::kAccepted) << name;
  }
}

TEST(WrittenFiles, KnowsTheDiskAFileWasLastWrittenFor) {
  // Files known by identity (of one device and two, an identity given anew)
  // and by name (in the output folder and in disk 6's), and ones never noted.
  static WrittenFiles written;
  const struct {
    FileIdentity identity;
    const char* name;
    int folder;
    bool identified;
    int place, number;  // to note, then look up; place 0: only look it up
    int expectedPlace, expectedNumber;
  } steps[] = {
      {{1, 100}, "A", 0, true, 1, 1, 1, 1},
      {{1, 101}, "B", 0, true, 2, 0, 2, 0},
      {{2, 100}, "C", 0, true, 3, 255, 3, 255},
      {{1, 100}, "X", 0, true, 0, 0, 1, 1},  // an identity is one file whatever its name
      {{1, 100}, "A", 0, true, 4, 2, 4, 2},
      {{1, 102}, "A", 0, true, 0, 0, 0, -1},
      {{9, 9}, "READ", 0, false, 5, 5, 5, 5},
      {{7, 7}, "READ", 0, false, 0, 0, 5, 5},  // a name is one file whatever its identity
      {{7, 7}, "read", 0, false, 0, 0, 0, -1},
      {{7, 7}, "READ", 6, false, 0, 0, 0, -1},
      {{8, 8}, "READ", 6, false, 6, 64, 6, 64},
      {{7, 7}, "READ", 0, false, 0, 0, 5, 5},
  };
  for (const auto& step : steps) {
    if (step.place != 0) {
      written.Note(step.identified ? &step.identity : nullptr, step.name, step.folder, step.place,
                   step.number);
    }
    int number = -1;
    EXPECT_EQ(written.PlaceOf(step.identity, step.name, step.folder, number), step.expectedPlace)
        << step.name << " " << step.identity.file;
    EXPECT_EQ(number, step.expectedNumber) << step.name << " " << step.identity.file;
  }
  // As many as 64 disks of 255 entries give, by name and by identity, each
  // found at its latest note while the table grows around it.
  static WrittenFiles full;
  for (int i = 0; i < WrittenFiles::kCapacity; ++i) {
    const FileIdentity identity{3, static_cast<std::uint64_t>(i % 5000)};
    const std::string name = "F" + std::to_string(i % 5000);
    full.Note(i % 2 == 0 ? &identity : nullptr, name.c_str(), 0, i / 255 + 1, i % 256);
  }
  for (int i = WrittenFiles::kCapacity - 5000; i < WrittenFiles::kCapacity; ++i) {
    const std::string name = "F" + std::to_string(i % 5000);
    int number = -1;
    EXPECT_EQ(full.PlaceOf({3, static_cast<std::uint64_t>(i % 5000)}, name.c_str(), 0, number),
              i / 255 + 1)
        << i;
    EXPECT_EQ(number, i % 256) << i;
  }
}

// The image is known by its file's identity; an image in memory has none,
// and no file is taken for it, whatever its identity's bytes.
TEST(GuardedAs, KnowsTheImageOnlyWhereItIsAFile) {
  const struct {
    ImageIdentity image;
    FileIdentity atName;
    EntryProblem expected;
  } rows[] = {
      {{true, {1, 2}}, {1, 2}, EntryProblem::kNameIsImage},
      {{true, {1, 2}}, {1, 3}, EntryProblem::kNone},
      {{false, {1, 2}}, {1, 2}, EntryProblem::kNone},
      {{false, {0, 0}}, {0, 0}, EntryProblem::kNone},
  };
  for (const auto& row : rows) {
    GuardedFiles guarded{};
    guarded.image = row.image;
    EXPECT_EQ(GuardedAs(row.atName, guarded), row.expected)
        << row.image.isFile << " " << row.atName.device << ":" << row.atName.file;
  }
}

}  // namespace
