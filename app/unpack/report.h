// What the user sees: the header and listing lines, or JSON Lines, on
// standard output, and one complaint line on standard error for each entry
// that was not written as listed, and for each other thing that went wrong.
#ifndef D88UNPACK_APP_UNPACK_REPORT_H
#define D88UNPACK_APP_UNPACK_REPORT_H

#include <cstddef>

#include "disk_walk.h"
#include "native_path.h"
#include "outcome.h"

// The longest name as shown (a name in UTF-8 takes up to three bytes for
// each byte on the disk), with its terminator.
constexpr int kShownNameSize = 64;

// What the run tells of each disk and entry on standard output: the header
// and listing lines, JSON Lines, or nothing (when the files' data goes
// there). Complaints go to standard error in every form.
class Report {
 public:
  enum class Form { kListing, kJson, kNone };

  explicit Report(Form form) : form(form) {}

  // The disk's header line "[Disk X]" (the letter one raw byte), or its JSON
  // object.
  void Disk(const DiskRecord& disk) const;

  // Before the entry is written: its listing line, "%-12s  %5d  START=%04x
  // END=%04x", with the name shown as `shownName` taking `columns` columns
  // (on a terminal its control bytes shown as '?'). An entry whose record
  // header lies past the end of the disk has none.
  void Listing(const EntryRecord& entry, const char* shownName, int columns) const;

  // After: the entry's JSON object, and its complaint when it was not
  // written as listed.
  void Outcome(const DiskRecord& disk, const EntryRecord& entry, const EntryOutcome& outcome) const;

 private:
  Form form;
};

// What is wrong with a disk as a whole: a header that can no longer be read,
// or a directory track that the image does not hold in full.
bool DiskHasProblems(const DiskRecord& disk);
void ShowDiskProblems(const DiskRecord& disk);

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

#endif
