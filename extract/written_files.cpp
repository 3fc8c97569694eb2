#include "written_files.h"

void WrittenFiles::Note(const FileIdentity& identity, int place, int number) {
  if (count == kCapacity) return;
  identities[count] = identity;
  disks[count] = static_cast<std::uint16_t>(place << 8 | (number & 0xFF));
  ++count;
}

int WrittenFiles::PlaceOf(const FileIdentity& identity, int& number) const {
  for (int i = count; i > 0; --i) {
    if (identities[i - 1] == identity) {
      number = disks[i - 1] & 0xFF;
      return disks[i - 1] >> 8;
    }
  }
  return 0;
}
