#include "image_file.h"

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <io.h>

#include <filesystem>
#include <system_error>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include "native_api.h"

namespace {

#ifdef _WIN32
// Opens an existing regular file; a directory or device is refused before
// the stream is opened, since some runtimes open a directory and fail only
// on the first read.
std::FILE* OpenRegularFile(const wchar_t* path, int& error, FileIdentity& identity) {
  std::error_code code;
  const std::filesystem::file_status status = std::filesystem::status(path, code);
  if (status.type() == std::filesystem::file_type::not_found) {
    error = ENOENT;
    return nullptr;
  }
  if (std::filesystem::is_directory(status)) {
    error = EISDIR;
    return nullptr;
  }
  // Where the status could not be read, the open below tells why.
  if (!code && !std::filesystem::is_regular_file(status)) {
    error = kNotRegularFile;
    return nullptr;
  }
  errno = 0;
  std::FILE* file = _wfopen(path, L"rb");
  if (file == nullptr) {
    error = errno != 0 ? errno : EACCES;
    return nullptr;
  }
  const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
  DWORD attributes = 0;
  if (handle == INVALID_HANDLE_VALUE || !IdentityOfHandle(handle, identity, attributes)) {
    std::fclose(file);
    error = EIO;
    return nullptr;
  }
  return file;
}
#else
// Opens an existing regular file. The check is made on the opened file
// itself, so nothing can be swapped in between; the open does not wait for
// a writer when the path is a FIFO.
std::FILE* OpenRegularFile(const char* path, int& error, FileIdentity& identity) {
  // A device is refused before it is opened: opening one can act (a tape
  // rewinds, a terminal becomes the controlling one).
  struct stat before;
  if (stat(path, &before) == 0 && !S_ISREG(before.st_mode) && !S_ISDIR(before.st_mode)) {
    error = kNotRegularFile;
    return nullptr;
  }
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    error = errno;
    return nullptr;
  }
  struct stat info;
  if (fstat(fd, &info) != 0) {
    error = errno;
    close(fd);
    return nullptr;
  }
  if (!S_ISREG(info.st_mode)) {
    error = S_ISDIR(info.st_mode) ? EISDIR : kNotRegularFile;
    close(fd);
    return nullptr;
  }
  std::FILE* file = fcntl(fd, F_SETFL, 0) == 0 ? fdopen(fd, "rb") : nullptr;
  if (file == nullptr) {
    error = errno;
    close(fd);
    return nullptr;
  }
  identity = IdentityOfStatus(info);
  return file;
}
#endif

}  // namespace

bool ImageFile::Open(const NativePathChar* path) {
  Close();
  if (path == nullptr || path[0] == 0) {
    openError = ENOENT;
    return false;
  }
  file = OpenRegularFile(path, openError, identity.file);
  if (file == nullptr) return false;
  identity.isFile = true;
  // All reads go through our own window; a second buffer would only copy.
  std::setvbuf(file, nullptr, _IONBF, 0);
  return true;
}

bool ImageFile::Open(const std::uint8_t* bytes, std::size_t size) {
  Close();
  if (bytes == nullptr && size != 0) {
    openError = EINVAL;
    return false;
  }
  // The whole block is the window, and nothing lies past it.
  inMemory = true;
  window = bytes;
  windowLength = static_cast<int64_t>(size);
  return true;
}

void ImageFile::Close() {
  if (file != nullptr) std::fclose(file);
  file = nullptr;
  inMemory = false;
  openError = 0;
  readError = 0;
  identity = ImageIdentity{false, {0, 0}};
  window = buffer;
  windowStart = 0;
  windowLength = 0;
}

// Reads until `length` bytes from `position` have arrived or the file gives
// no more. A seek or read that fails, as opposed to one at the end of the
// file, is remembered.
int64_t ImageFile::ReadFullyAt(int64_t position, std::uint8_t* out, int64_t length) {
  int64_t total = 0;
#ifdef _WIN32
  // A 64-bit seek: std::fseek takes a long, which is 32 bits wide there.
  errno = 0;
  if (_fseeki64(file, position, SEEK_SET) != 0) {
    if (readError == 0) readError = errno != 0 ? errno : EIO;
    return 0;
  }
  while (total < length) {
    errno = 0;
    const std::size_t got =
        std::fread(out + total, 1, static_cast<std::size_t>(length - total), file);
    if (got == 0) {
      if (std::ferror(file)) {
        if (readError == 0) readError = errno != 0 ? errno : EIO;
        std::clearerr(file);
      }
      break;
    }
    total += static_cast<int64_t>(got);
  }
#else
  static_assert(sizeof(off_t) >= 8, "file offsets must be 64-bit (_FILE_OFFSET_BITS=64)");
  // One system call a read, with no seek of its own.
  const int fd = fileno(file);
  while (total < length) {
    const ssize_t got = pread(fd, out + total, static_cast<std::size_t>(length - total),
                              static_cast<off_t>(position + total));
    if (got > 0) {
      total += got;
      continue;
    }
    if (got == 0) break;  // the end of the file
    if (errno == EINTR) continue;
    if (readError == 0) readError = errno;
    break;
  }
#endif
  return total;
}

int64_t ImageFile::GetSize() const {
  if (inMemory) return windowLength;
  if (file == nullptr) return -1;
#ifdef _WIN32
  return _filelengthi64(_fileno(file));
#else
  struct stat info;
  return fstat(fileno(file), &info) == 0 ? static_cast<int64_t>(info.st_size) : -1;
#endif
}

// An image in memory has no more to give than its window already holds.
bool ImageFile::FillWindow(int64_t position) {
  if (inMemory) return false;
  windowStart = position;
  windowLength = ReadFullyAt(position, buffer, kWindowSize);
  return windowLength > 0;
}

const std::uint8_t* ImageFile::Peek(int64_t position, int64_t length) {
  if (!IsOpen() || position < 0 || length <= 0 || length > kWindowSize) return nullptr;
  if (position < windowStart || position + length > windowStart + windowLength) {
    if (!FillWindow(position)) return nullptr;
  }
  if (position + length > windowStart + windowLength) return nullptr;
  return window + (position - windowStart);
}

int64_t ImageFile::ReadAt(int64_t position, std::uint8_t* out, int64_t length) {
  if (!IsOpen() || position < 0) return 0;
  int64_t total = 0;
  while (length > 0) {
    const int64_t windowEnd = windowStart + windowLength;
    if (position >= windowStart && position < windowEnd) {
      const int64_t take = length < windowEnd - position ? length : windowEnd - position;
      std::memcpy(out, window + (position - windowStart), static_cast<std::size_t>(take));
      out += take;
      position += take;
      length -= take;
      total += take;
    } else if (length >= kWindowSize && !inMemory) {
      // A large read (a whole sector run's worth) goes straight to the caller.
      total += ReadFullyAt(position, out, length);
      break;
    } else if (!FillWindow(position)) {
      break;
    }
  }
  return total;
}
