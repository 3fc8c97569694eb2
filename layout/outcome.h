// What became of each directory entry. The walk over a disk's records finds
// what the disk and the image do not give of an entry; extraction decides
// the rest and records it; the driver turns the records into the listing,
// the complaints and the exit status.
#ifndef D88UNPACK_LAYOUT_OUTCOME_H
#define D88UNPACK_LAYOUT_OUTCOME_H

#include <cstdint>

// Whether a name from a disk may be created as it stands. Each rule is a
// separate, named decision: a name from a hostile image must never reach
// outside the output folder or send data to a device.
enum class NameVerdict : std::uint8_t {
  kAccepted,
  kEmpty,           // nothing to create
  kNulByte,         // the entry's name holds a NUL, which would cut the name short
  kDotOrDotDot,     // "." and ".." name directories, not files
  kSlash,           // a path separator would leave the current directory
  kBackslash,       // Windows only: also a path separator there
  kColon,           // Windows only: a drive or an alternate data stream
  kReservedDevice,  // Windows only: CON, PRN, AUX, NUL, COM1-9, LPT1-9, CONIN$, CONOUT$
  kNotCodePage932,  // Windows only: the bytes do not convert to a file name
  kTrailingDot,     // Windows only: dropped there, so another file is hit
  kTooLong,         // Windows only: more than 255 bytes, the longest name Windows takes
};

enum class EntryStatus : std::uint8_t {
  kWritten,     // the file holds all its data
  kTruncated,   // the file holds the first `written` bytes of its data
  kNotWritten,  // listed, but no file was created or changed
  kSkipped,     // its record header could not be read: not listed either
  kListed,      // listed; nothing was asked to be written
  kSalvaged,    // the file holds all its data on the disk, zeros where the image lacks it
  kKept,        // something stood at the name, and was kept as asked
};

enum class EntryProblem : std::uint8_t {
  kNone,
  kRecordPastDisk,  // the record header lies (partly) past the end of the disk
  kRecordMissing,   // the record header reaches a part the image does not hold
  kEndBelowStart,   // the end address is below the start address
  kNameRefused,     // the name may not be created as it stands: see `verdict`
  // What stands at the name in the output folder, which is never written
  // through: it is removed and the file created anew, unless it is one of
  // these.
  kNameIsImage,        // the image file being read, under any name
  kNameIsOutput,       // the file standard output goes to
  kNameIsErrorOutput,  // the file standard error goes to
  kDirectoryAtName,    // a directory, which is left alone
  kReadOnlyAtName,     // Windows: a read-only file, which is not forced
  kCannotCheck,        // what stands there could not be told apart from the
                       // image (`error`): it is left alone
  kKeptOld,            // something stands at the name, and old files are kept
  kDiskFolder,         // the disk's own folder cannot be made (`error`;
                       // ENOTDIR: something else stands at its name)
  kCannotRemove,       // `error` says why
  kCannotCreate,       // `error` says why
  kWriteFailed,        // `error` says why
  kCloseFailed,        // `error` says why
  kDataPastDisk,       // the data runs past the end of the disk
  kDataMissing,        // the data runs into a part the image does not hold
};

struct EntryOutcome {
  EntryStatus status;
  EntryProblem problem;
  NameVerdict verdict;  // with kNameRefused
  int written;          // bytes of data written
  int error;            // the system's error number of the failing step, or 0
  // With kWriteFailed and kCloseFailed: a file that stood at the name had
  // been removed to make room for the new one, which is gone too.
  bool oldRemoved;
  // The file written replaced one that this run wrote from an earlier
  // entry: that entry's disk place (0: none) and disk number.
  int replacedPlace;
  int replacedNumber;
};

#endif
