#include "archive_reader.h"

#include <archive.h>
#include <archive_entry.h>
#include <dlfcn.h>

#include <algorithm>
#include <cstring>
#include <new>

// The functions of libarchive used here, each with its own type.
#define D88_ARCHIVE_FUNCTIONS(X)                                                                  \
  X(archive_read_new)                                                                             \
  X(archive_read_free)                                                                            \
  X(archive_read_support_filter_gzip)                                                             \
  X(archive_read_support_filter_bzip2)                                                            \
  X(archive_read_support_filter_xz)                                                               \
  X(archive_read_support_filter_lzma)                                                             \
  X(archive_read_support_filter_zstd) X(archive_read_support_format_zip)                          \
      X(archive_read_support_format_tar) X(archive_read_support_format_7zip)                      \
          X(archive_read_support_format_lha) X(archive_read_support_format_raw)                   \
              X(archive_read_open_filename) X(archive_read_open_memory)                           \
                  X(archive_read_next_header) X(archive_read_data) X(archive_format)              \
                      X(archive_error_string) X(archive_entry_filetype) X(archive_entry_pathname) \
                          X(archive_entry_size_is_set) X(archive_entry_size)

struct ArchiveApi {
#define D88_ARCHIVE_MEMBER(name) decltype(&::name) name;
  D88_ARCHIVE_FUNCTIONS(D88_ARCHIVE_MEMBER)
#undef D88_ARCHIVE_MEMBER
};

namespace {

// The library's file, by its ABI's name and, failing that, the
// development link's.
constexpr const char* kLibraryNames[] = {"libarchive.so.13", "libarchive.so"};

constexpr std::size_t kBlockSize = 64 * 1024;
// A member whose size is not told is read into room that doubles from here.
constexpr std::size_t kFirstRoom = std::size_t{1} << 20;

}  // namespace

ArchiveReader::~ArchiveReader() {
  if (reader != nullptr) api->archive_read_free(reader);
  if (library != nullptr) dlclose(library);
}

bool ArchiveReader::Prepare() {
  static_assert(sizeof(ArchiveApi) <= sizeof functions, "room for libarchive's functions");
  if (api == nullptr) {
    for (const char* name : kLibraryNames) {
      library = dlopen(name, RTLD_NOW | RTLD_LOCAL);
      if (library != nullptr) break;
    }
    ArchiveApi* loaded = library != nullptr ? new (functions) ArchiveApi{} : nullptr;
    bool whole = loaded != nullptr;
#define D88_ARCHIVE_LOAD(name)                                                 \
  if (whole) {                                                                 \
    loaded->name = reinterpret_cast<decltype(&::name)>(dlsym(library, #name)); \
    whole = loaded->name != nullptr;                                           \
  }
    D88_ARCHIVE_FUNCTIONS(D88_ARCHIVE_LOAD)
#undef D88_ARCHIVE_LOAD
    if (whole) api = loaded;
  }
  if (api == nullptr) return false;
  if (reader != nullptr) api->archive_read_free(reader);
  reader = api->archive_read_new();
  if (reader == nullptr) return false;
  // The compressions and the archive formats read; a compressed file that
  // holds no archive is read as it stands ("raw"), which only wins where no
  // archive format recognises the bytes.
  api->archive_read_support_filter_gzip(reader);
  api->archive_read_support_filter_bzip2(reader);
  api->archive_read_support_filter_xz(reader);
  api->archive_read_support_filter_lzma(reader);
  api->archive_read_support_filter_zstd(reader);
  api->archive_read_support_format_zip(reader);
  api->archive_read_support_format_tar(reader);
  api->archive_read_support_format_7zip(reader);
  api->archive_read_support_format_lha(reader);
  api->archive_read_support_format_raw(reader);
  return true;
}

bool ArchiveReader::Open(const char* path) {
  return Prepare() && api->archive_read_open_filename(reader, path, kBlockSize) == ARCHIVE_OK;
}

bool ArchiveReader::Open(const std::uint8_t* bytes, std::size_t size) {
  return Prepare() && api->archive_read_open_memory(reader, bytes, size) == ARCHIVE_OK;
}

ArchiveReader::Next ArchiveReader::NextMember(ByteBuffer& bytes, std::size_t limit) {
  struct archive_entry* entry = nullptr;
  name.Resize(0);
  outOfMemory = false;
  for (;;) {
    const int status = api->archive_read_next_header(reader, &entry);
    if (status == ARCHIVE_EOF) return Next::kEnd;
    if (status != ARCHIVE_OK && status != ARCHIVE_WARN) return Next::kError;
    if (api->archive_entry_filetype(entry) == AE_IFREG) break;
  }
  compressedFile = api->archive_format(reader) == ARCHIVE_FORMAT_RAW;
  const char* path = api->archive_entry_pathname(entry);
  if (path == nullptr) path = "";
  const std::size_t pathLength = std::strlen(path) + 1;
  outOfMemory = !name.Resize(pathLength);
  if (outOfMemory) return Next::kError;
  std::memcpy(name.data(), path, pathLength);

  // Room for the whole member where its size is told, and a byte to find
  // its end; past the bound by a byte, the member is too large.
  std::size_t room = kFirstRoom;
  if (api->archive_entry_size_is_set(entry) && api->archive_entry_size(entry) >= 0) {
    room = static_cast<std::size_t>(api->archive_entry_size(entry)) + 1;
  }
  std::size_t used = 0;
  outOfMemory = !bytes.Resize(std::min(room, limit + 1));
  for (;;) {
    if (outOfMemory) return Next::kError;
    if (used == bytes.size()) {
      // The rest of it is passed over when the next member is sought.
      if (used > limit) return Next::kTooLarge;
      outOfMemory = !bytes.Resize(std::min(bytes.size() * 2, limit + 1));
      continue;
    }
    const la_ssize_t got = api->archive_read_data(reader, bytes.data() + used, bytes.size() - used);
    if (got < 0) return Next::kError;
    if (got == 0) break;
    used += static_cast<std::size_t>(got);
  }
  bytes.Resize(used);
  return Next::kMember;
}

const char* ArchiveReader::ErrorText() const {
  if (api == nullptr) return "libarchive (libarchive.so.13) cannot be loaded";
  if (outOfMemory) return "not enough memory";
  const char* text = reader != nullptr ? api->archive_error_string(reader) : nullptr;
  return text != nullptr ? text : "not enough memory";
}
