#include "run.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>

#include "native_api.h"
#endif

#include "codepage.h"
#include "console.h"
#include "d88_image.h"
#include "disk_layout.h"
#include "disk_walk.h"
#include "extract_files.h"
#include "manifest_keys.h"
#include "pattern.h"
#include "read_stream.h"
#include "report.h"
#include "sniff.h"
#include "written_files.h"
#ifdef D88UNPACK_HAVE_LIBARCHIVE
#include "archive_reader.h"
#endif

namespace {

// An entry's name in the forms the run needs.
struct Names {
  const char* shown;  // in the listing, and matched against the patterns
  int columns;        // the columns it takes in the listing: its bytes on the disk
  const char* file;   // the file name to write, or null: not valid code page 932
  bool utf8;          // `shown` is UTF-8
};

// `converted` holds the name in UTF-8 where it is converted.
Names NamesOf(const char* raw, const Options& options, char (&converted)[kShownNameSize]) {
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

TakenNames TakenNamesOf(const Options& options) {
  if (options.keepOld) return TakenNames::kKeep;
  return options.skipOld ? TakenNames::kKeepSilently : TakenNames::kReplace;
}

// Whether `text` names a file that is there: a NAME that does, and matches
// nothing, is most likely a second image.
bool NamesAFile(const char* text) {
#ifdef _WIN32
  // Names come from the wide command line as UTF-8.
  wchar_t path[4096];
  if (MultiByteToWideChar(CP_UTF8, 0, text, -1, path, 4096) <= 0) return false;
  return IsRegularFile(path);
#else
  return IsRegularFile(text);
#endif
}

// A NAME pattern, and whether it has matched an entry so far. Nothing is
// set when one is made, so that an array of them in the work area takes no
// memory until patterns are given; each is made anew from its pattern.
struct ChosenName {
  Pattern pattern;
  bool matched;
};

}  // namespace

namespace unpack {

// The reader is about 1.1 MiB (its sector sweep has room for every sector
// number a header can hold, on every track a run can visit), a decoded disk
// 426 KiB, the record of the files written 287 KiB and the patterns 320 KiB:
// more than a thread's stack may be given (1 MiB on Windows). The program
// makes them once, in static storage, and each run takes them as it finds
// them.
struct WorkArea {
  Options options;
  D88Image image;
  DecodedDisk disk;
  WrittenFiles written;
  ChosenName names[Options::kMaxPatterns];
  ByteBuffer input;   // an image read whole from standard input
  ByteBuffer member;  // the archive member being read
};

}  // namespace unpack

namespace {

class Runner {
 public:
  Runner(const Options& options, const Console& console, unpack::WorkArea& work)
      : options(options),
        console(console),
        image(work.image),
        disk(work.disk),
        written(work.written),
        names(work.names),
        input(work.input),
        member(work.member),
        report(console, FormOf(options), options.image, IsStandardInput(options.image)) {}

  int Run();

 private:
  static bool IsStandardInput(const NativePathChar* path) { return path[0] == '-' && path[1] == 0; }
  bool OpenImage();
  bool IsCollection();
  void RunImage(OutputTarget& target, int placeOffset);
  void RunCollection(OutputTarget& target);
  void ReportMissingDisks(int count, bool more);
  void CheckReads();
  bool Chosen(const Names& names);
  void ExtractFiles(const DiskRecord& record, OutputTarget& target);
  EntryOutcome Handle(const EntryRecord& entry, const Names& names, OutputTarget& target);
  bool Writes() const { return !options.list && !options.toStdout; }

  const Options& options;
  const Console& console;
  D88Image& image;
  DecodedDisk& disk;
  WrittenFiles& written;
  ChosenName* names;  // one for each NAME given
  // An image read into memory: standard input, whole.
  ByteBuffer& input;
  // The archive member being read (unused where there is no libarchive).
  [[maybe_unused]] ByteBuffer& member;
  Report report;
  bool clean = true;
  bool readErrorShown = false;
  char converted[kShownNameSize];  // the current entry's name in UTF-8
};

// A failed read is counted as missing data where it happened; it is
// reported once, as soon as it is seen.
void Runner::CheckReads() {
  if (image.GetReadError() == 0 || readErrorShown) return;
  report.ReadError(image.GetReadError());
  readErrorShown = true;
  clean = false;
}

// Whether the entry is chosen by the patterns (all are when none is given),
// noting each pattern that matches.
bool Runner::Chosen(const Names& entryNames) {
  if (options.patternCount == 0) return true;
  bool chosen = false;
  for (int i = 0; i < options.patternCount; ++i) {
    if (names[i].pattern.Matches(entryNames.shown, entryNames.utf8, options.ignoreCase)) {
      names[i].matched = true;
      chosen = true;
    }
  }
  return chosen;
}

EntryOutcome Runner::Handle(const EntryRecord& entry, const Names& entryNames,
                            OutputTarget& target) {
  if (options.list) return ListEntry(entry);
  if (options.toStdout) {
    const EntryOutcome outcome = PassEntry(entry, options.salvage);
    // An entry with no record header has no data at all.
    if (entry.HasRecordHeader()) {
      std::fwrite(entry.data, 1, static_cast<std::size_t>(outcome.written), console.out);
    }
    return outcome;
  }
  return ExtractEntry(entry, entryNames.file, target);
}

// Lists and extracts the chosen files of the disk just loaded.
void Runner::ExtractFiles(const DiskRecord& record, OutputTarget& target) {
  EntryWalk walk(disk, record);
  EntryRecord entry;
  while (walk.Next(entry)) {
    const Names entryNames = NamesOf(entry.name, options, converted);
    if (!Chosen(entryNames)) continue;
    // The listing line comes before the file is written. It shows the raw
    // name outside --utf8, also on Windows.
    report.Listing(entry, options.utf8 ? entryNames.shown : entry.name, entryNames.columns);
    const EntryOutcome outcome = Handle(entry, entryNames, target);
    char path[kWrittenPathSize];
    const char* written =
        Writes() ? WrittenFilePath(outcome, entryNames.file, target, path) : nullptr;
    report.Outcome(record, entry, outcome, written);
    if (outcome.problem != EntryProblem::kNone) clean = false;
  }
}

// Opens the image the command line names: a file, or standard input read
// whole into memory. Says why when it cannot.
bool Runner::OpenImage() {
  if (!IsStandardInput(options.image)) {
    if (image.Open(options.image)) return true;
    ShowOpenFailure(console, options.image, image.GetOpenError());
    return false;
  }
#ifdef _WIN32
  _setmode(_fileno(stdin), _O_BINARY);
#endif
  const int error = ReadWholeStream(stdin, input, kMaxImageBytes);
  if (error != 0) {
    report.InputFailure(error);
    return false;
  }
  return image.Open(input.data(), input.size());
}

// Whether the image is a compressed file or an archive rather than a D88
// image: it bears one's signature, and its first bytes are no disk header
// that passes the format check (an image whose name happens to begin with
// a signature is still an image).
bool Runner::IsCollection() {
#ifdef D88UNPACK_HAVE_LIBARCHIVE
  if (image.GetDiskCount() > 0 && image.GetFormatCheck().problem == FormatCheck::Problem::kNone) {
    return false;
  }
  std::uint8_t start[kSniffSize];
  const int64_t got = image.ReadBytes(0, start, kSniffSize);
  return CompressedOrArchive(start, static_cast<std::size_t>(got)).what != nullptr;
#else
  return false;
#endif
}

int Runner::Run() {
  // The folder first: when it cannot be used, nothing is listed.
  OutputFolder folder;
  if (Writes() && options.directory != nullptr) {
    const int error = folder.Open(options.directory);
    if (error != 0) {
      ShowFolderFailure(console, options.directory, error);
      return 1;
    }
  }
  if (!OpenImage()) return 1;
  // The image is only read: a console stream that goes into it (1<> or >>
  // on the image) would change it. Nothing is written then; where standard
  // error is the image, not even a message.
  const GuardedFiles guarded = GuardImageAndConsole(image.GetIdentity(), DescriptorOf(console.out),
                                                    DescriptorOf(console.err));
  if (ConsoleGoesIntoImage(console, options.image,
                           guarded.hasOutput && IsImageFile(guarded.output, guarded),
                           guarded.hasErrorOutput && IsImageFile(guarded.errorOutput, guarded),
                           "it is only read, so nothing is done")) {
    return 1;
  }
  const bool collection = IsCollection();
  // A file whose first disk header cannot be one is no image to list.
  if (!collection && image.GetFormatCheck().problem != FormatCheck::Problem::kNone) {
    report.NotD88(image.GetFormatCheck());
    return 1;
  }
#ifdef _WIN32
  // The files' data goes out as it stands, without line-end translation.
  if (options.toStdout) _setmode(_fileno(console.out), _O_BINARY);
#endif
  // The disks of an archive are counted as its members are read.
  if (!collection) ReportMissingDisks(image.GetDiskCount(), image.HasMoreDisks());

  OutputFolder diskFolder;
  OutputTarget target{};
  target.folder = &folder;
  target.guarded = guarded;
  target.taken = TakenNamesOf(options);
  target.salvage = options.salvage;
  target.written = &written;
  target.diskFolder = options.diskFolders ? &diskFolder : nullptr;
  if (collection) {
    RunCollection(target);
  } else {
    RunImage(target, 0);
  }
  for (int i = 0; i < options.patternCount; ++i) {
    if (!names[i].matched) {
      ShowPatternNotFound(console, options.patterns[i], options.diskCount > 0,
                          NamesAFile(options.patterns[i]));
      clean = false;
    }
  }
  return clean && StandardOutputWritten(console) ? 0 : 1;
}

// A disk chosen by a place past the `count` disks read.
void Runner::ReportMissingDisks(int count, bool more) {
  for (const long long* place = options.disks; place != options.disks + options.diskCount;
       ++place) {
    if (*place <= count) continue;
    // A place given twice is reported once.
    if (std::find(options.disks, place, *place) == place) {
      report.MissingDisk(*place, count, more);
    }
    clean = false;
  }
}

// Lists and extracts the disks of the image open, the first of them at
// place placeOffset + 1.
void Runner::RunImage(OutputTarget& target, int placeOffset) {
  CheckReads();
  for (int i = 0; i < image.GetDiskCount(); ++i) {
    if (!DiskChosen(placeOffset + i + 1, options)) continue;
    DiskRecord record = LoadDisk(image, i, disk, options.salvage);
    record.place += placeOffset;
    if (record.HasDirectory()) EnterDisk(target, record);
    DiskExtras extras{};
    char systemArea[kWrittenPathSize];
    if (options.systemArea && Writes() && record.HasDirectory() &&
        record.diskNumber == kSystemDiskNumber) {
      if (!WriteSystemArea(image, record, target, report, systemArea, extras.systemArea)) {
        clean = false;
      }
    }
    if (options.json && record.HasDirectory()) extras.fills = FindFills(disk, record);
    report.Disk(record, disk, &extras);
    if (record.steppedHeaders > 0) clean = false;
    CheckReads();
    if (!record.HasDirectory()) {
      clean = false;
      continue;
    }
    ExtractFiles(record, target);
  }
  const int count = image.GetDiskCount();
  if (image.GetCutHeaderBytes() > 0) {
    report.CutHeader(placeOffset + count + 1, image.GetCutHeaderBytes());
    clean = false;
  }
  if (image.HasBytesAfterZeroSize()) {
    report.ZeroSize(placeOffset + count);
    clean = false;
  }
  if (image.HasMoreDisks()) {
    report.MoreDisks(count);
    clean = false;
  }
  CheckReads();
}

// Reads a compressed image, or the D88 images among an archive's members,
// one after another as one image whose disks count on from member to
// member. A member that is no D88 image is passed over with a note.
void Runner::RunCollection(OutputTarget& target) {
#ifdef D88UNPACK_HAVE_LIBARCHIVE
  ArchiveReader reader;
  const bool opened = !IsStandardInput(options.image) ? reader.Open(options.image)
                                                      : reader.Open(input.data(), input.size());
  // Each member is read into memory in turn, the image read from there.
  int placed = 0;
  bool found = false;
  ArchiveReader::Next next =
      opened ? reader.NextMember(member, kMaxImageBytes) : ArchiveReader::Next::kError;
  for (; next == ArchiveReader::Next::kMember || next == ArchiveReader::Next::kTooLarge;
       next = reader.NextMember(member, kMaxImageBytes)) {
    // A compressed file's content is the image itself, under its own name.
    const bool content = reader.IsCompressedFile();
    report.SetMember(content ? nullptr : reader.MemberName());
    if (next == ArchiveReader::Next::kTooLarge) {
      report.MemberTooLarge();
      clean = false;
      // A compressed file has nothing after its content: no need to
      // decompress the rest only to find its end.
      if (content) {
        found = true;
        next = ArchiveReader::Next::kEnd;
        break;
      }
      continue;
    }
    image.Open(member.data(), member.size());
    const bool isImage = image.GetFormatCheck().problem == FormatCheck::Problem::kNone &&
                         (content || image.GetDiskCount() > 0);
    if (!isImage) {
      report.NotD88(image.GetFormatCheck(), !content);
      if (content) clean = false;
      found = found || content;
      continue;
    }
    found = true;
    RunImage(target, placed);
    placed += image.GetDiskCount();
  }
  // The image in memory goes before the bytes it reads.
  image.Open(static_cast<const NativePathChar*>(nullptr));
  // A member whose data cannot be read is named; a header that cannot be
  // read names none.
  const bool inMember = next == ArchiveReader::Next::kError && reader.MemberName()[0] != 0;
  report.SetMember(inMember ? reader.MemberName() : nullptr);
  if (next == ArchiveReader::Next::kError) {
    report.ArchiveFailure(reader.ErrorText());
    clean = false;
  } else if (!found) {
    report.NoImage();
    clean = false;
  }
  report.SetMember(nullptr);
  ReportMissingDisks(placed, false);
#else
  (void)target;
#endif
}

int Start(int argc, char** argv, NativePathChar** nativeArgs, const Console& console);

}  // namespace

const char kProgramName[] = "d88unpack";

namespace unpack {

int Main(int argc, char** argv, std::FILE* out, std::FILE* err) {
  return StartRun(argc, argv, out, err, Start);
}

int Run(const Console& console, WorkArea& work) {
  const Options& options = work.options;
  std::transform(options.patterns, options.patterns + options.patternCount, work.names,
                 [](const char* text) {
                   return ChosenName{Pattern(text), false};
                 });
  // Nothing an earlier run wrote is this run's.
  work.written.Clear();
  Runner runner(options, console, work);
  const int status = runner.Run();
  work.image.Open(nullptr);
  return status;
}

}  // namespace unpack

namespace {

int Start(int argc, char** argv, NativePathChar** nativeArgs, const Console& console) {
  static unpack::WorkArea work;
  switch (ParseCommandLine(console, argc, argv, nativeArgs, work.options)) {
    case ParseResult::kRun:
      return unpack::Run(console, work);
    case ParseResult::kDone:
      // --help and --version are done only when what they printed got out.
      return StandardOutputWritten(console) ? 0 : 1;
    case ParseResult::kNoArguments:
    case ParseResult::kUsageError:
      break;
  }
  return 1;
}

}  // namespace
