// A reference reader of D88 images: the same calls as the tool's reader,
// worked out the slow, obvious way on the image's bytes in memory. Every
// sector search starts again from the first header of its track and walks
// header by header; a run of sectors is a series of single-sector reads.
//
// The fuzzers and the reader's tests compare the tool's reader with it. It
// shares no code with the reader, only the named fields of d88_format.h.
#ifndef D88UNPACK_TESTS_BUILDER_REFERENCE_READER_H
#define D88UNPACK_TESTS_BUILDER_REFERENCE_READER_H

#include <climits>
#include <cstddef>
#include <cstdint>

#include "d88_format.h"

namespace d88test {

class ReferenceReader {
 public:
  // Reads the image in `data`, which must outlive the reader. The reader
  // gives up once it has walked `headerBudget` sector headers in all: from
  // then on Exhausted() is true and every search finds nothing, so that a
  // hostile image costs the caller a bounded time.
  ReferenceReader(const std::uint8_t* data, std::size_t size, long headerBudget = LONG_MAX);

  bool Exhausted() const { return budget < 0; }
  int GetDiskCount() const { return diskCount; }
  // How the disk table ends: a header cut short by the end of the file (its
  // bytes), a 65th disk, or a size of 0 with more of the file after it.
  int GetCutHeaderBytes() const { return cutHeaderBytes; }
  bool HasMoreDisks() const { return moreDisks; }
  bool HasBytesAfterZeroSize() const { return bytesAfterZeroSize; }

  // The calls of the tool's reader, with the same meaning.
  bool SelectDisk(int index);
  const char* GetDiskName() const { return diskName; }
  int GetMediaType() const { return mediaType; }
  void SetSectorRange(int first, int last);
  int ReadSector(int track, int c, int h, int r, int n, std::uint8_t* buffer, int limit);
  int ReadSectors(int track, int c, int h, int r, int n, std::uint8_t* buffer, int length);
  int ReadSectorIds(int track, std::uint8_t* out, int outLength);
  void ReadEachSector(int track, int c, int h, int r, int n, int count, std::uint8_t* buffer,
                      std::uint16_t* held);
  // After ReadSector or ReadSectors: the bytes at the start of the buffer
  // that came from the file, up to the first sector whose data the end of
  // the file cut short.
  int GetSupplied() const { return supplied; }

 private:
  static constexpr int kMaxDisks = 64;

  // Where the current disk ends: no header or data past it belongs to it.
  std::int64_t DiskEnd() const;
  // The file position of the track's first header, or -1 when there is none.
  std::int64_t Locate(int track) const;
  // ReadSector without setting GetSupplied(); lastSectorCut tells whether the
  // file cut the sector found short.
  int FindSector(int track, int c, int h, int r, int n, std::uint8_t* buffer, int limit);
  // Moves a run on to its next sector.
  void Step(int& track, int& c, int& h, int& r) const;
  // Counts one header walked; false once the budget is spent.
  bool Walk() { return --budget >= 0; }

  const std::uint8_t* bytes;
  std::int64_t size;
  long budget;
  int diskCount = 0;
  int cutHeaderBytes = 0;
  bool moreDisks = false;
  bool bytesAfterZeroSize = false;
  int supplied = 0;
  bool lastSectorCut = false;  // the last sector found was cut by the file's end
  int lastSectorThere = 0;     // and how many of its bytes were there
  std::int64_t diskOffsets[kMaxDisks] = {};
  int firstSector = 1;
  int lastSector = 16;
  std::int64_t currentDiskOffset = -1;
  std::uint32_t diskSize = 0;
  std::uint32_t trackOffsets[d88::disk_header::kTrackCount] = {};
  int mediaType = -1;
  char diskName[d88::disk_header::kNameLength + 1] = {};
};

}  // namespace d88test

#endif
