#include "scratch.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace d88fuzz {
namespace {

std::string area;  // the area's own folder
std::string work;  // area + "/work"
// Findings go to standard error as it was at start: libFuzzer's
// -close_fd_mask=2 later closes it to silence the tool's own messages.
int reportFd = 2;

// The names in a folder, "." and ".." left out.
std::vector<std::string> ListFolder(const std::string& folder) {
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) Fail("cannot list %s: %s", folder.c_str(), std::strerror(errno));
  std::vector<std::string> names;
  while (const dirent* entry = readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
      names.emplace_back(entry->d_name);
    }
  }
  closedir(dir);
  return names;
}

void EmptyWork() {
  for (const std::string& name : ListFolder(work)) {
    const std::string path = work + "/" + name;
    if (unlink(path.c_str()) != 0) Fail("cannot remove %s: %s", path.c_str(), std::strerror(errno));
  }
}

void RemoveArea() {
  if (work.empty()) return;
  // Only at a normal exit; after a finding the area stays for inspection.
  for (const std::string& name : ListFolder(work)) unlink((work + "/" + name).c_str());
  rmdir(work.c_str());
  rmdir(area.c_str());
}

}  // namespace

void Fail(const char* format, ...) {
  char message[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(message, sizeof message, format, args);
  va_end(args);
  dprintf(reportFd, "d88unpack fuzz finding: %s\n", message);
  std::abort();
}

const std::string& ScratchWork() {
  if (!work.empty()) return work;
  const int saved = dup(2);
  if (saved >= 0) reportFd = saved;
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp != nullptr && *tmp != 0 ? tmp : "/tmp") + "/d88fuzz.XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) {
    Fail("cannot create a scratch folder %s: %s", pattern.c_str(), std::strerror(errno));
  }
  char* absolute = realpath(buffer.data(), nullptr);
  if (absolute == nullptr) Fail("cannot resolve %s", buffer.data());
  area = absolute;
  std::free(absolute);
  work = area + "/work";
  if (mkdir(work.c_str(), 0700) != 0)
    Fail("cannot create %s: %s", work.c_str(), std::strerror(errno));
  std::atexit(RemoveArea);
  return work;
}

void WriteWholeFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) Fail("cannot create %s: %s", path.c_str(), std::strerror(errno));
  const bool written = size == 0 || std::fwrite(data, 1, size, out) == size;
  if (std::fclose(out) != 0 || !written) Fail("cannot write %s", path.c_str());
}

void ExpectFileContents(const std::string& path, const std::uint8_t* data, std::size_t size) {
  std::FILE* in = std::fopen(path.c_str(), "rb");
  if (in == nullptr) Fail("%s is gone: %s", path.c_str(), std::strerror(errno));
  std::vector<std::uint8_t> bytes(size + 1);
  const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), in);
  std::fclose(in);
  if (got != size || (size != 0 && std::memcmp(bytes.data(), data, size) != 0)) {
    Fail("%s was changed: %zu bytes instead of the %zu written", path.c_str(), got, size);
  }
}

void CheckAndEmptyScratch() {
  for (const std::string& name : ListFolder(area)) {
    if (name != "work")
      Fail("\"%s\" was written outside the working folder, in %s", name.c_str(), area.c_str());
  }
  for (const std::string& name : ListFolder(work)) {
    const std::string path = work + "/" + name;
    struct stat info;
    if (lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
      Fail("%s is not a regular file", path.c_str());
    }
  }
  EmptyWork();
}

}  // namespace d88fuzz
