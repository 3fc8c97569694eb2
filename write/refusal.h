// Why the writer will not do what it was asked: every reason, and the one
// table of texts that says it, in the order of the reasons.
#ifndef D88UNPACK_WRITE_REFUSAL_H
#define D88UNPACK_WRITE_REFUSAL_H

#include <cstddef>
#include <cstdint>

#include "d88_image.h"
#include "finding_words.h"

enum class Refusal : std::uint8_t {
  kNone,
  // A FILE's name as an entry name.
  kNameEmpty,
  kNameTooLong,
  kExtensionTooLong,
  kNameEndsInDot,
  kNameSpace,
  kNameControl,
  kNameSlash,
  kNameBackslash,
  kNameNotCodePage932,
  kNameGivenTwice,
  kNameOnDisk,
  // A FILE.
  kFileUnreadable,  // with the system's error
  kFileNotRegular,
  kFileChanged,
  kFileIsImage,
  kFileTooLarge,
  kFileEndPastFFFF,
  kFileDoesNotFit,
  kDirectoryFull,
  kUnownedBytes,
  kUnownedBytesRange,
  kNothingWritten,  // after the FILEs refused
  // The image and the disk chosen.
  kImageUnopenable,  // with the system's error
  kImageNotRegular,
  kImageReadOnly,
  kImageNotWritable,
  kNotD88,  // the reader's words for the format check
  kImageCompressed,
  kImageArchive,
  kImageExists,
  kImageDanglingLink,
  kImageHoldsNoDisk,
  kImageChooseDisk,
  kImageNoSuchDisk,   // it holds more than one
  kImageNoSuchDisk1,  // it holds one disk
  kImageChooseOfMore,
  kImageNoSuchDiskOfMore,
  kImageChanged,
  kImageUnreadable,  // with the system's error
  kImageUnlockable,  // with the system's error
  kDiskWriteProtected,
  kDiskNoDirectory,  // the layout's words for what the disk is instead
  kDiskSectorMissing,
  kDiskSectorSize,
  kDiskSectorCut,
  kDiskSectorOutside,
  kDiskHeaderInData,
  kDiskSectorsShift,  // writing the data would move a sector
  kDirectoryEndBelowStart,
  kDirectoryRecordOverlap,
  kDirectoryPastDataArea,
  // Found by a check, and no bar to a put with --force.
  kUnownedFound,
  kUnownedFoundRange,
  // Making the new image.
  kCannotKeepOwner,        // with the system's error
  kCannotKeepAttributes,   // with the system's error
  kCannotCreateTemporary,  // with the system's error
  kCannotWrite,            // with the system's error
  kCannotReadBack,         // with the system's error
  kCannotReplace,          // with the system's error; the last
};

// A reason with the numbers its text needs, and the system's error number
// where a call failed (0 when none). The numbers are set only by the
// reason's own maker below, which names them.
struct Problem {
  Refusal why = Refusal::kNone;
  long long a = 0;
  long long b = 0;
  long long c = 0;
  long long d = 0;
  int error = 0;
  FindingFacts finding{};  // kDiskNoDirectory
  FormatCheck format{};    // kNotD88

  explicit operator bool() const { return why != Refusal::kNone; }
};

// A reason whose words take no number.
inline Problem Refuse(Refusal why) {
  Problem problem;
  problem.why = why;
  return problem;
}

inline Problem Failed(Refusal why, int error) {
  Problem problem = Refuse(why);
  problem.error = error;
  return problem;
}

namespace refusal_detail {
inline Problem Numbered(Refusal why, long long a, long long b = 0, long long c = 0,
                        long long d = 0) {
  Problem problem = Refuse(why);
  problem.a = a;
  problem.b = b;
  problem.c = c;
  problem.d = d;
  return problem;
}
}  // namespace refusal_detail

// The reasons that take numbers, each given exactly the ones its words
// show.
inline Problem FileTooLarge(long long size) {
  return refusal_detail::Numbered(Refusal::kFileTooLarge, size);
}
inline Problem FileEndPastFFFF(int start, long long size) {
  return refusal_detail::Numbered(Refusal::kFileEndPastFFFF, start, size);
}
inline Problem FileDoesNotFit(int recordBytes, int freeBytes) {
  return refusal_detail::Numbered(Refusal::kFileDoesNotFit, recordBytes, freeBytes);
}
inline Problem DirectoryFull(int entries) {
  return refusal_detail::Numbered(Refusal::kDirectoryFull, entries);
}
// Bytes that no record owns, in one sector or from the first to the last.
inline Problem UnownedBytes(int track, int sector) {
  return refusal_detail::Numbered(Refusal::kUnownedBytes, track, sector);
}
inline Problem UnownedBytes(int track, int sector, int lastTrack, int lastSector) {
  return refusal_detail::Numbered(Refusal::kUnownedBytesRange, track, sector, lastTrack,
                                  lastSector);
}
// Bytes after the last record that no record owns, found by a check.
inline Problem UnownedFound(int track, int sector) {
  return refusal_detail::Numbered(Refusal::kUnownedFound, track, sector);
}
inline Problem UnownedFound(int track, int sector, int lastTrack, int lastSector) {
  return refusal_detail::Numbered(Refusal::kUnownedFoundRange, track, sector, lastTrack,
                                  lastSector);
}
// No disk given, of an image of `disks` (`more`: the first `disks` of more).
inline Problem ChooseDisk(int disks, bool more) {
  return more ? refusal_detail::Numbered(Refusal::kImageChooseOfMore, disks, disks)
              : refusal_detail::Numbered(Refusal::kImageChooseDisk, disks);
}
// A disk past the `disks` of the image (`more`: the first `disks` of more).
inline Problem NoSuchDisk(int disks, bool more) {
  if (more) return refusal_detail::Numbered(Refusal::kImageNoSuchDiskOfMore, disks, disks);
  return disks == 1 ? Refuse(Refusal::kImageNoSuchDisk1)
                    : refusal_detail::Numbered(Refusal::kImageNoSuchDisk, disks);
}
inline Problem NotD88(const FormatCheck& check) {
  Problem problem = Refuse(Refusal::kNotD88);
  problem.format = check;
  return problem;
}
inline Problem NoDirectory(const FindingFacts& facts) {
  Problem problem = Refuse(Refusal::kDiskNoDirectory);
  problem.finding = facts;
  return problem;
}
inline Problem SectorMissing(int track, int sector) {
  return refusal_detail::Numbered(Refusal::kDiskSectorMissing, track, sector);
}
inline Problem SectorSize(int track, int sector, int bytes) {
  return refusal_detail::Numbered(Refusal::kDiskSectorSize, track, sector, bytes);
}
inline Problem SectorCut(int track, int sector) {
  return refusal_detail::Numbered(Refusal::kDiskSectorCut, track, sector);
}
inline Problem SectorOutside(int track, int sector) {
  return refusal_detail::Numbered(Refusal::kDiskSectorOutside, track, sector);
}
inline Problem HeaderInData(int headerTrack, int track, int sector) {
  return refusal_detail::Numbered(Refusal::kDiskHeaderInData, headerTrack, track, sector);
}
inline Problem EntryEndBelowStart(int entry) {
  return refusal_detail::Numbered(Refusal::kDirectoryEndBelowStart, entry);
}
inline Problem RecordPastAllocation(int entry, int recordBytes, int allocation) {
  return refusal_detail::Numbered(Refusal::kDirectoryRecordOverlap, entry, recordBytes, allocation);
}
inline Problem EntryPastDataArea(int entry) {
  return refusal_detail::Numbered(Refusal::kDirectoryPastDataArea, entry);
}

// The words of a problem's reason in `out`: its text with the problem's
// numbers; then `hint`, the caller's own words on what would get past it
// (null: none); then, where the problem has a system error, ": " and the
// system's text for it.
void FormatProblem(const Problem& problem, const char* hint, char* out, std::size_t size);

#endif
