// The output folder and output files on POSIX hosts: every name is taken
// relative to a folder handle with the *at calls, so that nothing is
// resolved twice.
#ifndef _WIN32

#include <fcntl.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/fs.h>
#include <linux/magic.h>
#include <sys/ioctl.h>
#include <sys/vfs.h>
#endif

#include <cerrno>
#include <cstring>

#include "native_api.h"
#include "output_file.h"

namespace {

// A folder is only ever named relative to, never read: where the system has
// O_PATH, a folder that may be written and searched but not listed is fine.
#ifdef O_PATH
constexpr int kFolderAccess = O_PATH;
#else
constexpr int kFolderAccess = O_RDONLY;
#endif

int CreateNew(int folder, const char* name) {
  // O_NOFOLLOW: a link that appears at the name in between is not followed.
  return openat(folder, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC,
                0666);
}

WriteResult Failure(EntryProblem problem, int error) {
  WriteResult result{};
  result.problem = problem;
  result.error = error;
  return result;
}

// Decides what may be done with the taken name: kNone when it may be
// removed, with `old` what stands there.
WriteResult CheckTakenName(int folder, const char* name, const GuardedFiles& guarded) {
  struct stat info;
  if (fstatat(folder, name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
    // Gone in between: nothing to remove.
    if (errno == ENOENT) return WriteResult{};
    return Failure(EntryProblem::kCannotCheck, errno);
  }
  if (S_ISDIR(info.st_mode)) return Failure(EntryProblem::kDirectoryAtName, 0);
  const EntryProblem guard = GuardedAs(IdentityOfStatus(info), guarded);
  if (guard != EntryProblem::kNone) return Failure(guard, 0);
  if (S_ISLNK(info.st_mode)) {
    // A link: what it leads to must not be the image either. A link that
    // leads nowhere (a missing target, or a loop) is no file at all; any
    // other error leaves it open whether it is the image.
    struct stat target;
    if (fstatat(folder, name, &target, 0) == 0) {
      const EntryProblem targetGuard = GuardedAs(IdentityOfStatus(target), guarded);
      if (targetGuard != EntryProblem::kNone) return Failure(targetGuard, 0);
    } else if (errno != ENOENT && errno != ENOTDIR && errno != ELOOP) {
      return Failure(EntryProblem::kCannotCheck, errno);
    }
  }
  WriteResult free{};
  free.oldRemoved = true;
  free.old = IdentityOfStatus(info);
  return free;
}

// Whether two different names in `folder` are always two files: on the
// Linux file systems that compare names byte for byte, unless the folder
// folds case (the casefold flag of ext4 and tmpfs). Others, and every file
// system elsewhere, may fold case or normalise Unicode (vfat, NTFS, those of
// macOS, network file systems): there a file's identity tells.
bool NamesAreExactIn(int folder) {
#if defined(__linux__) && defined(FS_CASEFOLD_FL)
  const int fd = openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd == -1) return false;
  struct statfs system;
  bool exact = fstatfs(fd, &system) == 0 &&
               (system.f_type == EXT4_SUPER_MAGIC || system.f_type == TMPFS_MAGIC ||
                system.f_type == BTRFS_SUPER_MAGIC);
  int flags = 0;
  // A file system without the flags has no casefold either.
  if (exact && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
    exact = (flags & FS_CASEFOLD_FL) == 0;
  } else if (exact) {
    exact = errno == ENOTTY || errno == EOPNOTSUPP;
  }
  close(fd);
  return exact;
#else
  (void)folder;
  return false;
#endif
}

}  // namespace

int OutputFolder::Open(const NativePathChar* path) {
  Close();
  const int fd = open(path, kFolderAccess | O_DIRECTORY | O_CLOEXEC);
  if (fd == -1) return errno;
  handle = fd;
  isOpen = true;
  return 0;
}

int OutputFolder::OpenChild(const OutputFolder& parent, const char* name) {
  Close();
  if (mkdirat(parent.GetHandle(), name, 0777) != 0 && errno != EEXIST) return errno;
  // O_NOFOLLOW: a link at the name, even to a folder, is not taken.
  const int fd =
      openat(parent.GetHandle(), name, kFolderAccess | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd == -1) return errno == ELOOP ? ENOTDIR : errno;
  handle = fd;
  isOpen = true;
  return 0;
}

void OutputFolder::Close() {
  if (isOpen && handle != AT_FDCWD) close(handle);
  handle = AT_FDCWD;
  isOpen = false;
  exactNames = -1;
}

bool OutputFolder::NamesAreExact() const {
  if (exactNames < 0) exactNames = NamesAreExactIn(handle) ? 1 : 0;
  return exactNames == 1;
}

GuardedFiles GuardImageAndConsole(const ImageIdentity& image, int output, int errorOutput) {
  GuardedFiles guarded{};
  guarded.image = image;
  // fstat refuses -1, a stream with no descriptor.
  guarded.hasOutput = IdentityOfStreamFile(output, guarded.output);
  guarded.hasErrorOutput = IdentityOfStreamFile(errorOutput, guarded.errorOutput);
  return guarded;
}

WriteResult WriteOutputFile(const OutputFolder& folder, const char* name, const std::uint8_t* data,
                            int size, const GuardedFiles& guarded, bool keepOld) {
  WriteResult result{};
  int fd = CreateNew(folder.GetHandle(), name);
  if (fd == -1 && errno == EEXIST) {
    if (keepOld) return Failure(EntryProblem::kKeptOld, EEXIST);
    result = CheckTakenName(folder.GetHandle(), name, guarded);
    if (result.problem != EntryProblem::kNone) return result;
    // Removing the old entry, rather than truncating what it names, leaves
    // whatever a link or another hard link leads to untouched, and spares
    // the file system the flush it makes when a truncated file is closed.
    if (result.oldRemoved && unlinkat(folder.GetHandle(), name, 0) != 0) {
      if (errno != ENOENT) return Failure(EntryProblem::kCannotRemove, errno);
      result.oldRemoved = false;
    }
    // A name that raced in between is reported, never opened.
    fd = CreateNew(folder.GetHandle(), name);
  }
  if (fd == -1) {
    result.problem = EntryProblem::kCannotCreate;
    result.error = errno;
    return result;
  }
  // The data is in memory already: as few writes as the system takes.
  std::size_t done = 0;
  const std::size_t wanted = size > 0 ? static_cast<std::size_t>(size) : 0;
  while (done < wanted) {
    const ssize_t got = write(fd, data + done, wanted - done);
    if (got < 0 && errno == EINTR) continue;
    // A write that takes nothing would never end.
    if (got <= 0) {
      result.problem = EntryProblem::kWriteFailed;
      result.error = got == 0 ? EIO : errno;
      break;
    }
    done += static_cast<std::size_t>(got);
  }
  struct stat info;
  if (result.problem == EntryProblem::kNone && !folder.NamesAreExact() && fstat(fd, &info) == 0) {
    result.created = IdentityOfStatus(info);
    result.identified = true;
  }
  // Some file systems report a failed write only when the file is closed.
  if (close(fd) != 0 && result.problem == EntryProblem::kNone) {
    result.problem = EntryProblem::kCloseFailed;
    result.error = errno;
  }
  // A file cut short is no file of the entry's: nothing is left of it.
  if (result.problem != EntryProblem::kNone) unlinkat(folder.GetHandle(), name, 0);
  return result;
}

#endif
