// Extracting one directory entry: the rules that decide whether it is
// written, and writing it.
#ifndef D88UNPACK_EXTRACT_EXTRACT_FILES_H
#define D88UNPACK_EXTRACT_EXTRACT_FILES_H

#include "disk_walk.h"
#include "outcome.h"
#include "output_file.h"

// Where files are written, and what they must never replace.
struct OutputPlace {
  const OutputFolder& folder;
  GuardedFiles guarded;
};

// Writes the entry's file under `fileName` into the output folder, unless
// a rule refuses it, and says what happened. An entry whose record header
// could not be read is skipped; one whose end is below its start, or whose
// name is refused or taken by what may not be replaced, is not written; one
// whose data runs past
// the end of the disk is written in part.
EntryOutcome ExtractEntry(const EntryRecord& entry, const char* fileName, const OutputPlace& place);

// The outcome of an entry that is only listed: skipped when its record
// header lies past the end of the disk, listed otherwise, with what the
// image does not give of it as its problem.
EntryOutcome ListEntry(const EntryRecord& entry);

#endif
