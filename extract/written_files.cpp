#include "written_files.h"

#include <algorithm>
#include <iterator>

WrittenFiles::WrittenFiles() : files() {
  std::fill(std::begin(slots), std::end(slots), -1);
}

int WrittenFiles::SlotOf(const FileIdentity& identity) const {
  // Inode numbers are dense and devices few: mix both, then probe on.
  std::uint64_t hash = (identity.file ^ identity.device << 32) * 0x9E3779B97F4A7C15u;
  for (unsigned slot = static_cast<unsigned>(hash >> 49);; slot = (slot + 1) % kSlots) {
    if (slots[slot] < 0 || files[slots[slot]].identity == identity) return static_cast<int>(slot);
  }
}

void WrittenFiles::Note(const FileIdentity& identity, int place, int number) {
  const int slot = SlotOf(identity);
  if (slots[slot] < 0) {
    if (count == kCapacity) return;
    slots[slot] = static_cast<std::int16_t>(count++);
  }
  files[slots[slot]] = Written{identity, place, number};
}

bool WrittenFiles::Find(const FileIdentity& identity, int& place, int& number) const {
  const int slot = SlotOf(identity);
  if (slots[slot] < 0) return false;
  place = files[slots[slot]].place;
  number = files[slots[slot]].number;
  return true;
}
