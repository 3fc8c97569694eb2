#include "refusal.h"

#include <cstdio>
#include <cstring>

#include "finding_words.h"
#include "format_words.h"

namespace {

// A reason's words: a printf format that takes the problem's a, b, c and d
// as long long, in that order, as far as it needs them, as the reason's
// maker sets them. What would get past a refusal (an option to give) is
// the program's to say, not the writer's.
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
     "the records would cover bytes that no file owns, in track %lld, sector %lld"},
    {Refusal::kUnownedBytesRange,
     "the records would cover bytes that no file owns, in track %lld, sector %lld to track "
     "%lld, sector %lld"},
    {Refusal::kNothingWritten, "nothing written; the image is as it was"},
    {Refusal::kImageUnopenable, "cannot open"},
    {Refusal::kImageNotRegular, "not a regular file"},
    {Refusal::kImageReadOnly, "is read-only"},
    {Refusal::kImageNotWritable, "you have no permission to write it"},
    {Refusal::kNotD88, ""},
    {Refusal::kImageCompressed,
     "is a compressed file, not a D88 image; d88pack writes plain images only: decompress it "
     "and give the image"},
    {Refusal::kImageArchive,
     "is an archive, not a D88 image; d88pack writes plain images only: take the image out of "
     "it and give that"},
    {Refusal::kImageExists, "exists already"},
    {Refusal::kImageDanglingLink, "is a symbolic link that leads nowhere"},
    {Refusal::kImageHoldsNoDisk, "holds no disk"},
    {Refusal::kImageChooseDisk, "holds %lld disks"},
    {Refusal::kImageNoSuchDisk, "the image holds %lld disks"},
    {Refusal::kImageNoSuchDisk1, "the image holds 1 disk"},
    {Refusal::kImageChooseOfMore, "holds more than %lld disks"},
    {Refusal::kImageNoSuchDiskOfMore,
     "the image holds more than %lld disks, and only the first %lld can be chosen"},
    {Refusal::kImageChanged, "changed while d88pack ran; nothing written"},
    {Refusal::kImageUnreadable, "cannot read"},
    {Refusal::kImageUnlockable, "cannot lock"},
    {Refusal::kDiskWriteProtected, "the disk is write-protected"},
    {Refusal::kDiskNoDirectory, ""},
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
     "after the last file, bytes that no file owns are not zeros, in track %lld, sector %lld"},
    {Refusal::kUnownedFoundRange,
     "after the last file, bytes that no file owns are not zeros, in track %lld, sector %lld to "
     "track %lld, sector %lld"},
    {Refusal::kCannotKeepOwner, "the new image cannot keep its owner and group"},
    {Refusal::kCannotKeepAttributes, "the new image cannot keep its extended attributes"},
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

}  // namespace

void FormatProblem(const Problem& problem, const char* hint, char* out, std::size_t size) {
  // The reader's and the layout's findings are said in their own words.
  if (problem.why == Refusal::kNotD88) {
    DescribeFormatCheck(problem.format, out, size);
  } else if (problem.why == Refusal::kDiskNoDirectory) {
    DescribeFinding(problem.finding, out, size);
  } else {
    std::snprintf(out, size, kTexts[static_cast<int>(problem.why)].text, problem.a, problem.b,
                  problem.c, problem.d);
  }
  std::size_t length = std::strlen(out);
  if (hint != nullptr) {
    std::snprintf(out + length, size - length, "%s", hint);
    length = std::strlen(out);
  }
  if (problem.error == 0) return;
  std::snprintf(out + length, size - length, ": %s", std::strerror(problem.error));
}
