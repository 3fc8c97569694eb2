#include "report.h"

#include <cstdio>
#include <cstring>

#include "disk_layout.h"

namespace {

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

// The two parts of a complaint: what happened to the entry, and why.
struct Complaint {
  const char* what;
  const char* reason;
};

Complaint Describe(const EntryRecord& entry, const EntryOutcome& outcome, char* scratch,
                   std::size_t scratchSize) {
  switch (outcome.problem) {
    case EntryProblem::kNone:
      break;
    case EntryProblem::kRecordPastDisk:
      return {"skipped", "its record header lies past the end of the disk"};
    case EntryProblem::kEndBelowStart:
      return {"not written", "its end address is below its start address"};
    case EntryProblem::kNameRefused:
      return {"not written", DescribeVerdict(outcome.verdict)};
    case EntryProblem::kNameIsImage:
      return {"not written", "the name is the image file being read"};
    case EntryProblem::kCannotCreate:
      return {"cannot create", std::strerror(outcome.error)};
    case EntryProblem::kWriteFailed:
      return {"write failed", std::strerror(outcome.error)};
    case EntryProblem::kCloseFailed:
      return {"close failed", std::strerror(outcome.error)};
    case EntryProblem::kDataPastDisk:
      std::snprintf(scratch, scratchSize,
                    "its data runs past the end of the disk; %d of %d bytes written",
                    outcome.written, entry.size);
      return {"truncated", scratch};
  }
  return {"", ""};
}

// One line on standard error: which disk, which file, and why it was not
// written as listed.
void Complain(const DiskRecord& disk, const EntryRecord& entry, const EntryOutcome& outcome) {
  char scratch[96];
  const Complaint complaint = Describe(entry, outcome, scratch, sizeof scratch);
  // Keep the listing line of the entry ahead of its complaint when both
  // streams go to one place.
  std::fflush(stdout);
  std::fprintf(stderr, "d88unpack: disk %d (", disk.place);
  PutEscaped(DiskLetter(disk.diskNumber), stderr);
  std::fputs("): \"", stderr);
  for (const char* p = entry.name; *p != 0; ++p) PutEscaped(static_cast<unsigned char>(*p), stderr);
  std::fprintf(stderr, "\": %s: %s\n", complaint.what, complaint.reason);
}

}  // namespace

void ShowDisk(const DiskRecord& disk) {
  std::fputs("[Disk ", stdout);
  std::fputc(DiskLetter(disk.diskNumber), stdout);
  std::fputs("]\n", stdout);
}

bool ShowEntry(const DiskRecord& disk, const EntryRecord& entry, const EntryOutcome& outcome) {
  if (outcome.status != EntryStatus::kSkipped) {
    std::printf("%-12s  %5d  START=%04x  END=%04x\n", entry.name, entry.size, entry.start,
                entry.end);
  }
  if (outcome.problem == EntryProblem::kNone) return true;
  Complain(disk, entry, outcome);
  return false;
}
