// Why the writer will not do what it was asked: every reason, and the one
// table of texts that says it, in the order of the reasons.
#ifndef D88UNPACK_WRITE_REFUSAL_H
#define D88UNPACK_WRITE_REFUSAL_H

#include <cstddef>
#include <cstdint>

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
  kFileTooLarge,       // a: its size
  kFileEndPastFFFF,    // a: start, b: size
  kFileDoesNotFit,     // a: the bytes its record takes, b: the bytes free
  kDirectoryFull,      // a: the entries the directory holds
  kUnownedBytes,       // a: track, b: sector
  kUnownedBytesRange,  // a: track, b: sector, c: last track, d: its sector
  kNothingWritten,     // after the FILEs refused
  // The image and the disk chosen.
  kImageUnopenable,  // with the system's error
  kImageNotRegular,
  kImageReadOnly,
  kImageNotWritable,
  kNotD88SizeBelowHeader,    // a: the first disk's size
  kNotD88TrackInsideHeader,  // a: track, b: its offset
  kNotD88TrackPastDisk,      // a: track, b: its offset, c: the first disk's size
  kImageCompressed,
  kImageArchive,
  kImageExists,
  kImageDanglingLink,
  kImageHoldsNoDisk,
  kImageChooseDisk,        // a: the disks it holds
  kImageNoSuchDisk,        // a: the disks it holds (more than one)
  kImageNoSuchDisk1,       // it holds one disk
  kImageChooseOfMore,      // a: the disks that can be chosen, of more
  kImageNoSuchDiskOfMore,  // a: the disks that can be chosen, of more
  kImageChanged,
  kImageUnreadable,  // with the system's error
  kImageUnlockable,  // with the system's error
  kDiskUnreadable,
  kDiskWriteProtected,
  // No directory: what the disk is instead.
  kDiskBlank,
  kDiskCutOff,              // a: the image's size
  kDiskOtherLayout,         // a: tracks, b: sectors of each, c: their bytes
  kDiskOtherLayoutMixed,    // a: tracks, b: sectors of the first, c: their bytes
  kDiskDirectoryMissing,    // a: track, b: sector
  kDiskSectorMissing,       // a: track, b: sector
  kDiskSectorSize,          // a: track, b: sector, c: its bytes
  kDiskSectorCut,           // a: track, b: sector
  kDiskSectorOutside,       // a: track, b: sector
  kDiskHeaderInData,        // a: the header's track, b: track, c: sector
  kDiskSectorsShift,        // writing the data would move a sector
  kDirectoryEndBelowStart,  // a: entry
  kDirectoryRecordOverlap,  // a: entry, b: record bytes, c: allocation
  kDirectoryPastDataArea,   // a: entry
  // Found by a check, and no bar to a put with --force.
  kUnownedFound,       // a: track, b: sector
  kUnownedFoundRange,  // a: track, b: sector, c: last track, d: its sector
  // Making the new image.
  kCannotKeepOwner,        // with the system's error
  kCannotKeepAttributes,   // with the system's error
  kCannotCreateTemporary,  // with the system's error
  kCannotWrite,            // with the system's error
  kCannotReadBack,         // with the system's error
  kCannotReplace,          // with the system's error; the last
};

// A reason with the numbers its text needs, and the system's error number
// where a call failed (0 when none).
struct Problem {
  Refusal why = Refusal::kNone;
  long long a = 0;
  long long b = 0;
  long long c = 0;
  long long d = 0;
  int error = 0;

  explicit operator bool() const { return why != Refusal::kNone; }
};

inline Problem Refuse(Refusal why, long long a = 0, long long b = 0, long long c = 0,
                      long long d = 0) {
  return Problem{why, a, b, c, d, 0};
}

inline Problem Failed(Refusal why, int error) {
  return Problem{why, 0, 0, 0, 0, error};
}

// The words of a problem's reason in `out`: its text with the problem's
// numbers, a noun after a number agreeing with it. Where the problem has a
// system error, ": " and the system's text for it follow.
void FormatProblem(const Problem& problem, char* out, std::size_t size);

#endif
