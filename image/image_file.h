// Read-only access to the image file by absolute position.
//
// The reader jumps around the file a lot: a sector search walks 16-byte
// headers, skipping each sector's data, and then reads the data it found.
// Every read goes through one fixed window of the file, so that a walk over
// small headers costs one system read per window rather than one per header.
#ifndef D88UNPACK_IMAGE_IMAGE_FILE_H
#define D88UNPACK_IMAGE_IMAGE_FILE_H

#include <cstdint>
#include <cstdio>

#include "file_identity.h"
#include "native_path.h"

// Open's reason for a path that is there but is no regular file (a
// directory gives the system's own EISDIR).
constexpr int kNotRegularFile = -1;

class ImageFile {
 public:
  ImageFile() = default;
  ImageFile(const ImageFile&) = delete;
  ImageFile& operator=(const ImageFile&) = delete;

  // Opens an existing regular file for binary reading. A path that names a
  // directory, a pipe or a device is refused here on every host, whatever
  // the stream would do. On failure GetOpenError() tells why.
  bool Open(const NativePathChar* path);
  void Close();
  bool IsOpen() const { return file != nullptr; }

  // Why the last Open failed: the system's error number, or kNotRegularFile.
  int GetOpenError() const { return openError; }

  // The open file's identity, read once when it was opened.
  const FileIdentity& GetIdentity() const { return identity; }

  // The error number of the first read or seek that failed since the file
  // was opened (not the end of the file, which is no error), or 0.
  int GetReadError() const { return readError; }

  // Copies up to `length` bytes starting at file position `position` into
  // `out` and returns how many were there. A position at or past the end of
  // the file, or a negative one, yields 0.
  int64_t ReadAt(int64_t position, std::uint8_t* out, int64_t length);

  // The file's size now, or -1 when it cannot be told.
  int64_t GetSize() const;

  // The `length` bytes at `position` as they lie in the window, or null when
  // the file ends before them. `length` is at most the window's size; the
  // bytes stay valid until the next read. Header walks use this to avoid a
  // copy per header.
  const std::uint8_t* Peek(int64_t position, int64_t length);

 private:
  static constexpr int64_t kWindowSize = 64 * 1024;

  bool FillWindow(int64_t position);
  int64_t ReadFullyAt(int64_t position, std::uint8_t* out, int64_t length);

  std::FILE* file = nullptr;
  int openError = 0;
  int readError = 0;
  FileIdentity identity = {0, 0};
  int64_t windowStart = 0;
  int64_t windowLength = 0;  // 0: the window holds nothing
  std::uint8_t window[kWindowSize];
};

#endif
