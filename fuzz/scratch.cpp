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

std::string area;     // the area's own folder
std::string work;     // area + "/work"
std::string outside;  // area + "/outside"

// What the files in "outside" hold; the traps lead to them.
constexpr char kVictim[] = "the file a link in work leads to\n";
constexpr char kHardVictim[] = "the file a hard link in work shares\n";
constexpr char kKept[] = "a file inside a folder in work\n";
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

// Removes everything in `folder`, folders within it too.
void EmptyFolder(const std::string& folder) {
  for (const std::string& name : ListFolder(folder)) {
    const std::string path = folder + "/" + name;
    struct stat info;
    if (lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
      EmptyFolder(path);
      if (rmdir(path.c_str()) != 0)
        Fail("cannot remove %s: %s", path.c_str(), std::strerror(errno));
    } else if (unlink(path.c_str()) != 0) {
      Fail("cannot remove %s: %s", path.c_str(), std::strerror(errno));
    }
  }
}

void RemoveArea() {
  if (work.empty()) return;
  // Only at a normal exit; after a finding the area stays for inspection.
  EmptyFolder(area);
  rmdir(area.c_str());
}

std::string ReadWholeFile(const std::string& path) {
  std::FILE* in = std::fopen(path.c_str(), "rb");
  if (in == nullptr) return "(missing)";
  std::string text;
  char buffer[256];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0) text.append(buffer, got);
  std::fclose(in);
  return text;
}

// What a symbolic link holds, or "" when `path` is no link.
std::string LinkTarget(const std::string& path) {
  char target[512];
  const ssize_t length = readlink(path.c_str(), target, sizeof target);
  return length > 0 ? std::string(target, static_cast<std::size_t>(length)) : "";
}

bool IsTrap(const std::string& name) {
  for (const char* trap : kTrapNames) {
    if (name == trap) return true;
  }
  return false;
}

// Whether the trap `name` still stands as it was laid.
bool TrapIntact(const std::string& name, const struct stat& info) {
  const std::string path = work + "/" + name;
  if (name == "LINK") return S_ISLNK(info.st_mode) && LinkTarget(path) == "../outside/victim";
  if (name == "DANGLE") return S_ISLNK(info.st_mode) && LinkTarget(path) == "../outside/nothing";
  if (name == "IMGLNK") return S_ISLNK(info.st_mode);
  if (name == "FIFO") return S_ISFIFO(info.st_mode);
  if (name == "DIR") {
    return S_ISDIR(info.st_mode) && ListFolder(path).size() == 1 &&
           ReadWholeFile(path + "/KEEP") == kKept;
  }
  // HARD and IMG: still the other names' files.
  return S_ISREG(info.st_mode) && info.st_nlink == 2;
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
  outside = area + "/outside";
  if (mkdir(work.c_str(), 0700) != 0 || mkdir(outside.c_str(), 0700) != 0) {
    Fail("cannot create %s: %s", work.c_str(), std::strerror(errno));
  }
  WriteWholeFile(outside + "/victim", reinterpret_cast<const std::uint8_t*>(kVictim),
                 sizeof kVictim - 1);
  WriteWholeFile(outside + "/hard", reinterpret_cast<const std::uint8_t*>(kHardVictim),
                 sizeof kHardVictim - 1);
  std::atexit(RemoveArea);
  return work;
}

void EnterScratchWork() {
  const std::string& work = ScratchWork();
  if (chdir(work.c_str()) != 0) Fail("cannot enter %s", work.c_str());
}

void LayTraps(const char* imageName) {
  const std::string image = work + "/" + imageName;
  const std::string in = work + "/";
  const bool laid = symlink("../outside/victim", (in + "LINK").c_str()) == 0 &&
                    symlink("../outside/nothing", (in + "DANGLE").c_str()) == 0 &&
                    link((outside + "/hard").c_str(), (in + "HARD").c_str()) == 0 &&
                    mkfifo((in + "FIFO").c_str(), 0600) == 0 &&
                    mkdir((in + "DIR").c_str(), 0700) == 0 &&
                    link(image.c_str(), (in + "IMG").c_str()) == 0 &&
                    symlink(imageName, (in + "IMGLNK").c_str()) == 0;
  if (!laid) Fail("cannot lay the traps in %s: %s", work.c_str(), std::strerror(errno));
  WriteWholeFile(in + "DIR/KEEP", reinterpret_cast<const std::uint8_t*>(kKept), sizeof kKept - 1);
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
    if (name != "work" && name != "outside")
      Fail("\"%s\" was written outside the working folder, in %s", name.c_str(), area.c_str());
  }
  const std::vector<std::string> outsideNames = ListFolder(outside);
  if (outsideNames.size() != 2) Fail("a file was written in %s through a link", outside.c_str());
  if (ReadWholeFile(outside + "/victim") != kVictim) Fail("a link in work was written through");
  if (ReadWholeFile(outside + "/hard") != kHardVictim) {
    Fail("a hard link in work was written through");
  }
  for (const std::string& name : ListFolder(work)) {
    const std::string path = work + "/" + name;
    struct stat info;
    if (lstat(path.c_str(), &info) != 0) Fail("cannot look at %s", path.c_str());
    if (S_ISREG(info.st_mode)) continue;
    if (IsTrap(name) && TrapIntact(name, info)) continue;
    // A disk's own folder, of regular files only.
    if (S_ISDIR(info.st_mode) && name.size() == 6 && name.compare(0, 4, "disk") == 0) {
      for (const std::string& inner : ListFolder(path)) {
        struct stat innerInfo;
        if (lstat((path + "/" + inner).c_str(), &innerInfo) != 0 || !S_ISREG(innerInfo.st_mode)) {
          Fail("%s/%s is not a regular file", path.c_str(), inner.c_str());
        }
      }
      continue;
    }
    Fail("%s is neither a regular file nor a trap as it was laid", path.c_str());
  }
  EmptyFolder(work);
}

}  // namespace d88fuzz
