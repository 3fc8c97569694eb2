#include "input_file.h"

#include <cerrno>

#include "native_api.h"

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

#ifdef _WIN32

Problem InputFile::Open(const wchar_t* path, long long& size) {
  Close();
  const DWORD attributes = GetFileAttributesW(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    return Failed(Refusal::kFileUnreadable, ErrnoOfWindowsError(GetLastError()));
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return Refuse(Refusal::kFileNotRegular);
  const HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return Failed(Refusal::kFileUnreadable, ErrnoOfWindowsError(GetLastError()));
  }
  handle = file;
  if (GetFileType(file) != FILE_TYPE_DISK) return Refuse(Refusal::kFileNotRegular);
  DWORD found = 0;
  if (!IdentityOfHandle(file, identity, found)) {
    return Failed(Refusal::kFileUnreadable, ErrnoOfWindowsError(GetLastError()));
  }
  LARGE_INTEGER length;
  if (!GetFileSizeEx(file, &length)) {
    return Failed(Refusal::kFileUnreadable, ErrnoOfWindowsError(GetLastError()));
  }
  size = length.QuadPart;
  return Problem{};
}

void InputFile::Close() {
  if (handle != nullptr) CloseHandle(static_cast<HANDLE>(handle));
  handle = nullptr;
}

long long InputFile::ReadSome(std::uint8_t* data, int length, int& error) {
  long long done = 0;
  while (done < length) {
    DWORD got = 0;
    if (!ReadFile(static_cast<HANDLE>(handle), data + done, static_cast<DWORD>(length - done), &got,
                  nullptr)) {
      error = ErrnoOfWindowsError(GetLastError());
      return -1;
    }
    if (got == 0) break;
    done += got;
  }
  return done;
}

#else

Problem InputFile::Open(const char* path, long long& size) {
  return OpenAt(AT_FDCWD, path, size, 0);
}

Problem InputFile::OpenAt(int folder, const char* name, long long& size) {
  return OpenAt(folder, name, size, O_NOFOLLOW);
}

Problem InputFile::OpenAt(int folder, const char* name, long long& size, int flags) {
  Close();
  // O_NONBLOCK: a FIFO opens at once, and is then refused.
  fd = openat(folder, name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | flags);
  if (fd < 0) return Failed(Refusal::kFileUnreadable, errno);
  struct stat info;
  if (fstat(fd, &info) != 0) return Failed(Refusal::kFileUnreadable, errno);
  if (!S_ISREG(info.st_mode)) return Refuse(Refusal::kFileNotRegular);
  identity = IdentityOfStatus(info);
  size = info.st_size;
  return Problem{};
}

void InputFile::Close() {
  if (fd != -1) close(fd);
  fd = -1;
}

long long InputFile::ReadSome(std::uint8_t* data, int length, int& error) {
  long long done = 0;
  while (done < length) {
    const ssize_t got = read(fd, data + done, static_cast<std::size_t>(length - done));
    if (got == 0) break;  // the end of the file
    if (got < 0) {
      if (errno == EINTR) continue;
      error = errno;
      return -1;
    }
    done += got;
  }
  return done;
}

#endif

Problem InputFile::Read(std::uint8_t* data, int size) {
  int error = 0;
  const long long got = ReadSome(data, size, error);
  if (got < 0) return Failed(Refusal::kFileUnreadable, error);
  // One byte more than the size told shows a file that grew.
  std::uint8_t more;
  const long long after = got == size ? ReadSome(&more, 1, error) : 0;
  if (after < 0) return Failed(Refusal::kFileUnreadable, error);
  if (got != size || after != 0) return Refuse(Refusal::kFileChanged);
  return Problem{};
}
