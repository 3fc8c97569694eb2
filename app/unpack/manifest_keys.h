// What d88unpack --json tells so that d88pack can make the image again from
// the files written: where each file was written, and the system disk's
// system area as a file of its own.
#ifndef D88UNPACK_APP_UNPACK_MANIFEST_KEYS_H
#define D88UNPACK_APP_UNPACK_MANIFEST_KEYS_H

#include "d88_image.h"
#include "disk_walk.h"
#include "extract_files.h"
#include "report.h"

// The name the system area is written under. No entry can have it: an
// entry's extension is at most three bytes.
constexpr char kSystemAreaName[] = "SYSTEM.AREA";

// The path of the file written for an entry with `outcome` under
// `fileName`, relative to the output folder, in `path`; null when no file
// was written (nothing asked to be, or the entry was refused), or when its
// name is not UTF-8 text.
const char* WrittenFilePath(const EntryOutcome& outcome, const char* fileName,
                            const OutputTarget& target, char (&path)[kWrittenPathSize]);

// Writes the system area of the system disk `record`, selected in `image`,
// as SYSTEM.AREA beside the disk's files, and sets `written` to its path
// (null when nothing was written: it was refused, or what stood there was
// kept). False, with the complaint reported, when it cannot be read or
// written.
bool WriteSystemArea(D88Image& image, const DiskRecord& record, OutputTarget& target,
                     const Report& report, char (&path)[kWrittenPathSize], const char*& written);

#endif
