// The files a run has written, so that an entry that replaces one of them
// is noticed: two entries of one name, on one disk or on two, would
// otherwise leave only the later one's file, without a word.
//
// Where two different names are always two files (see
// OutputFolder::NamesAreExact), a file is known by its folder and name, which
// costs nothing to learn. Elsewhere (a file system blind to case, for one)
// two names may be one file, and a file is known by its identity.
#ifndef D88UNPACK_EXTRACT_WRITTEN_FILES_H
#define D88UNPACK_EXTRACT_WRITTEN_FILES_H

#include <cstdint>

#include "file_identity.h"

class WrittenFiles {
 public:
  // Every entry of 64 disks of 255 entries each.
  static constexpr int kCapacity = 64 * 255;
  // Room for a name with its terminator: the longest output name, an
  // entry's 10 bytes as UTF-8, takes 31.
  static constexpr int kNameRoom = 32;

  // Zero is empty: in static storage the record costs no memory until files
  // are noted in it, and then only as much as they take.
  WrittenFiles() = default;
  WrittenFiles(const WrittenFiles&) = delete;
  WrittenFiles& operator=(const WrittenFiles&) = delete;

  // Notes that the file `name` in the folder `folder` (0: the output
  // folder; a disk's place: that disk's folder) was written for an entry of
  // the disk at `place` (1 to 64), whose disk number is `number`; with
  // `identity`, the file is known by it, else by its name.
  void Note(const FileIdentity* identity, const char* name, int folder, int place, int number);

  // Forgets every note, for the next run: the table is cleared as it
  // grows again.
  void Clear() {
    tableSize = 0;
    count = 0;
    used = 0;
  }

  // The place of the disk that the file `identity`, found at `name` in
  // `folder`, was last written for, and in `number` that disk's number; 0
  // when this run did not write it.
  int PlaceOf(const FileIdentity& identity, const char* name, int folder, int& number) const;

 private:
  // A hash table of the notes: each identity, and each folder and name, in
  // it once, at its latest note. Its size grows with the notes, so that a
  // run's lookups cost no more than its notes, and its memory as much.
  static constexpr int kSlots = 32768;  // a power of two, at least twice kCapacity
  int Find(const FileIdentity* identity, const char* name, int folder) const;
  void Insert(int note);
  bool Same(int note, const FileIdentity* identity, const char* name, int folder) const;
  std::uint32_t Hash(const FileIdentity* identity, const char* name, int folder) const;

  // Each array is filled from its start, and the names one after another,
  // so that the record costs no more memory than the notes it holds.
  FileIdentity identities[kCapacity];
  std::uint16_t disks[kCapacity];  // place << 8 | number
  std::uint8_t folders[kCapacity];
  std::int32_t nameAt[kCapacity];  // where in `names`; -1: known by its identity
  char names[kCapacity * kNameRoom];
  std::int32_t slots[kSlots];  // a note's index + 1; 0: empty
  int tableSize = 0;           // the slots in use
  int count = 0;
  int used = 0;  // bytes of `names`
};

#endif
