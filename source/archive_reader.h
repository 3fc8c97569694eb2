// Reading the members of an archive (zip, tar, 7z, LHA; each perhaps
// compressed as a whole) or the content of a compressed file (gzip, bzip2,
// xz, zstd), one member at a time into memory, through libarchive.
#ifndef D88UNPACK_SOURCE_ARCHIVE_READER_H
#define D88UNPACK_SOURCE_ARCHIVE_READER_H

#include <cstddef>
#include <cstdint>

#include "byte_buffer.h"

struct archive;
struct ArchiveApi;

// libarchive is loaded when the first archive is opened, not when the
// program starts: it brings a dozen libraries with it, whose loading would
// more than double the time a plain image takes to list.
class ArchiveReader {
 public:
  enum class Next : std::uint8_t {
    kMember,    // a member's bytes were read
    kTooLarge,  // a member holds more than the bound: not read
    kEnd,       // no more members
    kError,     // the archive cannot be read on: ErrorText() says why
  };

  ArchiveReader() = default;
  ~ArchiveReader();
  ArchiveReader(const ArchiveReader&) = delete;
  ArchiveReader& operator=(const ArchiveReader&) = delete;

  // Opens the archive at `path`, or the one whose `size` bytes are at
  // `bytes` (read where they lie: they must stay until the reader is done).
  // False: ErrorText() says why.
  bool Open(const char* path);
  bool Open(const std::uint8_t* bytes, std::size_t size);

  // Reads the next regular file among the members into `bytes`, up to
  // `limit` bytes; folders, links and the like are passed over.
  Next NextMember(ByteBuffer& bytes, std::size_t limit);

  // The member last read: its path in the archive, as stored (raw bytes).
  const char* MemberName() const {
    return name.size() > 0 ? reinterpret_cast<const char*>(name.data()) : "";
  }
  // Whether the file is compressed, not an archive: its one member is its
  // content, and has no name of its own.
  bool IsCompressedFile() const { return compressedFile; }
  // Why the last step failed, in libarchive's words.
  const char* ErrorText() const;

 private:
  bool Prepare();

  void* library = nullptr;          // libarchive, once loaded
  const ArchiveApi* api = nullptr;  // its functions, in `functions`
  alignas(void*) unsigned char functions[32 * sizeof(void*)];
  struct archive* reader = nullptr;
  ByteBuffer name;
  bool outOfMemory = false;
  bool compressedFile = false;
};

#endif
