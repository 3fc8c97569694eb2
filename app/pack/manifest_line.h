// One line of a manifest: the JSON Lines that d88unpack --json writes,
// read back as the disks and files of an image to make. Each line is one
// JSON object; "type" says which. Keys d88pack does not need are passed
// over.
#ifndef D88UNPACK_APP_PACK_MANIFEST_LINE_H
#define D88UNPACK_APP_PACK_MANIFEST_LINE_H

#include <cstddef>
#include <cstdint>

#include "d88_format.h"

// The longest line read, its line end included.
constexpr int kMaxManifestLine = 1 << 16;

struct ManifestDisk {
  bool directory;  // false: a disk whose directory could not be read
  int number;
  char label[d88::disk_header::kNameLength];
  std::size_t labelLength;
  bool writeProtected;
  int media;
  int fill;                // 0 where not told
  int directoryFill;       // 0 where not told
  const char* systemArea;  // its path, or null
};

struct ManifestFile {
  char name[16];  // the name's bytes as listed
  std::size_t nameLength;
  int size;
  int start;
  int allocation;      // -1: not told
  bool written;        // "status" is "written"
  const char* status;  // as given
  const char* path;    // null where there is none
};

enum class LineKind : std::uint8_t { kBlank, kDisk, kFile, kBad };

struct ManifestLine {
  LineKind kind;
  ManifestDisk disk;
  ManifestFile file;
  // kBad: what is wrong with it.
  char why[160];
};

// Where the JSON parser keeps a line's values and its own stack while it
// reads it: the caller's, used anew for each line.
struct ManifestParseRoom {
  char values[2 * kMaxManifestLine];
  char stack[1 << 12];
};

// Reads the NUL-terminated `text` (changed in place: the strings of `line`
// point into it) as one line of a manifest, working in `room`.
void ParseManifestLine(char* text, ManifestParseRoom& room, ManifestLine& line);

#endif
