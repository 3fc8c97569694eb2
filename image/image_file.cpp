#include "image_file.h"

#include <cstring>
#include <filesystem>
#include <system_error>

namespace {

// Seeks with a 64-bit position: std::fseek takes a long, which is 32 bits
// wide on Windows.
bool SeekTo(std::FILE* file, int64_t position) {
#ifdef _WIN32
  return _fseeki64(file, position, SEEK_SET) == 0;
#else
  return fseeko(file, static_cast<off_t>(position), SEEK_SET) == 0;
#endif
}

std::FILE* OpenForReading(const NativePathChar* path) {
#ifdef _WIN32
  return _wfopen(path, L"rb");
#else
  return std::fopen(path, "rb");
#endif
}

// Reads until `length` bytes have arrived or the file gives no more.
int64_t ReadFully(std::FILE* file, std::uint8_t* out, int64_t length) {
  int64_t total = 0;
  while (total < length) {
    const std::size_t got =
        std::fread(out + total, 1, static_cast<std::size_t>(length - total), file);
    if (got == 0) break;
    total += static_cast<int64_t>(got);
  }
  return total;
}

}  // namespace

bool ImageFile::Open(const NativePathChar* path) {
  Close();
  if (path == nullptr || path[0] == 0) return false;
  // Only a regular file (or a link to one) is an image. Some hosts' streams
  // open a directory and fail only on the first read; a pipe or a device
  // cannot seek, and would read as an image without disks.
  std::error_code error;
  if (!std::filesystem::is_regular_file(std::filesystem::path(path), error)) return false;
  file = OpenForReading(path);
  if (file == nullptr) return false;
  // All reads go through our own window; a second buffer would only copy.
  std::setvbuf(file, nullptr, _IONBF, 0);
  return true;
}

void ImageFile::Close() {
  if (file != nullptr) std::fclose(file);
  file = nullptr;
  windowStart = 0;
  windowLength = 0;
}

bool ImageFile::FillWindow(int64_t position) {
  windowStart = position;
  windowLength = 0;
  if (!SeekTo(file, position)) return false;
  windowLength = ReadFully(file, window, kWindowSize);
  return windowLength > 0;
}

const std::uint8_t* ImageFile::Peek(int64_t position, int64_t length) {
  if (file == nullptr || position < 0 || length <= 0 || length > kWindowSize) return nullptr;
  if (position < windowStart || position + length > windowStart + windowLength) {
    if (!FillWindow(position)) return nullptr;
  }
  if (position + length > windowStart + windowLength) return nullptr;
  return window + (position - windowStart);
}

int64_t ImageFile::ReadAt(int64_t position, std::uint8_t* out, int64_t length) {
  if (file == nullptr || position < 0 || length <= 0) return 0;
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
    } else if (length >= kWindowSize) {
      // A large read (a whole sector run's worth) goes straight to the caller.
      if (!SeekTo(file, position)) break;
      total += ReadFully(file, out, length);
      break;
    } else if (!FillWindow(position)) {
      break;
    }
  }
  return total;
}
