// Runs the built d88unpack as a user would, in a scratch folder, and keeps
// what it printed and its exit status.
#ifndef D88UNPACK_TESTS_RUN_TOOL_H
#define D88UNPACK_TESTS_RUN_TOOL_H

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "d88_builder.h"

namespace d88test {

struct ToolRun {
  int status = -1;    // the exit status; -1 when the tool did not exit normally
  std::string out;    // standard output, byte for byte
  std::string err;    // standard error, byte for byte
  std::string argv0;  // the program name the tool was given ("" when none)
};

// A fresh empty folder, removed with everything in it at the end of scope.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::filesystem::path& path() const { return dir; }
  // Writes `bytes` to `name` inside the folder and returns its full path.
  std::string Put(const std::string& name, const Bytes& bytes) const;

 private:
  std::filesystem::path dir;
};

// The tool's path, from the D88UNPACK_TOOL environment variable, and the
// writer's, from D88PACK_TOOL.
std::string ToolPath();
std::string PackToolPath();

// True when the tool under test is a Windows build (D88UNPACK_TOOL_WINDOWS=1),
// whose console streams end lines in CR LF.
bool ToolIsWindows();

// Expected console text: `text` as written, with each "\n" turned into
// "\r\n" for a Windows build.
std::string Lines(const std::string& text);

// How the tool is started and where its output streams go.
struct RunOptions {
  // The program name; the tool's path when not given.
  std::optional<std::string> argv0;
  // Starts the tool with an empty argument list, not even a program name.
  bool noArgv0 = false;
  // Standard error goes to the same file as standard output, both at one
  // file offset as a shell's 2>&1 gives: ToolRun::out holds both, in the
  // order they were written.
  bool oneFile = false;
  // A file (such as /dev/full; a relative path is the working folder's) that
  // standard output is opened to instead of being caught; ToolRun::out then
  // stays empty.
  std::string stdoutPath = "";
  // With stdoutPath: opened for appending, as a shell's >> does, rather
  // than truncated.
  bool stdoutAppend = false;
  // The same for standard error; ToolRun::err then stays empty.
  std::string stderrPath = "";
  bool stderrAppend = false;
  // Standard output is a terminal (a pseudo-terminal that passes bytes as
  // they are); ToolRun::out holds what it showed. POSIX tools only.
  bool terminal = false;
  // The same for standard error instead, into ToolRun::err.
  bool errorTerminal = false;
  // Standard output, or standard error, is closed when the tool starts, as
  // a shell's >&- and 2>&- leave it.
  bool closeOutput = false;
  bool closeErrorOutput = false;
  // A file (a relative path is the working folder's) that standard input
  // reads instead of being empty; with `stdinPipe`, its bytes come through
  // a pipe instead, as from another program.
  std::string stdinPath = "";
  bool stdinPipe = false;
  // Variables set in the tool's environment ("NAME=value").
  std::vector<std::string> environment = {};
  // The tool runs in a session of its own, without a controlling terminal.
  bool newSession = false;
  // The file mode creation mask the tool starts with; -1: the test's own.
  int umask = -1;
  // The tool is killed after this many seconds (ToolRun::status is then
  // -1); 0: no limit.
  int timeoutSeconds = 0;
  // The largest file the tool may write, in bytes (RLIMIT_FSIZE); -1: no
  // limit. Past it a write raises SIGXFSZ, which the tool starts with
  // ignored when `ignoreFileSizeSignal` is set: the write then fails.
  long fileSizeLimit = -1;
  bool ignoreFileSizeSignal = false;
  // Standard output is a pipe that is read only once it is nearly full, and
  // so the tool is held inside its run; this is called then. ToolRun::out
  // holds what came through the pipe.
  std::function<void()> whileHeld = nullptr;
  // Called in the tool's own process, in its working folder, just before
  // the tool starts: getpid() gives the tool's process ID. POSIX tools only.
  std::function<void()> beforeStart = nullptr;
  // The tool is held as it enters the first system call of one of these
  // names ("fsync", "flock", "copy_file_range", ...), and `atCall` is
  // called then with its process ID; the tool goes on from there unless
  // atCall ends it. Where the tool never makes such a call, atCall is not
  // called. Linux tools only.
  std::vector<std::string> stopAtCalls = {};
  // Where not empty, only the calls after the first of this name count.
  std::string stopAfterCall = "";
  std::function<void(int pid)> atCall = nullptr;
  // The system refuses the tool a file without a name (O_TMPFILE), as a
  // file system without them does; and fails each of these system calls at
  // once with the errno given ({"flock", ENOLCK}: a file system without
  // locks). Linux tools only.
  bool refuseUnnamedFiles = false;
  std::vector<std::pair<std::string, int>> failingCalls = {};
};

// Runs the tool that D88UNPACK_TOOL names in `workingDir`, with `args` after
// the program name and standard input empty. Under an
// emulator (D88UNPACK_EMULATOR, for example wine for a Windows build) the
// program name is the emulator's to choose (wine gives a Windows program its
// own full path, such as Z:\build\d88unpack.exe), `argv0` and `noArgv0` have
// no effect, and ToolRun::argv0 tells what the tool got.
ToolRun RunTool(const std::filesystem::path& workingDir, const std::vector<std::string>& args,
                const RunOptions& options = {});

// The same for the writer that D88PACK_TOOL names.
ToolRun RunPack(const std::filesystem::path& workingDir, const std::vector<std::string>& args,
                const RunOptions& options = {});

}  // namespace d88test

#endif
