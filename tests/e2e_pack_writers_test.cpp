// End-to-end tests of d88pack beside other writers of the image: runs that
// take turns, writers that take no lock, whose image it is, its extended
// attributes, the console streams, and what a killed run leaves. A run is
// held at a point by a lock the test holds, or stopped as it enters a
// system call; nothing waits on a guess of how long a step takes.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "d88_builder.h"
#include "e2e_support.h"
#include "run_tool.h"

using namespace d88test;
namespace fs = std::filesystem;

namespace {

constexpr char kImage[] = "disk.d88";

std::string Says(const std::string& text) {
  return "d88pack: disk.d88: " + text + "\n";
}

const std::string kChanged = Says("changed while d88pack ran; nothing written");

// A file as the writer records it: its allocation in whole sectors.
LayoutFile Put(const std::string& name, Bytes data) {
  const auto allocation = static_cast<std::uint16_t>((data.size() + 4 + 1023) / 1024 * 1024);
  return File(name, "", 0, std::move(data), allocation);
}

const LayoutFile kOld = File("OLD", "", 0, Pattern(500, 1));
const LayoutFile kOther = File("OTHER", "", 0, Pattern(700, 2));
const Bytes kX = Pattern(2000, 3);
const Bytes kY = Pattern(100, 4);
// The image before; as another writer leaves it; and each with X, Y or both
// put by d88pack.
const Bytes kBefore = ImageOf({DataDisk(1, {kOld})});
const Bytes kTheOthers = ImageOf({DataDisk(1, {kOld, kOther})});
const Bytes kBeforeAndX = ImageOf({DataDisk(1, {kOld, Put("X", kX)})});
const Bytes kTheOthersAndX = ImageOf({DataDisk(1, {kOld, kOther, Put("X", kX)})});
const Bytes kBeforeXAndY = ImageOf({DataDisk(1, {kOld, Put("X", kX), Put("Y", kY)})});

// Keeps testing `condition` until it holds, for at most 20 seconds: a bound
// on a failing test, not a guess at how long a step takes.
bool Eventually(const std::function<bool()>& condition) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// Whether a process waits for a lock on the file at `path`: /proc/locks
// lists a request that is blocked ("->") on its inode.
bool LockWaitedFor(const fs::path& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return false;
  std::ifstream locks("/proc/locks");
  for (std::string line; std::getline(locks, line);) {
    if (line.find("->") == std::string::npos) continue;
    std::istringstream words(line);
    for (std::string word; words >> word;) {
      const std::size_t colon = word.rfind(':');
      if (colon == std::string::npos || std::count(word.begin(), word.end(), ':') != 2) continue;
      if (word.substr(colon + 1) == std::to_string(info.st_ino)) return true;
    }
  }
  return false;
}

// Writes `bytes` into the file at `path` in place: the same file, its
// bytes rewritten, as a program that saves a disk does.
void RewriteInPlace(const fs::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::in | std::ios::out | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

// Puts `bytes` at the image's name the way `mv` does: a new file renamed
// over it.
void ReplaceByRename(const fs::path& dir, const Bytes& bytes) {
  WriteBytes((dir / "other.d88").string(), bytes);
  fs::rename(dir / "other.d88", dir / kImage);
}

RunOptions Limited() {
  RunOptions options;
  options.timeoutSeconds = 120;
  return options;
}

TEST(PackWriters, PosixRunsOnOneImageTakeTurns) {
  if (ToolIsWindows()) GTEST_SKIP() << "POSIX locks";
  {
    SCOPED_TRACE("a writer that holds the lock while the run waits for it");
    ScratchDir dir;
    dir.Put("X", kX);
    const fs::path image = dir.Put(kImage, kBefore);
    const int held = open(image.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    bool waited = false;
    std::thread writer([&] {
      waited = Eventually([&] { return LockWaitedFor(image); });
      RewriteInPlace(image, kTheOthers);
      close(held);
    });
    const ToolRun run = RunPack(dir.path(), {kImage, "X"}, Limited());
    writer.join();
    EXPECT_TRUE(waited);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 0);
    ExpectTreeHolds(dir.path(), {{"X", kX}, {kImage, kTheOthersAndX}});
  }
  {
    SCOPED_TRACE("a second run while the first is held before its rename");
    ScratchDir dir;
    dir.Put("X", kX);
    dir.Put("Y", kY);
    const fs::path image = dir.Put(kImage, kBefore);
    RunOptions first = Limited();
    first.stopAtCalls = {"fsync"};
    std::future<ToolRun> second;
    bool waited = false;
    first.atCall = [&](int) {
      second = std::async(std::launch::async, [&] {
        return RunPack(dir.path(), {kImage, "Y"}, Limited());
      });
      waited = Eventually([&] { return LockWaitedFor(image); });
    };
    const ToolRun run = RunPack(dir.path(), {kImage, "X"}, first);
    ASSERT_TRUE(second.valid());
    const ToolRun then = second.get();
    EXPECT_TRUE(waited);
    EXPECT_EQ(run.err + then.err, "");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(then.status, 0);
    ExpectTreeHolds(dir.path(), {{"X", kX}, {"Y", kY}, {kImage, kBeforeXAndY}});
  }
  {
    SCOPED_TRACE("the file locked is renamed away: the run locks the new one");
    ScratchDir dir;
    dir.Put("X", kX);
    dir.Put(kImage, kBefore);
    RunOptions options = Limited();
    options.stopAtCalls = {"flock"};
    bool stopped = false;
    options.atCall = [&](int) {
      stopped = true;
      ReplaceByRename(dir.path(), kTheOthers);
    };
    const ToolRun run = RunPack(dir.path(), {kImage, "X"}, options);
    EXPECT_TRUE(stopped);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 0);
    ExpectTreeHolds(dir.path(), {{"X", kX}, {kImage, kTheOthersAndX}});
  }
}

TEST(PackWriters, PosixAFileSystemWithoutLocksOrAttributesIsWrittenAllTheSame) {
  if (ToolIsWindows()) GTEST_SKIP() << "POSIX locks and attributes";
  const std::string attributes(
      "the new image cannot keep its extended attributes (--force replaces it without them): ");
  const struct {
    std::string call;
    int error;
    std::string err;
  } rows[] = {
      {"flock", ENOLCK, ""},
      {"flock", EOPNOTSUPP, ""},
      {"flock", EINVAL, ""},
      {"flock", EIO, Says(std::string("cannot lock: ") + std::strerror(EIO))},
      {"flistxattr", ENOTSUP, ""},
      {"flistxattr", EIO, Says(attributes + std::strerror(EIO))},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.call + " " + std::strerror(row.error));
    ScratchDir dir;
    dir.Put("X", kX);
    dir.Put(kImage, kBefore);
    RunOptions options = Limited();
    options.failingCalls = {{row.call, row.error}};
    const ToolRun run = RunPack(dir.path(), {kImage, "X"}, options);
    EXPECT_EQ(run.err, row.err);
    EXPECT_EQ(run.status, row.err.empty() ? 0 : 1);
    ExpectTreeHolds(dir.path(), {{"X", kX}, {kImage, row.err.empty() ? kBeforeAndX : kBefore}});
  }
}

TEST(PackWriters, PosixAWriterWithoutALockKeepsItsChange) {
  if (ToolIsWindows()) GTEST_SKIP() << "POSIX system calls";
  const std::function<void(const fs::path&)> replaced = [](const fs::path& dir) {
    ReplaceByRename(dir, kTheOthers);
  };
  const std::function<void(const fs::path&)> inPlace = [](const fs::path& dir) {
    RewriteInPlace(dir / kImage, kTheOthers);
  };
  // A byte of the disk changed, and the modification time put back: only
  // the change time tells.
  Bytes touched = kBefore;
  touched[touched.size() - 2000] ^= 0xFF;
  const std::function<void(const fs::path&)> timesKept = [&touched](const fs::path& dir) {
    struct stat info;
    ASSERT_EQ(stat((dir / kImage).c_str(), &info), 0);
    RewriteInPlace(dir / kImage, touched);
    const struct timespec times[2] = {info.st_atim, info.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, (dir / kImage).c_str(), times, 0), 0);
  };
  const struct {
    const char* what;
    std::string call;  // where the run is held
    std::function<void(const fs::path&)> write;
    Bytes left;  // what the other writer leaves
  } rows[] = {
      {"replaced before the copy", "copy_file_range", replaced, kTheOthers},
      {"rewritten before the copy", "copy_file_range", inPlace, kTheOthers},
      {"replaced before the rename", "fsync", replaced, kTheOthers},
      {"rewritten before the rename", "fsync", inPlace, kTheOthers},
      {"rewritten, its times kept, before the rename", "fsync", timesKept, touched},
      // After the lock, as the image is opened to be read.
      {"replaced before it is read", "openat", replaced, kTheOthers},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    ScratchDir dir;
    dir.Put("X", kX);
    dir.Put(kImage, kBefore);
    RunOptions options = Limited();
    options.stopAtCalls = {row.call};
    if (row.call == "openat") options.stopAfterCall = "flock";
    bool stopped = false;
    options.atCall = [&](int) {
      stopped = true;
      row.write(dir.path());
    };
    const ToolRun run = RunPack(dir.path(), {kImage, "X"}, options);
    EXPECT_TRUE(stopped);
    EXPECT_EQ(run.err, kChanged);
    EXPECT_EQ(run.status, 1);
    ExpectTreeHolds(dir.path(), {{"X", kX}, {kImage, row.left}});
  }
}

TEST(PackWriters, PosixAKilledRunLeavesNothingAndNoNameCanBeTakenFromIt) {
  if (ToolIsWindows()) GTEST_SKIP() << "POSIX signals";
  // ".d88pack-", 12 letters and digits, ".tmp".
  const auto temporary = [](const std::string& name) {
    return name.size() == 25 && name.rfind(".d88pack-", 0) == 0 && name.substr(21) == ".tmp" &&
           std::all_of(name.begin() + 9, name.begin() + 21,
                       [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; });
  };
  for (const bool unnamed : {true, false}) {
    SCOPED_TRACE(unnamed ? "a copy without a name" : "a named copy");
    {
      SCOPED_TRACE("killed while it copies the image");
      ScratchDir dir;
      dir.Put("X", kX);
      dir.Put(kImage, kBefore);
      RunOptions options = Limited();
      options.refuseUnnamedFiles = !unnamed;
      options.stopAtCalls = {"copy_file_range", "pwrite64"};
      options.atCall = [](int pid) { kill(pid, SIGKILL); };
      const ToolRun run = RunPack(dir.path(), {kImage, "X"}, options);
      EXPECT_EQ(run.status, -1);
      Tree tree = TreeOf(dir.path());
      EXPECT_EQ(tree[kImage], kBefore);
      EXPECT_EQ(tree["X"], kX);
      tree.erase(kImage);
      tree.erase("X");
      // A named copy can be found by its name afterwards.
      EXPECT_EQ(tree.size(), unnamed ? 0u : 1u);
      for (const auto& [name, bytes] : tree) EXPECT_TRUE(temporary(name)) << name;
    }
    {
      SCOPED_TRACE("every name of an earlier release's taken in advance");
      ScratchDir dir;
      dir.Put("X", kX);
      dir.Put(kImage, kBefore);
      RunOptions options = Limited();
      options.refuseUnnamedFiles = !unnamed;
      options.beforeStart = [] {
        for (int attempt = 0; attempt <= 100; ++attempt) {
          const std::string name =
              ".d88pack-" + std::to_string(getpid()) + "-" + std::to_string(attempt) + ".tmp";
          WriteBytes(name, TextBytes("taken"));
        }
      };
      const ToolRun run = RunPack(dir.path(), {kImage, "X"}, options);
      EXPECT_EQ(run.err, "");
      EXPECT_EQ(run.status, 0);
      Tree tree = TreeOf(dir.path());
      EXPECT_EQ(tree[kImage], kBeforeAndX);
      EXPECT_EQ(tree.size(), 2u + 101u);
      for (const auto& [name, bytes] : tree) {
        if (name.rfind(".d88pack-", 0) == 0) {
          EXPECT_EQ(bytes, TextBytes("taken")) << name;
        }
      }
    }
  }
}

TEST(PackWriters, PosixOutputIntoTheImageIsRefusedBeforeAnythingIsDone) {
  if (ToolIsWindows()) GTEST_SKIP() << "POSIX redirection";
  RunOptions output = Limited();
  output.stdoutPath = kImage;
  output.stdoutAppend = true;
  RunOptions error = Limited();
  error.stderrPath = kImage;
  error.stderrAppend = true;
  const std::string refused = Says("standard output goes into the image file; nothing is done");
  const struct {
    std::vector<std::string> args;
    RunOptions options;
    std::string err;
  } rows[] = {
      {{"-n", kImage, "X"}, output, refused},
      {{"-v", kImage, "X"}, output, refused},
      {{kImage, "TOOLONGNAME"}, output, refused},
      {{"-c", "--force", kImage}, output, refused},
      {{kImage, "X"}, error, ""},
      {{"-c", kImage}, error, ""},
      {{"--delete", kImage, "NONE"}, error, ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.args));
    ScratchDir dir;
    dir.Put("X", kX);
    dir.Put("TOOLONGNAME", {});
    dir.Put(kImage, kBefore);
    const ToolRun run = RunPack(dir.path(), row.args, row.options);
    EXPECT_EQ(run.err, row.err);
    EXPECT_EQ(run.status, 1);
    ExpectTreeHolds(dir.path(), {{"X", kX}, {"TOOLONGNAME", {}}, {kImage, kBefore}});
  }
}

// An ACL that gives user 1234 read access, as the system.posix_acl_access
// attribute holds it: a version, then tag, permissions and ID of each entry.
Bytes AccessList() {
  Bytes bytes = {2, 0, 0, 0};
  const struct {
    std::uint16_t tag;
    std::uint16_t permissions;
    std::uint32_t id;
  } entries[] = {{0x01, 6, 0xFFFFFFFF},
                 {0x02, 4, 1234},
                 {0x04, 4, 0xFFFFFFFF},
                 {0x10, 4, 0xFFFFFFFF},
                 {0x20, 4, 0xFFFFFFFF}};
  for (const auto& entry : entries) {
    for (int i = 0; i < 2; ++i) bytes.push_back(static_cast<std::uint8_t>(entry.tag >> (8 * i)));
    for (int i = 0; i < 2; ++i) {
      bytes.push_back(static_cast<std::uint8_t>(entry.permissions >> (8 * i)));
    }
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(entry.id >> (8 * i)));
  }
  return bytes;
}

// The value of the extended attribute `name` of `path`, or "none".
Bytes Attribute(const fs::path& path, const char* name) {
  Bytes value(4096);
  const ssize_t length = getxattr(path.c_str(), name, value.data(), value.size());
  if (length < 0) return TextBytes("none");
  value.resize(static_cast<std::size_t>(length));
  return value;
}

TEST(PackWriters, PosixTheNewImageKeepsTheOldOnesAttributes) {
  if (ToolIsWindows()) GTEST_SKIP() << "POSIX extended attributes";
  const struct {
    const char* name;
    Bytes value;
  } rows[] = {{"user.d88pack.test", TextBytes("kept")}, {"system.posix_acl_access", AccessList()}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    ScratchDir dir;
    dir.Put("X", kX);
    const fs::path image = dir.Put(kImage, kBefore);
    if (setxattr(image.c_str(), row.name, row.value.data(), row.value.size(), 0) != 0) {
      // The file system of the scratch folder has none.
      continue;
    }
    const ToolRun run = RunPack(dir.path(), {kImage, "X"}, Limited());
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(ReadBytes(image.string()), kBeforeAndX);
    EXPECT_EQ(Attribute(image, row.name), row.value);
  }
}

// Runs as the user and group nobody (65534), in a folder anyone may write.
constexpr uid_t kNobody = 65534;
RunOptions AsNobody() {
  RunOptions options = Limited();
  options.beforeStart = [] {
    if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(126);
  };
  return options;
}

TEST(PackWriters, PosixWhoseImageItIs) {
  if (ToolIsWindows()) GTEST_SKIP() << "POSIX owners";
  if (geteuid() != 0) GTEST_SKIP() << "needs the superuser, to run as another user";
  {
    ScratchDir probe;
    if (RunPack(probe.path(), {"--version"}, AsNobody()).status != 0) {
      GTEST_SKIP() << "d88pack cannot be run as nobody here";
    }
  }
  const std::string owner(
      "the new image cannot keep its owner and group (--force replaces it all the same, as "
      "yours): ");
  const std::string attributes(
      "the new image cannot keep its extended attributes (--force replaces it without them): ");
  const struct {
    const char* what;
    std::vector<std::string> args;
    uid_t owner;  // of the image, root's or nobody's
    unsigned mode;
    const char* attribute;  // set by the superuser, whose value nobody cannot give
    std::string err;
  } rows[] = {
      {"root's, only root may write it",
       {kImage, "X"},
       0,
       0644,
       nullptr,
       Says("you have no permission to write it; --force replaces it all the same")},
      {"root's, replaced as nobody's", {"--force", kImage, "X"}, 0, 0644, nullptr, ""},
      {"root's, anyone may write it",
       {kImage, "X"},
       0,
       0666,
       nullptr,
       Says(owner + std::strerror(EPERM))},
      {"root's, anyone may write it, replaced as nobody's",
       {"--force", kImage, "X"},
       0,
       0666,
       nullptr,
       ""},
      {"nobody's, with an attribute only root may set",
       {kImage, "X"},
       kNobody,
       0644,
       "security.d88pack-test",
       Says(attributes + std::strerror(EPERM))},
      {"nobody's, replaced without the attribute",
       {"--force", kImage, "X"},
       kNobody,
       0644,
       "security.d88pack-test",
       ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    ScratchDir dir;
    fs::permissions(dir.path(), fs::perms::all);
    dir.Put("X", kX);
    const fs::path image = dir.Put(kImage, kBefore);
    ASSERT_EQ(chown(image.c_str(), row.owner, row.owner), 0);
    ASSERT_EQ(chmod(image.c_str(), row.mode), 0);
    if (row.attribute != nullptr && setxattr(image.c_str(), row.attribute, "1", 1, 0) != 0) {
      continue;  // the file system has none
    }
    const ToolRun run = RunPack(dir.path(), row.args, AsNobody());
    EXPECT_EQ(run.err, row.err);
    EXPECT_EQ(run.status, row.err.empty() ? 0 : 1);
    ExpectTreeHolds(dir.path(), {{"X", kX}, {kImage, row.err.empty() ? kBeforeAndX : kBefore}});
    struct stat info;
    ASSERT_EQ(stat(image.c_str(), &info), 0);
    // Replaced with --force, the image is the user's.
    EXPECT_EQ(info.st_uid, row.err.empty() ? kNobody : row.owner);
    EXPECT_EQ(info.st_gid, row.err.empty() ? kNobody : row.owner);
    EXPECT_EQ(info.st_mode & 07777, row.mode);
    if (row.attribute != nullptr) {
      EXPECT_EQ(Attribute(image, row.attribute), TextBytes(row.err.empty() ? "none" : "1"));
    }
  }
}

TEST(PackWriters, PosixAnImmutableImageIsNotWritten) {
  if (ToolIsWindows()) GTEST_SKIP() << "POSIX file flags";
  ScratchDir dir;
  dir.Put("X", kX);
  const fs::path image = dir.Put(kImage, kBefore);
  const int file = open(image.c_str(), O_RDONLY | O_CLOEXEC);
  int flags = 0;
  if (ioctl(file, FS_IOC_GETFLAGS, &flags) != 0) GTEST_SKIP() << "no file flags here";
  flags |= FS_IMMUTABLE_FL;
  if (ioctl(file, FS_IOC_SETFLAGS, &flags) != 0) GTEST_SKIP() << "cannot make a file immutable";
  const ToolRun refused = RunPack(dir.path(), {kImage, "X"}, Limited());
  const ToolRun forced = RunPack(dir.path(), {"--force", kImage, "X"}, Limited());
  flags &= ~FS_IMMUTABLE_FL;
  ioctl(file, FS_IOC_SETFLAGS, &flags);
  close(file);
  EXPECT_EQ(refused.err,
            Says("you have no permission to write it; --force replaces it all the same"));
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(forced.err,
            Says(std::string("cannot put the new image in its place: ") + std::strerror(EPERM)));
  EXPECT_EQ(forced.status, 1);
  ExpectTreeHolds(dir.path(), {{"X", kX}, {kImage, kBefore}});
}

TEST(PackWriters, PosixANewImageDoesNotReplaceOneThatAppearedMeanwhile) {
  if (ToolIsWindows()) GTEST_SKIP() << "POSIX system calls";
  for (const bool unnamed : {true, false}) {
    SCOPED_TRACE(unnamed ? "a copy without a name" : "a named copy");
    ScratchDir dir;
    dir.Put("X", kX);
    RunOptions options = Limited();
    options.refuseUnnamedFiles = !unnamed;
    options.stopAtCalls = {"fsync"};
    options.atCall = [&](int) { dir.Put(kImage, kTheOthers); };
    const ToolRun run = RunPack(dir.path(), {"-c", kImage, "X"}, options);
    EXPECT_EQ(run.err, Says("exists already; --force replaces it"));
    EXPECT_EQ(run.status, 1);
    ExpectTreeHolds(dir.path(), {{"X", kX}, {kImage, kTheOthers}});
  }
}

}  // namespace
