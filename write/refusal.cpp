#include "refusal.h"

#include <cstdio>
#include <cstring>

namespace {

// A reason's words: a printf format that takes the problem's a, b, c and d
// as long long, in that order, as far as it needs them; where `agrees`, each
// of a and b is followed by the ending of a noun that agrees with it ("" or
// "s"), as a const char*.
struct Text {
  Refusal why;
  const char* text;
  bool agrees = false;
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
    {Refusal::kNameOnDisk, "an entry of that name is on the disk already"},
    {Refusal::kFileUnreadable, "cannot read"},
    {Refusal::kFileNotRegular, "not a regular file"},
    {Refusal::kFileChanged, "changed while it was read"},
    {Refusal::kFileIsImage, "is the image itself"},
    {Refusal::kFileTooLarge,
     "is %lld bytes; a record's allocation is at most 65535 bytes, which hold 65531 bytes of "
     "data"},
    {Refusal::kFileEndPastFFFF, "would end past FFFF: start %04llX plus %lld bytes"},
    {Refusal::kFileDoesNotFit,
     "does not fit: its record takes %lld bytes of the disk, and %lld are free"},
    {Refusal::kDirectoryFull, "does not fit: the directory holds %lld entries, the most it can"},
    {Refusal::kUnownedBytes,
     "the records would cover bytes that no file owns, in track %lld, sector %lld; --force "
     "writes over them"},
    {Refusal::kUnownedBytesRange,
     "the records would cover bytes that no file owns, in track %lld, sector %lld to track "
     "%lld, sector %lld; --force writes over them"},
    {Refusal::kNothingWritten, "nothing written; the image is as it was"},
    {Refusal::kImageUnopenable, "cannot open"},
    {Refusal::kImageNotRegular, "not a regular file"},
    {Refusal::kImageReadOnly, "is read-only; --force replaces it all the same"},
    {Refusal::kImageNotWritable,
     "you have no permission to write it; --force replaces it all the same"},
    {Refusal::kNotD88SizeBelowHeader,
     "not a D88 image (the size of its first disk, %lld bytes, is smaller than a disk header)"},
    {Refusal::kNotD88TrackInsideHeader,
     "not a D88 image (track %lld of its first disk starts at byte %lld, inside the disk "
     "header)"},
    {Refusal::kNotD88TrackPastDisk,
     "not a D88 image (track %lld of its first disk starts at byte %lld, past the disk's end at "
     "byte %lld)"},
    {Refusal::kImageCompressed,
     "is a compressed file, not a D88 image; d88pack writes plain images only: decompress it "
     "and give the image"},
    {Refusal::kImageArchive,
     "is an archive, not a D88 image; d88pack writes plain images only: take the image out of "
     "it and give that"},
    {Refusal::kImageExists, "exists already; --force replaces it"},
    {Refusal::kImageDanglingLink, "is a symbolic link that leads nowhere"},
    {Refusal::kImageHoldsNoDisk, "holds no disk; --create makes one"},
    {Refusal::kImageChooseDisk, "holds %lld disks; choose one with --disk"},
    {Refusal::kImageNoSuchDisk, "the image holds %lld disks"},
    {Refusal::kImageNoSuchDisk1, "the image holds 1 disk"},
    {Refusal::kImageChooseOfMore,
     "holds more than %lld disks; choose one of the first %lld with --disk"},
    {Refusal::kImageNoSuchDiskOfMore,
     "the image holds more than %lld disks, and only the first %lld can be chosen"},
    {Refusal::kImageChanged, "changed while d88pack ran; nothing written"},
    {Refusal::kImageUnreadable, "cannot read"},
    {Refusal::kImageUnlockable, "cannot lock"},
    {Refusal::kDiskUnreadable,
     "its header can no longer be read; the image changed while it was read"},
    {Refusal::kDiskWriteProtected, "the disk is write-protected; --force writes it all the same"},
    {Refusal::kDiskBlank, "no directory: the disk is blank (it has no tracks)"},
    {Refusal::kDiskCutOff, "no directory: the image is cut off at byte %lld, inside this disk"},
    {Refusal::kDiskOtherLayout,
     "no directory: the disk is of another layout (%lld track%s of %lld sector%s of %lld bytes)",
     true},
    {Refusal::kDiskOtherLayoutMixed,
     "no directory: the disk is of another layout (%lld track%s, the first of %lld sector%s of "
     "%lld bytes)",
     true},
    {Refusal::kDiskDirectoryMissing,
     "no directory: the image does not hold track %lld sector %lld in full, where the directory "
     "lies"},
    {Refusal::kDiskSectorMissing, "not wholly of the layout: track %lld has no sector %lld"},
    {Refusal::kDiskSectorSize,
     "not wholly of the layout: track %lld, sector %lld holds %lld bytes, not 1024"},
    {Refusal::kDiskSectorCut,
     "not wholly of the layout: the image ends inside track %lld, sector %lld"},
    {Refusal::kDiskSectorOutside,
     "not wholly of the layout: track %lld, sector %lld lies in the disk's header or outside the "
     "disk"},
    {Refusal::kDiskHeaderInData,
     "not wholly of the layout: a sector header of track %lld lies in the data of track %lld, "
     "sector %lld"},
    {Refusal::kDiskSectorsShift,
     "not wholly of the layout: its sectors are chained so that writing one would move another"},
    {Refusal::kDirectoryEndBelowStart,
     "the directory is inconsistent: the end address of entry %lld is below its start"},
    {Refusal::kDirectoryRecordOverlap,
     "the directory is inconsistent: the record of entry %lld (%lld bytes) is longer than its "
     "allocation (%lld bytes)"},
    {Refusal::kDirectoryPastDataArea,
     "the directory is inconsistent: entry %lld passes the end of the data area"},
    {Refusal::kUnownedFound,
     "after the last file, bytes that no file owns are not zeros, in track %lld, sector %lld; a "
     "put that reaches them needs --force"},
    {Refusal::kUnownedFoundRange,
     "after the last file, bytes that no file owns are not zeros, in track %lld, sector %lld to "
     "track %lld, sector %lld; a put that reaches them needs --force"},
    {Refusal::kCannotKeepOwner,
     "the new image cannot keep its owner and group (--force replaces it all the same, as "
     "yours)"},
    {Refusal::kCannotKeepAttributes,
     "the new image cannot keep its extended attributes (--force replaces it without them)"},
    {Refusal::kCannotCreateTemporary, "cannot create a temporary file beside it"},
    {Refusal::kCannotWrite, "cannot write the new image"},
    {Refusal::kCannotReadBack, "cannot read the new image back"},
    {Refusal::kCannotReplace, "cannot put the new image in its place"},
};

constexpr int kTextCount = sizeof kTexts / sizeof kTexts[0];

// The table holds every reason, each at its own place.
constexpr bool EachInItsPlace() {
  for (int i = 0; i < kTextCount; ++i) {
    if (kTexts[i].why != static_cast<Refusal>(i)) return false;
  }
  return kTextCount == static_cast<int>(Refusal::kCannotReplace) + 1;
}
static_assert(EachInItsPlace(), "every reason has its words, in the order of Refusal");

const char* Ending(long long count) {
  return count == 1 ? "" : "s";
}

}  // namespace

void FormatProblem(const Problem& problem, char* out, std::size_t size) {
  const Text* text = &kTexts[static_cast<int>(problem.why)];
  if (text->agrees) {
    std::snprintf(out, size, text->text, problem.a, Ending(problem.a), problem.b, Ending(problem.b),
                  problem.c);
  } else {
    std::snprintf(out, size, text->text, problem.a, problem.b, problem.c, problem.d);
  }
  if (problem.error == 0) return;
  const std::size_t length = std::strlen(out);
  std::snprintf(out + length, size - length, ": %s", std::strerror(problem.error));
}
