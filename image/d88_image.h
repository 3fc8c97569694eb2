// D88Image: the reader of one D88 image file.
//
// A D88 file is a sequence of disk images laid end to end. Each disk begins
// with a 688-byte little-endian header: a 16-byte name, a media type byte at
// 0x1B, the disk's size at 0x1C (the distance to the next disk's header) and,
// at 0x20, a table of 164 track offsets counted from the disk's header.
// A track is a run of sectors in recording order, each a 16-byte header
// (C, H, R, N, sector count, ..., data length) followed by its data.
//
// The reader never loads the file whole: it keeps the disk table and the
// current disk's header, and reads sectors from the file on demand. It reads
// an image held in memory the same way, where the bytes lie.
//
// It is about 1.1 MiB, nearly all of it the sector sweep's room for every
// sector number a header can hold on every track a run can visit, and 64 KiB
// of file window: more than a thread's stack may be given (1 MiB on
// Windows). Keep it in static storage or on the heap, never on the stack.
#ifndef D88UNPACK_IMAGE_D88_IMAGE_H
#define D88UNPACK_IMAGE_D88_IMAGE_H

#include <cstddef>
#include <cstdint>

#include "d88_format.h"
#include "image_file.h"
#include "native_path.h"
#include "track_sweep.h"

// Why a file's first disk header cannot be a D88 header: the file is then
// no D88 image at all, whatever else it holds.
struct FormatCheck {
  enum class Problem : std::uint8_t {
    kNone,
    kSizeBelowHeader,    // the disk's size is smaller than its own header
    kTrackInsideHeader,  // a track starts inside the header or its track table
    kTrackPastDisk,      // a track starts past the disk's end
  };
  Problem problem;
  int track;             // the track whose offset is wrong
  std::uint32_t offset;  // its offset
  std::uint32_t size;    // the disk's size field
};

// How ReadTrackByPlace came by a sector.
enum class PlacedSector : std::uint8_t {
  kNotReached,  // the walk ended before it
  kFound,       // its header is as it should be
  kStepped,     // its header is damaged, and was stepped over by its place
};

class D88Image {
 public:
  static constexpr int kMaxDisks = 64;
  static constexpr int kTrackCount = d88::disk_header::kTrackCount;
  static constexpr int kDiskHeaderSize = d88::disk_header::kSize;
  static constexpr int kSectorHeaderSize = d88::sector_header::kSize;
  // The tracks of the disks the tools read (42 cylinders of 2 heads): the
  // entries of the first disk's table that decide whether a file is an
  // image at all.
  static constexpr int kCheckedTracks = 84;

  D88Image() noexcept;
  ~D88Image();
  D88Image(const D88Image&) = delete;
  D88Image& operator=(const D88Image&) = delete;

  // Opens the image and finds its disks. Any image already open is closed
  // and the disk table and current disk are cleared first. A null path just
  // closes the image and returns true; a path that cannot be opened (missing,
  // not permitted, empty, a directory) returns false.
  bool Open(const NativePathChar* path);
  // Opens the image whose `size` bytes the caller holds at `bytes`, as Open
  // opens a file. The bytes are read where they lie and must stay as they
  // are until the image is closed or another opened. It has no file
  // identity, and no read of it fails; null with a size is refused.
  bool Open(const std::uint8_t* bytes, std::size_t size);
  int GetDiskCount() const { return diskCount; }
  // Where disk `index` (from 0 to GetDiskCount() - 1) begins in the image.
  int64_t GetDiskStart(int index) const { return diskOffsets[index]; }

  // Why the last Open failed: the system's error number, or kNotRegularFile.
  int GetOpenError() const { return file.GetOpenError(); }
  // True when another whole disk header follows the last disk of a full
  // table: the image holds more disks than are read.
  bool HasMoreDisks() const { return moreDisks; }
  // The bytes of a disk header that the end of the file cut short, where the
  // scan ended on one (0 when the file ends where a disk ends): a disk that
  // is not read.
  int GetCutHeaderBytes() const { return cutHeaderBytes; }
  // True when the last disk's size field is 0, which leads nowhere, and the
  // file holds more after that disk's header: bytes that are not read.
  bool HasBytesAfterZeroSize() const { return bytesAfterZeroSize; }
  // Whether the first disk's header can be a D88 header at all: its size
  // holds at least the header, and each of the offsets of its first
  // kCheckedTracks tracks is 0 or lies inside the disk, past the header's
  // fixed fields. The track table ends
  // where the first track begins, so that images whose table is shorter
  // than 164 entries are read too. A file too short for one header has no
  // problem here: it holds no disk.
  const FormatCheck& GetFormatCheck() const { return formatCheck; }
  // The open image's identity, to recognise it under any other name: none
  // for an image in memory.
  const ImageIdentity& GetIdentity() const { return file.GetIdentity(); }
  // The error number of the first read or seek of the image that failed
  // (not the end of the file), or 0.
  int GetReadError() const { return file.GetReadError(); }

  // Makes disk `index` (0-based, in file order) current. On failure no disk
  // is current and no sector can be read until a selection succeeds.
  bool SelectDisk(int index);
  const char* GetDiskName() const { return diskName; }
  int GetMediaType() const { return mediaType; }
  // The current disk's write-protect byte (0x10: protected), 0 when none.
  int GetWriteProtect() const { return writeProtect; }
  // Where the current disk's header lies in the file, and its size field.
  int64_t GetDiskOffset() const { return currentDiskOffset; }
  std::uint32_t GetDiskSize() const { return diskSize; }
  // The image file's size now (the block's size for an image in memory), or
  // -1 when it cannot be told.
  int64_t GetFileSize() const { return file.GetSize(); }
  // Copies up to `length` bytes of the image from `position` into `out`, as
  // they stand, whatever disk they belong to; returns how many there were.
  int64_t ReadBytes(int64_t position, std::uint8_t* out, int64_t length) {
    return file.ReadAt(position, out, length);
  }
  // Whether the current disk has track `track`: its first sector header lies
  // wholly inside the disk.
  bool HasTrack(int track) const;

  // The sector numbers a run starts each new track at, and steps to the next
  // track after.
  void SetSectorRange(int first, int last);

  // Reads the first sector of `track` whose ID is (c, h, r, n) in recording
  // order: at most `limit` bytes of its data go to `buffer`. Returns the
  // smaller of the sector's data length and `limit` (also where the file ends
  // inside the data: the bytes it does not supply are left as they were), or
  // 0 when the sector is not found.
  int ReadSector(int track, int c, int h, int r, int n, std::uint8_t* buffer, int limit);

  // Fills `buffer` with `length` bytes from consecutive sectors, starting at
  // sector (c, h, r, n) of `track` and stepping through sector numbers, then
  // heads and cylinders, by the sector range. Returns the bytes taken from
  // sectors read in full; a missing or short sector ends the run.
  int ReadSectors(int track, int c, int h, int r, int n, std::uint8_t* buffer, int length);

  // How many bytes at the start of the buffer the image file really supplied
  // in the last ReadSector or ReadSectors: the count it returned, or less
  // where the file ended or failed inside a sector's data. Every byte from
  // the first sector so cut off onwards is missing.
  int GetSupplied() const { return supplied; }

  // Reads the run ReadSectors reads, `count` sectors of size code n, sector
  // by sector: a sector the image does not hold, or holds in part,
  // does not end the run. Sector i of the run goes to buffer + i * (128 <<
  // n), and held[i] gets how many of its bytes, from its start, the image
  // holds: its data as far as the sector, the file and the disk go, 0 when
  // it is not found. The bytes it does not hold read as zero. A size code
  // outside 0 to 23 reads nothing.
  void ReadEachSector(int track, int c, int h, int r, int n, int count, std::uint8_t* buffer,
                      std::uint16_t* held);

  // Where the data of each sector of the run that ReadSectors would read
  // lies in the file: for `count` sectors from sector (c, h, r, n) of
  // `track`, stepped as a run is, `positions[i]` gets the file position of
  // sector i's data and `lengths[i]` its data length, or -1 and 0 when the
  // sector is not found. A writer changes a disk's sectors in place through
  // these.
  void LocateRun(int track, int c, int h, int r, int n, int count, int64_t* positions,
                 int* lengths);

  // Reads sectors firstR to lastR of size code n (0 to 8) of `track` by
  // their places, for a track recorded plainly: from its first header, the
  // sectors in number order, each a header with ID (c, h, r, n) followed
  // by 128 << n bytes of data. A header that is not so (damaged: zeroed,
  // say) is stepped over where the next sector's header stands right after
  // its data, or, for the last sector, where the next track or the disk
  // begins or ends there; its data is taken all the same. Anything else
  // ends the walk. Sector i goes to buffer + i * (128 << n), held[i] gets
  // how many of its bytes the image holds (0 for a sector not reached) and
  // how[i] how it was come by. A search (ReadSectors) gives up at a damaged
  // header, and the rest of the track with it: this is for salvaging.
  void ReadTrackByPlace(int track, int c, int h, int firstR, int lastR, int n, std::uint8_t* buffer,
                        std::uint16_t* held, PlacedSector* how);

  // Writes the 4-byte IDs (C, H, R, N) of the track's sectors in recording
  // order to `out`, as many as fit whole; returns the number of bytes written.
  // With `positions`, each ID's header's file position goes there too (room
  // for outLength / 4 of them).
  int ReadSectorIds(int track, std::uint8_t* out, int outLength, int64_t* positions = nullptr);

 private:
  // The file position of the track's first sector header, or
  // TrackSweep::kAbsent when there is no image, the index is out of range or
  // the track is absent.
  int64_t LocateTrack(int track) const;

  // Plans a run into the sweep: adds, in the order the run visits them, the
  // tracks that a run of `sectors` sectors starting at sector r of `track`
  // (searched as c, h) can visit, each with the sector numbers the run wants
  // of it. A run's stepping depends on nothing it reads, so all its tracks
  // are known before the first is read, and one sweep finds all their
  // sectors: a run over tracks that all lead into one long chain of headers
  // walks that chain once. The plan ends at the first track that can give
  // nothing, or that the run would not step past. With a `destination`,
  // each sector's data is delivered as the sweep finds it, the run's sectors
  // following each other there `sectorSize` bytes apart.
  // With `throughGaps`, the plan goes on past tracks that can give nothing,
  // for a caller that wants every sector of the run whatever is missing.
  void PlanRun(int track, int c, int h, int r, int64_t sectors, bool throughGaps,
               std::uint8_t* destination = nullptr, int sectorSize = 0);

  // Where the current disk ends in the file: nothing at or after it belongs
  // to the disk.
  int64_t DiskEnd() const;

  // Moves to the sector a run takes after sector r of planned track
  // `planIndex`, as PlanRun laid the run out.
  void StepRun(int& planIndex, int& r) const;

  // Copies at most `limit` bytes of a found sector's data into `buffer` and
  // returns that count, or 0 when the sector was not found.
  int ReadSpot(const TrackSweep::Spot* spot, std::uint8_t* buffer, int limit);

  // Checks the first disk's header as GetFormatCheck tells.
  static FormatCheck CheckFirstHeader(const std::uint8_t* header);

  // Closes the image, and clears the disk table and the current disk.
  void Clear();
  // Finds the disks of the image just opened.
  void ScanDisks();

  ImageFile file;
  FormatCheck formatCheck = {};
  int supplied = 0;
  bool spotCut = false;  // the file did not supply all of the last spot's data
  int diskCount;
  bool moreDisks = false;
  int cutHeaderBytes = 0;
  bool bytesAfterZeroSize = false;
  int firstSector;
  int lastSector;
  int64_t diskOffsets[kMaxDisks];
  std::uint32_t diskSize;
  int64_t currentDiskOffset;
  std::uint32_t trackOffsets[kTrackCount];
  int mediaType;
  int writeProtect;
  char diskName[d88::disk_header::kNameLength + 1];

  // Where the sectors of the tracks being read lie.
  TrackSweep sweep;
};

#endif
