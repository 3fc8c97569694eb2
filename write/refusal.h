// Why the writer will not do what it was asked: every reason, and the one
// table of texts that says it.
#ifndef D88UNPACK_WRITE_REFUSAL_H
#define D88UNPACK_WRITE_REFUSAL_H

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
  // A FILE.
  kFileUnreadable,  // with the system's error
  kFileNotRegular,
  kFileChanged,
  kFileTooLarge,     // a: its size
  kFileEndPastFFFF,  // a: start, b: size
  kFileDoesNotFit,   // a: the bytes its record takes, b: the bytes free
  kDirectoryFull,    // a: the entries the directory holds
  // The image and the disk chosen.
  kImageUnopenable,  // with the system's error
  kImageNotRegular,
  kImageExists,
  kImageDanglingLink,
  kImageHoldsNoDisk,
  kImageChooseDisk,   // a: the disks it holds
  kImageNoSuchDisk,   // a: the disks it holds (more than one)
  kImageNoSuchDisk1,  // it holds one disk
  kImageChanged,
  kImageUnreadable,  // with the system's error
  kDiskUnreadable,
  kDiskWriteProtected,
  kDiskNoDirectory,
  kDiskSectorMissing,       // a: track, b: sector
  kDiskSectorSize,          // a: track, b: sector, c: its bytes
  kDiskSectorCut,           // a: track, b: sector
  kDiskSectorOutside,       // a: track, b: sector
  kDiskSectorsOverlap,      // a: track, b: sector
  kDiskSectorsShift,        // writing the data would move a sector
  kDirectoryEndBelowStart,  // a: entry
  kDirectoryRecordOverlap,  // a: entry, b: record bytes, c: allocation
  kDirectoryPastDataArea,   // a: entry
  // Making the new image.
  kCannotCreateTemporary,  // with the system's error
  kCannotWrite,            // with the system's error
  kCannotReplace,          // with the system's error
  kNoCodePage932,
};

// A reason with the numbers its text needs, and the system's error number
// where a call failed (0 when none).
struct Problem {
  Refusal why = Refusal::kNone;
  long long a = 0;
  long long b = 0;
  long long c = 0;
  int error = 0;

  explicit operator bool() const { return why != Refusal::kNone; }
};

inline Problem Refuse(Refusal why, long long a = 0, long long b = 0, long long c = 0) {
  return Problem{why, a, b, c, 0};
}

inline Problem Failed(Refusal why, int error) {
  return Problem{why, 0, 0, 0, error};
}

// The text of a reason: a printf format that takes the problem's a, b and c
// as long long, in that order, as far as it needs them. Where the problem
// has a system error, ": " and the system's text for it follow.
const char* RefusalText(Refusal why);

#endif
