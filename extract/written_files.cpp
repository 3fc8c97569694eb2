#include "written_files.h"

#include <algorithm>
#include <iterator>

void WrittenFiles::Note(const FileIdentity& identity, int place, int number) {
  if (count == kCapacity) return;
  identities[count] = identity;
  disks[count] = static_cast<std::uint16_t>(place << 8 | (number & 0xFF));
  ++count;
}

int WrittenFiles::PlaceOf(const FileIdentity& identity, int& number) const {
  // The latest note first.
  const auto latest = std::make_reverse_iterator(identities + count);
  const auto earliest = std::make_reverse_iterator(identities);
  const auto found = std::find(latest, earliest, identity);
  if (found == earliest) return 0;
  const std::uint16_t disk = disks[earliest - found - 1];
  number = disk & 0xFF;
  return disk >> 8;
}
