// What the user sees: the header and listing lines on standard output, one
// complaint line on standard error for each entry that was not written as
// listed.
#ifndef D88UNPACK_APP_REPORT_H
#define D88UNPACK_APP_REPORT_H

#include "disk_walk.h"
#include "outcome.h"

// "[Disk X]": the letter is one raw byte.
void ShowDisk(const DiskRecord& disk);

// The entry's listing line, then its complaint if it has one. Returns false
// when the entry was not written as listed.
bool ShowEntry(const DiskRecord& disk, const EntryRecord& entry, const EntryOutcome& outcome);

#endif
