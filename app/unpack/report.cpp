#include "report.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "codepage.h"
#include "console.h"
#include "disk_layout.h"
#include "extract_files.h"
#include "finding_words.h"
#include "format_words.h"
#include "json.h"
#include "listing.h"

namespace {

const char* DescribeVerdict(NameVerdict verdict) {
  switch (verdict) {
    case NameVerdict::kAccepted:
      return "accepted";
    case NameVerdict::kEmpty:
      return "the name is empty";
    case NameVerdict::kNulByte:
      return "the name holds a NUL byte";
    case NameVerdict::kDotOrDotDot:
      return "the name is '.' or '..'";
    case NameVerdict::kSlash:
      return "the name contains '/'";
    case NameVerdict::kBackslash:
      return "the name contains '\\'";
    case NameVerdict::kColon:
      return "the name contains ':'";
    case NameVerdict::kReservedDevice:
      return "the name is a reserved device name";
    case NameVerdict::kNotCodePage932:
      return "the name is not valid code page 932 text";
    case NameVerdict::kTrailingDot:
      return "the name ends in '.' or a space";
    case NameVerdict::kTooLong:
      return "the name is longer than 255 bytes";
  }
  return "the name is refused";
}

const char* StatusWord(EntryStatus status) {
  switch (status) {
    case EntryStatus::kWritten:
      return "written";
    case EntryStatus::kTruncated:
      return "truncated";
    case EntryStatus::kNotWritten:
      return "not written";
    case EntryStatus::kSkipped:
      return "skipped";
    case EntryStatus::kListed:
      return "listed";
    case EntryStatus::kSalvaged:
      return "salvaged";
    case EntryStatus::kKept:
      return "kept";
  }
  return "";
}

// Room for any reason.
constexpr int kReasonSize = 256;

// "track T sector R": where sector `sector` of the layout lies.
void PutSector(char* out, std::size_t size, int sector) {
  std::snprintf(out, size, "track %d sector %d", TrackOf(sector), SectorNumberOf(sector));
}

// The words of a complaint about an entry: "WHAT: REASON", where WHAT is
// the step that failed or else what became of the entry.
struct Complaint {
  const char* failedStep;  // "cannot create" and the like, or null
  EntryStatus became;      // what became of the entry, when no step failed
  const char* reason;

  const char* What() const { return failedStep != nullptr ? failedStep : StatusWord(became); }
};

// What the image lacks of a salvaged file, and where.
void DescribeZeros(const EntryRecord& entry, const EntryOutcome& outcome,
                   char (&out)[kReasonSize]) {
  char first[32];
  char last[32];
  PutSector(first, sizeof first, entry.missing.firstSector);
  PutSector(last, sizeof last, entry.missing.lastSector);
  int n = std::snprintf(out, sizeof out, "%d of %d bytes written as zeros, ", entry.missing.bytes,
                        outcome.written);
  if (entry.missing.sectors == 1) {
    n += std::snprintf(out + n, sizeof out - n, "where the image does not hold %s in full", first);
  } else {
    n += std::snprintf(out + n, sizeof out - n,
                       "where the image does not hold %d sectors in full, from %s to %s",
                       entry.missing.sectors, first, last);
  }
  // Zeros stand only for what lies inside the disk: the rest of a file that
  // runs past its end is not made up.
  if (outcome.written < entry.size) {
    std::snprintf(out + n, sizeof out - n,
                  "; its data runs past the end of the disk, %d of %d bytes written",
                  outcome.written, entry.size);
  }
}

// The words for an entry's outcome; `scratch` holds the reason where it is
// made up on the spot.
Complaint Describe(const DiskRecord& disk, const EntryRecord& entry, const EntryOutcome& outcome,
                   char (&scratch)[kReasonSize]) {
  constexpr EntryStatus kNotWritten = EntryStatus::kNotWritten;
  // The bytes that are there: when only listing, none was written.
  const char* done = outcome.status == EntryStatus::kListed ? "readable" : "written";
  char sector[32];
  PutSector(sector, sizeof sector, entry.missingSector);
  switch (outcome.problem) {
    case EntryProblem::kNone:
      break;
    case EntryProblem::kRecordPastDisk:
      return {nullptr, EntryStatus::kSkipped, "its record header lies past the end of the disk"};
    case EntryProblem::kRecordMissing:
      std::snprintf(scratch, sizeof scratch,
                    "its record header lies in %s, which the image does not hold in full", sector);
      return {nullptr, kNotWritten, scratch};
    case EntryProblem::kEndBelowStart:
      return {nullptr, kNotWritten, "its end address is below its start address"};
    case EntryProblem::kNameRefused:
      return {nullptr, kNotWritten, DescribeVerdict(outcome.verdict)};
    case EntryProblem::kNameIsImage:
      return {nullptr, kNotWritten, "the name is the image file being read"};
    case EntryProblem::kNameIsOutput:
      return {nullptr, kNotWritten, "the name is the file that standard output goes to"};
    case EntryProblem::kNameIsErrorOutput:
      return {nullptr, kNotWritten, "the name is the file that standard error goes to"};
    case EntryProblem::kDirectoryAtName:
      return {nullptr, kNotWritten, "a directory stands at the name"};
    case EntryProblem::kReadOnlyAtName:
      return {nullptr, kNotWritten, "a read-only file stands at the name"};
    case EntryProblem::kCannotCheck:
      std::snprintf(scratch, sizeof scratch, "cannot tell whether the name is the image: %s",
                    std::strerror(outcome.error));
      return {nullptr, kNotWritten, scratch};
    case EntryProblem::kKeptOld:
      return {nullptr, kNotWritten, "a file of that name exists, and old files are kept"};
    case EntryProblem::kDiskFolder: {
      char folder[kDiskFolderNameSize];
      DiskFolderName(disk.place, folder);
      if (outcome.error == ENOTDIR) {
        std::snprintf(scratch, sizeof scratch, "something that is not a folder stands at %s",
                      folder);
      } else {
        std::snprintf(scratch, sizeof scratch, "cannot make the folder %s: %s", folder,
                      std::strerror(outcome.error));
      }
      return {nullptr, kNotWritten, scratch};
    }
    case EntryProblem::kCannotRemove:
      return {"cannot replace", kNotWritten, std::strerror(outcome.error)};
    case EntryProblem::kCannotCreate:
    case EntryProblem::kWriteFailed:
    case EntryProblem::kCloseFailed: {
      const char* step = outcome.problem == EntryProblem::kCannotCreate  ? "cannot create"
                         : outcome.problem == EntryProblem::kWriteFailed ? "write failed"
                                                                         : "close failed";
      std::snprintf(
          scratch, sizeof scratch, "%s%s", std::strerror(outcome.error),
          outcome.oldRemoved ? " (the file that stood at the name was removed first)" : "");
      return {step, kNotWritten, scratch};
    }
    case EntryProblem::kDataPastDisk:
      std::snprintf(scratch, sizeof scratch,
                    "its data runs past the end of the disk; %d of %d bytes %s", outcome.written,
                    entry.size, done);
      return {nullptr, EntryStatus::kTruncated, scratch};
    case EntryProblem::kDataMissing:
      if (outcome.status == EntryStatus::kSalvaged) {
        DescribeZeros(entry, outcome, scratch);
        return {nullptr, EntryStatus::kSalvaged, scratch};
      }
      std::snprintf(scratch, sizeof scratch,
                    "its data runs into %s, which the image does not hold in full; %d of %d "
                    "bytes %s",
                    sector, outcome.written, entry.size, done);
      return {nullptr, EntryStatus::kTruncated, scratch};
  }
  return {nullptr, outcome.status, ""};
}

// "disk N (X): "NAME": " for a line about an entry, after the image's name:
// the letter and the name's raw bytes, those outside printable ASCII
// escaped.
void PutEntryPrefix(const Console& console, const NativePathChar* image, const DiskRecord& disk,
                    const EntryRecord& entry) {
  PutPathPrefix(console, image);
  std::fprintf(console.err, "disk %d (", disk.place);
  PutEscaped(DiskLetter(disk.diskNumber), console.err);
  std::fputs("): \"", console.err);
  for (const char* p = entry.name; *p != 0; ++p)
    PutEscaped(static_cast<unsigned char>(*p), console.err);
  std::fputs("\": ", console.err);
}

// What became of a file written for an earlier entry that this one replaced.
void DescribeReplaced(const DiskRecord& disk, const EntryOutcome& outcome,
                      char (&out)[kReasonSize]) {
  if (outcome.replacedPlace == disk.place) {
    std::snprintf(out, sizeof out, "replaces the file written for an earlier entry of this disk");
  } else {
    // The letter as complaints show it: escaped outside printable ASCII.
    char shown[5];
    EscapeByte(DiskLetter(outcome.replacedNumber), shown);
    std::snprintf(out, sizeof out, "replaces the file written for disk %d (%s)",
                  outcome.replacedPlace, shown);
  }
}

void JsonDisk(const Console& console, const NativePathChar* image, const DiskRecord& disk) {
  char text[kShownNameSize];
  JsonLine line;
  line.String("type", "disk");
  char path[kPathTextSize];
  line.String("image", PathText(image, path));
  line.Number("disk", disk.place);
  if (disk.HasDirectory()) {
    line.Number("number", disk.diskNumber);
    // The letter is the byte the header line shows, read as code page 932;
    // a NUL (disk number 191) is a character of the line too.
    const char letter = static_cast<char>(DiskLetter(disk.diskNumber));
    Cp932ToUtf8Lenient(&letter, 1, text, sizeof text);
    line.String("letter", text, letter == 0 ? 1 : std::strlen(text));
  } else {
    // There is no letter to show without a directory.
    line.Null("number");
    line.Null("letter");
  }
  const std::size_t labelLength = std::strlen(disk.label);
  Cp932ToUtf8Lenient(disk.label, labelLength, text, sizeof text);
  line.String("label", text);
  line.Hex("label_bytes", disk.label, labelLength);
  line.Bool("write_protected", disk.writeProtect != 0);
  line.Number("media", disk.mediaType);
  line.Bool("directory", disk.HasDirectory());
  if (!disk.HasDirectory()) {
    char reason[kReasonSize];
    DescribeFinding(FactsOf(disk), reason, sizeof reason);
    line.String("reason", reason);
  }
  line.WriteTo(console.out);
}

void JsonEntry(const Console& console, const NativePathChar* image, const DiskRecord& disk,
               const EntryRecord& entry, const EntryOutcome& outcome, const char* reason) {
  char text[kShownNameSize];
  JsonLine line;
  line.String("type", "file");
  char path[kPathTextSize];
  line.String("image", PathText(image, path));
  line.Number("disk", disk.place);
  const std::size_t nameLength = std::strlen(entry.name);
  Cp932ToUtf8Lenient(entry.name, nameLength, text, sizeof text);
  line.String("name", text);
  line.Hex("name_bytes", entry.name, nameLength);
  if (entry.HasRecordHeader()) {
    line.Number("size", entry.size);
    line.Number("start", entry.start);
    line.Number("end", entry.end);
  } else {
    line.Null("size");
    line.Null("start");
    line.Null("end");
  }
  line.String("status", StatusWord(outcome.status));
  if (reason != nullptr) line.String("reason", reason);
  line.WriteTo(console.out);
}

// "Cannot open the file", in Japanese: the Shift-JIS bytes the tool has
// always written, and the same text in UTF-8.
const char kCannotOpen[] =
    "\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xF0\x83\x49\x81\x5B\x83\x76\x83\x93\x82\xC5\x82\xAB"
    "\x82\xDC\x82\xB9\x82\xF1";
const char kCannotOpenUtf8[] = u8"ファイルをオープンできません";

}  // namespace

void Report::Disk(const DiskRecord& disk) const {
  if (form == Form::kJson) {
    JsonDisk(console, image, disk);
  } else if (form == Form::kListing && disk.HasDirectory()) {
    PrintDiskLine(console, disk.diskNumber);
  }
  if (disk.HasDirectory()) return;
  char reason[kReasonSize];
  DescribeFinding(FactsOf(disk), reason, sizeof reason);
  PutPathPrefix(console, image);
  std::fprintf(console.err, "disk %d: %s\n", disk.place, reason);
}

void Report::Listing(const EntryRecord& entry, const char* shownName, int columns) const {
  if (form != Form::kListing || !entry.HasRecordHeader()) return;
  PrintListingLine(console, shownName, columns, entry.size, entry.start, entry.end);
}

void Report::Outcome(const DiskRecord& disk, const EntryRecord& entry,
                     const EntryOutcome& outcome) const {
  char scratch[kReasonSize];
  char reason[kReasonSize + 32];
  const char* jsonReason = nullptr;
  if (outcome.problem != EntryProblem::kNone) {
    const Complaint complaint = Describe(disk, entry, outcome, scratch);
    // The status says what became of the entry; a step that failed is named.
    std::snprintf(reason, sizeof reason, "%s%s%s",
                  complaint.failedStep != nullptr ? complaint.failedStep : "",
                  complaint.failedStep != nullptr ? ": " : "", complaint.reason);
    if (outcome.status != EntryStatus::kListed) jsonReason = reason;
    if (form == Form::kJson) JsonEntry(console, image, disk, entry, outcome, jsonReason);
    PutEntryPrefix(console, image, disk, entry);
    std::fprintf(console.err, "%s: %s\n", complaint.What(), complaint.reason);
    return;
  }
  if (outcome.status == EntryStatus::kKept) {
    jsonReason = "a file of that name exists, and old files are skipped";
  } else if (outcome.replacedPlace != 0) {
    DescribeReplaced(disk, outcome, scratch);
    jsonReason = scratch;
  }
  if (form == Form::kJson) JsonEntry(console, image, disk, entry, outcome, jsonReason);
  if (outcome.replacedPlace != 0) {
    PutEntryPrefix(console, image, disk, entry);
    std::fprintf(console.err, "%s%s\n", scratch,
                 outcome.replacedPlace == disk.place ? "" : "; -D keeps each disk's files apart");
  }
}

void Report::NotD88(const FormatCheck& check) const {
  char reason[kReasonSize];
  DescribeFormatCheck(check, reason, sizeof reason);
  PutPathPrefix(console, image);
  std::fprintf(console.err, "%s\n", reason);
}

void Report::ReadError(int error) const {
  PutPathPrefix(console, image);
  std::fprintf(console.err, "cannot read: %s\n", std::strerror(error));
}

void Report::MissingDisk(long long place, int count, bool more) const {
  PutPathPrefix(console, image);
  if (more) {
    std::fprintf(console.err, "disk %lld: only the first %d disks of the image are read\n", place,
                 count);
  } else {
    std::fprintf(console.err, "disk %lld: the image holds %d disk%s\n", place, count,
                 count == 1 ? "" : "s");
  }
}

void Report::CutHeader(int place, int bytes) const {
  PutPathPrefix(console, image);
  std::fprintf(console.err,
               "the image ends inside the header of disk %d (%d of %d bytes); that disk is not "
               "read\n",
               place, bytes, d88::disk_header::kSize);
}

void Report::ZeroSize(int place) const {
  PutPathPrefix(console, image);
  std::fprintf(console.err,
               "disk %d gives its size as 0; what follows it in the image is not read\n", place);
}

void Report::MoreDisks(int count) const {
  PutPathPrefix(console, image);
  std::fprintf(console.err, "holds more than %d disks; only the first %d were read\n", count,
               count);
}

void ShowOpenFailure(const Console& console, const NativePathChar* path, int error) {
  // The Japanese line is read on a terminal that shows UTF-8 as UTF-8; into
  // a file or a pipe it goes as the bytes the tool has always written.
  if (ErrorIsUtf8Terminal(console)) {
    std::fputs(kCannotOpenUtf8, console.err);
  } else {
    std::fwrite(kCannotOpen, 1, sizeof kCannotOpen - 1, console.err);
  }
  std::fputc('\n', console.err);
  PutPathPrefix(console, path);
  std::fprintf(console.err, "%s\n",
               error == kNotRegularFile ? "not a regular file" : std::strerror(error));
}

void ShowFolderFailure(const Console& console, const NativePathChar* path, int error) {
  PutPathPrefix(console, path);
  std::fprintf(console.err, "%s\n", std::strerror(error));
}

void ShowPatternNotFound(const Console& console, const char* pattern, bool someDisks,
                         bool namesFile) {
  std::fflush(console.out);
  std::fputs("d88unpack: ", console.err);
  PutTyped(pattern, console.err);
  std::fputs(someDisks ? ": not found on the disks chosen" : ": not found in the image",
             console.err);
  std::fputs(namesFile ? " (it names a file: one run reads one image, and the names after it "
                         "choose its files)\n"
                       : "\n",
             console.err);
}
