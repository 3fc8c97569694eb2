#include "written_files.h"

void WrittenFiles::Note(const FileIdentity& identity, int place, int number) {
  if (count == kCapacity) return;
  identities[count] = identity;
  disks[count] = static_cast<std::uint16_t>(place << 8 | (number & 0xFF));
  ++count;
}

bool WrittenFiles::Find(const FileIdentity& identity, int& place, int& number) const {
  for (int i = count - 1; i >= 0; --i) {
    if (identities[i] == identity) {
      place = disks[i] >> 8;
      number = disks[i] & 0xFF;
      return true;
    }
  }
  return false;
}
