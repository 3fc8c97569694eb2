// A program's Main called again and again in one process, with different
// options, images and folders, gives each time what a process started with
// the same command gives: its output, its messages, its status and the
// folder it leaves, byte for byte. Built once for each program.
#include <gtest/gtest.h>
#include <sys/types.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "d88_builder.h"
#include "d88_format.h"
#include "e2e_support.h"
#include "run.h"
#include "run_tool.h"

using namespace d88test;
namespace fs = std::filesystem;

namespace {

#ifdef D88TEST_MAIN_PACK
constexpr char kProgram[] = "d88pack";
int CallMain(int argc, char** argv, std::FILE* out, std::FILE* err) {
  return pack::Main(argc, argv, out, err);
}
ToolRun RunProcess(const fs::path& dir, const std::vector<std::string>& args,
                   const RunOptions& options) {
  return RunPack(dir, args, options);
}
#else
constexpr char kProgram[] = "d88unpack";
int CallMain(int argc, char** argv, std::FILE* out, std::FILE* err) {
  return unpack::Main(argc, argv, out, err);
}
ToolRun RunProcess(const fs::path& dir, const std::vector<std::string>& args,
                   const RunOptions& options) {
  return RunTool(dir, args, options);
}
#endif

std::string Contents(std::FILE* stream) {
  std::fflush(stream);
  std::rewind(stream);
  std::string text;
  char buffer[4096];
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, stream)) > 0;) {
    text.append(buffer, got);
  }
  return text;
}

// Main in `dir`, with argv[0] the program's name.
ToolRun CallIn(const fs::path& dir, const std::vector<std::string>& args) {
  std::vector<std::string> words{kProgram};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  const fs::path home = fs::current_path();
  fs::current_path(dir);
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  ToolRun run;
  run.status = CallMain(static_cast<int>(words.size()), argv.data(), out, err);
  fs::current_path(home);
  run.out = Contents(out);
  run.err = Contents(err);
  std::fclose(out);
  std::fclose(err);
  return run;
}

LayoutDisk Holding(int number, const std::string& name) {
  return DataDisk(
      number,
      {File("A", "TXT", 0x1234, TextBytes("first\n")), File("\x83\x40", "BAS", 0, Pattern(3000)),
       File("NOTE", "", 0x8000, TextBytes("note"))},
      name);
}

// What stands in each folder before the first row that uses it: a one-disk
// image, a two-disk one, a write-protected one, one cut off in its
// directory track, files to put and a folder.
void Fill(const fs::path& dir) {
  WriteBytes((dir / "disk.d88").string(), ImageOf({Holding(1, "ONE")}));
  WriteBytes((dir / "two.d88").string(), ImageOf({Holding(0, "SYS"), Holding(2, "TWO")}));
  Bytes protectedImage = ImageOf({Holding(3, "RO")});
  protectedImage[d88::disk_header::kWriteProtectOffset] = 0x10;
  WriteBytes((dir / "ro.d88").string(), protectedImage);
  Bytes cut = ImageOf({Holding(4, "CUT")});
  cut.resize(cut.size() - 3000);
  WriteBytes((dir / "cut.d88").string(), cut);
  WriteBytes((dir / "A.TXT").string(), TextBytes("put\n"));
  WriteBytes((dir / "B.BIN").string(), Pattern(5000, 7));
  WriteBytes((dir / "\xE3\x82\xA1.TXT").string(), TextBytes("small a\n"));
  fs::create_directory(dir / "out");
  // The one-disk image compressed, without a name or a time in its header.
  ASSERT_EQ(std::system(("gzip -n -c '" + (dir / "disk.d88").string() + "' > '" +
                         (dir / "disk.d88.gz").string() + "'")
                            .c_str()),
            0);
#ifdef D88TEST_MAIN_PACK
  // What d88unpack --json -D wrote for the two-disk image: a manifest and
  // its files.
  fs::create_directory(dir / "src");
  const ToolRun unpacked = RunTool(dir, {"--json", "-u", "-D", "-C", "src", "two.d88"});
  ASSERT_EQ(unpacked.status, 0) << unpacked.err;
  WriteBytes((dir / "src" / "manifest.jsonl").string(),
             Bytes(unpacked.out.begin(), unpacked.out.end()));
#endif
}

struct Call {
  std::vector<std::string> args;
  // Runs in the folders the call before left, not fresh ones.
  bool again = false;
};

// Each call once as a process and once through Main, each in a folder of
// its own, both folders alike before it.
void Compare(const std::vector<Call>& calls) {
  std::unique_ptr<ScratchDir> processDir;
  std::unique_ptr<ScratchDir> callDir;
  RunOptions options;
  options.argv0 = kProgram;
  for (const Call& call : calls) {
    SCOPED_TRACE(::testing::PrintToString(call.args));
    if (!call.again || processDir == nullptr) {
      processDir = std::make_unique<ScratchDir>();
      callDir = std::make_unique<ScratchDir>();
      Fill(processDir->path());
      Fill(callDir->path());
    }
    const ToolRun expected = RunProcess(processDir->path(), call.args, options);
    const ToolRun got = CallIn(callDir->path(), call.args);
    EXPECT_EQ(got.out, expected.out);
    EXPECT_EQ(got.err, expected.err);
    EXPECT_EQ(got.status, expected.status);
    ExpectTreeHolds(callDir->path(), TreeOf(processDir->path()));
  }
}

#ifdef D88TEST_MAIN_PACK

TEST(PosixMainCalls, EachCallOfPackIsAFreshRun) {
  Compare({
      {{"-v", "disk.d88", "A.TXT"}},
      {{"-n", "disk.d88", "B.BIN"}, true},
      {{"--start=100", "-v", "disk.d88", "A.TXT"}},
      // The start given before is not this run's.
      {{"-v", "disk.d88", "A.TXT"}, true},
      {{"-u", "-v", "disk.d88", "\xE3\x82\xA1.TXT"}},
      {{"-v", "disk.d88", "\xE3\x82\xA1.TXT"}},
      {{"-d", "2", "-v", "two.d88", "A.TXT"}},
      {{"two.d88", "A.TXT"}},
      {{"--delete", "-n", "disk.d88", "A*", "NOPE", "A.TXT"}},
      {{"--delete", "-v", "disk.d88", "NOTE"}, true},
      {{"--delete", "disk.d88", "NOTE"}, true},
      {{"ro.d88", "A.TXT"}},
      {{"--force", "-v", "ro.d88", "A.TXT"}},
      {{"ro.d88", "B.BIN"}, true},
      {{"-c", "--number=9", "--label=L", "-v", "new.d88", "A.TXT", "B.BIN"}},
      {{"-c", "new.d88", "A.TXT"}, true},
      {{"-c", "--force", "-n", "new.d88"}, true},
      {{"cut.d88", "A.TXT"}},
      {{"disk.d88", "missing", "A.TXT"}},
      {{"disk.d88", "A.TXT", "A.TXT"}},
      {{"--bogus", "disk.d88"}},
      {{}},
      {{"--help"}},
      {{"-v", "disk.d88", "A.TXT"}},
      {{"--info", "two.d88"}},
      {{"--info", "--json", "-d", "2", "two.d88"}},
      {{"--info", "cut.d88"}},
      {{"--check", "ro.d88"}},
      {{"--rename", "A.TXT", "B.TXT", "-v", "disk.d88"}},
      {{"--rename", "NOPE", "B.TXT", "disk.d88"}, true},
      {{"--rename", "*", "B.TXT", "disk.d88"}, true},
      {{"--protect", "-n", "--all-disks", "two.d88"}},
      {{"--protect", "-d", "2", "two.d88"}},
      {{"--unprotect", "--all-disks", "two.d88"}, true},
      {{"--info", "disk.d88.gz"}},
      {{"disk.d88.gz", "A.TXT"}},
      {{"--from=src/manifest.jsonl", "remade.d88"}},
      {{"--from=src/manifest.jsonl", "remade.d88"}, true},
      {{"--from=src/manifest.jsonl", "--force", "remade.d88"}, true},
      {{"--from=missing.jsonl", "remade.d88"}},
      {{"-c", "--number=0", "--system-area=B.BIN", "sys.d88"}},
      {{"-v", "disk.d88", "A.TXT"}},
  });
}

#else

TEST(PosixMainCalls, EachCallOfUnpackIsAFreshRun) {
  Compare({
      {{"-l", "disk.d88"}},
      {{"disk.d88"}},
      // The same files again: none of them was written by this run before.
      {{"disk.d88"}, true},
      {{"-u", "-l", "two.d88"}},
      {{"-l", "two.d88"}},
      {{"--json", "-d", "2", "two.d88"}},
      {{"-D", "two.d88", "A*"}},
      {{"two.d88", "A.TXT"}},
      {{"-O", "two.d88", "NOTE"}},
      {{"-l", "two.d88", "NOPE", "disk.d88"}},
      {{"-l", "two.d88"}},
      {{"-k", "-C", "out", "disk.d88"}},
      {{"-k", "-C", "out", "disk.d88"}, true},
      {{"--skip-old-files", "-C", "out", "disk.d88"}, true},
      {{"-C", "out", "disk.d88"}, true},
      {{"-i", "-l", "disk.d88", "a.txt"}},
      {{"-l", "disk.d88", "a.txt"}},
      {{"--salvage", "cut.d88"}},
      {{"cut.d88"}},
      {{"-d", "3", "-l", "two.d88"}},
      {{"-O", "-l", "disk.d88"}},
      {{"missing.d88"}},
      {{}},
      {{"--version"}},
      {{"-l", "disk.d88"}},
      {{"-l", "disk.d88.gz"}},
      {{"--json", "-C", "out", "disk.d88.gz"}},
      {{"--json", "-D", "-C", "out", "--system-area", "two.d88"}},
      {{"-D", "-C", "out", "--system-area", "two.d88"}, true},
      {{"--system-area", "-l", "two.d88"}},
      {{"-", "disk.d88"}},
      {{"-l", "disk.d88"}},
  });
}

// Where a write of the listing failed, the run fails, even when the stream
// took what came after.
TEST(PosixMainCalls, AListingThatWasNotAllWrittenFails) {
  ScratchDir dir;
  Fill(dir.path());
  // The first write fails; every one after it is taken.
  cookie_io_functions_t once{};
  once.write = [](void* cookie, const char*, std::size_t size) -> ssize_t {
    bool& failed = *static_cast<bool*>(cookie);
    if (failed) return static_cast<ssize_t>(size);
    failed = true;
    errno = ENOSPC;
    return -1;
  };
  bool failed = false;
  std::FILE* out = fopencookie(&failed, "w", once);
  ASSERT_NE(out, nullptr);
  std::setvbuf(out, nullptr, _IONBF, 0);
  std::FILE* err = std::tmpfile();
  std::string image = "disk.d88";
  std::string list = "-l";
  std::string name = kProgram;
  char* argv[] = {name.data(), list.data(), image.data(), nullptr};
  const fs::path home = fs::current_path();
  fs::current_path(dir.path());
  const int status = CallMain(3, argv, out, err);
  fs::current_path(home);
  EXPECT_EQ(status, 1);
  EXPECT_TRUE(failed);
  EXPECT_EQ(Contents(err),
            "d88unpack: standard output: " + std::string(std::strerror(ENOSPC)) + "\n");
  std::fclose(out);
  std::fclose(err);
}

#endif

}  // namespace
