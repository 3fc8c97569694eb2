// Read-only access to the bytes of an image by absolute position, wherever
// they lie: in a file, or in a block of memory that the caller holds.
//
// The reader jumps around the file a lot: a sector search walks 16-byte
// headers, skipping each sector's data, and then reads the data it found.
// Every read goes through one fixed window of the file, so that a walk over
// small headers costs one system read per window rather than one per header.
// An image in memory is a window that holds all of it, read where it lies.
#ifndef D88UNPACK_IMAGE_IMAGE_FILE_H
#define D88UNPACK_IMAGE_IMAGE_FILE_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "file_identity.h"
#include "native_path.h"

// Open's reason for a path that is there but is no regular file (a
// directory gives the system's own EISDIR).
constexpr int kNotRegularFile = -1;

// What an image is read from, to know it under any name: an open file, or
// none for an image in memory, which no name leads to.
struct ImageIdentity {
  bool isFile;
  FileIdentity file;  // the file's, when isFile
};

// Whether two images are read from the same file. Images in memory are
// never the same file as anything.
inline bool SameImageFile(const ImageIdentity& a, const ImageIdentity& b) {
  return a.isFile && b.isFile && a.file == b.file;
}

class ImageFile {
 public:
  ImageFile() = default;
  ~ImageFile() { Close(); }
  ImageFile(const ImageFile&) = delete;
  ImageFile& operator=(const ImageFile&) = delete;

  // Opens an existing regular file for binary reading. A path that names a
  // directory, a pipe or a device is refused here on every host, whatever
  // the stream would do. On failure GetOpenError() tells why.
  bool Open(const NativePathChar* path);
  // Takes the `size` bytes at `bytes` as the image. They are read where
  // they lie, never copied, and must stay as they are until the image is
  // closed. No bytes (null, 0) are an empty image; null with a size is
  // refused (EINVAL).
  bool Open(const std::uint8_t* bytes, std::size_t size);
  void Close();
  bool IsOpen() const { return file != nullptr || inMemory; }

  // Why the last Open failed: the system's error number, or kNotRegularFile.
  int GetOpenError() const { return openError; }

  // The open file's identity, read once when it was opened; none for an
  // image in memory.
  const ImageIdentity& GetIdentity() const { return identity; }

  // The error number of the first read or seek that failed since the file
  // was opened (not the end of the file, which is no error), or 0. Memory
  // never fails.
  int GetReadError() const { return readError; }

  // Copies up to `length` bytes starting at file position `position` into
  // `out` and returns how many were there. A position at or past the end of
  // the file, or a negative one, yields 0.
  int64_t ReadAt(int64_t position, std::uint8_t* out, int64_t length);

  // The file's size now (the block's for an image in memory), or -1 when it
  // cannot be told.
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
  bool inMemory = false;  // the image is the block `window` points at
  int openError = 0;
  int readError = 0;
  ImageIdentity identity = {false, {0, 0}};
  // The bytes of the image from windowStart on: in `buffer` for a file, the
  // caller's block for an image in memory.
  const std::uint8_t* window = buffer;
  int64_t windowStart = 0;
  int64_t windowLength = 0;  // 0: the window holds nothing
  std::uint8_t buffer[kWindowSize];
};

#endif
