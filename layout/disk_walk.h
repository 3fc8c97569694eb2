// Walking the disks of an image and the files of a disk, as records that say
// what the disk holds. Nothing is written here.
#ifndef D88UNPACK_LAYOUT_DISK_WALK_H
#define D88UNPACK_LAYOUT_DISK_WALK_H

#include <cstdint>

#include "d88_format.h"
#include "d88_image.h"
#include "disk_layout.h"
#include "outcome.h"

// What a disk turned out to be.
enum class DiskFinding : std::uint8_t {
  kDirectory,         // a disk of the layout whose directory was read
  kUnselectable,      // its header could be read when the image was opened, but no longer
  kBlank,             // it has no tracks
  kCutOff,            // the image ends inside it, and its directory with it
  kOtherLayout,       // its tracks hold sectors of another layout
  kDirectoryMissing,  // of the layout, but the image lacks sectors its directory lies in
};

// What the tracks of a disk of another layout hold.
struct TrackShape {
  int tracks;      // tracks that hold sector headers
  int sectors;     // sectors of the first such track
  int sectorSize;  // of its first sector, in bytes
  bool uniform;    // every track holds as many sectors of that size
};

struct DiskRecord {
  int place;  // the disk's place in the image, from 1
  DiskFinding finding;
  // With a directory: the disk number (0 to 255; 0 is the system disk) and
  // the entry count (0 to 255).
  int diskNumber;
  int entryCount;
  // The fields of the disk's D88 header.
  char label[d88::disk_header::kNameLength + 1];  // up to the first NUL
  int writeProtect;
  int mediaType;
  int dataStart;  // where the data area begins in diskBuffer
  // kCutOff: the image's size, the file position it ends at.
  int64_t cutAt;
  // kDirectoryMissing: the first sector of the directory track the image
  // does not hold in full, as an index into DecodedDisk::held.
  int missingSector;
  // kOtherLayout: what its tracks hold.
  TrackShape shape;
  // Read with damaged headers stepped over: the sectors whose damaged
  // headers were stepped over, their data taken from where the layout puts
  // it (how many; the first and the last, as indexes into
  // DecodedDisk::held, -1 for none).
  int steppedHeaders;
  int firstStepped;
  int lastStepped;

  bool HasDirectory() const { return finding == DiskFinding::kDirectory; }
};

struct EntryRecord {
  int index;         // 1 to entryCount, in directory order
  const char* name;  // the raw name bytes, in nameBuffer until the next entry
  // The bytes of the name built from the entry: more than strlen(name) when
  // the entry holds a NUL, which ends the text early.
  int nameLength;
  // Its allocation length: the distance from its record to the next.
  int allocation;
  // What the disk and the image do not give of the entry: kNone, or one of
  // kRecordPastDisk (no record header: the fields below are not set),
  // kRecordMissing (the fields below are decoded from bytes the image does
  // not hold, read as zero), kDataMissing (its data reaches a byte the image
  // does not hold) and kDataPastDisk (its data runs past the end of the
  // disk).
  EntryProblem problem;
  int start;
  int end;
  int size;                  // end - start; negative when end < start
  const std::uint8_t* data;  // its data, in diskBuffer
  int inDisk;                // bytes of its data that lie on the disk: size, or fewer
  int available;             // of them, those before the first the image lacks
  // With kRecordMissing or kDataMissing: the first sector whose missing bytes
  // the entry reaches, as an index into DecodedDisk::held.
  int missingSector;
  // What the image lacks of the data on the disk, read as zero bytes.
  MissingBytes missing;

  // Whether its record header lies on the disk, so that it has a listing.
  bool HasRecordHeader() const { return problem != EntryProblem::kRecordPastDisk; }
};

// Makes disk `index` (from 0) of the image current and reads it into `disk`,
// sector by sector: what the image holds of each sector, and the directory
// when the image holds it. A disk that cannot be selected reads as blank.
// With `stepDamagedHeaders`, a track whose sectors a search cannot all find
// is walked again by the places its sectors have on a plainly recorded
// track, stepping over damaged headers (see D88Image::ReadTrackByPlace).
DiskRecord LoadDisk(D88Image& image, int index, DecodedDisk& disk, bool stepDamagedHeaders = false);

// The entries of the disk last loaded into `disk`, in directory order; none
// when its directory was not read.
class EntryWalk {
 public:
  EntryWalk(DecodedDisk& disk, const DiskRecord& record);
  // Decodes the next entry; false after the last.
  bool Next(EntryRecord& entry);

 private:
  DecodedDisk& disk;
  int entryCount;
  int next;
  // May run past the buffer on a hostile directory: an offset, never a
  // pointer, until it has been checked.
  long long record;
};

// The track and the sector number (1 to 5) of sector `sector` of the
// layout, an index into DecodedDisk::held.
inline int TrackOf(int sector) {
  return sector / kSectorsPerTrack;
}
inline int SectorNumberOf(int sector) {
  return sector % kSectorsPerTrack + 1;
}

#endif
