#include "report.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "codepage.h"
#include "console.h"
#include "disk_layout.h"
#include "disk_space.h"
#include "extract_files.h"
#include "finding_words.h"
#include "format_words.h"
#include "json.h"
#include "listing.h"

namespace {

// Room for a member's name in UTF-8: three bytes for each of a long path's.
constexpr int kMemberTextSize = 3 * 4096;

// "PROGRAM: NAME: " on the error stream, after the output has been
// flushed: NAME is the image as messages show it, its path or "standard
// input", then ":MEMBER" for an image read from an archive, the member's
// bytes escaped as a path's are.
void PutImagePrefix(const Console& console, const ImageName& name) {
  std::fflush(console.out);
  std::fprintf(console.err, "%s: ", kProgramName);
  if (name.standardInput) {
    std::fputs("standard input", console.err);
  } else {
    PutPath(name.path, console.err);
  }
  if (name.member != nullptr) {
    std::fputc(':', console.err);
    for (const char* p = name.member; *p != 0; ++p) {
      PutEscaped(static_cast<unsigned char>(*p), console.err);
    }
  }
  std::fputs(": ", console.err);
}

// The image's fields of a JSON object: "image", the path as given ("-" for
// standard input), and "member", the archive member it was read from or
// null.
void JsonImage(JsonLine& line, const ImageName& name) {
  char text[kMemberTextSize];
  char path[kPathTextSize];
  line.String("image", PathText(name.path, path));
  if (name.member == nullptr) {
    line.Null("member");
    return;
  }
  // A member's name is UTF-8 where it is valid UTF-8, else read as code
  // page 932, as archives made on the disks' own machines hold them.
  if (IsValidUtf8(name.member)) {
    line.String("member", name.member);
  } else {
    Cp932ToUtf8Lenient(name.member, std::strlen(name.member), text, sizeof text);
    line.String("member", text);
  }
}

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
void PutEntryPrefix(const Console& console, const ImageName& image, const DiskRecord& disk,
                    const EntryRecord& entry) {
  PutImagePrefix(console, image);
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

// What --salvage stepped over on a disk: its damaged sector headers.
void DescribeStepped(const DiskRecord& disk, char (&out)[kReasonSize]) {
  char first[32];
  char last[32];
  PutSector(first, sizeof first, disk.firstStepped);
  PutSector(last, sizeof last, disk.lastStepped);
  if (disk.steppedHeaders == 1) {
    std::snprintf(out, sizeof out,
                  "the header of %s is damaged; its data was taken from where the layout puts it",
                  first);
  } else {
    std::snprintf(out, sizeof out,
                  "%d sector headers are damaged, from %s to %s; their data was taken from where "
                  "the layout puts it",
                  disk.steppedHeaders, first, last);
  }
}

// A fill byte, or null where the bytes differ or there is no directory.
void PutFill(JsonLine& line, const char* key, const DiskExtras* extras, int fill) {
  if (extras == nullptr || fill == kMixedFill) {
    line.Null(key);
  } else {
    line.Number(key, fill);
  }
}

}  // namespace

void JsonDisk(const Console& console, const ImageName& image, const DiskRecord& disk,
              const DecodedDisk& decoded, const DiskExtras* extras) {
  char text[kShownNameSize];
  JsonLine line;
  line.String("type", "disk");
  JsonImage(line, image);
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
  } else if (disk.steppedHeaders > 0) {
    char reason[kReasonSize];
    DescribeStepped(disk, reason);
    line.String("reason", reason);
  }
  if (disk.HasDirectory()) {
    const DiskSpace space = SpaceOf(decoded, disk);
    line.Number("free_bytes", space.free);
    line.Number("free_entries", space.freeEntries);
  } else {
    line.Null("free_bytes");
    line.Null("free_entries");
  }
  if (!disk.HasDirectory()) extras = nullptr;
  PutFill(line, "fill", extras, extras != nullptr ? extras->fills.fill : 0);
  PutFill(line, "directory_fill", extras, extras != nullptr ? extras->fills.directoryFill : 0);
  if (extras != nullptr && extras->systemArea != nullptr) {
    line.String("system_area", extras->systemArea);
  } else {
    line.Null("system_area");
  }
  line.WriteTo(console.out);
}

void JsonDiskAsItStands(const Console& console, const ImageName& image, const DiskRecord& disk,
                        DecodedDisk& decoded) {
  DiskExtras extras{};
  if (disk.HasDirectory()) extras.fills = FindFills(decoded, disk);
  JsonDisk(console, image, disk, decoded, disk.HasDirectory() ? &extras : nullptr);
}

void JsonEntry(const Console& console, const ImageName& image, const DiskRecord& disk,
               const EntryRecord& entry, const char* status, const char* reason, const char* path) {
  char text[kShownNameSize];
  JsonLine line;
  line.String("type", "file");
  JsonImage(line, image);
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
  line.Number("allocation", entry.allocation);
  line.String("status", status);
  if (reason != nullptr) line.String("reason", reason);
  if (path != nullptr) {
    line.String("path", path);
  } else {
    line.Null("path");
  }
  line.WriteTo(console.out);
}

namespace {

// "Cannot open the file", in Japanese: the Shift-JIS bytes the tool has
// always written, and the same text in UTF-8.
const char kCannotOpen[] =
    "\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xF0\x83\x49\x81\x5B\x83\x76\x83\x93\x82\xC5\x82\xAB"
    "\x82\xDC\x82\xB9\x82\xF1";
const char kCannotOpenUtf8[] = u8"ファイルをオープンできません";

}  // namespace

void Report::Disk(const DiskRecord& disk, const DecodedDisk& decoded,
                  const DiskExtras* extras) const {
  if (form == Form::kJson) {
    JsonDisk(console, image, disk, decoded, extras);
  } else if (form == Form::kListing && disk.HasDirectory()) {
    PrintDiskLine(console, disk.diskNumber);
  }
  char reason[kReasonSize];
  if (disk.HasDirectory()) {
    if (disk.steppedHeaders == 0) return;
    DescribeStepped(disk, reason);
  } else {
    DescribeFinding(FactsOf(disk), reason, sizeof reason);
  }
  PutImagePrefix(console, image);
  std::fprintf(console.err, "disk %d: %s\n", disk.place, reason);
}

void Report::Listing(const EntryRecord& entry, const char* shownName, int columns) const {
  if (form != Form::kListing || !entry.HasRecordHeader()) return;
  PrintListingLine(console, shownName, columns, entry.size, entry.start, entry.end);
}

void Report::Outcome(const DiskRecord& disk, const EntryRecord& entry, const EntryOutcome& outcome,
                     const char* path) const {
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
    if (form == Form::kJson) {
      JsonEntry(console, image, disk, entry, StatusWord(outcome.status), jsonReason, path);
    }
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
  if (form == Form::kJson)
    JsonEntry(console, image, disk, entry, StatusWord(outcome.status), jsonReason, path);
  if (outcome.replacedPlace != 0) {
    PutEntryPrefix(console, image, disk, entry);
    std::fprintf(console.err, "%s%s\n", scratch,
                 outcome.replacedPlace == disk.place ? "" : "; -D keeps each disk's files apart");
  }
}

void Report::SystemArea(const DiskRecord& disk, const EntryRecord* entry,
                        const EntryOutcome& outcome) const {
  if (entry == nullptr) {
    PutImagePrefix(console, image);
    std::fprintf(console.err,
                 "disk %d: the system area is not %d sectors of %d bytes on each of tracks 0 "
                 "and 1; it is not written\n",
                 disk.place, kSystemAreaSectors, kSystemAreaSectorSize);
    return;
  }
  if (outcome.problem == EntryProblem::kNone) return;
  char scratch[kReasonSize];
  const Complaint complaint = Describe(disk, *entry, outcome, scratch);
  PutEntryPrefix(console, image, disk, *entry);
  std::fprintf(console.err, "%s: %s\n", complaint.What(), complaint.reason);
}

void Report::NotD88(const FormatCheck& check, bool skipped) const {
  char reason[kReasonSize];
  DescribeFormatCheck(check, reason, sizeof reason);
  PutImagePrefix(console, image);
  // A member that holds not even one header has no finding of the check.
  std::fprintf(console.err, "%s%s\n",
               check.problem == FormatCheck::Problem::kNone
                   ? "not a D88 image (it is shorter than a disk header)"
                   : reason,
               skipped ? "; skipped" : "");
}

void Report::InputFailure(int error) const {
  PutImagePrefix(console, image);
  if (error == EFBIG) {
    std::fprintf(console.err, "holds more than %zu MiB, the most an image is read to\n",
                 kMaxImageBytes >> 20);
  } else {
    std::fprintf(console.err, "cannot read: %s\n", std::strerror(error));
  }
}

void Report::ArchiveFailure(const char* text) const {
  PutImagePrefix(console, image);
  std::fprintf(console.err, "cannot read the archive: %s\n", text);
}

void Report::MemberTooLarge() const {
  PutImagePrefix(console, image);
  std::fprintf(console.err, "holds more than %zu MiB, the most an image is read to; not read\n",
               kMaxImageBytes >> 20);
}

void Report::NoImage() const {
  PutImagePrefix(console, image);
  std::fputs("holds no D88 image\n", console.err);
}

void Report::ReadError(int error) const {
  PutImagePrefix(console, image);
  std::fprintf(console.err, "cannot read: %s\n", std::strerror(error));
}

void Report::MissingDisk(long long place, int count, bool more) const {
  PutImagePrefix(console, image);
  if (more) {
    std::fprintf(console.err, "disk %lld: only the first %d disks of the image are read\n", place,
                 count);
  } else {
    std::fprintf(console.err, "disk %lld: the image holds %d disk%s\n", place, count,
                 count == 1 ? "" : "s");
  }
}

void Report::CutHeader(int place, int bytes) const {
  PutImagePrefix(console, image);
  std::fprintf(console.err,
               "the image ends inside the header of disk %d (%d of %d bytes); that disk is not "
               "read\n",
               place, bytes, d88::disk_header::kSize);
}

void Report::ZeroSize(int place) const {
  PutImagePrefix(console, image);
  std::fprintf(console.err,
               "disk %d gives its size as 0; what follows it in the image is not read\n", place);
}

void Report::MoreDisks(int count) const {
  PutImagePrefix(console, image);
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
  std::fprintf(console.err, "the folder to write into: %s\n", std::strerror(error));
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
