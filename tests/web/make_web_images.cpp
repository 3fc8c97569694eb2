// Writes the images that the browser tests open, into a folder (made if it
// is not there):
//
//   sample.d88     a system disk and a data disk, text in code page 932 among
//                  the files (one with a character split between two rows of
//                  a hex dump);
//   names.d88      names in code page 932 (half-width and full-width, one
//                  whose second byte is a backslash), and names no file can
//                  have: a '/', "..", bytes that are no code page 932 text,
//                  and one name twice; a name with a pattern's '?';
//   damaged.d88    a disk that lacks a sector of its data area, a blank disk,
//                  a disk of another layout, and a disk whose last records lie
//                  past its end;
//   protected.d88  a write-protected disk;
//   two.d88        two data disks;
//   empty.d88      no bytes at all;
//   notes.txt      a text file, no image.
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "d88_builder.h"

using namespace d88test;

namespace {

LayoutDisk SampleData() {
  return DataDisk(
      1,
      {File("GAME", "BIN", 0x1200, Pattern(9000, 1)),
       File("README", "", 0x0000, TextBytes("A sample disk for the page.\r\n")),
       File("EMPTY", "DAT", 0x8000, {}),
       // "Memo: katakana ｶﾀｶﾅ, kanji 漢字檗漾黑, a wave dash ～" in code page
       // 932, lead bytes from 0x81 to 0xFC.
       File("MEMO", "TXT", 0x0000,
            TextBytes("Memo: katakana \xB6\xC0\xB6\xC5, kanji \x8A\xBF\x8E\x9A\x9F\x40\xE0\x40"
                      "\xFC\x4B, a wave dash \x81\x60\r\n")),
       // 漢 split between the first two rows of a hex dump.
       File("KANJI", "TXT", 0x0000, TextBytes("Kanji across a \x8A\xBF row.\r\n")),
       File("TITLE", "SCR", 0x4000, Pattern(16000, 42))},
      "GAMES");
}

// A text longer than a disk header: read as one, it fails its tests.
Bytes Notes() {
  std::string text;
  for (int line = 1; line <= 40; ++line) {
    text += "Line " + std::to_string(line) + " of notes that are no disk image.\n";
  }
  return TextBytes(text);
}

std::vector<std::pair<std::string, Bytes>> Images() {
  const LayoutDisk system = DataDisk(
      0,
      {File("BOOT", "SYS", 0xC000, Pattern(2048, 7)), File("MONITR", "", 0xE000, Pattern(700, 3))},
      "SYSTEM");

  const LayoutDisk names =
      DataDisk(2,
               {File("\xB1\xB2", "\xC3\xDE", 0x0000, TextBytes("half-width")),  // ｱｲ.ﾃﾞ
                File("\x83\x5C\x83\x74\x83\x67", "TXT", 0x0100, TextBytes("sofuto")),  // ソフト.TXT
                File("A/B", "", 0, TextBytes("slash")), File("..", "", 0, TextBytes("dots")),
                File("BAD\x81", "\x7F", 0, TextBytes("no code page 932")),
                File("DUP", "", 0, TextBytes("first")), File("DUP", "", 0, TextBytes("second")),
                File("D?P", "", 0, TextBytes("a pattern's character")),
                File("ok", "txt", 0, TextBytes("lower case"))},
               "\x96\xBC\x91\x4F");  // 名前

  // Track 1 lacks its sector 2: CUT runs into it, LOST lies beyond it.
  Disk damaged = MakeLayoutDisk(DataDisk(
      1, {File("HEAD", "", 0x100, Pattern(3000, 1)), File("CUT", "", 0x200, Pattern(9000, 2)),
          File("LOST", "", 0x300, TextBytes("lost"))}));
  damaged.tracks.at(1).sectors.erase(damaged.tracks.at(1).sectors.begin() + 1);
  // Forty cylinders of sixteen 256-byte sectors.
  Disk other;
  for (int track = 0; track < 80; ++track) {
    for (int r = 1; r <= 16; ++r) {
      other.tracks[track].sectors.push_back(FilledSector(track / 2, track % 2, r, 1, 0xE5));
    }
  }

  // Records that the walk finds past the end of the disk: listed without
  // numbers.
  std::vector<LayoutFile> runOff;
  for (int k = 1; k <= 7; ++k) {
    runOff.push_back(File("P" + std::to_string(k), "", 0, TextBytes("p"),
                          static_cast<std::uint16_t>(k < 7 ? 65535 : 430078 - 6 * 65535)));
  }
  runOff.push_back(File("HALF", "", 0, TextBytes("h"), 2));
  runOff.push_back(File("OUT", "", 0, TextBytes("o")));

  Disk protectedDisk =
      MakeLayoutDisk(DataDisk(1, {File("KEEP", "TXT", 0, TextBytes("keep me\n"))}, "LOCKED"));
  protectedDisk.writeProtect = 0x10;

  Bytes two = ImageOf(
      {SampleData(), DataDisk(3, {File("SECOND", "DAT", 0x2000, Pattern(5000, 9))}, "SECOND")});

  return {
      {"sample.d88", ImageOf({system, SampleData()})},
      {"names.d88", ImageOf({names})},
      {"damaged.d88", BuildImage({damaged, Disk{}, other, MakeLayoutDisk(DataDisk(4, runOff))})},
      {"protected.d88", BuildDisk(protectedDisk)},
      {"two.d88", two},
      {"empty.d88", {}},
      {"notes.txt", Notes()},
  };
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argc > 0 ? argv[0] : "make_web_images");
    return 2;
  }
  std::error_code error;
  std::filesystem::create_directories(argv[1], error);
  for (const auto& [name, bytes] : Images()) {
    const std::string path = std::string(argv[1]) + "/" + name;
    if (!WriteBytes(path, bytes)) {
      std::fprintf(stderr, "%s: cannot write %s\n", argv[0], path.c_str());
      return 1;
    }
  }
  return 0;
}
