#include "run.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "codepage.h"
#include "console.h"
#include "d88_image.h"
#include "disk_layout.h"
#include "disk_walk.h"
#include "extract_files.h"
#include "pattern.h"
#include "report.h"

namespace {

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

bool DiskChosen(int place, const Options& options) {
  const long long* const end = options.disks + options.diskCount;
  return options.diskCount == 0 || std::find(options.disks, end, place) != end;
}

Report::Form FormOf(const Options& options) {
  if (options.json) return Report::Form::kJson;
  return options.toStdout ? Report::Form::kNone : Report::Form::kListing;
}

class Runner {
 public:
  Runner(const Options& options, D88Image& image, DecodedDisk& disk)
      : options(options), image(image), disk(disk), report(FormOf(options)) {}

  int Run();

 private:
  void CheckReads();
  bool Chosen(const Names& names);
  void ExtractFiles(const DiskRecord& record, OutputTarget& target);
  EntryOutcome Handle(const EntryRecord& entry, const Names& names, OutputTarget& target);
  bool Writes() const { return !options.list && !options.toStdout; }

  const Options& options;
  D88Image& image;
  DecodedDisk& disk;
  const Report report;
  bool clean = true;
  bool readErrorShown = false;
  // Which patterns have matched an entry so far.
  bool patternMatched[Options::kMaxPatterns] = {};
};

// A failed read is counted as missing data where it happened; it is
// reported once, as soon as it is seen.
void Runner::CheckReads() {
  if (image.GetReadError() == 0 || readErrorShown) return;
  ShowReadError(options.image, image.GetReadError());
  readErrorShown = true;
  clean = false;
}

// Whether the entry is chosen by the patterns (all are when none is given),
// noting each pattern that matches.
bool Runner::Chosen(const Names& names) {
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

EntryOutcome Runner::Handle(const EntryRecord& entry, const Names& names, OutputTarget& target) {
  if (options.list) return ListEntry(entry);
  if (options.toStdout) {
    const EntryOutcome outcome = PassEntry(entry);
    if (outcome.status == EntryStatus::kWritten || outcome.status == EntryStatus::kTruncated) {
      std::fwrite(entry.data, 1, static_cast<std::size_t>(outcome.written), stdout);
    }
    return outcome;
  }
  return ExtractEntry(entry, names.file, target);
}

// Lists and extracts the chosen files of the disk just loaded.
void Runner::ExtractFiles(const DiskRecord& record, OutputTarget& target) {
  EntryWalk walk(disk, record);
  EntryRecord entry;
  while (walk.Next(entry)) {
    const Names names = NamesOf(entry.name, options);
    if (!Chosen(names)) continue;
    // The listing line comes before the file is written. It shows the raw
    // name outside --utf8, also on Windows.
    report.Listing(entry, options.utf8 ? names.shown : entry.name, names.columns);
    const EntryOutcome outcome = Handle(entry, names, target);
    report.Outcome(record, entry, outcome);
    if (outcome.problem != EntryProblem::kNone) clean = false;
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
    ShowOpenFailure(options.image, image.GetOpenError());
    return 1;
  }
  // The image is only read: a console stream that goes into it (1<> or >>
  // on the image) would change it. Nothing is written then; where standard
  // error is the image, not even a message.
  const GuardedFiles guarded = GuardImageAndConsole(image.GetIdentity());
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
  for (const long long* place = options.disks; place != options.disks + options.diskCount;
       ++place) {
    if (*place <= image.GetDiskCount()) continue;
    // A place given twice is reported once.
    if (std::find(options.disks, place, *place) == place) {
      ShowMissingDisk(*place, image.GetDiskCount());
    }
    clean = false;
  }

  OutputFolder diskFolder;
  OutputTarget target{
      &folder, guarded, options.keepOld, options.diskFolders ? &diskFolder : nullptr, {}, 0};
  CheckReads();
  for (int i = 0; i < image.GetDiskCount(); ++i) {
    if (!DiskChosen(i + 1, options)) continue;
    const DiskRecord record = LoadDisk(image, i, disk);
    report.Disk(record);
    CheckReads();
    if (DiskHasProblems(record)) {
      ShowDiskProblems(record);
      clean = false;
    }
    EnterDisk(target, record.place);
    ExtractFiles(record, target);
  }
  if (image.GetCutHeaderBytes() > 0) {
    ShowCutHeader(options.image, image.GetDiskCount() + 1, image.GetCutHeaderBytes());
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
  // The reader is about 840 KiB (its sector sweep has room for every sector
  // number a header can hold, on every track a run can visit) and a decoded
  // disk 425 KiB: more than a thread's stack may be given (1 MiB on
  // Windows). Both are made once, in static storage, for the one run of the
  // process, and the image is closed when the reader is destroyed at exit.
  static D88Image image;
  static DecodedDisk disk;
  Runner runner(options, image, disk);
  return runner.Run();
}
