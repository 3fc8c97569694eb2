// Laying out a disk of the layout as it was: each entry's record where its
// allocation puts it, the bytes no record holds of the disk's fill values,
// and the system disk's system area. With the files' data and what
// d88unpack --json tells of a disk, the disk is made again byte for byte
// wherever the bytes outside its records were of one value.
#ifndef D88UNPACK_WRITE_LAY_DISK_H
#define D88UNPACK_WRITE_LAY_DISK_H

#include <cstddef>
#include <cstdint>

#include "d88_format.h"
#include "disk_layout.h"
#include "entry_name.h"
#include "image_replace.h"
#include "refusal.h"

// What a disk holds besides its files.
struct DiskLook {
  int number;  // the disk number: 0 is the system disk
  char label[d88::disk_header::kNameLength];
  std::size_t labelLength;
  bool writeProtected;
  int media;          // the D88 header's media byte
  int fill;           // of the data area's bytes no record holds
  int directoryFill;  // of the directory track's bytes the directory does not hold
  // The system area, kSystemAreaSize bytes (null: zeros).
  const std::uint8_t* systemArea;
};

// Why a record cannot lie where it is asked to.
enum class LayProblem : std::uint8_t {
  kNone,
  kDirectoryFull,     // 255 entries are laid already
  kEndPastFFFF,       // start + size passes FFFF
  kPastDataArea,      // the record reaches into the directory track, or past it
  kOverEarlierRecord  // it lies over an earlier record, whose bytes it would change
};

// The entry name d88unpack lists as the `length` bytes of `listed`: the
// name before its last '.', the extension after it. False where no entry is
// listed so (a part too long, a space, a NUL, nothing after the '.').
bool ListedEntryName(const char* listed, std::size_t length, EntryName& name);

// Allocation of a record that lies as d88pack lays a new one.
constexpr int kNewAllocation = -1;

class DiskLayer {
 public:
  explicit DiskLayer(DecodedDisk& disk) : disk(disk) {}

  // Starts the disk anew: every byte of its fill values, no entry.
  void Begin(const DiskLook& look);

  // Lays the next entry, named `name`: a record of `size` bytes of data at
  // `start`, where the walk over the records reaches it (right after the
  // area the previous entry's allocation gave it), with allocation
  // `allocation` (0 to 65535, or kNewAllocation: whole sectors).
  LayProblem Add(const EntryName& name, int start, const std::uint8_t* data, int size,
                 int allocation);

  int Count() const { return count; }

  // Writes the directory into its track.
  void Finish();

 private:
  DecodedDisk& disk;
  int number = 0;
  int directoryFill = 0;
  int count = 0;
  long long next = 0;  // where the next record lies
  int coveredTo = 0;   // the end of the records laid so far
};

// Adds the disk laid in `disk` to the new image being written through
// `replacement`: its D88 header (label, write protection, media), then its
// tracks.
Problem AppendDisk(ImageReplacement& replacement, const DiskLook& look, const DecodedDisk& disk);

#endif
