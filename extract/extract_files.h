// Extracting one directory entry: the rules that decide whether it is
// written, and writing it.
#ifndef D88UNPACK_EXTRACT_EXTRACT_FILES_H
#define D88UNPACK_EXTRACT_EXTRACT_FILES_H

#include "disk_walk.h"
#include "outcome.h"
#include "output_file.h"
#include "written_files.h"

constexpr int kDiskFolderNameSize = 16;

// The name of the folder of the disk at `place` (from 1) when each disk has
// one of its own: "disk01", "disk02", ...
void DiskFolderName(int place, char (&name)[kDiskFolderNameSize]);

// What stands at a name before a file is written there.
enum class TakenNames : std::uint8_t {
  kReplace,       // removed, and the file created anew
  kKeep,          // kept, and the entry reported as not written
  kKeepSilently,  // kept without a word
};

// Where files are written, and what they must never replace.
struct OutputTarget {
  const OutputFolder* folder;  // the output folder
  GuardedFiles guarded;
  TakenNames taken;
  // Write every file in full, zeros where the image lacks its data.
  bool salvage;
  // The files this run has written, or null when nobody asks.
  WrittenFiles* written;
  // With a folder per disk (not null): the current disk's folder, made
  // inside `folder` under `diskFolderName` when its first file is written.
  // Null: files go straight into `folder`.
  OutputFolder* diskFolder;
  char diskFolderName[kDiskFolderNameSize];
  int diskFolderError;  // why making it failed, once it has; 0 otherwise
  // The disk whose files are being written: its place and number.
  int diskPlace;
  int diskNumber;
};

// The files of `disk` go to `target` from now on: with a folder per disk,
// that disk's own folder, not made yet.
void EnterDisk(OutputTarget& target, const DiskRecord& disk);

// Room for a path WrittenPath makes: a disk's folder, '/', and a name.
constexpr int kWrittenPathSize = kDiskFolderNameSize + 256;

// Where a file written under `fileName` for the current disk lies, relative
// to the output folder: "disk02/GAME.BIN" with a folder per disk, else
// "GAME.BIN". Parts are joined by '/' on every host.
void WrittenPath(const OutputTarget& target, const char* fileName, char (&path)[kWrittenPathSize]);

// Writes the entry's file under `fileName` into the output target, unless a
// rule refuses it, and says what happened. An entry whose record header lies
// past the end of the disk is skipped; one whose record header the image
// does not hold, whose end is below its start, or whose name is refused or
// taken by what may not be replaced, is not written; one whose data runs
// past the end of the disk or into a part the image does not hold is
// written in part, or with `salvage` (when it is the image that lacks some
// of its data) in full, zeros for what the image lacks.
// A null `fileName` is a name that is not valid code page 932 text.
EntryOutcome ExtractEntry(const EntryRecord& entry, const char* fileName, OutputTarget& target);

// The same rules for an entry whose data goes somewhere other than a file
// (standard output), which the caller writes: no name is screened and
// nothing is created. The first `written` bytes at `data` are the ones to
// write.
EntryOutcome PassEntry(const EntryRecord& entry, bool salvage);

// The outcome of an entry that is only listed: skipped when its record
// header lies past the end of the disk, listed otherwise, with what the
// image does not give of it as its problem.
EntryOutcome ListEntry(const EntryRecord& entry);

#endif
