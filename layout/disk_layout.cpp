#include "disk_layout.h"

#include <algorithm>

MissingBytes CountMissingBytes(const DecodedDisk& disk, int from, int to) {
  MissingBytes missing{0, 0, -1, -1};
  // The sectors from the one `from` is in to the one the last byte is in.
  for (int sector = from / kSectorSize; sector <= (to - 1) / kSectorSize; ++sector) {
    const int missingFrom = std::max(from, sector * kSectorSize + disk.held[sector]);
    const int missingTo = std::min(to, (sector + 1) * kSectorSize);
    if (missingFrom >= missingTo) continue;
    missing.bytes += missingTo - missingFrom;
    ++missing.sectors;
    if (missing.firstSector < 0) missing.firstSector = sector;
    missing.lastSector = sector;
  }
  return missing;
}

int FirstMissingByte(const DecodedDisk& disk, int from, int to) {
  const MissingBytes missing = CountMissingBytes(disk, from, to);
  if (missing.sectors == 0) return to;
  return std::max(from, missing.firstSector * kSectorSize + disk.held[missing.firstSector]);
}
