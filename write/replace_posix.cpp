// Replacing the image on POSIX hosts: the temporary file is named after this
// process and created with O_EXCL, so that no stale one left by a killed run
// is ever taken for it, and the rename is the one step that changes what the
// image's name leads to.
#ifndef _WIN32

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "image_replace.h"
#include "native_api.h"

namespace {

// The temporary file a signal must remove, as the handler sees it.
volatile sig_atomic_t temporaryLive = 0;
char temporaryForSignal[4096];

constexpr int kCleanedSignals[] = {SIGHUP,  SIGINT,  SIGQUIT, SIGTERM, SIGPIPE,
                                   SIGALRM, SIGXFSZ, SIGUSR1, SIGUSR2};

extern "C" void RemoveTemporaryAndDie(int signal) {
  if (temporaryLive) unlink(temporaryForSignal);
  // The handler was reset on entry: the signal, raised again, ends the
  // process as it would have, once the handler returns.
  raise(signal);
}

// Only signals that would end the process are caught: one that the process
// was started with ignored stays ignored, and one with a handler keeps it.
void CatchSignals() {
  static bool caught = false;
  if (caught) return;
  caught = true;
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

// Blocks the signals above while the temporary file comes or goes, so that
// the handler never removes a name that is not, or no longer, ours.
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

}  // namespace

Problem ImageReplacement::Prepare(const char* image, Mode wanted) {
  mode = wanted;
  struct stat info;
  exists = lstat(image, &info) == 0;
  if (!exists && errno != ENOENT) return Failed(Refusal::kImageUnopenable, errno);
  if (!exists && mode == Mode::kReplace) return Failed(Refusal::kImageUnopenable, ENOENT);
  if (exists && mode == Mode::kCreate) return Refuse(Refusal::kImageExists);
  if (!exists) {
    if (std::strlen(image) >= sizeof target) return Failed(Refusal::kImageUnopenable, ENAMETOOLONG);
    std::strcpy(target, image);
    return Problem{};
  }
  // The file a link leads to is replaced in its own folder; the link stays.
  char resolved[PATH_MAX];
  if (realpath(image, resolved) == nullptr) {
    if (errno == ENOENT && S_ISLNK(info.st_mode)) return Refuse(Refusal::kImageDanglingLink);
    return Failed(Refusal::kImageUnopenable, errno);
  }
  if (stat(resolved, &info) != 0) return Failed(Refusal::kImageUnopenable, errno);
  if (!S_ISREG(info.st_mode)) return Refuse(Refusal::kImageNotRegular);
  if (std::strlen(resolved) >= sizeof target) {
    return Failed(Refusal::kImageUnopenable, ENAMETOOLONG);
  }
  std::strcpy(target, resolved);
  permissions = info.st_mode & 07777;
  readOnly = (permissions & 0222) == 0;
  owner = info.st_uid;
  group = info.st_gid;
  return Problem{};
}

Problem ImageReplacement::Begin() {
  CatchSignals();
  char folder[4096];
  FolderOf(target, folder);
  for (int attempt = 0;; ++attempt) {
    const int length = std::snprintf(temporary, sizeof temporary, "%s/.d88pack-%ld-%d.tmp", folder,
                                     static_cast<long>(getpid()), attempt);
    if (length < 0 || static_cast<std::size_t>(length) >= sizeof temporary) {
      temporary[0] = 0;
      return Failed(Refusal::kCannotCreateTemporary, ENAMETOOLONG);
    }
    const SignalsHeld held;
    fd = open(temporary, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) {
      std::memcpy(temporaryForSignal, temporary, sizeof temporaryForSignal);
      temporaryLive = 1;
      return Problem{};
    }
    const int error = errno;
    if (error != EEXIST || attempt == 100) {
      temporary[0] = 0;
      return Failed(Refusal::kCannotCreateTemporary, error);
    }
  }
}

Problem ImageReplacement::CopyImage(const FileIdentity& identity) {
  const int source = open(target, O_RDONLY | O_CLOEXEC);
  if (source < 0) return Failed(Refusal::kImageUnreadable, errno);
  struct stat info;
  if (fstat(source, &info) != 0 || !(IdentityOfStatus(info) == identity)) {
    close(source);
    return Refuse(Refusal::kImageChanged);
  }
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
  static std::uint8_t buffer[1 << 20];
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
  close(source);
  return Problem{};
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

Problem ImageReplacement::Commit() {
  if (exists) {
    // The owner and group are kept where the user may give them; otherwise
    // the new file stays the user's, which is not worth failing for.
    const int kept = fchown(fd, static_cast<uid_t>(owner), static_cast<gid_t>(group));
    static_cast<void>(kept);
  } else {
    const mode_t mask = umask(0);
    umask(mask);
    permissions = 0666 & ~mask;
  }
  if (fchmod(fd, static_cast<mode_t>(permissions)) != 0 || fsync(fd) != 0) {
    return Failed(Refusal::kCannotWrite, errno);
  }
  const int closed = close(fd);
  fd = -1;
  if (closed != 0) return Failed(Refusal::kCannotWrite, errno);

  const SignalsHeld held;
  if (mode == Mode::kCreate || (mode == Mode::kCreateOrReplace && !exists)) {
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
  // The rename itself reaches the disk with the folder.
  char folder[4096];
  FolderOf(target, folder);
  // Where the folder cannot be opened, both calls fail, and the rename is
  // done all the same.
  const int handle = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  fsync(handle);
  close(handle);
  return Problem{};
}

void ImageReplacement::Abandon() {
  if (fd >= 0) close(fd);
  fd = -1;
  if (temporary[0] == 0) return;
  const SignalsHeld held;
  unlink(temporary);
  temporaryLive = 0;
  temporary[0] = 0;
}

#endif
