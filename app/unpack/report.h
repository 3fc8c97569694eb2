// What the user sees: the header and listing lines, or JSON Lines, on
// the console's output, and on its error stream one line for each entry that was
// not written as listed and for each other thing that went wrong. Every
// line about an image's contents names the image first.
#ifndef D88UNPACK_APP_UNPACK_REPORT_H
#define D88UNPACK_APP_UNPACK_REPORT_H

#include <cstddef>

#include "console.h"
#include "d88_image.h"
#include "disk_fill.h"
#include "disk_walk.h"
#include "native_path.h"
#include "outcome.h"

// The longest name as shown (a name in UTF-8 takes up to three bytes for
// each byte on the disk), with its terminator.
constexpr int kShownNameSize = 64;

// What a disk's JSON object tells besides its header and directory, so that
// the image can be made again from the files: the fill bytes, and where the
// system area was written (null: it was not).
struct DiskExtras {
  DiskFills fills;
  const char* systemArea;
};

// The image as the run names it.
struct ImageName {
  const NativePathChar* path;  // as given: "-" for standard input
  bool standardInput;          // messages say "standard input"
  const char* member;          // the archive member being read, or null
};

// The most bytes an image is read to in memory (from standard input, or
// one member of an archive): 64 disks of up to 2 MiB each.
constexpr std::size_t kMaxImageBytes = std::size_t{128} << 20;

// What the run tells of the image `image`, its disks and its entries.
class Report {
 public:
  // On the console's output: the header and listing lines, JSON Lines, or
  // nothing (when the files' data goes there).
  enum class Form { kListing, kJson, kNone };

  Report(const Console& console, Form form, const NativePathChar* image, bool standardInput)
      : console(console), form(form), image{image, standardInput, nullptr} {}

  // The archive member read from now on (raw bytes, NUL-terminated), or
  // null: the image itself. It must stay valid while it is named.
  void SetMember(const char* member) { image.member = member; }

  // The disk's header line "[Disk X]" (the letter one raw byte; a disk
  // without a directory has none), or its JSON object; then, for a disk
  // without a directory, what was found instead.
  // `extras`, where not null, gives the fill bytes and the system area's
  // path for a disk with a directory.
  void Disk(const DiskRecord& disk, const DecodedDisk& decoded,
            const DiskExtras* extras = nullptr) const;

  // Before the entry is written: its listing line, "%-12s  %5d  START=%04x
  // END=%04x", with the name shown as `shownName` taking `columns` columns
  // (on a terminal its control bytes shown as '?'). An entry whose record
  // header lies past the end of the disk has none.
  void Listing(const EntryRecord& entry, const char* shownName, int columns) const;

  // After: the entry's JSON object; its complaint when it was not written
  // as listed; a note when it replaced a file written for an earlier entry.
  // `path`: where the file was written, relative to the output folder, or
  // null when it was not.
  void Outcome(const DiskRecord& disk, const EntryRecord& entry, const EntryOutcome& outcome,
               const char* path = nullptr) const;

  // The system area of the system disk, written as the file `entry` names:
  // its complaint when it was not written (or the system disk holds none of
  // the usual shape, `entry` null), and nothing when it was.
  void SystemArea(const DiskRecord& disk, const EntryRecord* entry,
                  const EntryOutcome& outcome) const;

  // The file's first disk header cannot be a D88 header (or, for an
  // archive member, the member holds not even one header). A member is
  // `skipped`: a note, not a failure.
  void NotD88(const FormatCheck& check, bool skipped = false) const;
  // Standard input could not be read (EFBIG: it holds more than
  // kMaxImageBytes).
  void InputFailure(int error) const;
  // The archive, or the member being read, cannot be read: libarchive's
  // words.
  void ArchiveFailure(const char* text) const;
  // The member being read is larger than kMaxImageBytes.
  void MemberTooLarge() const;
  // The archive holds no D88 image.
  void NoImage() const;
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
  ImageName image;
};

// The JSON objects of a disk (with its free space, from `decoded`, where it
// has a directory) and of an entry, with the word for what became of it and
// why (or null), as one line each on the console's output. d88pack writes them
// too. `extras` and `path` (where the file was written), where null, are
// given as null.
void JsonDisk(const Console& console, const ImageName& image, const DiskRecord& disk,
              const DecodedDisk& decoded, const DiskExtras* extras = nullptr);
void JsonEntry(const Console& console, const ImageName& image, const DiskRecord& disk,
               const EntryRecord& entry, const char* status, const char* reason,
               const char* path = nullptr);
// The disk's object with the fill bytes it has now, where it has a
// directory: d88pack's, which writes no system area.
void JsonDiskAsItStands(const Console& console, const ImageName& image, const DiskRecord& disk,
                        DecodedDisk& decoded);

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
