#include "finding_words.h"

#include <cstdio>

namespace {

const char* Ending(int count) {
  return count == 1 ? "" : "s";
}

}  // namespace

void DescribeFinding(const FindingFacts& facts, char* out, std::size_t size) {
  const TrackShape& shape = facts.shape;
  switch (facts.finding) {
    case DiskFinding::kDirectory:
      std::snprintf(out, size, "%s", "");
      return;
    case DiskFinding::kUnselectable:
      std::snprintf(out, size,
                    "its header can no longer be read; the image changed while it was read");
      return;
    case DiskFinding::kBlank:
      std::snprintf(out, size, "no directory: the disk is blank (it has no tracks)");
      return;
    case DiskFinding::kCutOff:
      std::snprintf(out, size, "no directory: the image is cut off at byte %lld, inside this disk",
                    static_cast<long long>(facts.cutAt));
      return;
    case DiskFinding::kOtherLayout:
      std::snprintf(out, size,
                    shape.uniform ? "no directory: the disk is of another layout (%d track%s of %d "
                                    "sector%s of %d bytes)"
                                  : "no directory: the disk is of another layout (%d track%s, the "
                                    "first of %d sector%s of %d bytes)",
                    shape.tracks, Ending(shape.tracks), shape.sectors, Ending(shape.sectors),
                    shape.sectorSize);
      return;
    case DiskFinding::kDirectoryMissing:
      std::snprintf(out, size,
                    "no directory: the image does not hold track %d sector %d in full, where the "
                    "directory lies",
                    TrackOf(facts.missingSector), SectorNumberOf(facts.missingSector));
      return;
  }
}
