// Changing the files of a disk held in a DecodedDisk: putting a file in the
// place of an entry or after the last one, and deleting entries. Records lie
// one after another from the start of the data area, each its start and end
// address and its data; each entry's allocation is the distance from its
// record to the next, and the record owns those bytes. The data area ends
// where the directory track begins.
//
// An edit changes no allocation but that of the entry it puts, and moves
// records only where it must: a record replaced keeps its allocation when
// the new one fits in it; one that grows past it, or one removed, moves the
// records after it, all by the same amount. Bytes that records owned before
// and none owns after become zeros; the bytes after the last record, which
// no record owns, keep what they hold (raw sectors that a program reads
// directly, or what deleted files left) until a record is put over them,
// which is refused where they are not zeros, unless asked for.
#ifndef D88UNPACK_WRITE_DISK_EDIT_H
#define D88UNPACK_WRITE_DISK_EDIT_H

#include <cstdint>

#include "disk_layout.h"
#include "disk_space.h"
#include "disk_walk.h"
#include "entry_name.h"
#include "refusal.h"

// The largest allocation a 16-bit length holds, and the data it leaves room
// for. A new allocation is whole sectors, except where those would pass this:
// it is then the record's own length, ending inside a sector.
constexpr int kMaxAllocation = 0xFFFF;
constexpr int kMaxFileSize = kMaxAllocation - record_header::kSize;  // 65531

// The allocation a new record of a file of `size` bytes (at most
// kMaxFileSize) gets.
int NewAllocation(int size);

// The first and last sector of the layout (indexes into DecodedDisk::held)
// that hold bytes other than zeros from `from` up to `to` in diskBuffer;
// false when those bytes are all zeros.
bool FindNonZeroSectors(const DecodedDisk& disk, int from, int to, int& first, int& last);

class DiskEdit {
 public:
  // The disk LoadDisk put into `disk` and `record`, whose directory
  // CheckDirectory found consistent. `record` follows the entry count. With
  // `overwriteUnowned`, records may be put over bytes that no record owns
  // even where they are not zeros.
  DiskEdit(DecodedDisk& disk, DiskRecord& record, bool overwriteUnowned = false);

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
  // `data` to where the file's bytes go. Entry k keeps its place and name,
  // and its allocation where the record fits in it. Refused, with the disk
  // as it was, where the record does not fit or where it, or the records it
  // moves, would cover bytes other than zeros that no record owns.
  Problem Put(int k, const EntryName& name, int start, int size, std::uint8_t*& data);

  // Gives entry `k` the name `name`; refused where another entry bears it.
  Problem Rename(int k, const EntryName& name);

  // Removes entry `k`; the records after it move up.
  void Delete(int k);

  // Writes the directory back into its track and clears what the directory
  // no longer holds.
  void Finish();

 private:
  std::uint8_t* Entry(int k) const;
  int Allocation(int k) const;
  void SetAllocation(int k, int allocation);
  // Where entry k's record starts in diskBuffer.
  int Offset(int k) const;
  int Used() const { return static_cast<int>(RecordsEnd(disk, record)); }
  // Refused where the bytes from `from` up to `to`, which no record owns,
  // are not all zeros: the first and last sector that hold such bytes.
  Problem CheckUnowned(int from, int to) const;

  DecodedDisk& disk;
  DiskRecord& record;
  bool overwriteUnowned;
  // The most entries the directory held: those past the count are cleared.
  int mostEntries;
};

#endif
