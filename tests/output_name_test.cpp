// Tests of the rules that decide whether a name from a disk may be written,
// and of the check that keeps the image itself from being overwritten.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "output_file.h"
#include "run_tool.h"

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

#ifndef _WIN32
TEST(CheckOutputName, TakesEveryOtherByteAsItStandsOnPosix) {
  for (const char* name : {"A\\B", "C:D", "CON", "nul.txt", "\xB1\xB2", "AB\x81", "\x01\x7F\xFF"}) {
    EXPECT_EQ(CheckOutputName(name), NameVerdict::kAccepted) << name;
  }
}
#else
TEST(CheckOutputName, ReadsNamesAsCodePage932OnWindows) {
  // Half-width katakana, a hiragana, and a katakana whose trail byte is the
  // byte of a backslash.
  for (const char* name :
       {"\xB1\xB2\xDF", "\x82\xA0.TXT", "\x83\x5C", "\x83\x5C\x83\x5C.\x83\x5C"}) {
    EXPECT_EQ(CheckOutputName(name), NameVerdict::kAccepted) << name;
  }
  // A lead byte at the end, or before a byte that cannot follow it.
  for (const char* name : {"AB\x81", "\x81.TXT", "\x83\x7F"}) {
    EXPECT_EQ(CheckOutputName(name), NameVerdict::kNotCodePage932) << name;
  }
  // Each name is judged on its own bytes, whatever came before it.
  EXPECT_EQ(CheckOutputName("AB"), NameVerdict::kAccepted);
  EXPECT_EQ(CheckOutputName("AB\x81"), NameVerdict::kNotCodePage932);
  EXPECT_EQ(CheckOutputName("AB"), NameVerdict::kAccepted);
  EXPECT_EQ(CheckOutputName(std::string(255, 'A').c_str()), NameVerdict::kAccepted);
  EXPECT_EQ(CheckOutputName(std::string(256, 'A').c_str()), NameVerdict::kTooLong);
}

TEST(CheckOutputName, RefusesPathCharactersOnWindows) {
  for (const char* name : {"A\\B", "\\", "\x83\x5C\\"}) {
    EXPECT_EQ(CheckOutputName(name), NameVerdict::kBackslash) << name;
  }
  for (const char* name : {"C:D", "A:", "X.TXT:STREAM"}) {
    EXPECT_EQ(CheckOutputName(name), NameVerdict::kColon) << name;
  }
}

TEST(CheckOutputName, RefusesReservedDeviceNamesOnWindows) {
  for (const char* name : {"CON", "con", "Prn", "AUX.TXT", "nul.", "NUL.D88.BAK", "COM1",
                           "com9.dat", "LPT1", "Lpt9.X", "CON .TXT", "CONIN$", "conout$"}) {
    EXPECT_EQ(CheckOutputName(name), NameVerdict::kReservedDevice) << name;
  }
  for (const char* name : {"CONS", "XCON", "CON_", "COM", "COM0", "COM10", "LPT0.TXT", "COMA",
                           "AUXX.TXT", "CONIN$.TXT", "\x82\x6D\x82\x74\x82\x6B"}) {
    EXPECT_EQ(CheckOutputName(name), NameVerdict::kAccepted) << name;
  }
}
#endif

}  // namespace
