// Tests of the rules that decide whether a name from a disk may be written,
// and of the check that keeps the image itself from being overwritten.
#include "output_name.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

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
  // Files of one device and two, an identity given anew, and one never noted.
  static WrittenFiles written;
  const struct {
    FileIdentity identity;
    int place, number;  // to note; place 0: only look it up
    int expectedPlace, expectedNumber;
  } steps[] = {
      {{1, 100}, 1, 1, 1, 1}, {{1, 101}, 2, 0, 2, 0}, {{2, 100}, 3, 255, 3, 255},
      {{1, 100}, 0, 0, 1, 1}, {{1, 100}, 4, 2, 4, 2}, {{1, 102}, 0, 0, 0, -1},
  };
  for (const auto& step : steps) {
    if (step.place != 0) written.Note(step.identity, step.place, step.number);
    int number = -1;
    EXPECT_EQ(written.PlaceOf(step.identity, number), step.expectedPlace) << step.identity.file;
    EXPECT_EQ(number, step.expectedNumber) << step.identity.file;
  }
}

}  // namespace
