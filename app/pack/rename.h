// Choosing entries by name: the name as patterns match it, and the one entry
// that --rename's OLD pattern must match.
#ifndef D88UNPACK_APP_PACK_RENAME_H
#define D88UNPACK_APP_PACK_RENAME_H

#include "console.h"
#include "disk_layout.h"
#include "disk_walk.h"
#include "options.h"

// Up to three bytes of UTF-8 for each byte of a name, and the terminator.
constexpr int kConvertedNameSize = 64;

struct ShownName {
  const char* text;
  bool utf8;
};

// An entry's name as patterns match it: in UTF-8 where names are converted
// and it converts (into `converted`), else its bytes.
ShownName ShownEntryName(const Options& options, const char* raw,
                         char (&converted)[kConvertedNameSize]);

// The one entry of the disk in `disk` whose name matches `pattern`, in
// `found` (its place and record; not its name, which later entries
// overwrite). False when none or more than one does, said on the console's
// error stream.
bool FindOnlyMatch(const Console& console, const Options& options, const char* pattern, int place,
                   DecodedDisk& disk, const DiskRecord& record, EntryRecord& found);

#endif
