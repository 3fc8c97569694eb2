// Entry names from file names. An entry holds a 6-byte name and a 3-byte
// extension, each padded with spaces; the listing shows the name up to its
// first space, then '.' and the extension when there is one. A file name is
// stored only when it is listed back as the very same name.
#ifndef D88UNPACK_WRITE_ENTRY_NAME_H
#define D88UNPACK_WRITE_ENTRY_NAME_H

#include <cstdint>
#include <cstring>

#include "disk_layout.h"
#include "refusal.h"

// The name and extension bytes of an entry, in directory order.
struct EntryName {
  static constexpr int kSize = directory_entry::kNameLength + directory_entry::kExtensionLength;
  std::uint8_t bytes[kSize];
};

inline bool operator==(const EntryName& a, const EntryName& b) {
  return std::memcmp(a.bytes, b.bytes, EntryName::kSize) == 0;
}

// The file name a path ends in: what follows its last '/' (on Windows also
// its last '\' or a drive's ':').
const char* BaseName(const char* path);

// The entry name of the file name `name`, split at its last '.'. With
// `fromUtf8` the name is UTF-8 text and is stored as code page 932;
// otherwise its bytes are stored as they stand. kNone, or why the name
// cannot be stored.
Refusal MakeEntryName(const char* name, bool fromUtf8, EntryName& entry);

#endif
