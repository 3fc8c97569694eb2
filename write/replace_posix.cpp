// Replacing the image on POSIX hosts. A named temporary file is created
// with O_EXCL under a random name, and a name given to an unnamed one is
// made with link, which fails where anything stands: no other run's
// temporary file is ever opened or removed. The rename is the one step
// that changes what the image's name leads to.
#ifndef _WIN32

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/time.h>
#include <unistd.h>

#if defined(__linux__) || defined(__APPLE__)
#include <sys/random.h>
#endif
#ifdef __linux__
#include <sys/xattr.h>
#endif

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "image_replace.h"
#include "native_api.h"

namespace {

// The temporary file a signal must remove, as the handler sees it: the one
// piece of process state of the writer.
volatile sig_atomic_t temporaryLive = 0;
char temporaryForSignal[4096];

constexpr int kCleanedSignals[] = {SIGHUP,  SIGINT,  SIGQUIT, SIGTERM, SIGPIPE,
                                   SIGALRM, SIGXFSZ, SIGUSR1, SIGUSR2};

// The temporary file's name: this prefix, a random part, ".tmp".
constexpr char kTemporaryPrefix[] = ".d88pack-";
constexpr int kRandomLength = 12;
constexpr int kNameAttempts = 100;

extern "C" void RemoveTemporaryAndDie(int signal) {
  if (temporaryLive) unlink(temporaryForSignal);
  // The handler was reset on entry: the signal, raised again, ends the
  // process as it would have, once the handler returns.
  raise(signal);
}

// Only signals that would end the process are caught: one that the process
// was started with ignored stays ignored, and one with a handler keeps it
// (this one's included, when a second image is replaced).
void CatchSignals() {
  for (const int signal : kCleanedSignals) {
    struct sigaction old;
    if (sigaction(signal, nullptr, &old) != 0 || (old.sa_flags & SA_SIGINFO) != 0 ||
        old.sa_handler != SIG_DFL) {
      continue;
    }
    struct sigaction action {};
    action.sa_handler = RemoveTemporaryAndDie;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
  }
}

// Blocks the signals above while the temporary file's name comes or goes,
// so that the handler never removes a name that is not, or no longer, ours.
class SignalsHeld {
 public:
  SignalsHeld() {
    sigset_t held;
    sigemptyset(&held);
    for (const int signal : kCleanedSignals) sigaddset(&held, signal);
    sigprocmask(SIG_BLOCK, &held, &before);
  }
  ~SignalsHeld() { sigprocmask(SIG_SETMASK, &before, nullptr); }

 private:
  sigset_t before;
};

bool WriteAll(int fd, const std::uint8_t* data, std::size_t length, int64_t position) {
  std::size_t done = 0;
  while (done < length) {
    const ssize_t got = pwrite(fd, data + done, length - done,
                               static_cast<off_t>(position) + static_cast<off_t>(done));
    if (got > 0) {
      done += static_cast<std::size_t>(got);
      continue;
    }
    // A write that takes nothing would never end.
    if (got == 0) {
      errno = EIO;
      return false;
    }
    if (errno != EINTR) return false;
  }
  return true;
}

// The folder part of `path`, "." when it has none.
void FolderOf(const char* path, char (&folder)[4096]) {
  const char* slash = std::strrchr(path, '/');
  if (slash == nullptr) {
    std::strcpy(folder, ".");
  } else if (slash == path) {
    std::strcpy(folder, "/");
  } else {
    const std::size_t length = static_cast<std::size_t>(slash - path);
    std::memcpy(folder, path, length);
    folder[length] = 0;
  }
}

int64_t Nanoseconds(const struct timespec& time) {
  return static_cast<int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec;
}

FileState StateOf(const struct stat& info) {
#ifdef __APPLE__
  return {IdentityOfStatus(info), info.st_size, Nanoseconds(info.st_mtimespec),
          Nanoseconds(info.st_ctimespec)};
#else
  return {IdentityOfStatus(info), info.st_size, Nanoseconds(info.st_mtim),
          Nanoseconds(info.st_ctim)};
#endif
}

// "FOLDER/.d88pack-RANDOM.tmp" in `path`, its random part letters and
// digits from the system's entropy (or, where it has none to give, from the
// clock and the process).
bool RandomName(const char* folder, char (&path)[4096]) {
  static constexpr char kDigits[] =
      "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  unsigned char bytes[kRandomLength];
  if (getentropy(bytes, sizeof bytes) != 0) {
    struct timeval now {};
    gettimeofday(&now, nullptr);
    unsigned long long mixed = static_cast<unsigned long long>(now.tv_usec) * 2654435761u ^
                               static_cast<unsigned long long>(now.tv_sec) ^
                               static_cast<unsigned long long>(getpid()) << 20 ^
                               reinterpret_cast<std::uintptr_t>(&path);
    for (unsigned char& byte : bytes) {
      mixed = mixed * 6364136223846793005ull + 1442695040888963407ull;
      byte = static_cast<unsigned char>(mixed >> 33);
    }
  }
  char part[kRandomLength + 1];
  for (int i = 0; i < kRandomLength; ++i) part[i] = kDigits[bytes[i] % (sizeof kDigits - 1)];
  part[kRandomLength] = 0;
  const int length =
      std::snprintf(path, sizeof path, "%s/%s%s.tmp", folder, kTemporaryPrefix, part);
  return length > 0 && static_cast<std::size_t>(length) < sizeof path;
}

// A file without a name in `folder`, where the system makes one and a path
// under /proc can give it a name later; -1 otherwise.
int OpenUnnamed(const char* folder, char (&reachable)[4096]) {
#if defined(__linux__) && defined(O_TMPFILE)
  const int file = open(folder, O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (file < 0) return -1;
  std::snprintf(reachable, sizeof reachable, "/proc/self/fd/%d", file);
  if (access(reachable, F_OK) == 0) return file;
  close(file);
#else
  static_cast<void>(folder);
  static_cast<void>(reachable);
#endif
  return -1;
}

}  // namespace

Problem ImageReplacement::Prepare(const char* image, Mode wanted, bool forced) {
  Reset();
  mode = wanted;
  force = forced;
  given = image;
  struct stat info;
  exists = lstat(image, &info) == 0;
  if (!exists && errno != ENOENT) return Failed(Refusal::kImageUnopenable, errno);
  if (!exists) {
    if (mode == Mode::kReplace) return Failed(Refusal::kImageUnopenable, ENOENT);
    if (std::strlen(image) >= sizeof target) return Failed(Refusal::kImageUnopenable, ENAMETOOLONG);
    std::strcpy(target, image);
    return Problem{};
  }
  // The file a link leads to is replaced in its own folder; the link stays.
  char resolved[PATH_MAX];
  if (realpath(image, resolved) == nullptr) {
    exists = false;
    if (errno == ENOENT && S_ISLNK(info.st_mode)) return Refuse(Refusal::kImageDanglingLink);
    return Failed(Refusal::kImageUnopenable, errno);
  }
  if (stat(resolved, &info) != 0) {
    exists = false;
    return Failed(Refusal::kImageUnopenable, errno);
  }
  state = StateOf(info);
  if (mode == Mode::kCreate) return Refuse(Refusal::kImageExists);
  if (!S_ISREG(info.st_mode)) return Refuse(Refusal::kImageNotRegular);
  if (std::strlen(resolved) >= sizeof target) {
    return Failed(Refusal::kImageUnopenable, ENAMETOOLONG);
  }
  std::strcpy(target, resolved);
  permissions = info.st_mode & 07777;
  readOnly = (permissions & 0222) == 0;
  // Whether this user may write it, as the system judges it (the
  // superuser may write what no one else may).
  writable =
      faccessat(AT_FDCWD, target, W_OK, AT_EACCESS) == 0 || (errno != EACCES && errno != EPERM);
  owner = info.st_uid;
  group = info.st_gid;
  return Problem{};
}

Problem ImageReplacement::Permission() const {
  if (!exists) return Problem{};
  if (readOnly) return Refuse(Refusal::kImageReadOnly);
  if (!writable) return Refuse(Refusal::kImageNotWritable);
  return Problem{};
}

Problem ImageReplacement::Lock() {
  for (int attempt = 0; exists; ++attempt) {
    const int file = open(target, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (file < 0) return Failed(Refusal::kImageUnopenable, errno);
    int locked = 0;
    do {
      locked = flock(file, LOCK_EX);
    } while (locked != 0 && errno == EINTR);
    // A file system without locks: the checks of the image's state remain.
    if (locked != 0 && errno != ENOLCK && errno != EOPNOTSUPP && errno != EINVAL) {
      const int error = errno;
      close(file);
      return Failed(Refusal::kImageUnlockable, error);
    }
    // Another run may have put its new image in place meanwhile: the name
    // must still lead to the file locked.
    struct stat held;
    struct stat named;
    if (fstat(file, &held) == 0 && stat(given, &named) == 0 &&
        IdentityOfStatus(held) == IdentityOfStatus(named)) {
      lockFd = file;
      state = StateOf(held);
      return Problem{};
    }
    close(file);
    if (attempt == kNameAttempts) return Refuse(Refusal::kImageChanged);
    const Problem problem = Prepare(given, mode, force);
    if (problem) return problem;
  }
  return Problem{};
}

Problem ImageReplacement::KeepOwnerAndAttributes() {
  // The owner and group are kept where the user may give them.
  if (fchown(fd, static_cast<uid_t>(owner), static_cast<gid_t>(group)) != 0 && !force) {
    return Failed(Refusal::kCannotKeepOwner, errno);
  }
#ifdef __linux__
  // The extended attributes, as cp -a copies them: the ACL is one of them.
  const int source = lockFd >= 0 ? lockFd : open(target, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (source < 0) return Failed(Refusal::kImageUnreadable, errno);
  // Names first, then one value at a time, in the halves of the buffer.
  char* names = reinterpret_cast<char*>(buffer);
  std::uint8_t* value = buffer + kBufferSize / 2;
  Problem problem;
  const ssize_t listed = flistxattr(source, names, kBufferSize / 2);
  if (listed < 0 && errno != ENOTSUP) problem = Failed(Refusal::kCannotKeepAttributes, errno);
  for (ssize_t at = 0; at < listed && !problem; at += std::strlen(names + at) + 1) {
    const ssize_t length = fgetxattr(source, names + at, value, kBufferSize / 2);
    // One removed in the meantime is not there to keep.
    if (length < 0 && errno == ENODATA) continue;
    if (length < 0 || fsetxattr(fd, names + at, value, static_cast<std::size_t>(length), 0) != 0) {
      problem = Failed(Refusal::kCannotKeepAttributes, errno);
    }
  }
  if (source != lockFd) close(source);
  if (problem && !force) return problem;
#endif
  return Problem{};
}

Problem ImageReplacement::Begin() {
  CatchSignals();
  char folder[4096];
  FolderOf(target, folder);
  fd = OpenUnnamed(folder, reachable);
  unnamed = fd >= 0;
  for (int attempt = 0; fd < 0; ++attempt) {
    if (!RandomName(folder, temporary)) {
      temporary[0] = 0;
      return Failed(Refusal::kCannotCreateTemporary, ENAMETOOLONG);
    }
    const SignalsHeld held;
    fd = open(temporary, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) {
      std::memcpy(temporaryForSignal, temporary, sizeof temporaryForSignal);
      temporaryLive = 1;
      std::memcpy(reachable, temporary, sizeof reachable);
      break;
    }
    const int error = errno;
    if (error != EEXIST || attempt == kNameAttempts) {
      temporary[0] = 0;
      return Failed(Refusal::kCannotCreateTemporary, error);
    }
  }
  return exists ? KeepOwnerAndAttributes() : Problem{};
}

Problem ImageReplacement::CopyImage() {
  const int source = open(target, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (source < 0) return Failed(Refusal::kImageUnreadable, errno);
  int64_t copied = 0;
#ifdef __linux__
  // The kernel copies without a round trip through this process, or shares
  // the blocks where the file system can. Where it cannot copy between
  // these two files, and at the end, the copy by hand below goes on from
  // where it stopped.
  for (;;) {
    const ssize_t got = copy_file_range(source, nullptr, fd, nullptr, 1 << 30, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      if (got < 0 && errno != ENOSYS && errno != EXDEV && errno != EINVAL && errno != EOPNOTSUPP &&
          errno != EPERM) {
        const int error = errno;
        close(source);
        return Failed(Refusal::kCannotWrite, error);
      }
      break;
    }
    copied += got;
  }
#endif
  for (;;) {
    const ssize_t got = pread(source, buffer, sizeof buffer, static_cast<off_t>(copied));
    if (got == 0) break;  // the end of the image
    if (got < 0) {
      if (errno == EINTR) continue;
      const int error = errno;
      close(source);
      return Failed(Refusal::kImageUnreadable, error);
    }
    if (!WriteAll(fd, buffer, static_cast<std::size_t>(got), copied)) {
      const int error = errno;
      close(source);
      return Failed(Refusal::kCannotWrite, error);
    }
    copied += got;
  }
  // The file copied must be the one read, and a writer that takes no lock
  // may have changed it while it was read, or copied.
  struct stat info;
  const bool same = fstat(source, &info) == 0 && StateOf(info) == state && copied == state.size;
  close(source);
  return same ? Problem{} : Refuse(Refusal::kImageChanged);
}

Problem ImageReplacement::Append(const std::uint8_t* data, std::size_t length) {
  if (!WriteAll(fd, data, length, appended)) return Failed(Refusal::kCannotWrite, errno);
  appended += static_cast<int64_t>(length);
  return Problem{};
}

Problem ImageReplacement::WriteAt(int64_t position, const std::uint8_t* data, std::size_t length) {
  if (!WriteAll(fd, data, length, position)) return Failed(Refusal::kCannotWrite, errno);
  return Problem{};
}

Problem ImageReplacement::ReadAt(int64_t position, std::uint8_t* data, std::size_t length) {
  std::size_t done = 0;
  while (done < length) {
    const ssize_t got = pread(fd, data + done, length - done,
                              static_cast<off_t>(position) + static_cast<off_t>(done));
    if (got > 0) {
      done += static_cast<std::size_t>(got);
    } else if (got == 0) {
      return Failed(Refusal::kCannotReadBack, EIO);
    } else if (errno != EINTR) {
      return Failed(Refusal::kCannotReadBack, errno);
    }
  }
  return Problem{};
}

Problem ImageReplacement::Unchanged() const {
  if (!exists || mode != Mode::kReplace) return Problem{};
  struct stat info;
  if (stat(given, &info) != 0 || !(StateOf(info) == state)) return Refuse(Refusal::kImageChanged);
  return Problem{};
}

Problem ImageReplacement::Commit() {
  if (!exists) {
    const mode_t mask = umask(0);
    umask(mask);
    permissions = 0666 & ~mask;
  }
  if (fchmod(fd, static_cast<mode_t>(permissions)) != 0 || fsync(fd) != 0) {
    return Failed(Refusal::kCannotWrite, errno);
  }
  Problem problem = Unchanged();
  if (problem) return problem;

  const bool create = mode == Mode::kCreate || (mode == Mode::kCreateOrReplace && !exists);
  const SignalsHeld held;
  if (unnamed) {
    // The complete file gets its name only now: the image's own where a new
    // one is made (which fails where a file has come to stand there), else
    // a temporary one that the rename then moves.
    char folder[4096];
    FolderOf(target, folder);
    for (int attempt = 0; !create; ++attempt) {
      if (!RandomName(folder, temporary)) {
        temporary[0] = 0;
        return Failed(Refusal::kCannotCreateTemporary, ENAMETOOLONG);
      }
      if (linkat(AT_FDCWD, reachable, AT_FDCWD, temporary, AT_SYMLINK_FOLLOW) == 0) {
        std::memcpy(temporaryForSignal, temporary, sizeof temporaryForSignal);
        temporaryLive = 1;
        break;
      }
      const int error = errno;
      temporary[0] = 0;
      if (error != EEXIST || attempt == kNameAttempts) {
        return Failed(Refusal::kCannotCreateTemporary, error);
      }
    }
    if (create && linkat(AT_FDCWD, reachable, AT_FDCWD, target, AT_SYMLINK_FOLLOW) != 0) {
      return errno == EEXIST ? Refuse(Refusal::kImageExists)
                             : Failed(Refusal::kCannotReplace, errno);
    }
  }
  const int closed = close(fd);
  fd = -1;
  if (closed != 0) return Failed(Refusal::kCannotWrite, errno);

  if (unnamed && create) {
    // Named already.
  } else if (create) {
    // A second link, unlike a rename, fails where a file has come to stand
    // at the name in the meantime; file systems without links take the
    // rename.
    if (link(temporary, target) == 0) {
      unlink(temporary);
    } else if (errno == EEXIST) {
      return Refuse(Refusal::kImageExists);
    } else if (rename(temporary, target) != 0) {
      return Failed(Refusal::kCannotReplace, errno);
    }
  } else if (rename(temporary, target) != 0) {
    return Failed(Refusal::kCannotReplace, errno);
  }
  temporaryLive = 0;
  temporary[0] = 0;
  reachable[0] = 0;
  // The new image is in place: the next run may go on.
  if (lockFd >= 0) close(lockFd);
  lockFd = -1;
  // The rename itself reaches the disk with the folder.
  char folder[4096];
  FolderOf(target, folder);
  // Where the folder cannot be opened, both calls fail, and the rename is
  // done all the same.
  const int handle = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  fsync(handle);
  close(handle);
  return problem;
}

void ImageReplacement::Abandon() {
  if (fd >= 0) close(fd);
  fd = -1;
  reachable[0] = 0;
  if (lockFd >= 0) close(lockFd);
  lockFd = -1;
  if (temporary[0] == 0) return;
  const SignalsHeld held;
  unlink(temporary);
  temporaryLive = 0;
  temporary[0] = 0;
}

#endif
