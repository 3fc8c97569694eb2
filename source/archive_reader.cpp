#include "archive_reader.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr std::size_t kBlockSize = 64 * 1024;
// A member whose size is not told is read into room that doubles from here.
constexpr std::size_t kFirstRoom = std::size_t{1} << 20;

}  // namespace

ArchiveReader::~ArchiveReader() {
  if (reader != nullptr) archive_read_free(reader);
}

bool ArchiveReader::Prepare() {
  if (reader != nullptr) archive_read_free(reader);
  reader = archive_read_new();
  if (reader == nullptr) return false;
  // The compressions and the archive formats read; a compressed file that
  // holds no archive is read as it stands ("raw"), which only wins where no
  // archive format recognises the bytes.
  archive_read_support_filter_gzip(reader);
  archive_read_support_filter_bzip2(reader);
  archive_read_support_filter_xz(reader);
  archive_read_support_filter_lzma(reader);
  archive_read_support_filter_zstd(reader);
  archive_read_support_format_zip(reader);
  archive_read_support_format_tar(reader);
  archive_read_support_format_7zip(reader);
  archive_read_support_format_lha(reader);
  archive_read_support_format_raw(reader);
  return true;
}

bool ArchiveReader::Open(const char* path) {
  return Prepare() && archive_read_open_filename(reader, path, kBlockSize) == ARCHIVE_OK;
}

bool ArchiveReader::Open(const std::uint8_t* bytes, std::size_t size) {
  return Prepare() && archive_read_open_memory(reader, bytes, size) == ARCHIVE_OK;
}

ArchiveReader::Next ArchiveReader::NextMember(std::vector<std::uint8_t>& bytes, std::size_t limit) {
  struct archive_entry* entry = nullptr;
  name.assign(1, 0);
  for (;;) {
    const int status = archive_read_next_header(reader, &entry);
    if (status == ARCHIVE_EOF) return Next::kEnd;
    if (status != ARCHIVE_OK && status != ARCHIVE_WARN) return Next::kError;
    if (archive_entry_filetype(entry) == AE_IFREG) break;
  }
  compressedFile = archive_format(reader) == ARCHIVE_FORMAT_RAW;
  const char* path = archive_entry_pathname(entry);
  if (path == nullptr) path = "";
  name.assign(path, path + std::strlen(path) + 1);

  // Room for the whole member where its size is told, and a byte to find
  // its end; past the bound by a byte, the member is too large.
  std::size_t room = kFirstRoom;
  if (archive_entry_size_is_set(entry) && archive_entry_size(entry) >= 0) {
    room = static_cast<std::size_t>(archive_entry_size(entry)) + 1;
  }
  bytes.resize(std::min(room, limit + 1));
  std::size_t used = 0;
  for (;;) {
    if (used == bytes.size()) {
      if (used > limit) {
        bytes.clear();
        return archive_read_data_skip(reader) == ARCHIVE_OK ? Next::kTooLarge : Next::kError;
      }
      bytes.resize(std::min(bytes.size() * 2, limit + 1));
    }
    const la_ssize_t got = archive_read_data(reader, bytes.data() + used, bytes.size() - used);
    if (got < 0) return Next::kError;
    if (got == 0) break;
    used += static_cast<std::size_t>(got);
  }
  bytes.resize(used);
  if (used > limit) return Next::kTooLarge;
  return Next::kMember;
}

const char* ArchiveReader::ErrorText() const {
  const char* text = reader != nullptr ? archive_error_string(reader) : nullptr;
  return text != nullptr ? text : "not enough memory";
}
