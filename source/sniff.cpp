#include "sniff.h"

#include <cstring>

namespace {

struct Signature {
  std::size_t offset;
  const char* bytes;
  std::size_t length;
  const char* what;
  bool archive;
};

// The signatures of the formats read: the compressors' and the archivers'.
// An LHA archive's "-lh5-" and the like are matched apart, below.
constexpr Signature kSignatures[] = {
    {0, "\x1F\x8B", 2, "gzip-compressed", false},
    {0, "BZh", 3, "bzip2-compressed", false},
    {0,
     "\xFD"
     "7zXZ\x00",
     6, "xz-compressed", false},
    {0, "\x28\xB5\x2F\xFD", 4, "zstd-compressed", false},
    {0, "PK\x03\x04", 4, "a zip archive", true},
    {0, "PK\x05\x06", 4, "a zip archive", true},  // one with no members
    {0, "7z\xBC\xAF\x27\x1C", 6, "a 7z archive", true},
    {257, "ustar", 5, "a tar archive", true},
};

bool At(const std::uint8_t* bytes, std::size_t size, std::size_t offset, const char* what,
        std::size_t length) {
  return offset + length <= size && std::memcmp(bytes + offset, what, length) == 0;
}

}  // namespace

Sniffed CompressedOrArchive(const std::uint8_t* bytes, std::size_t size) {
  for (const Signature& s : kSignatures) {
    if (At(bytes, size, s.offset, s.bytes, s.length)) return Sniffed{s.what, s.archive};
  }
  // LHA: a header size and checksum, then the method, "-lh5-", "-lzs-" and
  // the like.
  if (size >= 7 && bytes[2] == '-' && bytes[3] == 'l' && (bytes[4] == 'h' || bytes[4] == 'z') &&
      bytes[6] == '-') {
    return Sniffed{"an LHA archive", true};
  }
  return Sniffed{nullptr, false};
}
