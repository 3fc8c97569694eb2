// The files a run has written, known by their identity, so that an entry
// that replaces one of them is noticed: two entries of one name, on one disk
// or on two, would otherwise leave only the later one's file, without a word.
// Identities, not names, say when two names are one file (as on a file
// system blind to case).
#ifndef D88UNPACK_EXTRACT_WRITTEN_FILES_H
#define D88UNPACK_EXTRACT_WRITTEN_FILES_H

#include <cstdint>

#include "file_identity.h"

class WrittenFiles {
 public:
  // Every entry of 64 disks of 255 entries each.
  static constexpr int kCapacity = 64 * 255;

  WrittenFiles();
  WrittenFiles(const WrittenFiles&) = delete;
  WrittenFiles& operator=(const WrittenFiles&) = delete;

  // Notes that the file `identity` was written for an entry of the disk at
  // `place`, whose disk number is `number`. A file noted again (an identity
  // the system has given anew) takes the later disk.
  void Note(const FileIdentity& identity, int place, int number);

  // The place and number of the disk the file `identity` was written for;
  // false when this run did not write it.
  bool Find(const FileIdentity& identity, int& place, int& number) const;

 private:
  // The slots of an open-addressing index, never more than half full.
  static constexpr int kSlots = 32768;
  static_assert(kSlots >= 2 * kCapacity, "the index must stay at most half full");

  struct Written {
    FileIdentity identity;
    int place;
    int number;
  };

  // The slot `identity` is in, or the empty slot where it would go.
  int SlotOf(const FileIdentity& identity) const;

  Written files[kCapacity];
  int count = 0;
  std::int16_t slots[kSlots];  // an index into `files`, or -1
};

#endif
