#include "run_tool.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#ifdef __linux__
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/syscall.h>

#include <cstddef>
#endif

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <thread>

namespace d88test {
namespace fs = std::filesystem;

namespace {

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

fs::path UniqueTempPath(const char* prefix) {
  std::random_device seed;
  std::mt19937_64 random(seed());
  for (;;) {
    fs::path candidate = fs::temp_directory_path() / (prefix + std::to_string(random()));
    std::error_code error;
    if (fs::create_directory(candidate, error)) return candidate;
  }
}

#ifdef __linux__
// The numbers of the system calls a run may be held at, by name.
long SystemCallNumber(const std::string& name) {
  static const std::map<std::string, long> kNumbers = {
      {"fsync", SYS_fsync},
      {"flock", SYS_flock},
      {"copy_file_range", SYS_copy_file_range},
      {"pwrite64", SYS_pwrite64},
      {"linkat", SYS_linkat},
      {"renameat2", SYS_renameat2},
      {"flistxattr", SYS_flistxattr},
      {"openat", SYS_openat},
#ifdef SYS_rename
      {"rename", SYS_rename},
#endif
#ifdef SYS_renameat
      {"renameat", SYS_renameat},
#endif
  };
  const auto found = kNumbers.find(name);
  return found == kNumbers.end() ? -1 : found->second;
}

// In the tool's process before it starts: from now on, for this process
// and what it runs, openat with O_TMPFILE fails with EOPNOTSUPP where
// `unnamed` is false, and each call of `failing` with its errno.
bool RestrictCalls(bool unnamed, const std::vector<std::pair<std::string, int>>& failing) {
  constexpr unsigned kUnnamedBit = O_TMPFILE & ~O_DIRECTORY;
  std::vector<sock_filter> filter = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr))};
  for (const auto& [name, error] : failing) {
    const long number = SystemCallNumber(name);
    if (number < 0) return false;
    filter.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<unsigned>(number), 0, 1));
    filter.push_back(BPF_STMT(
        BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (static_cast<unsigned>(error) & SECCOMP_RET_DATA)));
  }
  const std::vector<sock_filter> rest = {
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_openat, 0, 3),
      // The flags' low 32 bits (a little-endian host).
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[2])),
      BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, unnamed ? 0u : kUnnamedBit, 0, 1),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EOPNOTSUPP),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  };
  filter.insert(filter.end(), rest.begin(), rest.end());
  sock_fprog program = {static_cast<unsigned short>(filter.size()), filter.data()};
  return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
         prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

// Follows the traced `child` from its start to its first entry into one of
// `calls` (after its first entry into `after`, where that is not empty),
// calls `atCall` there and lets it go on untraced. False when the child
// ended before that; `status` then holds how.
bool HoldAtCall(pid_t child, const std::vector<std::string>& calls, const std::string& after,
                const std::function<void(int)>& atCall, int& status) {
  std::vector<long> numbers;
  for (const std::string& name : calls) numbers.push_back(SystemCallNumber(name));
  const long first = after.empty() ? -1 : SystemCallNumber(after);
  bool armed = after.empty();
  // The stop at the start of the program.
  if (waitpid(child, &status, 0) != child || !WIFSTOPPED(status)) return false;
  ptrace(PTRACE_SETOPTIONS, child, 0, PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL);
  int signal = 0;
  for (;;) {
    if (ptrace(PTRACE_SYSCALL, child, 0, signal) != 0) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
      return false;
    }
    if (waitpid(child, &status, 0) != child || !WIFSTOPPED(status)) return false;
    signal = 0;
    if (WSTOPSIG(status) != (SIGTRAP | 0x80)) {
      signal = WSTOPSIG(status);
      continue;
    }
    __ptrace_syscall_info info{};
    if (ptrace(PTRACE_GET_SYSCALL_INFO, child, sizeof info, &info) <= 0 ||
        info.op != PTRACE_SYSCALL_INFO_ENTRY) {
      continue;
    }
    const long number = static_cast<long>(info.entry.nr);
    if (!armed) {
      armed = number == first;
      continue;
    }
    if (std::find(numbers.begin(), numbers.end(), number) == numbers.end()) continue;
    atCall(child);
    ptrace(PTRACE_DETACH, child, 0, 0);
    return true;
  }
}
#endif

}  // namespace

ScratchDir::ScratchDir() : dir(UniqueTempPath("d88unpack-test-")) {}

ScratchDir::~ScratchDir() {
  std::error_code error;
  // Tests may take write permission away; give it back so the folder goes.
  fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, error);
  fs::remove_all(dir, error);
}

std::string ScratchDir::Put(const std::string& name, const Bytes& bytes) const {
  const fs::path path = dir / name;
  WriteBytes(path.string(), bytes);
  return path.string();
}

bool ToolIsWindows() {
  const char* windows = std::getenv("D88UNPACK_TOOL_WINDOWS");
  return windows != nullptr && std::string(windows) == "1";
}

std::string Lines(const std::string& text) {
  if (!ToolIsWindows()) return text;
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

std::string ToolPath() {
  const char* tool = std::getenv("D88UNPACK_TOOL");
  return tool != nullptr ? tool : "d88unpack";
}

std::string PackToolPath() {
  const char* tool = std::getenv("D88PACK_TOOL");
  return tool != nullptr ? tool : "d88pack";
}

namespace {

// The program that runs the tool, from D88UNPACK_EMULATOR; empty when the
// tool runs by itself.
std::string EmulatorPath() {
  const char* emulator = std::getenv("D88UNPACK_EMULATOR");
  return emulator != nullptr ? emulator : "";
}

// Runs `program` with `argv` (its argv[0] included; a program without a
// slash is looked up on PATH) in `workingDir`, with standard input empty and
// the output streams caught or sent where `options` says.
ToolRun RunProgram(const fs::path& workingDir, const std::string& program,
                   std::vector<std::string> argv, const RunOptions& options = {}) {
  const fs::path outputs = UniqueTempPath("d88unpack-run-");
  const fs::path outPath =
      options.stdoutPath.empty() ? outputs / "stdout" : fs::path(options.stdoutPath);
  const fs::path errPath =
      options.stderrPath.empty() ? outputs / "stderr" : fs::path(options.stderrPath);
  std::vector<char*> pointers;
  for (std::string& s : argv) pointers.push_back(s.data());
  pointers.push_back(nullptr);

  // A terminal: the tool writes to the pseudo-terminal's far end, read here
  // from its near end.
  int terminal = -1;
  std::string terminalName;
  if (options.terminal || options.errorTerminal) {
    terminal = posix_openpt(O_RDWR | O_NOCTTY);
    if (terminal < 0 || grantpt(terminal) != 0 || unlockpt(terminal) != 0) return ToolRun{};
    terminalName = ptsname(terminal);
    fcntl(terminal, F_SETFL, O_NONBLOCK);
    fcntl(terminal, F_SETFD, FD_CLOEXEC);
  }

  int held[2] = {-1, -1};
  if (options.whileHeld && pipe(held) != 0) return ToolRun{};

  ToolRun run;
  const pid_t child = fork();
  if (child == 0) {
    // Relative paths of the output files are the working folder's, as when
    // a shell in it redirects them.
    if (chdir(workingDir.c_str()) != 0) _exit(127);
    int in = open(options.stdinPath.empty() ? "/dev/null" : options.stdinPath.c_str(), O_RDONLY);
    if (options.stdinPipe) {
      // A process of its own feeds the pipe, and ends when the file does.
      int feed[2];
      if (pipe(feed) != 0) _exit(127);
      if (fork() == 0) {
        close(feed[0]);
        char block[65536];
        for (ssize_t got; (got = read(in, block, sizeof block)) > 0;) {
          if (write(feed[1], block, static_cast<std::size_t>(got)) != got) _exit(1);
        }
        _exit(0);
      }
      close(feed[1]);
      close(in);
      in = feed[0];
    }
    int shown = -1;
    if (!terminalName.empty()) {
      shown = open(terminalName.c_str(), O_RDWR | O_NOCTTY);
      // Bytes pass as they are: no line-end translation.
      struct termios raw;
      if (shown < 0 || tcgetattr(shown, &raw) != 0) _exit(127);
      cfmakeraw(&raw);
      if (tcsetattr(shown, TCSANOW, &raw) != 0) _exit(127);
    }
    const int out =
        options.terminal ? shown
        : options.whileHeld
            ? held[1]
            : open(outPath.c_str(),
                   O_WRONLY | O_CREAT | (options.stdoutAppend ? O_APPEND : O_TRUNC), 0644);
    const int err =
        options.oneFile ? out
        : options.errorTerminal
            ? shown
            : open(errPath.c_str(),
                   O_WRONLY | O_CREAT | (options.stderrAppend ? O_APPEND : O_TRUNC), 0644);
    if (in < 0 || out < 0 || err < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 ||
        (options.newSession && setsid() < 0)) {
      _exit(127);
    }
    // Nothing but the three streams is left open for the tool.
    for (const int fd : {in, out, err, shown, held[0]}) {
      if (fd > 2) close(fd);
    }
    if (options.closeOutput) close(1);
    if (options.closeErrorOutput) close(2);
    for (const std::string& variable : options.environment) putenv(strdup(variable.c_str()));
    if (options.umask >= 0) ::umask(static_cast<mode_t>(options.umask));
    if (options.fileSizeLimit >= 0) {
      const struct rlimit limit = {static_cast<rlim_t>(options.fileSizeLimit),
                                   static_cast<rlim_t>(options.fileSizeLimit)};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (options.ignoreFileSizeSignal) signal(SIGXFSZ, SIG_IGN);
    if (options.beforeStart) options.beforeStart();
#ifdef __linux__
    if ((options.refuseUnnamedFiles || !options.failingCalls.empty()) &&
        !RestrictCalls(!options.refuseUnnamedFiles, options.failingCalls)) {
      _exit(127);
    }
    if (!options.stopAtCalls.empty() && ptrace(PTRACE_TRACEME, 0, 0, 0) != 0) _exit(127);
#endif
    execvp(program.c_str(), pointers.data());
    _exit(127);
  }
  int status = 0;
  bool exited = false;
  // Whether the tool has been waited for already.
  bool ended = false;
#ifdef __linux__
  if (!options.stopAtCalls.empty() && child > 0 &&
      !HoldAtCall(child, options.stopAtCalls, options.stopAfterCall, options.atCall, status)) {
    // It ended before any such call.
    exited = WIFEXITED(status);
    ended = true;
  }
#endif
  if (options.whileHeld) {
    // A pipe holds 64 KiB; once nearly that much waits in it, the tool is
    // blocked writing to it.
    close(held[1]);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    int waiting = 0;
    while (ioctl(held[0], FIONREAD, &waiting) == 0 && waiting < 60 * 1024 &&
           std::chrono::steady_clock::now() < until) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    options.whileHeld();
    char buffer[65536];
    ssize_t got = 0;
    while ((got = read(held[0], buffer, sizeof buffer)) > 0) {
      run.out.append(buffer, static_cast<std::size_t>(got));
    }
    close(held[0]);
  }
  // Waits for the tool, reading the terminal as it goes and keeping to the
  // time limit.
  const auto readTerminal = [&] {
    char buffer[4096];
    ssize_t got = 0;
    while (terminal >= 0 && (got = read(terminal, buffer, sizeof buffer)) > 0) {
      (options.terminal ? run.out : run.err).append(buffer, static_cast<std::size_t>(got));
    }
  };
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(options.timeoutSeconds);
  while (child > 0 && !ended) {
    readTerminal();
    const pid_t done = waitpid(child, &status, WNOHANG);
    if (done == child) {
      exited = WIFEXITED(status);
      break;
    }
    if (done < 0) break;
    if (options.timeoutSeconds > 0 && std::chrono::steady_clock::now() > deadline) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(terminal >= 0 ? 1 : 2));
  }
  if (exited) run.status = WEXITSTATUS(status);
  readTerminal();
  if (terminal >= 0) close(terminal);
  if (options.stdoutPath.empty() && !options.terminal && !options.whileHeld) {
    run.out = Slurp(outPath);
  }
  if (options.stderrPath.empty() && !options.oneFile && !options.errorTerminal) {
    run.err = Slurp(errPath);
  }
  std::error_code error;
  fs::remove_all(outputs, error);
  return run;
}

// The name a program run by the emulator is given: wine hands a Windows
// program the Windows spelling of its full path, which winepath tells.
std::string EmulatedProgramName(const std::string& emulator, const std::string& tool) {
  static std::map<std::string, std::string> names;
  std::string& name = names[tool];
  if (name.empty())
    name = [&] {
      const std::string unixPath = fs::absolute(tool).lexically_normal().string();
      std::string windowsPath =
          RunProgram(fs::current_path(), emulator, {emulator, "winepath", "-w", unixPath}).out;
      while (!windowsPath.empty() && (windowsPath.back() == '\n' || windowsPath.back() == '\r')) {
        windowsPath.pop_back();
      }
      return windowsPath;
    }();
  return name;
}

ToolRun RunToolAt(const std::string& tool, const fs::path& workingDir,
                  const std::vector<std::string>& args, const RunOptions& options) {
  const std::string emulator = EmulatorPath();
  std::vector<std::string> argv;
  std::string seenName;
  if (!emulator.empty()) {
    argv = {emulator, tool};
    seenName = EmulatedProgramName(emulator, tool);
  } else if (!options.noArgv0) {
    seenName = options.argv0.value_or(tool);
    argv.push_back(seenName);
  }
  argv.insert(argv.end(), args.begin(), args.end());
  ToolRun run = RunProgram(workingDir, emulator.empty() ? tool : emulator, argv, options);
  // On a loaded machine wine now and then fails to start a program: it exits
  // 1 having printed nothing, which the tools never do when they can print.
  // Such a run is tried again; a tool that truly ends so ends so again.
  for (int tries = 1;
       !emulator.empty() && tries < 3 && run.status == 1 && run.out.empty() && run.err.empty();
       ++tries) {
    run = RunProgram(workingDir, emulator, argv, options);
  }
  run.argv0 = seenName;
  return run;
}

}  // namespace

ToolRun RunTool(const fs::path& workingDir, const std::vector<std::string>& args,
                const RunOptions& options) {
  return RunToolAt(ToolPath(), workingDir, args, options);
}

ToolRun RunPack(const fs::path& workingDir, const std::vector<std::string>& args,
                const RunOptions& options) {
  return RunToolAt(PackToolPath(), workingDir, args, options);
}

}  // namespace d88test
