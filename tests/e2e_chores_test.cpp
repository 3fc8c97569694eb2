// End-to-end tests of d88pack's chores besides putting files: the free
// space of each disk, a check of each disk, write protection and renaming.
// Each row runs d88pack in a fresh folder and compares its output, its
// status and the image afterwards byte for byte.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "d88_builder.h"
#include "e2e_support.h"
#include "run_tool.h"

using namespace d88test;

namespace {

struct ChoreRow {
  std::vector<std::string> args;
  std::string out;
  std::string err = "";  // the status is 1 with any complaint, else 0
  Bytes after = {};      // the image afterwards; empty: as it was
  int status = -1;       // when not as `err` says
};

void RunChores(const Bytes& image, const std::vector<ChoreRow>& rows) {
  for (const ChoreRow& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.args));
    ScratchDir dir;
    dir.Put(kImage, image);
    RunOptions options;
    options.argv0 = "d88pack";
    ToolRun run = RunPack(dir.path(), row.args, options);
    // Windows gives the program its own path as its name, whatever it was
    // started as.
    const std::string::size_type usage = run.err.find("Usage: " + run.argv0 + " ");
    if (usage != std::string::npos) run.err.replace(usage + 7, run.argv0.size(), "d88pack");
    EXPECT_EQ(run.out, Lines(row.out));
    EXPECT_EQ(run.err, Lines(row.err));
    EXPECT_EQ(run.status, row.status >= 0 ? row.status : row.err.empty() ? 0 : 1);
    // Nothing else is left in the folder: no temporary.
    ExpectTreeHolds(dir.path(), {{kImage, row.after.empty() ? image : row.after}});
  }
}

std::string Says(const std::string& text) {
  return "d88pack: disk.d88: " + text + "\n";
}

std::string Usage(const std::string& text) {
  return "d88pack: " + text + "\nUsage: d88pack [OPTION]... IMAGE [FILE]...\n" +
         "Try 'd88pack --help' for more information.\n";
}

// Disk 1 a data disk whose record ends inside a sector; disk 2 a protected
// system disk with a label and no files; disk 3 blank.
const LayoutFile kGame = File("GAME", "BIN", 0x1200, Pattern(3000, 1));
const LayoutFile kNote = File("NOTE", "TXT", 0, TextBytes("note"), 1024);
Disk System(std::uint8_t protect) {
  Disk disk = MakeLayoutDisk(DataDisk(0, {}, "SYSTEM"));
  disk.writeProtect = protect;
  return disk;
}
Bytes Three(std::uint8_t protect = 0x10) {
  return BuildImage({MakeLayoutDisk(DataDisk(1, {kGame, kNote})), System(protect), Disk{}});
}

const char kBlankLine[] = "disk 3: no directory: the disk is blank (it has no tracks)";

TEST(Chores, InfoTellsWhatEachDiskHoldsAndHasFree) {
  // Disk 1's records end at 4028: 411 sectors lie wholly after them.
  const std::string one =
      "[Disk B]  DISK=1  FILES=  2  USED=  4028  FREE=420864  PROTECTED=no  LABEL=\n";
  // The system disk's data area begins after its first cylinder.
  const std::string two =
      "[Disk A]  DISK=2  FILES=  0  USED=     0  FREE=414720  PROTECTED=yes  LABEL=SYSTEM\n";
  RunChores(
      Three(),
      {
          {{"--info", kImage}, one + two, Says(kBlankLine)},
          {{"--info", "-d", "2", kImage}, two},
          {{"-d1", kImage, "--info"}, one},
          {{"--info", "--json", "-d", "2", kImage},
           R"({"type":"disk","image":"disk.d88","member":null,"disk":2,"number":0,"letter":"A","label":"SYSTEM","label_bytes":"53595354454d","write_protected":true,"media":0,"directory":true,"free_bytes":414720,"free_entries":255,"fill":0,"directory_fill":null,"system_area":null})"
           "\n"},
          {{"--info", "--json", "-d", "3", kImage},
           R"json({"type":"disk","image":"disk.d88","member":null,"disk":3,"number":null,"letter":null,"label":"","label_bytes":"","write_protected":false,"media":0,"directory":false,"reason":"no directory: the disk is blank (it has no tracks)","free_bytes":null,"free_entries":null,"fill":null,"directory_fill":null,"system_area":null})json"
           "\n",
           Says(kBlankLine)},
          {{"--info", "-d", "4", kImage}, "", Says("disk 4: the image holds 3 disks")},
          {{"--info", kImage, "GAME.BIN"}, "", Usage("--info takes no name after the image")},
          {{"--info", "--check", kImage}, "", Usage("--check cannot be combined with --info")},
          {{"--json", kImage, "GAME.BIN"},
           "",
           Usage("--json goes with --dry-run, --verbose or --info")},
      });
  // A full disk has nothing free, and a label is shown in UTF-8 with -u.
  std::vector<LayoutFile> full(6, File("FULL", "", 0, Bytes(65531)));
  full.push_back(File("LAST", "", 0, Bytes(30000), 30727));
  RunChores(BuildImage({MakeLayoutDisk(DataDisk(1, full, "\x83\x5C"))}),
            {{{"-u", "--info", kImage},
              u8"[Disk B]  DISK=1  FILES=  7  USED=423937  FREE=     0  PROTECTED=no  LABEL=ソ\n"},
             {{"--info", kImage},
              "[Disk B]  DISK=1  FILES=  7  USED=423937  FREE=     0  PROTECTED=no  "
              "LABEL=\x83\x5C\n"}});
}

TEST(Chores, CheckReadsEachDiskAsAPutWould) {
  LayoutFile negative = File("NEG", "", 0x20, {});
  negative.end = 0x10;
  const LayoutFile longer = File("LONG", "", 0, Pattern(100), 50);
  Disk inconsistent = MakeLayoutDisk(DataDisk(1, {negative, longer, kGame}));
  Disk missing = MakeLayoutDisk(DataDisk(2, {kGame}));
  missing.tracks.at(5).sectors.erase(missing.tracks.at(5).sectors.begin() + 2);
  // Bytes after the last record that no file owns, in track 80.
  Disk leftovers = MakeLayoutDisk(DataDisk(3, {kGame}));
  leftovers.tracks.at(80).sectors.at(1).data.at(7) = 0xE5;
  leftovers.tracks.at(80).sectors.at(3).data.at(0) = 0xE5;
  RunChores(Three(), {{{"--check", kImage},
                       "",
                       Says("disk 2: " + std::string("the disk is write-protected; "
                                                     "--force writes it all the "
                                                     "same")) +
                           Says(kBlankLine)},
                      {{"--check", "-d", "1", kImage}, ""},
                      {{"--check", "-d", "2", kImage},
                       "",
                       Says("disk 2: the disk is write-protected; --force writes it all the same"),
                       {},
                       0}});
  RunChores(
      BuildImage({inconsistent, missing, leftovers}),
      {{{"--check", kImage},
        "",
        Says("disk 1: the directory is inconsistent: the end address of entry 1 is below its "
             "start") +
            Says("disk 1: the directory is inconsistent: the record of entry 2 (104 bytes) is "
                 "longer than its allocation (50 bytes)") +
            Says("disk 2: not wholly of the layout: track 5 has no sector 3") +
            Says("disk 3: after the last file, bytes that no file owns are not zeros, in track "
                 "80, sector 2 to track 80, sector 4; a put that reaches them needs --force")},
       {{"--check", "-d", "3", kImage},
        "",
        Says("disk 3: after the last file, bytes that no file owns are not zeros, in track 80, "
             "sector 2 to track 80, sector 4; a put that reaches them needs --force"),
        {},
        0}});
}

TEST(Chores, ProtectionChangesTheOneByte) {
  const Disk first = MakeLayoutDisk(DataDisk(1, {kGame}));
  Disk firstProtected = first;
  firstProtected.writeProtect = 0x10;
  const Bytes tail = TextBytes("tail");
  const auto two = [&](const Disk& a, const Disk& b) { return Concat(BuildImage({a, b}), tail); };
  RunChores(BuildImage({first}), {{{"--protect", kImage}, "", "", BuildImage({firstProtected})},
                                  {{"--protect", "-n", kImage}, "protect   disk 1\n"},
                                  {{"--unprotect", kImage}, ""}});
  // Any byte other than zero protects a disk; --protect makes it 0x10.
  Disk odd = first;
  odd.writeProtect = 0x01;
  RunChores(BuildImage({odd}), {{{"--protect", kImage}, "", "", BuildImage({firstProtected})},
                                {{"--unprotect", kImage}, "", "", BuildImage({first})}});
  RunChores(
      two(firstProtected, System(0x10)),
      {
          {{"--unprotect", "--all-disks", kImage}, "", "", two(first, System(0))},
          {{"--unprotect", "-d", "2", kImage}, "", "", two(firstProtected, System(0))},
          {{"--unprotect", "-n", "--all-disks", kImage}, "unprotect disk 1\nunprotect disk 2\n"},
          {{"--protect", "--all-disks", kImage}, ""},
          {{"--unprotect", kImage}, "", Says("holds 2 disks; choose one with --disk")},
          {{"--unprotect", "-d", "3", kImage}, "", Says("disk 3: the image holds 2 disks")},
          {{"--protect", "--unprotect", kImage},
           "",
           Usage("--protect cannot be combined with --unprotect")},
          {{"--all-disks", kImage}, "", Usage("--all-disks goes with --protect or --unprotect")},
          {{"--protect", "--all-disks", "-d", "1", kImage},
           "",
           Usage("--disk cannot be combined with --all-disks")},
      });
  // A blank disk has a header too.
  Disk blank;
  blank.writeProtect = 0x10;
  RunChores(BuildImage({Disk{}}), {{{"--protect", kImage}, "", "", BuildImage({blank})}});
}

TEST(Chores, RenameChangesOnlyTheNameBytes) {
  const auto image = [](const std::string& name, const std::string& extension) {
    LayoutFile renamed = kGame;
    renamed.name = name;
    renamed.extension = extension;
    return BuildImage({MakeLayoutDisk(DataDisk(1, {renamed, kNote}))});
  };
  const Bytes play = image("PLAY", "COM");
  const std::string refused = "d88pack: disk.d88: disk 1: ";
  RunChores(
      image("GAME", "BIN"),
      {
          {{"--rename", "GAME.BIN", "PLAY.COM", kImage}, "", "", play},
          {{"-i", "--rename", "game.*", "PLAY.COM", kImage}, "", "", play},
          {{"-u", "--rename", "G*", u8"ｱｲ.ﾃﾞ", kImage}, "", "", image("\xB1\xB2", "\xC3\xDE")},
          {{"--rename", "GAME.BIN", "GAME.BIN", kImage}, ""},
          {{"-n", "--rename", "GAME.BIN", "PLAY.COM", kImage},
           "rename  " + ListingLine("PLAY.COM", 0x1200, 0x1200 + 3000)},
          {{"-v", "--rename", "NOTE.TXT", "README", kImage},
           "[Disk B]\n" + ListingLine("GAME.BIN", 0x1200, 0x1200 + 3000) +
               ListingLine("README", 0, 4),
           "",
           BuildImage({MakeLayoutDisk(
               DataDisk(1, {kGame, File("README", "", 0, TextBytes("note"), 1024)}))})},
          {{"--rename", "game.*", "PLAY.COM", kImage}, "", refused + "game.*: not found\n"},
          {{"--rename", "*.*", "PLAY.COM", kImage},
           "",
           refused + "*.*: matches 2 entries; the name to change must match one\n"},
          {{"--rename", "GAME.BIN", "NOTE.TXT", kImage},
           "",
           refused + "NOTE.TXT: an entry of that name is on the disk already\n"},
          {{"--rename", "GAME.BIN", "PLAYING", kImage},
           "",
           refused + "PLAYING: the name is longer than 6 bytes before its extension\n"},
          {{"--rename", "GAME.BIN", "A/B", kImage}, "", refused + "A/B: the name contains '/'\n"},
          {{"--rename", "GAME.BIN", kImage}, "", Usage("--rename takes OLD NEW IMAGE")},
          {{"--rename", "--start=0", "A", "B", kImage},
           "",
           Usage("--start cannot be combined with --rename")},
      });
  // Without -u a name's bytes are matched one by one, even where they
  // happen to be UTF-8 ("\xC3\xA9" is one character there, two here).
  RunChores(image("\xC3\xA9", "BIN"),
            {{{"--rename", "??.BIN", "PLAY.COM", kImage}, "", "", play},
             {{"--rename", "?.BIN", "PLAY.COM", kImage}, "", refused + "?.BIN: not found\n"}});
  RunChores(Three(),
            {{{"--rename", "-d", "2", "*", "B", kImage},
              "",
              Says("disk 2: the disk is write-protected; --force writes it all the same")}});
}

TEST(Chores, DeleteMatchesEitherCaseWithIgnoreCase) {
  const Bytes before = BuildImage({MakeLayoutDisk(DataDisk(1, {kGame, kNote}))});
  const Bytes after = BuildImage({MakeLayoutDisk(DataDisk(1, {kNote}))});
  RunChores(
      before,
      {{{"--delete", "-i", kImage, "game.b?n"}, "", "", after},
       {{"--delete", kImage, "game.b?n"}, "", "d88pack: disk.d88: disk 1: game.b?n: not found\n"},
       {{"-i", kImage, "GAME.BIN"}, "", Usage("--ignore-case goes with --delete or --rename")}});
}

TEST(Chores, JsonTellsChangesAndListingsInTheUnpackersShapes) {
  const Bytes before = BuildImage({MakeLayoutDisk(DataDisk(1, {kGame, kNote}, "GAMES"))});
  const std::string disk =
      R"({"type":"disk","image":"disk.d88","member":null,"disk":1,"number":1,"letter":"B","label":"GAMES","label_bytes":"47414d4553","write_protected":false,"media":0,"directory":true,)";
  const std::string game =
      R"({"type":"file","image":"disk.d88","member":null,"disk":1,"name":"GAME.BIN","name_bytes":"47414d452e42494e","size":3000,"start":4608,"end":7608,"allocation":3004,"status":)";
  const std::string note =
      R"({"type":"file","image":"disk.d88","member":null,"disk":1,"name":"NOTE.TXT","name_bytes":"4e4f54452e545854","size":4,"start":0,"end":4,"allocation":1024,"status":)";
  RunChores(
      before,
      {{{"--json", "-n", "--delete", kImage, "NOTE.*"},
        note + R"("delete","path":null})"
               "\n"},
       {{"--json", "-nv", "--rename", "NOTE.TXT", "NOTE.TXT", kImage},
        disk +
            R"("free_bytes":420864,"free_entries":253,"fill":0,"directory_fill":null,"system_area":null})"
            "\n" +
            game +
            R"("listed","path":null})"
            "\n" +
            note +
            R"("listed","path":null})"
            "\n"},
       {{"--json", "-n", "-c", "--force", "--label=GAMES", kImage},
        disk +
            R"("free_bytes":424960,"free_entries":255,"fill":0,"directory_fill":0,"system_area":null})"
            "\n"}});
}

}  // namespace
