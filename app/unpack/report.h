// What the user sees: the header and listing lines, or JSON Lines, on
// the console's output, and on its error stream one line for each entry that was
// not written as listed and for each other thing that went wrong. Every
// line about an image's contents names the image first.
#ifndef D88UNPACK_APP_UNPACK_REPORT_H
#define D88UNPACK_APP_UNPACK_REPORT_H

#include <cstddef>

#include "console.h"
#include "d88_image.h"
#include "disk_walk.h"
#include "native_path.h"
#include "outcome.h"

// The longest name as shown (a name in UTF-8 takes up to three bytes for
// each byte on the disk), with its terminator.
constexpr int kShownNameSize = 64;

// What the run tells of the image `image`, its disks and its entries.
class Report {
 public:
  // On standard output: the header and listing lines, JSON Lines, or
  // nothing (when the files' data goes there).
  enum class Form { kListing, kJson, kNone };

  Report(const Console& console, Form form, const NativePathChar* image)
      : console(console), form(form), image(image) {}

  // The disk's header line "[Disk X]" (the letter one raw byte; a disk
  // without a directory has none), or its JSON object; then, for a disk
  // without a directory, what was found instead.
  void Disk(const DiskRecord& disk) const;

  // Before the entry is written: its listing line, "%-12s  %5d  START=%04x
  // END=%04x", with the name shown as `shownName` taking `columns` columns
  // (on a terminal its control bytes shown as '?'). An entry whose record
  // header lies past the end of the disk has none.
  void Listing(const EntryRecord& entry, const char* shownName, int columns) const;

  // After: the entry's JSON object; its complaint when it was not written
  // as listed; a note when it replaced a file written for an earlier entry.
  void Outcome(const DiskRecord& disk, const EntryRecord& entry, const EntryOutcome& outcome) const;

  // The file's first disk header cannot be a D88 header.
  void NotD88(const FormatCheck& check) const;
  // A read or seek of the image that failed: once.
  void ReadError(int error) const;
  // A disk chosen by its place past the `count` that were read (`more`:
  // the image holds more than that).
  void MissingDisk(long long place, int count, bool more) const;
  // The image ends inside the header of disk `place`, after `bytes` bytes.
  void CutHeader(int place, int bytes) const;
  // Disk `place` has a size of 0, and the image holds more after it.
  void ZeroSize(int place) const;
  // The image holds more disks than the 64 that are read.
  void MoreDisks(int count) const;

 private:
  const Console& console;
  Form form;
  const NativePathChar* image;
};

// Why the image could not be opened: the Japanese line the tool has always
// printed (Shift-JIS bytes, or UTF-8 text on a terminal that shows UTF-8),
// then the path and the reason in plain words.
void ShowOpenFailure(const Console& console, const NativePathChar* path, int error);

// The folder given to --directory cannot be written into.
void ShowFolderFailure(const Console& console, const NativePathChar* path, int error);

// A NAME pattern that matched no entry of the disks chosen, shown as given
// but for its control bytes (`someDisks`: only some disks were chosen, with
// --disk; `namesFile`: the pattern is the name of an existing file, most
// likely a second image given by mistake).
void ShowPatternNotFound(const Console& console, const char* pattern, bool someDisks,
                         bool namesFile);

#endif
