#include "report.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <io.h>

#include "native_api.h"
#else
#include <unistd.h>
#endif

#include "disk_layout.h"
#include "extract_files.h"

namespace {

// A byte that a terminal takes as a command rather than a character: 0x01 to
// 0x1F and 0x7F. NUL is left out: no name holds one, and a NUL letter is
// shown as the byte it is.
bool IsControlByte(unsigned char byte) {
  return (byte >= 0x01 && byte < 0x20) || byte == 0x7F;
}

// Writes one byte of a name or letter for a message: bytes outside printable
// ASCII as \xHH, so that a hostile name cannot drive the terminal.
void PutEscaped(unsigned char byte, std::FILE* stream) {
  if (byte >= 0x20 && byte < 0x7F && byte != '\\' && byte != '"') {
    std::fputc(byte, stream);
  } else {
    std::fprintf(stream, "\\x%02x", byte);
  }
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

// What became of the bytes that are there: when only listing, nothing was
// written.
const char* BytesDone(const EntryOutcome& outcome) {
  return outcome.status == EntryStatus::kListed ? "readable" : "written";
}

}  // namespace

Complaint DescribeOutcome(const DiskRecord& disk, const EntryRecord& entry,
                          const EntryOutcome& outcome, char* scratch, std::size_t scratchSize) {
  switch (outcome.problem) {
    case EntryProblem::kNone:
      break;
    case EntryProblem::kRecordPastDisk:
      return {"skipped", "its record header lies past the end of the disk"};
    case EntryProblem::kRecordMissing:
      return {"not written", "its record header lies where the image holds no data"};
    case EntryProblem::kEndBelowStart:
      return {"not written", "its end address is below its start address"};
    case EntryProblem::kNameRefused:
      return {"not written", DescribeVerdict(outcome.verdict)};
    case EntryProblem::kNameIsImage:
      return {"not written", "the name is the image file being read"};
    case EntryProblem::kNameIsOutput:
      return {"not written", "the name is the file that standard output goes to"};
    case EntryProblem::kNameIsErrorOutput:
      return {"not written", "the name is the file that standard error goes to"};
    case EntryProblem::kDirectoryAtName:
      return {"not written", "a directory stands at the name"};
    case EntryProblem::kReadOnlyAtName:
      return {"not written", "a read-only file stands at the name"};
    case EntryProblem::kCannotCheck:
      std::snprintf(scratch, scratchSize, "cannot tell whether the name is the image: %s",
                    std::strerror(outcome.error));
      return {"not written", scratch};
    case EntryProblem::kKeptOld:
      return {"not written", "a file of that name exists, and old files are kept"};
    case EntryProblem::kDiskFolder: {
      char folder[kDiskFolderNameSize];
      DiskFolderName(disk.place, folder);
      if (outcome.error == ENOTDIR) {
        std::snprintf(scratch, scratchSize, "something that is not a folder stands at %s", folder);
      } else {
        std::snprintf(scratch, scratchSize, "cannot make the folder %s: %s", folder,
                      std::strerror(outcome.error));
      }
      return {"not written", scratch};
    }
    case EntryProblem::kCannotRemove:
      return {"cannot replace", std::strerror(outcome.error)};
    case EntryProblem::kCannotCreate:
      return {"cannot create", std::strerror(outcome.error)};
    case EntryProblem::kWriteFailed:
      return {"write failed", std::strerror(outcome.error)};
    case EntryProblem::kCloseFailed:
      return {"close failed", std::strerror(outcome.error)};
    case EntryProblem::kDataPastDisk:
      std::snprintf(scratch, scratchSize,
                    "its data runs past the end of the disk; %d of %d bytes %s", outcome.written,
                    entry.size, BytesDone(outcome));
      return {"truncated", scratch};
    case EntryProblem::kDataMissing:
      std::snprintf(scratch, scratchSize,
                    "its data runs into a part of the disk the image does not hold; %d of %d "
                    "bytes %s",
                    outcome.written, entry.size, BytesDone(outcome));
      return {"truncated", scratch};
  }
  return {"", ""};
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
  }
  return "";
}

void ShowComplaint(const DiskRecord& disk, const EntryRecord& entry, const EntryOutcome& outcome) {
  char scratch[kComplaintSize];
  const Complaint complaint = DescribeOutcome(disk, entry, outcome, scratch, sizeof scratch);
  // Keep the listing line of the entry ahead of its complaint when both
  // streams go to one place.
  std::fflush(stdout);
  std::fprintf(stderr, "d88unpack: disk %d (", disk.place);
  PutEscaped(DiskLetter(disk.diskNumber), stderr);
  std::fputs("): \"", stderr);
  for (const char* p = entry.name; *p != 0; ++p) PutEscaped(static_cast<unsigned char>(*p), stderr);
  std::fprintf(stderr, "\": %s: %s\n", complaint.what, complaint.reason);
}

namespace {

// True when standard output is a terminal, where a name's control bytes
// could move the cursor, retitle the window or hide lines.
bool OutputIsTerminal() {
#ifdef _WIN32
  static const bool terminal = _isatty(_fileno(stdout)) != 0;
#else
  static const bool terminal = isatty(STDOUT_FILENO) != 0;
#endif
  return terminal;
}

// The name as the listing shows it: on a terminal each control byte (0x01 to
// 0x1F and 0x7F) is shown as '?', one column for one byte; in a file or a
// pipe the bytes stay as they are. Bytes of 0x80 and up are the names'
// Shift-JIS and never touched.
const char* ListedName(const char* name) {
  if (!OutputIsTerminal()) return name;
  static char shown[kShownNameSize];
  std::size_t i = 0;
  for (; name[i] != 0 && i + 1 < sizeof shown; ++i) {
    shown[i] = IsControlByte(static_cast<unsigned char>(name[i])) ? '?' : name[i];
  }
  shown[i] = 0;
  return shown;
}

// "Cannot open the file", in Shift-JIS, written as these bytes whatever the
// console's own encoding.
const char kCannotOpen[] =
    "\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xF0\x83\x49\x81\x5B\x83\x76\x83\x93\x82\xC5\x82\xAB"
    "\x82\xDC\x82\xB9\x82\xF1";

// "d88unpack: PATH: " with the path's bytes escaped as a name's are; on
// Windows the path is shown in UTF-8.
void PutPathPrefix(const NativePathChar* path) {
  std::fflush(stdout);
  std::fputs("d88unpack: ", stderr);
#ifdef _WIN32
  char bytes[4096];
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, path, -1, bytes, sizeof bytes, nullptr, nullptr);
  if (length <= 0) std::strcpy(bytes, "?");
  const char* shown = bytes;
#else
  const char* shown = path;
#endif
  for (const char* p = shown; *p != 0; ++p) PutEscaped(static_cast<unsigned char>(*p), stderr);
  std::fputs(": ", stderr);
}

}  // namespace

bool StandardOutputWritten() {
  if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return true;
  std::fprintf(stderr, "d88unpack: standard output: %s\n", std::strerror(errno));
  return false;
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

bool ShowDiskProblems(const DiskRecord& disk) {
  if (disk.selected && disk.directoryRead) return true;
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
  return false;
}

void ShowDisk(const DiskRecord& disk) {
  std::fputs("[Disk ", stdout);
  // The letter is a raw byte too: disk numbers from 192 give control bytes.
  const unsigned char letter = DiskLetter(disk.diskNumber);
  std::fputc(IsControlByte(letter) && OutputIsTerminal() ? '?' : letter, stdout);
  std::fputs("]\n", stdout);
}

void ShowListingLine(const EntryRecord& entry, const char* shownName, int columns) {
  // The name column is 12 wide, counted in the name's columns: its bytes on
  // the disk, whatever text they are shown as.
  std::fputs(ListedName(shownName), stdout);
  for (int i = columns; i < 12; ++i) std::fputc(' ', stdout);
  std::printf("  %5d  START=%04x  END=%04x\n", entry.size, entry.start, entry.end);
}
