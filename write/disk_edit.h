// Changing the files of a disk held in a DecodedDisk: putting a file in the
// place of an entry or after the last one, and deleting entries. Records lie
// one after another from the start of the data area, each its start and end
// address and its data; a record's allocation is its size rounded up to
// whole sectors, so that every record starts on a sector. The data area ends
// where the directory track begins.
#ifndef D88UNPACK_WRITE_DISK_EDIT_H
#define D88UNPACK_WRITE_DISK_EDIT_H

#include <cstdint>

#include "disk_layout.h"
#include "disk_walk.h"
#include "entry_name.h"
#include "refusal.h"

// Where the data area ends in DecodedDisk::diskBuffer: where the directory
// track begins.
constexpr int kDataAreaEnd = kDirectoryTrack * kTrackSize;

// The largest allocation a 16-bit length holds in whole sectors, and the
// data it leaves room for.
constexpr int kMaxAllocation = 0xFFFF / kSectorSize * kSectorSize;   // 64512
constexpr int kMaxFileSize = kMaxAllocation - record_header::kSize;  // 64508

class DiskEdit {
 public:
  // The disk LoadDisk put into `disk` and `record`, whose directory
  // CheckDirectory found consistent. `record` follows the entry count.
  DiskEdit(DecodedDisk& disk, DiskRecord& record);

  // Makes `disk` and `record` a new, empty disk numbered `number`: nothing
  // but zeros and the directory's header.
  static void Format(DecodedDisk& disk, DiskRecord& record, int number);

  int Count() const { return record.entryCount; }
  // The first entry of that name, 1 to Count(), or 0 when there is none.
  int Find(const EntryName& name) const;
  // The bytes of the data area after the last record.
  int Free() const;
  // The start address in entry k's record.
  int Start(int k) const;

  // Makes entry `k` (or, when `k` is 0, a new entry after the last) the
  // record of a file of `size` bytes at `start`, its data zeroed, and sets
  // `data` to where the file's bytes go. Entry k keeps its place and name;
  // the records after it move to make room or close up.
  Problem Put(int k, const EntryName& name, int start, int size, std::uint8_t*& data);

  // Removes entry `k`; the records after it move up.
  void Delete(int k);

  // Writes the directory back into its track, clears what the directory no
  // longer holds, and the free space after the last record.
  void Finish();

 private:
  std::uint8_t* Entry(int k) const;
  int Allocation(int k) const;
  void SetAllocation(int k, int allocation);
  // Where entry k's record starts in diskBuffer.
  int Offset(int k) const;
  int Used() const { return Offset(record.entryCount + 1); }

  DecodedDisk& disk;
  DiskRecord& record;
  // The most entries the directory held: those past the count are cleared.
  int mostEntries;
};

#endif
