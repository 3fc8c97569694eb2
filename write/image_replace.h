// Putting a new image in the place of the old one, or where none was, so
// that the image is never seen half written and no one else's change to it
// is lost.
//
// Runs that change one image take turns: each holds an exclusive advisory
// lock on the image's file from before it reads the image until its new
// image is in place (flock on POSIX hosts, LockFileEx on Windows); where the
// file system has no locks, a run goes on without. Writers that take no lock
// are caught by the image's state (identity, size, modification and change
// times), noted when it is locked and compared after the copy is made and
// right before the rename: any difference refuses the run.
//
// The new image is written to a temporary file in the image's own folder
// (where a symbolic link at the image's name leads: the file it names is
// replaced, and the link stays). On Linux that file has no name at all until
// it is complete and flushed (O_TMPFILE), so that a run killed outright
// leaves nothing; elsewhere, and where the file system refuses that, it is
// created exclusively under a name with a random part. It takes the image's
// owner and group, extended attributes (the ACL among them) and permissions,
// and is renamed over the image only when complete. Any failure, and a
// signal that ends the process, removes the temporary file and leaves the
// image as it was.
//
// The flag and name a signal handler needs to remove the temporary file are
// the one piece of process state of the writer. The host's own calls are in
// replace_posix.cpp and replace_windows.cpp.
#ifndef D88UNPACK_WRITE_IMAGE_REPLACE_H
#define D88UNPACK_WRITE_IMAGE_REPLACE_H

#include <cstddef>
#include <cstdint>

#include "file_identity.h"
#include "native_path.h"
#include "refusal.h"

// What a file is and how it stood: its identity, its size, and its
// modification and change times in nanoseconds (on Windows its last write
// and change times).
struct FileState {
  FileIdentity identity;
  int64_t size;
  int64_t modified;
  int64_t changed;
};

inline bool operator==(const FileState& a, const FileState& b) {
  return a.identity == b.identity && a.size == b.size && a.modified == b.modified &&
         a.changed == b.changed;
}

class ImageReplacement {
 public:
  enum class Mode : std::uint8_t {
    kReplace,          // the image must exist, a regular file
    kCreate,           // nothing may stand at the image's name
    kCreateOrReplace,  // either
  };

  ImageReplacement() = default;
  ~ImageReplacement() { Abandon(); }
  ImageReplacement(const ImageReplacement&) = delete;
  ImageReplacement& operator=(const ImageReplacement&) = delete;

  // Finds the file `image` names, through any link, and notes its state.
  // Nothing is created or opened yet. What stands there is checked against
  // `mode` only after that, so that Exists() and State() tell what was
  // found even when it is refused. With `force`, an owner, group or
  // extended attribute that the new image cannot keep does not stop the
  // run.
  Problem Prepare(const NativePathChar* image, Mode mode, bool force = false);
  // Whether a file stands at the name, and its state as Prepare or Lock
  // found it.
  bool Exists() const { return exists; }
  const FileState& State() const { return state; }
  // Why the user should not replace the image without --force: no one may
  // write it (kImageReadOnly; on Windows its read-only attribute), or the
  // user may not (kImageNotWritable). It is replaced all the same with
  // --force, and the new one is read-only where the old one was.
  Problem Permission() const;
  // Takes an exclusive lock on the file found, waiting while another run
  // holds one, and then checks that the image's name still leads to that
  // file; if not, finds the file anew and locks that one. Notes the file's
  // state as it is when locked. Nothing is done where no file stands at the
  // name. The lock is held until Commit or Abandon.
  Problem Lock();
  // Creates the temporary file beside that file, with the image's owner,
  // group and extended attributes.
  Problem Begin();
  // Copies the image as it is into the temporary file; it must still be
  // the file found, in the state noted.
  Problem CopyImage();
  // Adds bytes at the end of the temporary file.
  Problem Append(const std::uint8_t* data, std::size_t length);
  // Writes bytes at `position` of the temporary file, and reads them.
  Problem WriteAt(int64_t position, const std::uint8_t* data, std::size_t length);
  Problem ReadAt(int64_t position, std::uint8_t* data, std::size_t length);
  // A path that opens the temporary file, for reading back what was
  // written (on Linux one of /proc/self/fd while it has no name).
  const NativePathChar* TemporaryPath() const { return reachable; }
  // Gives the temporary file the image's permissions (a new image those a
  // new file gets), flushes it to the disk, checks that the image is still
  // as it was noted, and renames it over the image.
  Problem Commit();
  // Removes the temporary file, if there is one, and lets go of the lock.
  void Abandon();
  // Abandons what a run left, and forgets all it found: as new, for the
  // next run. Prepare starts with it.
  void Reset() {
    // Abandon leaves no temporary file, and no path to one.
    Abandon();
    mode = Mode::kReplace;
    force = false;
    exists = false;
    readOnly = false;
    writable = true;
    state = FileState{};
    given = nullptr;
    appended = 0;
    target[0] = 0;
#ifndef _WIN32
    unnamed = false;
    permissions = 0;
    owner = -1;
    group = -1;
#endif
  }

 private:
  static constexpr int kPathSize = 4096;

  // Whether the image at the name is still the one noted.
  Problem Unchanged() const;
  // Gives the temporary file the owner, group and extended attributes of
  // the image.
  Problem KeepOwnerAndAttributes();

  Mode mode = Mode::kReplace;
  bool force = false;
  bool exists = false;    // a file stands at the target
  bool readOnly = false;  // and no one may write it
  bool writable = true;   // the user may write it
  FileState state{};
  const NativePathChar* given = nullptr;  // the image's name as given
  int64_t appended = 0;                   // where Append goes on
  NativePathChar target[kPathSize] = {};
  // The temporary file's name, while it has one, and a path that reaches it.
  NativePathChar temporary[kPathSize] = {};
  NativePathChar reachable[kPathSize] = {};
  // For the copy where the kernel cannot make it, and for the extended
  // attributes: their names, and one value.
  static constexpr std::size_t kBufferSize = 1 << 17;
  std::uint8_t buffer[kBufferSize];
#ifdef _WIN32
  void* handle = nullptr;
  void* lockHandle = nullptr;
#else
  int fd = -1;
  int lockFd = -1;
  bool unnamed = false;  // the temporary file has no name yet
  unsigned permissions = 0;
  long long owner = -1;
  long long group = -1;
#endif
};

#endif
