// What the user sees: the header and listing lines on standard output, one
// complaint line on standard error for each entry that was not written as
// listed.
#ifndef D88UNPACK_APP_REPORT_H
#define D88UNPACK_APP_REPORT_H

#include "disk_walk.h"
#include "native_path.h"
#include "outcome.h"

// Why the image could not be opened: the Shift-JIS line the tool has always
// printed, then the path and the reason in plain words.
void ShowOpenFailure(const NativePathChar* path, int error);

// A read or seek of the image that failed: one line, the first time only.
void ShowReadError(const NativePathChar* path, int error);

// The image ends inside the header of disk `place`, after `bytes` bytes.
void ShowCutHeader(const NativePathChar* path, int place, int bytes);

// The image holds more disks than the 64 that are read.
void ShowMoreDisks(const NativePathChar* path, int count);

// What is wrong with the disk as a whole: a header that can no longer be
// read, or a directory track that the image does not hold in full. Returns
// false when something was reported.
bool ShowDiskProblems(const DiskRecord& disk);

// "[Disk X]": the letter is one raw byte.
void ShowDisk(const DiskRecord& disk);

// The entry's listing line, then its complaint if it has one. Returns false
// when the entry was not written as listed.
bool ShowEntry(const DiskRecord& disk, const EntryRecord& entry, const EntryOutcome& outcome);

#endif
