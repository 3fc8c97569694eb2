// Reading a FILE to put on a disk: a regular file, its size told before its
// bytes are read into the place made for them.
#ifndef D88UNPACK_APP_PACK_INPUT_FILE_H
#define D88UNPACK_APP_PACK_INPUT_FILE_H

#include <cstdint>

#include "file_identity.h"
#include "native_path.h"
#include "refusal.h"

class InputFile {
 public:
  InputFile() = default;
  ~InputFile() { Close(); }
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // Opens a regular file and tells its size; a FIFO or device is refused
  // without waiting on it.
  Problem Open(const NativePathChar* path, long long& size);
#ifndef _WIN32
  // Opens `name` in the folder open as `folder`, never through a symbolic
  // link at that name (ELOOP).
  Problem OpenAt(int folder, const char* name, long long& size);
#endif
  // What the file open is, whatever name led to it.
  const FileIdentity& Identity() const {
    return identity;
  }
  // Reads exactly `size` bytes, the size Open told, and makes sure no more
  // follow.
  Problem Read(std::uint8_t* data, int size);
  void Close();

 private:
  // Reads up to `length` bytes: the count, or -1 with the system's error.
  long long ReadSome(std::uint8_t* data, int length, int& error);

  FileIdentity identity{};

#ifdef _WIN32
  void* handle = nullptr;
#else
  Problem OpenAt(int folder, const char* name, long long& size, int flags);
  int fd = -1;
#endif
};

#endif
