// Telling a compressed file or an archive from a D88 image by its first
// bytes: the signatures the compressors and archivers write at the start.
#ifndef D88UNPACK_SOURCE_SNIFF_H
#define D88UNPACK_SOURCE_SNIFF_H

#include <cstddef>
#include <cstdint>

// How many bytes from the start a signature may need (tar's lies at 257).
constexpr std::size_t kSniffSize = 512;

struct Sniffed {
  // What the bytes say the file is, in words for a message
  // ("gzip-compressed", "a zip archive", ...), or null when they carry no
  // signature known here.
  const char* what;
  bool archive;  // an archive of members, rather than one compressed file
};

// `bytes` are the first `size` bytes of the file (all of it when shorter).
Sniffed CompressedOrArchive(const std::uint8_t* bytes, std::size_t size);

#endif
