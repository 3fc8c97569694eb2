// What the user sees: the header and listing lines on standard output, one
// complaint line on standard error for each entry that was not written as
// listed.
#ifndef D88UNPACK_APP_REPORT_H
#define D88UNPACK_APP_REPORT_H

#include <cstddef>

#include "disk_walk.h"
#include "native_path.h"
#include "outcome.h"

// Whether all that was printed on standard output got there; if not, says so
// on standard error. Listing lines, JSON, data and help that never reached
// their destination are a failure too.
bool StandardOutputWritten();

// Why the image could not be opened: the Shift-JIS line the tool has always
// printed, then the path and the reason in plain words.
void ShowOpenFailure(const NativePathChar* path, int error);

// A read or seek of the image that failed: one line, the first time only.
void ShowReadError(const NativePathChar* path, int error);

// Standard output goes into the image file itself.
void ShowOutputIsImage(const NativePathChar* path);

// --utf8 was asked for, and the host cannot convert code page 932.
void ShowNoCodePage932();

// The folder given to --directory cannot be written into.
void ShowFolderFailure(const NativePathChar* path, int error);

// A disk chosen by its place that the image does not have.
void ShowMissingDisk(long long place, int count);

// A NAME pattern that matched no entry of the disks chosen, shown as given
// but for its control bytes (`someDisks`: only some disks were chosen, with
// --disk).
void ShowPatternNotFound(const char* pattern, bool someDisks);

// The image ends inside the header of disk `place`, after `bytes` bytes.
void ShowCutHeader(const NativePathChar* path, int place, int bytes);

// Disk `place` has a size of 0, and the image holds more after it.
void ShowZeroSize(const NativePathChar* path, int place);

// The image holds more disks than the 64 that are read.
void ShowMoreDisks(const NativePathChar* path, int count);

// What is wrong with the disk as a whole: a header that can no longer be
// read, or a directory track that the image does not hold in full. Returns
// false when something was reported.
bool ShowDiskProblems(const DiskRecord& disk);

// "[Disk X]": the letter is one raw byte.
void ShowDisk(const DiskRecord& disk);

// The longest name as shown (a name in UTF-8 takes up to three bytes for
// each byte on the disk), with its terminator.
constexpr int kShownNameSize = 64;

// The entry's listing line, with the name shown as `shownName` and taking
// `columns` columns: "%-12s  %5d  START=%04x  END=%04x". On a terminal the
// name's control bytes are shown as '?'.
void ShowListingLine(const EntryRecord& entry, const char* shownName, int columns);

// The two parts of a complaint: what happened to the entry, and why.
struct Complaint {
  const char* what;
  const char* reason;
};

// Room for any complaint's reason.
constexpr int kComplaintSize = 256;

// The words for an entry's outcome; `scratch` holds the reason where it is
// made up on the spot.
Complaint DescribeOutcome(const DiskRecord& disk, const EntryRecord& entry,
                          const EntryOutcome& outcome, char* scratch, std::size_t scratchSize);

// "written", "truncated", "not written", "skipped" or "listed".
const char* StatusWord(EntryStatus status);

// One line on standard error: which disk, which file (its raw bytes, those
// outside printable ASCII escaped), and why it was not written as listed.
void ShowComplaint(const DiskRecord& disk, const EntryRecord& entry, const EntryOutcome& outcome);

#endif
