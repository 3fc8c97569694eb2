// Putting a new image in the place of the old one, or where none was, so
// that the image is never seen half written. The new image is written to a
// temporary file created exclusively in the image's own folder (where a
// symbolic link at the image's name leads: the file it names is replaced,
// and the link stays), flushed to the disk, and renamed over the image only
// when complete. Any failure, and a signal that ends the process, removes the
// temporary file and leaves the image as it was. The host's own calls are in
// replace_posix.cpp and replace_windows.cpp.
#ifndef D88UNPACK_WRITE_IMAGE_REPLACE_H
#define D88UNPACK_WRITE_IMAGE_REPLACE_H

#include <cstddef>
#include <cstdint>

#include "file_identity.h"
#include "native_path.h"
#include "refusal.h"

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

  // Finds the file `image` names, through any link, and checks that what
  // stands there suits `mode`. Nothing is created yet.
  Problem Prepare(const NativePathChar* image, Mode mode);
  // Whether that file is read-only: no one may write it (on Windows, its
  // read-only attribute). It is replaced all the same, and the new one is
  // read-only too.
  bool ReadOnly() const { return readOnly; }
  // Creates the temporary file beside that file.
  Problem Begin();
  // Copies the image as it is into the temporary file; it must still be the
  // file of `identity`, the one that was read.
  Problem CopyImage(const FileIdentity& identity);
  // Adds bytes at the end of the temporary file.
  Problem Append(const std::uint8_t* data, std::size_t length);
  // Writes bytes at `position` of the temporary file.
  Problem WriteAt(int64_t position, const std::uint8_t* data, std::size_t length);
  // The temporary file's path, for reading back what was written.
  const NativePathChar* TemporaryPath() const { return temporary; }
  // Gives the temporary file the image's permissions (a new image those a
  // new file gets), flushes it to the disk and renames it over the image.
  Problem Commit();
  // Removes the temporary file, if there is one.
  void Abandon();

 private:
  static constexpr int kPathSize = 4096;

  Mode mode = Mode::kReplace;
  bool exists = false;    // a file stands at the target
  bool readOnly = false;  // and no one may write it
  int64_t appended = 0;   // where Append goes on
  NativePathChar target[kPathSize] = {};
  NativePathChar temporary[kPathSize] = {};
#ifdef _WIN32
  void* handle = nullptr;
#else
  int fd = -1;
  unsigned permissions = 0;
  long long owner = -1;
  long long group = -1;
#endif
};

#endif
