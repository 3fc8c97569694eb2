#include "rename.h"

#include <cstdio>
#include <cstring>

#include "codepage.h"
#include "console.h"
#include "pattern.h"

ShownName ShownEntryName(const Options& options, const char* raw,
                         char (&converted)[kConvertedNameSize]) {
  if (ConvertsNames(options) && Cp932ToUtf8(raw, std::strlen(raw), converted, sizeof converted)) {
    return {converted, true};
  }
  return {raw, false};
}

bool FindOnlyMatch(const Console& console, const Options& options, const char* pattern, int place,
                   DecodedDisk& disk, const DiskRecord& record, EntryRecord& found) {
  Pattern chosen(pattern);
  char converted[kConvertedNameSize];
  int matches = 0;
  EntryWalk walk(disk, record);
  for (EntryRecord entry; walk.Next(entry);) {
    const ShownName shown = ShownEntryName(options, entry.name, converted);
    if (!chosen.Matches(shown.text, shown.utf8, options.ignoreCase)) continue;
    // Its name is built anew for the next entry: only its place and record
    // are kept.
    if (++matches == 1) found = entry;
  }
  if (matches == 1) return true;
  PutPathPrefix(console, options.image);
  std::fprintf(console.err, "disk %d: ", place);
  PutTyped(pattern, console.err);
  if (matches == 0) {
    std::fputs(": not found\n", console.err);
  } else {
    std::fprintf(console.err, ": matches %d entries; the name to change must match one\n", matches);
  }
  return false;
}
