#include "written_files.h"

#include <cstring>

std::uint32_t WrittenFiles::Hash(const FileIdentity* identity, const char* name, int folder) const {
  // FNV-1a over the key's bytes.
  std::uint32_t hash = 2166136261u;
  const auto mix = [&hash](const void* bytes, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
      hash = (hash ^ static_cast<const unsigned char*>(bytes)[i]) * 16777619u;
    }
  };
  if (identity != nullptr) {
    mix(&identity->device, sizeof identity->device);
    mix(&identity->file, sizeof identity->file);
  } else {
    mix(&folder, sizeof folder);
    mix(name, std::strlen(name));
  }
  return hash;
}

bool WrittenFiles::Same(int note, const FileIdentity* identity, const char* name,
                        int folder) const {
  if (identity != nullptr) return nameAt[note] < 0 && identities[note] == *identity;
  return nameAt[note] >= 0 && folders[note] == folder &&
         std::strcmp(names + nameAt[note], name) == 0;
}

// The slot that holds the key's note, or the empty slot where it would go.
int WrittenFiles::Find(const FileIdentity* identity, const char* name, int folder) const {
  const std::uint32_t mask = static_cast<std::uint32_t>(tableSize) - 1;
  std::uint32_t slot = Hash(identity, name, folder) & mask;
  while (slots[slot] != 0 && !Same(slots[slot] - 1, identity, name, folder)) {
    slot = (slot + 1) & mask;
  }
  return static_cast<int>(slot);
}

void WrittenFiles::Insert(int note) {
  const char* name = nameAt[note] >= 0 ? names + nameAt[note] : nullptr;
  const FileIdentity* identity = nameAt[note] < 0 ? &identities[note] : nullptr;
  // A key noted again takes the slot of its earlier note.
  slots[Find(identity, name, folders[note])] = note + 1;
}

void WrittenFiles::Note(const FileIdentity* identity, const char* name, int folder, int place,
                        int number) {
  const std::size_t length = std::strlen(name);
  // A name without room would be known by nothing; the room holds the
  // longest there is.
  if (count == kCapacity || (identity == nullptr && length >= kNameRoom)) return;
  disks[count] = static_cast<std::uint16_t>(place << 8 | (number & 0xFF));
  folders[count] = static_cast<std::uint8_t>(folder);
  if (identity != nullptr) {
    identities[count] = *identity;
    nameAt[count] = -1;
  } else {
    std::memcpy(names + used, name, length + 1);
    nameAt[count] = used;
    used += static_cast<int>(length) + 1;
  }
  ++count;
  // At most half the slots in use are full: when more would be, the table
  // doubles and takes every note again, in order, so the latest of a key
  // wins.
  if (count * 2 > tableSize) {
    tableSize = tableSize == 0 ? 256 : tableSize * 2;
    std::memset(slots, 0, sizeof slots[0] * static_cast<std::size_t>(tableSize));
    for (int note = 0; note < count; ++note) Insert(note);
  } else {
    Insert(count - 1);
  }
}

int WrittenFiles::PlaceOf(const FileIdentity& identity, const char* name, int folder,
                          int& number) const {
  if (count == 0) return 0;
  // The file may be known by its identity or by its name: the later note
  // counts.
  const int byIdentity = slots[Find(&identity, nullptr, 0)] - 1;
  const int byName = slots[Find(nullptr, name, folder)] - 1;
  const int note = byIdentity > byName ? byIdentity : byName;
  if (note < 0) return 0;
  number = disks[note] & 0xFF;
  return disks[note] >> 8;
}
