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

  // Zero is empty: in static storage the record costs no memory until files
  // are noted in it, and then only as much as they take.
  WrittenFiles() = default;
  WrittenFiles(const WrittenFiles&) = delete;
  WrittenFiles& operator=(const WrittenFiles&) = delete;

  // Notes that the file `identity` was written for an entry of the disk at
  // `place` (1 to 64), whose disk number is `number`.
  void Note(const FileIdentity& identity, int place, int number);

  // The place of the disk the file `identity` was last written for, and in
  // `number` that disk's number; 0 when this run did not write it. Only a
  // name that is taken asks, so a plain search is quick enough; the latest
  // note of an identity (the system may give one anew once a file is gone)
  // is the one that counts.
  int PlaceOf(const FileIdentity& identity, int& number) const;

 private:
  FileIdentity identities[kCapacity];
  std::uint16_t disks[kCapacity];  // place << 8 | number
  int count = 0;
};

#endif
