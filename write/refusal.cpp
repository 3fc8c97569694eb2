#include "refusal.h"

namespace {

struct Text {
  Refusal why;
  const char* text;
};

// Every reason's words, in one place.
constexpr Text kTexts[] = {
    {Refusal::kNone, ""},
    {Refusal::kNameEmpty, "the entry name would be empty: nothing stands before the extension"},
    {Refusal::kNameTooLong, "the name is longer than 6 bytes before its extension"},
    {Refusal::kExtensionTooLong, "the extension is longer than 3 bytes"},
    {Refusal::kNameEndsInDot, "the name ends in '.', which an entry name cannot keep"},
    {Refusal::kNameSpace, "the name contains a space"},
    {Refusal::kNameControl, "the name contains a control character"},
    {Refusal::kNameSlash, "the name contains '/'"},
    {Refusal::kNameBackslash, "the name contains '\\'"},
    {Refusal::kNameNotCodePage932, "the name has no exact form in code page 932"},
    {Refusal::kNameGivenTwice, "its entry name is given twice"},
    {Refusal::kFileUnreadable, "cannot read"},
    {Refusal::kFileNotRegular, "not a regular file"},
    {Refusal::kFileChanged, "changed while it was read"},
    {Refusal::kFileTooLarge,
     "is %lld bytes; a record's allocation is at most 63 sectors, which hold 64508 bytes of data"},
    {Refusal::kFileEndPastFFFF, "would end past FFFF: start %04llX plus %lld bytes"},
    {Refusal::kFileDoesNotFit,
     "does not fit: its record takes %lld bytes of the disk, and %lld are free"},
    {Refusal::kDirectoryFull, "does not fit: the directory holds %lld entries, the most it can"},
    {Refusal::kImageUnopenable, "cannot open"},
    {Refusal::kImageNotRegular, "not a regular file"},
    {Refusal::kImageExists, "exists already; --force replaces it"},
    {Refusal::kImageDanglingLink, "is a symbolic link that leads nowhere"},
    {Refusal::kImageHoldsNoDisk, "holds no disk; --create makes one"},
    {Refusal::kImageChooseDisk, "holds %lld disks; choose one with --disk"},
    {Refusal::kImageNoSuchDisk, "the image holds %lld disks"},
    {Refusal::kImageNoSuchDisk1, "the image holds 1 disk"},
    {Refusal::kImageChanged, "changed while it was read"},
    {Refusal::kImageUnreadable, "cannot read"},
    {Refusal::kDiskUnreadable, "its header cannot be read"},
    {Refusal::kDiskWriteProtected, "the disk is write-protected; --force writes it all the same"},
    {Refusal::kDiskNoDirectory,
     "no directory: its last track does not hold sectors 1 to 5 of 1024 bytes in full"},
    {Refusal::kDiskSectorMissing, "not wholly of the layout: track %lld has no sector %lld"},
    {Refusal::kDiskSectorSize,
     "not wholly of the layout: track %lld, sector %lld holds %lld bytes, not 1024"},
    {Refusal::kDiskSectorCut,
     "not wholly of the layout: the image ends inside track %lld, sector %lld"},
    {Refusal::kDiskSectorOutside,
     "not wholly of the layout: track %lld, sector %lld lies outside the disk"},
    {Refusal::kDiskSectorsOverlap,
     "not wholly of the layout: track %lld, sector %lld overlaps another sector"},
    {Refusal::kDiskSectorsShift,
     "not wholly of the layout: its sectors are chained so that writing one would move another"},
    {Refusal::kDirectoryEndBelowStart,
     "the directory is inconsistent: the end address of entry %lld is below its start"},
    {Refusal::kDirectoryRecordOverlap,
     "the directory is inconsistent: the record of entry %lld (%lld bytes) is longer than its "
     "allocation (%lld bytes)"},
    {Refusal::kDirectoryPastDataArea,
     "the directory is inconsistent: entry %lld passes the end of the data area"},
    {Refusal::kCannotCreateTemporary, "cannot create a temporary file beside it"},
    {Refusal::kCannotWrite, "cannot write the new image"},
    {Refusal::kCannotReplace, "cannot put the new image in its place"},
    {Refusal::kNoCodePage932, "code page 932 cannot be converted on this system"},
};

}  // namespace

const char* RefusalText(Refusal why) {
  for (const Text& text : kTexts) {
    if (text.why == why) return text.text;
  }
  return "refused";
}
