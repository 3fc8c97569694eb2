// Walking the disks of an image and the files of a disk, as records that say
// what the disk holds. Nothing is written here.
#ifndef D88UNPACK_EXTRACT_DISK_WALK_H
#define D88UNPACK_EXTRACT_DISK_WALK_H

#include <cstdint>

#include "d88_format.h"
#include "d88_image.h"
#include "disk_layout.h"
#include "outcome.h"

struct DiskRecord {
  int place;           // the disk's place in the image, from 1
  bool selected;       // its header could be read; false: it reads as blank
  int diskNumber;      // from its directory, 0 to 255; 0 is the system disk
  int entryCount;      // 0 to 255
  bool directoryRead;  // the whole directory track was read from the file
  // The fields of the disk's D88 header.
  char label[d88::disk_header::kNameLength + 1];  // up to the first NUL
  int writeProtect;
  int mediaType;
  int dataStart;  // where the data area begins in diskBuffer
  // Where the data that the image supplied ends in diskBuffer: every byte
  // from here on is missing from the image (a missing sector, or a file that
  // ends or fails to read), and reads as zero.
  int dataEnd;
};

struct EntryRecord {
  int index;         // 1 to entryCount, in directory order
  const char* name;  // the raw name bytes, in nameBuffer until the next entry
  // What the disk and the image do not give of the entry: kNone, or one of
  // kRecordPastDisk (no record header: the fields below are not set),
  // kRecordMissing (the fields below are decoded from bytes the image does
  // not hold), kDataPastDisk and kDataMissing (`available` is less than
  // `size`).
  EntryProblem problem;
  int start;
  int end;
  int size;                  // end - start; negative when end < start
  const std::uint8_t* data;  // its data, in diskBuffer
  int available;             // bytes of its data the disk holds: size, or fewer

  // Whether its record header lies on the disk, so that it has a listing.
  bool HasRecordHeader() const { return problem != EntryProblem::kRecordPastDisk; }
};

// Makes disk `index` (from 0) of the image current, reads its directory and
// loads its data area into `disk`. A disk that cannot be selected reads as
// blank.
DiskRecord LoadDisk(D88Image& image, int index, DecodedDisk& disk);

// The entries of the disk last loaded into `disk`, in directory order.
class EntryWalk {
 public:
  EntryWalk(DecodedDisk& disk, const DiskRecord& record);
  // Decodes the next entry; false after the last.
  bool Next(EntryRecord& entry);

 private:
  DecodedDisk& disk;
  int entryCount;
  int dataEnd;
  int next;
  // May run past the buffer on a hostile directory: an offset, never a
  // pointer, until it has been checked.
  long long record;
};

#endif
