#include "read_stream.h"

#include <algorithm>
#include <cerrno>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

constexpr std::size_t kFirstRead = std::size_t{1} << 20;

// The size of the file the stream reads, where it is a regular file: room
// for it all at once, and one byte to find the end.
std::size_t SizeHint(std::FILE* stream) {
#ifndef _WIN32
  struct stat info;
  if (fstat(fileno(stream), &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
    return static_cast<std::size_t>(info.st_size) + 1;
  }
#else
  (void)stream;
#endif
  return kFirstRead;
}

}  // namespace

int ReadWholeStream(std::FILE* stream, ByteBuffer& bytes, std::size_t limit) {
  std::size_t used = 0;
  if (!bytes.Resize(std::min(SizeHint(stream), limit + 1))) return ENOMEM;
  for (;;) {
    if (used == bytes.size()) {
      // Past the bound by a byte: that is all it takes to know.
      if (used > limit) return EFBIG;
      if (!bytes.Resize(std::min(bytes.size() * 2, limit + 1))) return ENOMEM;
    }
    errno = 0;
    const std::size_t got = std::fread(bytes.data() + used, 1, bytes.size() - used, stream);
    used += got;
    if (got > 0) continue;
    if (std::ferror(stream)) {
      const int error = errno != 0 ? errno : EIO;
      std::clearerr(stream);
      return error;
    }
    break;
  }
  bytes.Resize(used);
  return 0;
}
