#include "run.h"

#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "codepage.h"
#include "d88_image.h"
#include "disk_layout.h"
#include "disk_walk.h"
#include "extract_files.h"
#include "json.h"
#include "pattern.h"
#include "report.h"

namespace {

// The one image reader of the run: constructed before main and destroyed
// after it, so the image is closed however main returns.
D88Image image;

// Which patterns have matched an entry so far.
bool patternMatched[Options::kMaxPatterns];

// An entry's name in the forms the run needs.
struct Names {
  const char* shown;  // in the listing, and matched against the patterns
  int columns;        // the columns it takes in the listing: its bytes on the disk
  const char* file;   // the file name to write, or null: not valid code page 932
  bool utf8;          // `shown` is UTF-8
};

Names NamesOf(const char* raw, const Options& options) {
  static char converted[kShownNameSize];
  const std::size_t length = std::strlen(raw);
  Names names{raw, static_cast<int>(length), raw, false};
  // The plain run converts nothing: its names are bytes.
#ifdef _WIN32
  const bool convert = options.utf8 || options.patternCount > 0;
#else
  const bool convert = options.utf8;
#endif
  if (!convert) return names;
  const bool valid = Cp932ToUtf8(raw, length, converted, sizeof converted);
  if (options.utf8) {
    // A name that is not code page 932 is shown as its bytes and not
    // written.
    if (valid) {
      names.shown = converted;
      names.utf8 = true;
    }
#ifndef _WIN32
    // Windows writes every name from code page 932 as Unicode already.
    names.file = valid ? converted : nullptr;
#else
    if (!valid) names.file = nullptr;
#endif
  }
#ifdef _WIN32
  // Patterns come from the wide command line as UTF-8: they are matched
  // against the names as Unicode text.
  if (!options.utf8 && valid) {
    names.shown = converted;
    names.utf8 = true;
  }
#endif
  return names;
}

// Whether the entry is chosen by the patterns (all are when none is given),
// noting each pattern that matches.
bool Chosen(const Names& names, const Options& options) {
  if (options.patternCount == 0) return true;
  bool chosen = false;
  for (int i = 0; i < options.patternCount; ++i) {
    if (MatchPattern(options.patterns[i], names.shown, names.utf8)) {
      patternMatched[i] = true;
      chosen = true;
    }
  }
  return chosen;
}

bool DiskChosen(int place, const Options& options) {
  if (options.diskCount == 0) return true;
  for (int i = 0; i < options.diskCount; ++i) {
    if (options.disks[i] == place) return true;
  }
  return false;
}

// The listing line shows the raw name outside --utf8, also on Windows.
const char* ListedName(const Names& names, const char* raw, const Options& options) {
  return options.utf8 ? names.shown : raw;
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

void JsonEntry(const DiskRecord& disk, const EntryRecord& entry, const EntryOutcome& outcome) {
  char text[kShownNameSize];
  JsonLine line;
  line.String("type", "file");
  line.Number("disk", disk.place);
  const std::size_t nameLength = std::strlen(entry.name);
  Cp932ToUtf8Lenient(entry.name, nameLength, text, sizeof text);
  line.String("name", text);
  line.Hex("name_bytes", entry.name, nameLength);
  if (entry.headerRead) {
    line.Number("size", entry.size);
    line.Number("start", entry.start);
    line.Number("end", entry.end);
  } else {
    line.Null("size");
    line.Null("start");
    line.Null("end");
  }
  const char* status = StatusWord(outcome.status);
  line.String("status", status);
  if (outcome.problem != EntryProblem::kNone && outcome.status != EntryStatus::kWritten &&
      outcome.status != EntryStatus::kListed) {
    // The complaint's words after the name, less a first word that only
    // repeats the status.
    char scratch[kComplaintSize];
    const Complaint complaint = DescribeOutcome(disk, entry, outcome, scratch, sizeof scratch);
    char reason[kComplaintSize + 32];
    if (std::strcmp(complaint.what, status) == 0) {
      std::snprintf(reason, sizeof reason, "%s", complaint.reason);
    } else {
      std::snprintf(reason, sizeof reason, "%s: %s", complaint.what, complaint.reason);
    }
    line.String("reason", reason);
  }
  line.WriteTo(stdout);
}

class Runner {
 public:
  explicit Runner(const Options& options) : options(options) {}

  int Run();

 private:
  void CheckReads();
  void ExtractFiles(const DiskRecord& disk, OutputPlace& place);
  EntryOutcome Handle(const EntryRecord& entry, const Names& names, OutputPlace& place);
  bool Writes() const { return !options.list && !options.toStdout; }

  const Options& options;
  bool clean = true;
  bool readErrorShown = false;
};

// A failed read is counted as missing data where it happened; it is
// reported once, as soon as it is seen.
void Runner::CheckReads() {
  if (image.ReadError() == 0 || readErrorShown) return;
  ShowReadError(options.image, image.ReadError());
  readErrorShown = true;
  clean = false;
}

EntryOutcome Runner::Handle(const EntryRecord& entry, const Names& names, OutputPlace& place) {
  if (options.list) return ListEntry(entry);
  if (options.toStdout) {
    const EntryOutcome outcome = PassEntry(entry);
    if (outcome.status == EntryStatus::kWritten || outcome.status == EntryStatus::kTruncated) {
      std::fwrite(entry.data, 1, static_cast<std::size_t>(outcome.written), stdout);
    }
    return outcome;
  }
  return ExtractEntry(entry, names.file, place);
}

// Lists and extracts the chosen files of the disk just loaded.
void Runner::ExtractFiles(const DiskRecord& disk, OutputPlace& place) {
  EntryWalk walk(disk);
  EntryRecord entry;
  while (walk.Next(entry)) {
    const Names names = NamesOf(entry.name, options);
    if (!Chosen(names, options)) continue;
    // The listing line comes before the file is written; an entry whose
    // record header lies past the end of the disk has none.
    const bool listed = !options.json && !options.toStdout && entry.headerRead;
    if (listed) ShowListingLine(entry, ListedName(names, entry.name, options), names.columns);
    const EntryOutcome outcome = Handle(entry, names, place);
    if (options.json) JsonEntry(disk, entry, outcome);
    if (outcome.problem != EntryProblem::kNone) {
      ShowComplaint(disk, entry, outcome);
      clean = false;
    }
  }
}

int Runner::Run() {
  // The folder first: when it cannot be used, nothing is listed.
  OutputFolder folder;
  if (Writes() && options.directory != nullptr) {
    const int error = folder.Open(options.directory);
    if (error != 0) {
      ShowFolderFailure(options.directory, error);
      return 1;
    }
  }
  if (!image.Open(options.image)) {
    ShowOpenFailure(options.image, image.OpenError());
    return 1;
  }
  // The image is only read: a console stream that goes into it (1<> or >>
  // on the image) would change it. Nothing is written then; where standard
  // error is the image, not even a message.
  const GuardedFiles guarded = GuardImageAndConsole(image.Identity());
  if (guarded.hasErrorOutput && guarded.errorOutput == guarded.image) return 1;
  if (guarded.hasOutput && guarded.output == guarded.image) {
    ShowOutputIsImage(options.image);
    return 1;
  }
  if (options.utf8 && !Cp932Available()) {
    ShowNoCodePage932();
    clean = false;
  }
#ifdef _WIN32
  // The files' data goes out as it stands, without line-end translation.
  if (options.toStdout) _setmode(_fileno(stdout), _O_BINARY);
#endif
  for (int i = 0; i < options.diskCount; ++i) {
    if (options.disks[i] <= image.GetDiskCount()) continue;
    // A place given twice is reported once.
    bool seen = false;
    for (int j = 0; j < i; ++j) seen = seen || options.disks[j] == options.disks[i];
    if (!seen) ShowMissingDisk(options.disks[i], image.GetDiskCount());
    clean = false;
  }

  OutputFolder diskFolder;
  OutputPlace place{&folder, guarded, options.keepOld, options.diskFolders ? &diskFolder : nullptr,
                    {},      0};
  CheckReads();
  for (int i = 0; i < image.GetDiskCount(); ++i) {
    if (!DiskChosen(i + 1, options)) continue;
    const DiskRecord disk = LoadDisk(image, i);
    if (options.json) {
      JsonDisk(disk);
    } else if (!options.toStdout) {
      ShowDisk(disk);
    }
    CheckReads();
    if (!ShowDiskProblems(disk)) clean = false;
    EnterDisk(place, disk.place);
    ExtractFiles(disk, place);
  }
  if (image.CutHeaderBytes() > 0) {
    ShowCutHeader(options.image, image.GetDiskCount() + 1, image.CutHeaderBytes());
    clean = false;
  }
  if (image.HasBytesAfterZeroSize()) {
    ShowZeroSize(options.image, image.GetDiskCount());
    clean = false;
  }
  if (image.HasMoreDisks()) {
    ShowMoreDisks(options.image, image.GetDiskCount());
    clean = false;
  }
  CheckReads();
  for (int i = 0; i < options.patternCount; ++i) {
    if (!patternMatched[i]) {
      ShowPatternNotFound(options.patterns[i], options.diskCount > 0);
      clean = false;
    }
  }
  return clean && StandardOutputWritten() ? 0 : 1;
}

}  // namespace

int Run(const Options& options) {
  Runner runner(options);
  return runner.Run();
}
