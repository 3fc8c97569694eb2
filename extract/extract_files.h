// Extracting one directory entry: the rules that decide whether it is
// written, and writing it.
#ifndef D88UNPACK_EXTRACT_EXTRACT_FILES_H
#define D88UNPACK_EXTRACT_EXTRACT_FILES_H

#include "disk_walk.h"
#include "outcome.h"
#include "output_file.h"

constexpr int kDiskFolderNameSize = 16;

// The name of the folder of the disk at `place` (from 1) when each disk has
// one of its own: "disk01", "disk02", ...
void DiskFolderName(int place, char (&name)[kDiskFolderNameSize]);

// Where files are written, and what they must never replace.
struct OutputTarget {
  const OutputFolder* folder;  // the output folder
  GuardedFiles guarded;
  bool keepOld;  // never replace what stands at a name
  // With a folder per disk (not null): the current disk's folder, made
  // inside `folder` under `diskFolderName` when its first file is written.
  // Null: files go straight into `folder`.
  OutputFolder* diskFolder;
  char diskFolderName[kDiskFolderNameSize];
  int diskFolderError;  // why making it failed, once it has; 0 otherwise
};

// Where the files of the disk at `diskPlace` go from now on: with a folder
// per disk, that disk's own folder, not made yet.
void EnterDisk(OutputTarget& target, int diskPlace);

// Writes the entry's file under `fileName` into the output target, unless a
// rule refuses it, and says what happened. An entry whose record header lies
// past the end of the disk is skipped; one whose record header the image
// does not hold, whose end is below its start, or whose name is refused or
// taken by what may not be replaced, is not written; one whose data runs
// past the end of the disk or into a part the image does not hold is
// written in part.
// A null `fileName` is a name that is not valid code page 932 text.
EntryOutcome ExtractEntry(const EntryRecord& entry, const char* fileName, OutputTarget& target);

// The same rules for an entry whose data goes somewhere other than a file
// (standard output), which the caller writes: no name is screened and
// nothing is created. `available` bytes at `data` are the ones to write
// when the status is kWritten or kTruncated.
EntryOutcome PassEntry(const EntryRecord& entry);

// The outcome of an entry that is only listed: skipped when its record
// header lies past the end of the disk, listed otherwise, with what the
// image does not give of it as its problem.
EntryOutcome ListEntry(const EntryRecord& entry);

#endif
