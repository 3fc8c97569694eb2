// What became of each directory entry. Extraction decides and records; the
// driver turns the records into the listing, the complaints and the exit
// status.
#ifndef D88UNPACK_EXTRACT_OUTCOME_H
#define D88UNPACK_EXTRACT_OUTCOME_H

#include <cstdint>

#include "output_file.h"

enum class EntryStatus : std::uint8_t {
  kWritten,     // the file holds all its data
  kTruncated,   // the file holds the first `written` bytes of its data
  kNotWritten,  // listed, but no file was created or changed
  kSkipped,     // its record header could not be read: not listed either
  kListed,      // listed; nothing was asked to be written
};

enum class EntryProblem : std::uint8_t {
  kNone,
  kRecordPastDisk,  // the record header lies (partly) past the end of the disk
  kEndBelowStart,   // the end address is below the start address
  kNameRefused,     // the name may not be created as it stands: see `verdict`
  kNameIsImage,     // the name is the image file being read
  kCannotCreate,    // `error` says why
  kWriteFailed,     // `error` says why
  kCloseFailed,     // `error` says why
  kDataPastDisk,    // the data runs past the end of the disk
};

struct EntryOutcome {
  EntryStatus status;
  EntryProblem problem;
  NameVerdict verdict;  // with kNameRefused
  int written;          // bytes of data written
  int error;            // the system's error number of the failing step, or 0
};

#endif
