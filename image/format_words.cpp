#include "format_words.h"

#include <cstdio>

void DescribeFormatCheck(const FormatCheck& check, char* out, std::size_t size) {
  const unsigned long offset = check.offset;
  const unsigned long diskSize = check.size;
  switch (check.problem) {
    case FormatCheck::Problem::kNone:
      std::snprintf(out, size, "%s", "");
      return;
    case FormatCheck::Problem::kSizeBelowHeader:
      std::snprintf(out, size,
                    "not a D88 image (the size of its first disk, %lu bytes, is smaller than a "
                    "disk header)",
                    diskSize);
      return;
    case FormatCheck::Problem::kTrackInsideHeader:
      std::snprintf(out, size,
                    "not a D88 image (track %d of its first disk starts at byte %lu, inside the "
                    "disk header)",
                    check.track, offset);
      return;
    case FormatCheck::Problem::kTrackPastDisk:
      std::snprintf(out, size,
                    "not a D88 image (track %d of its first disk starts at byte %lu, past the "
                    "disk's end at byte %lu)",
                    check.track, offset, diskSize);
      return;
  }
}
