#include "report.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "codepage.h"
#include "console.h"
#include "disk_layout.h"
#include "extract_files.h"
#include "json.h"

namespace {

// The name as the listing shows it: on a terminal each control byte (0x01 to
// 0x1F and 0x7F) is shown as '?', one column for one byte; in a file or a
// pipe the bytes stay as they are. Bytes of 0x80 and up are the names'
// Shift-JIS and never touched.
const char* TerminalSafe(const char* name) {
  if (!OutputIsTerminal()) return name;
  static char shown[kShownNameSize];
  std::size_t i = 0;
  for (; name[i] != 0 && i + 1 < sizeof shown; ++i) {
    shown[i] = IsControlByte(static_cast<unsigned char>(name[i])) ? '?' : name[i];
  }
  shown[i] = 0;
  return shown;
}

const char* DescribeVerdict(NameVerdict verdict) {
  switch (verdict) {
    case NameVerdict::kAccepted:
      return "accepted";
    case NameVerdict::kEmpty:
      return "the name is empty";
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

// "written", "truncated", "not written", "skipped" or "listed".
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
  }
  return "";
}

// The words of a complaint about an entry: "WHAT: REASON", where WHAT is
// the step that failed or else what became of the entry.
struct Complaint {
  const char* failedStep;  // "cannot create" and the like, or null
  EntryStatus became;      // what became of the entry, when no step failed
  const char* reason;

  const char* What() const { return failedStep != nullptr ? failedStep : StatusWord(became); }
};

// Room for any complaint's reason.
constexpr int kComplaintSize = 256;

// The words for an entry's outcome; `scratch` holds the reason where it is
// made up on the spot.
Complaint Describe(const DiskRecord& disk, const EntryRecord& entry, const EntryOutcome& outcome,
                   char (&scratch)[kComplaintSize]) {
  constexpr EntryStatus kNotWritten = EntryStatus::kNotWritten;
  // The bytes that are there: when only listing, none was written.
  const char* done = outcome.status == EntryStatus::kListed ? "readable" : "written";
  switch (outcome.problem) {
    case EntryProblem::kNone:
      break;
    case EntryProblem::kRecordPastDisk:
      return {nullptr, EntryStatus::kSkipped, "its record header lies past the end of the disk"};
    case EntryProblem::kRecordMissing:
      return {nullptr, kNotWritten, "its record header lies where the image holds no data"};
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
      return {"cannot create", kNotWritten, std::strerror(outcome.error)};
    case EntryProblem::kWriteFailed:
      return {"write failed", kNotWritten, std::strerror(outcome.error)};
    case EntryProblem::kCloseFailed:
      return {"close failed", kNotWritten, std::strerror(outcome.error)};
    case EntryProblem::kDataPastDisk:
      std::snprintf(scratch, sizeof scratch,
                    "its data runs past the end of the disk; %d of %d bytes %s", outcome.written,
                    entry.size, done);
      return {nullptr, EntryStatus::kTruncated, scratch};
    case EntryProblem::kDataMissing:
      std::snprintf(scratch, sizeof scratch,
                    "its data runs into a part of the disk the image does not hold; %d of %d "
                    "bytes %s",
                    outcome.written, entry.size, done);
      return {nullptr, EntryStatus::kTruncated, scratch};
  }
  return {nullptr, outcome.status, ""};
}

// One line on standard error: which disk, which file (its raw bytes, those
// outside printable ASCII escaped), and why it was not written as listed.
void ShowComplaint(const DiskRecord& disk, const EntryRecord& entry, const Complaint& complaint) {
  // Keep the listing line of the entry ahead of its complaint when both
  // streams go to one file.
  std::fflush(stdout);
  std::fprintf(stderr, "d88unpack: disk %d (", disk.place);
  PutEscaped(DiskLetter(disk.diskNumber), stderr);
  std::fputs("): \"", stderr);
  for (const char* p = entry.name; *p != 0; ++p) PutEscaped(static_cast<unsigned char>(*p), stderr);
  std::fprintf(stderr, "\": %s: %s\n", complaint.What(), complaint.reason);
}

void JsonDisk(const DiskRecord& disk) {
  char text[kShownNameSize];
  JsonLine line;
  line.String("type", "disk");
  line.Number("disk", disk.place);
  line.Number("number", disk.diskNumber);
  // The letter is the byte the header line shows, read as code page 932; a
  // NUL (disk number 191) is a character of the line too.
  const char letter = static_cast<char>(DiskLetter(disk.diskNumber));
  Cp932ToUtf8Lenient(&letter, 1, text, sizeof text);
  line.String("letter", text, letter == 0 ? 1 : std::strlen(text));
  const std::size_t labelLength = std::strlen(disk.label);
  Cp932ToUtf8Lenient(disk.label, labelLength, text, sizeof text);
  line.String("label", text);
  line.Hex("label_bytes", disk.label, labelLength);
  line.Bool("write_protected", disk.writeProtect != 0);
  line.Number("media", disk.mediaType);
  line.Bool("directory", disk.directoryRead);
  line.WriteTo(stdout);
}

void JsonEntry(const DiskRecord& disk, const EntryRecord& entry, const EntryOutcome& outcome,
               const Complaint* complaint) {
  char text[kShownNameSize];
  JsonLine line;
  line.String("type", "file");
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
  // An entry that was only listed, or written in full, needs no reason. The
  // status says what became of the entry; a step that failed is named.
  if (complaint != nullptr && outcome.status != EntryStatus::kListed) {
    char reason[kComplaintSize + 32];
    if (complaint->failedStep != nullptr) {
      std::snprintf(reason, sizeof reason, "%s: %s", complaint->failedStep, complaint->reason);
    } else {
      std::snprintf(reason, sizeof reason, "%s", complaint->reason);
    }
    line.String("reason", reason);
  }
  line.WriteTo(stdout);
}

// "Cannot open the file", in Shift-JIS, written as these bytes whatever the
// console's own encoding.
const char kCannotOpen[] =
    "\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xF0\x83\x49\x81\x5B\x83\x76\x83\x93\x82\xC5\x82\xAB"
    "\x82\xDC\x82\xB9\x82\xF1";

}  // namespace

void Report::Disk(const DiskRecord& disk) const {
  if (form == Form::kJson) {
    JsonDisk(disk);
  } else if (form == Form::kListing) {
    std::fputs("[Disk ", stdout);
    // The letter is a raw byte too: disk numbers from 192 give control bytes.
    const unsigned char letter = DiskLetter(disk.diskNumber);
    std::fputc(IsControlByte(letter) && OutputIsTerminal() ? '?' : letter, stdout);
    std::fputs("]\n", stdout);
  }
}

void Report::Listing(const EntryRecord& entry, const char* shownName, int columns) const {
  if (form != Form::kListing || !entry.HasRecordHeader()) return;
  // The name column is 12 wide, counted in the name's columns: its bytes on
  // the disk, whatever text they are shown as.
  std::fputs(TerminalSafe(shownName), stdout);
  for (int i = columns; i < 12; ++i) std::fputc(' ', stdout);
  std::printf("  %5d  START=%04x  END=%04x\n", entry.size, entry.start, entry.end);
}

void Report::Outcome(const DiskRecord& disk, const EntryRecord& entry,
                     const EntryOutcome& outcome) const {
  if (outcome.problem == EntryProblem::kNone) {
    if (form == Form::kJson) JsonEntry(disk, entry, outcome, nullptr);
    return;
  }
  char scratch[kComplaintSize];
  const Complaint complaint = Describe(disk, entry, outcome, scratch);
  if (form == Form::kJson) JsonEntry(disk, entry, outcome, &complaint);
  ShowComplaint(disk, entry, complaint);
}

bool DiskHasProblems(const DiskRecord& disk) {
  return !disk.selected || !disk.directoryRead;
}

void ShowDiskProblems(const DiskRecord& disk) {
  if (!DiskHasProblems(disk)) return;
  std::fflush(stdout);
  if (!disk.selected) {
    std::fprintf(stderr,
                 "d88unpack: disk %d: its header can no longer be read; the image changed while "
                 "it was read\n",
                 disk.place);
  } else {
    std::fprintf(stderr,
                 "d88unpack: disk %d: no directory: the image does not hold sectors 1 to 5 of "
                 "1024 bytes on its last track in full; the disk is blank, of another layout, "
                 "or cut off\n",
                 disk.place);
  }
}

void ShowOpenFailure(const NativePathChar* path, int error) {
  std::fwrite(kCannotOpen, 1, sizeof kCannotOpen - 1, stderr);
  std::fputc('\n', stderr);
  PutPathPrefix(path);
  std::fprintf(stderr, "%s\n",
               error == kNotRegularFile ? "not a regular file" : std::strerror(error));
}

void ShowReadError(const NativePathChar* path, int error) {
  PutPathPrefix(path);
  std::fprintf(stderr, "cannot read: %s\n", std::strerror(error));
}

void ShowOutputIsImage(const NativePathChar* path) {
  PutPathPrefix(path);
  std::fputs("standard output goes into the image file; it is only read, so nothing is done\n",
             stderr);
}

void ShowNoCodePage932() {
  std::fputs(
      "d88unpack: code page 932 cannot be converted on this system; names outside ASCII "
      "are shown as they stand and not written\n",
      stderr);
}

void ShowFolderFailure(const NativePathChar* path, int error) {
  PutPathPrefix(path);
  std::fprintf(stderr, "%s\n", std::strerror(error));
}

void ShowMissingDisk(long long place, int count) {
  std::fflush(stdout);
  std::fprintf(stderr, "d88unpack: disk %lld: the image holds %d disk%s\n", place, count,
               count == 1 ? "" : "s");
}

void ShowPatternNotFound(const char* pattern, bool someDisks) {
  std::fflush(stdout);
  std::fputs("d88unpack: ", stderr);
  // The user's own text, shown as typed: '\' escapes and non-ASCII
  // characters included; only control bytes are escaped.
  for (const char* p = pattern; *p != 0; ++p) {
    const unsigned char byte = static_cast<unsigned char>(*p);
    if (IsControlByte(byte)) {
      std::fprintf(stderr, "\\x%02x", byte);
    } else {
      std::fputc(byte, stderr);
    }
  }
  std::fputs(someDisks ? ": not found on the disks chosen\n" : ": not found in the image\n",
             stderr);
}

void ShowCutHeader(const NativePathChar* path, int place, int bytes) {
  PutPathPrefix(path);
  std::fprintf(stderr,
               "the image ends inside the header of disk %d (%d of %d bytes); that disk is not "
               "read\n",
               place, bytes, d88::disk_header::kSize);
}

void ShowZeroSize(const NativePathChar* path, int place) {
  PutPathPrefix(path);
  std::fprintf(stderr, "disk %d gives its size as 0; what follows it in the image is not read\n",
               place);
}

void ShowMoreDisks(const NativePathChar* path, int count) {
  PutPathPrefix(path);
  std::fprintf(stderr, "holds more than %d disks; only the first %d were read\n", count, count);
}
