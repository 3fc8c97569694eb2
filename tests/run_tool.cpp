#include "run_tool.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>

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

std::map<std::string, Bytes> ScratchDir::Files(const std::string& except) const {
  std::map<std::string, Bytes> files;
  for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (name == except || !entry.is_regular_file()) continue;
    files[name] = ReadBytes(entry.path().string());
  }
  return files;
}

std::string ToolPath() {
  const char* tool = std::getenv("D88UNPACK_TOOL");
  return tool != nullptr ? tool : "d88unpack";
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

ToolRun RunTool(const fs::path& workingDir, const std::vector<std::string>& args,
                std::optional<std::string> argv0, bool noArgv0) {
  const fs::path outputs = UniqueTempPath("d88unpack-run-");
  const fs::path outPath = outputs / "stdout";
  const fs::path errPath = outputs / "stderr";
  const std::string tool = ToolPath();

  std::vector<std::string> strings;
  if (!noArgv0) strings.push_back(argv0.value_or(tool));
  strings.insert(strings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& s : strings) argv.push_back(s.data());
  argv.push_back(nullptr);

  ToolRun run;
  const pid_t child = fork();
  if (child == 0) {
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 ||
        dup2(err, 2) < 0 || chdir(workingDir.c_str()) != 0) {
      _exit(127);
    }
    execv(tool.c_str(), argv.data());
    _exit(127);
  }
  int status = 0;
  if (child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status)) {
    run.status = WEXITSTATUS(status);
  }
  run.out = Slurp(outPath);
  run.err = Slurp(errPath);
  std::error_code error;
  fs::remove_all(outputs, error);
  return run;
}

}  // namespace d88test
