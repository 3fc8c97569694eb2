#include "run.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "chores.h"
#include "chosen_disk.h"
#include "codepage.h"
#include "console.h"
#include "d88_image.h"
#include "directory.h"
#include "disk_check.h"
#include "disk_edit.h"
#include "disk_layout.h"
#include "disk_walk.h"
#include "entry_name.h"
#include "hints.h"
#include "image_file.h"
#include "image_replace.h"
#include "input_file.h"
#include "listing.h"
#include "manifest.h"
#include "native_api.h"
#include "pack_image.h"
#include "pattern.h"
#include "refusal.h"
#include "rename.h"
#include "report.h"

namespace {

// One change to the disk, for the dry run to tell.
struct Change {
  const char* verb;  // "add", "replace" or "delete"
  char name[kNameBufferSize];
  int size;
  int start;
  int allocation;  // as the directory has it when the change is noted
};

}  // namespace

namespace pack {

// The reader is about 1.1 MiB, a decoded disk 426 KiB, the writer's buffers
// and the record of changes a few hundred more: more than a thread's stack
// may be given. The program makes them once, in static storage, and each run
// takes them as it finds them.
struct WorkArea {
  Options options;
  D88Image image;
  DecodedDisk disk;
  // The disk's data as it was read, to tell the sectors changed.
  std::uint8_t loaded[kDiskBufferSize];
  // The image once more, to see where its disk lies and where it ends.
  ImageFile file;
  InputFile input;
  ImageReplacement replacement;
  EntryName names[Options::kMaxOperands];
  bool matched[Options::kMaxOperands];
  Pattern patterns[Options::kMaxOperands];
  Change changes[Options::kMaxOperands + kMaxEntryCount];
  // The system area given to --system-area.
  std::uint8_t systemArea[kSystemAreaSize];
  ChoreWork chores;
  ManifestWork manifest;
};

}  // namespace pack

namespace {

class Packer {
 public:
  Packer(const Console& console, pack::WorkArea& work)
      : options(work.options),
        console(console),
        work(work),
        image(work.image),
        disk(work.disk),
        loaded(work.loaded),
        replacement(work.replacement),
        changes(work.changes) {}
  // What the run leaves (a lock, a temporary file) is let go of.
  ~Packer() { replacement.Abandon(); }
  Packer(const Packer&) = delete;
  Packer& operator=(const Packer&) = delete;

  int Run();

 private:
  bool PrepareImage();
  bool LoadChosenDisk();
  void PutFiles(DiskEdit& edit);
  void PutFile(DiskEdit& edit, int i, EntryName* names);
  void DeleteEntries(DiskEdit& edit);
  bool RenameEntry(DiskEdit& edit);
  // The entry's name as patterns match it: in UTF-8 where names are
  // converted and it converts, else its bytes.
  ShownName Shown(const char* raw) const;
  // The name as the listing shows it: in UTF-8 only with --utf8.
  const char* Listed(const char* raw) const { return options.utf8 ? Shown(raw).text : raw; }
  void Note(const char* verb, int k, int size, int start);
  void PrintChanges();
  void PrintJsonChanges();
  void PrintListing();

  void ShowImageProblem(const Problem& problem);
  void PutDiskPrefix(long long place) const;
  void ShowDiskProblem(long long place, const Problem& problem);
  void ShowFileProblem(int i, const Problem& problem);

  const Options& options;
  const Console& console;
  pack::WorkArea& work;
  D88Image& image;
  DecodedDisk& disk;
  std::uint8_t* loaded;
  ImageReplacement& replacement;
  Change* changes;
  DiskRecord record{};
  SectorMap map{};
  int diskIndex = 0;
  bool clean = true;
  int changeCount = 0;
  // A name converted to UTF-8, while it is shown.
  mutable char converted[kConvertedNameSize];
};

// A problem with the image or the disk ends the run at once.
void Packer::ShowImageProblem(const Problem& problem) {
  ::ShowImageProblem(console, options.image, problem);
}

// "PROGRAM: IMAGE: disk N: ", for a line about the disk at `place`.
void Packer::PutDiskPrefix(long long place) const {
  PutPathPrefix(console, options.image);
  std::fprintf(console.err, "disk %lld: ", place);
}

void Packer::ShowDiskProblem(long long place, const Problem& problem) {
  ::ShowDiskProblem(console, options.image, place, problem);
}

void Packer::ShowFileProblem(int i, const Problem& problem) {
  PutDiskPrefix(diskIndex + 1);
  // With -u the FILE's name is UTF-8 text, shown as the listing shows names.
  PutPath(options.nativeOperands[i], console.err, options.utf8);
  std::fputs(": ", console.err);
  PutReason(console, problem);
  clean = false;
}

// Finds the image and what stands at its name, refuses a console stream
// that goes into it, and takes its lock for a run that changes it.
bool Packer::PrepareImage() {
  const ImageReplacement::Mode mode = !options.create ? ImageReplacement::Mode::kReplace
                                      : options.force ? ImageReplacement::Mode::kCreateOrReplace
                                                      : ImageReplacement::Mode::kCreate;
  Problem problem = replacement.Prepare(options.image, mode, options.force);
  if (replacement.Exists()) {
    if (ConsoleGoesIntoFoundImage(console, options.image, replacement.State().identity)) {
      return false;
    }
  }
  // Runs that change the image take turns; a dry run changes nothing, nor
  // do --info and --check.
  if (!problem && !options.dryRun && !options.info && !options.check) problem = replacement.Lock();
  if (problem) {
    ShowImageProblem(problem);
    return false;
  }
  return true;
}

// Opens the image, chooses its disk, loads it and checks that it may be
// written.
bool Packer::LoadChosenDisk() {
  const DiskChoice choice{options.disk, options.force, &replacement.State().identity};
  ChosenDisk chosen{};
  const ChoiceProblem problem =
      ::LoadChosenDisk(options.image, choice, image, work.file, disk, chosen);
  diskIndex = chosen.index;
  record = chosen.record;
  map = chosen.map;
  if (problem.place != 0) {
    ShowDiskProblem(problem.place, problem.problem);
    return false;
  }
  if (problem) {
    ShowImageProblem(problem.problem);
    return false;
  }
  return true;
}

ShownName Packer::Shown(const char* raw) const {
  return ShownEntryName(options, raw, converted);
}

void Packer::Note(const char* verb, int k, int size, int start) {
  Change& change = changes[changeCount++];
  change.verb = verb;
  int length = 0;
  std::memcpy(change.name, MakeFileName(disk, k, length), sizeof change.name);
  change.size = size;
  change.start = start;
  change.allocation = AllocationLength(disk, k);
}

void Packer::PutFile(DiskEdit& edit, int i, EntryName* names) {
  InputFile& input = work.input;
  long long size = 0;
  // A FILE that cannot be read is reported so, whatever its name.
  Problem problem = input.Open(options.nativeOperands[i], size);
  if (!problem && replacement.Exists() && input.Identity() == replacement.State().identity) {
    problem = Refuse(Refusal::kFileIsImage);
  }
  if (!problem) {
    problem =
        Refuse(MakeEntryName(BaseName(options.operands[i]), ConvertsNames(options), names[i]));
  }
  for (int j = 0; j < i && !problem; ++j) {
    if (names[j] == names[i]) problem = Refuse(Refusal::kNameGivenTwice);
  }
  if (!problem && size > kMaxFileSize) problem = FileTooLarge(size);
  int k = 0;
  int start = 0;
  if (!problem) {
    k = edit.Find(names[i]);
    start = options.start >= 0 ? options.start : k != 0 ? edit.Start(k) : 0;
    std::uint8_t* data = nullptr;
    problem = edit.Put(k, names[i], start, static_cast<int>(size), data);
    if (!problem) problem = input.Read(data, static_cast<int>(size));
  }
  input.Close();
  if (problem) {
    // A name that no other FILE can be given twice with.
    std::memset(names[i].bytes, 0, sizeof names[i].bytes);
    ShowFileProblem(i, problem);
    return;
  }
  Note(k != 0 ? "replace" : "add", k != 0 ? k : edit.Count(), static_cast<int>(size), start);
}

void Packer::PutFiles(DiskEdit& edit) {
  for (int i = 0; i < options.operandCount; ++i) PutFile(edit, i, work.names);
}

void Packer::DeleteEntries(DiskEdit& edit) {
  bool* matched = work.matched;
  Pattern* patterns = work.patterns;
  std::fill(matched, matched + options.operandCount, false);
  std::transform(options.operands, options.operands + options.operandCount, patterns,
                 [](const char* text) { return Pattern(text); });
  bool chosen[kMaxEntryCount + 1] = {};
  EntryWalk walk(disk, record);
  for (EntryRecord entry; walk.Next(entry);) {
    const ShownName shown = Shown(entry.name);
    for (int i = 0; i < options.operandCount; ++i) {
      if (patterns[i].Matches(shown.text, shown.utf8, options.ignoreCase)) {
        matched[i] = true;
        chosen[entry.index] = true;
      }
    }
    if (chosen[entry.index]) Note("delete", entry.index, entry.size, entry.start);
  }
  // From the last, so that the entries still to go keep their numbers.
  for (int k = edit.Count(); k >= 1; --k) {
    if (chosen[k]) edit.Delete(k);
  }
  for (int i = 0; i < options.operandCount; ++i) {
    if (matched[i]) continue;
    PutDiskPrefix(diskIndex + 1);
    PutTyped(options.operands[i], console.err);
    // A file of that name was most likely meant to be put, not deleted.
    std::fputs(IsRegularFile(options.nativeOperands[i])
                   ? ": not found (it names a file: with --delete, the names after the image "
                     "are entries to remove, not files to put)\n"
                   : ": not found\n",
               console.err);
    clean = false;
  }
}

// Gives the one entry OLD matches the name NEW.
bool Packer::RenameEntry(DiskEdit& edit) {
  EntryRecord entry{};
  if (!FindOnlyMatch(console, options, options.operands[0], diskIndex + 1, disk, record, entry))
    return false;
  EntryName name{};
  Problem problem = Refuse(MakeEntryName(options.operands[1], ConvertsNames(options), name));
  const bool same = !problem && edit.Find(name) == entry.index;
  if (!problem && !same) problem = edit.Rename(entry.index, name);
  if (problem) {
    ShowFileProblem(1, problem);
    return false;
  }
  if (!same) Note("rename", entry.index, entry.size, entry.start);
  return true;
}

void Packer::PrintChanges() {
  if (options.json) {
    PrintJsonChanges();
    return;
  }
  if (options.create) {
    std::fputs("create  ", console.out);
    PrintDiskLine(console, options.number);
  }
  for (int i = 0; i < changeCount; ++i) {
    const Change& change = changes[i];
    std::fprintf(console.out, "%-8s", change.verb);
    PrintListingLine(console, Listed(change.name), static_cast<int>(std::strlen(change.name)),
                     change.size, change.start, change.start + change.size);
  }
}

// In d88unpack's JSON shapes: the new disk, then each entry with what
// would become of it as its status.
void Packer::PrintJsonChanges() {
  if (options.create)
    JsonDiskAsItStands(console, ImageName{options.image, false, nullptr}, record, disk);
  for (int i = 0; i < changeCount; ++i) {
    const Change& change = changes[i];
    EntryRecord entry{};
    entry.name = change.name;
    entry.start = change.start;
    entry.size = change.size;
    entry.end = change.start + change.size;
    entry.allocation = change.allocation;
    JsonEntry(console, ImageName{options.image, false, nullptr}, record, entry, change.verb,
              nullptr);
  }
}

// The disk as d88unpack lists it, or as d88unpack --json --list tells it.
void Packer::PrintListing() {
  if (options.json) {
    JsonDiskAsItStands(console, ImageName{options.image, false, nullptr}, record, disk);
    EntryWalk walk(disk, record);
    for (EntryRecord entry; walk.Next(entry);)
      JsonEntry(console, ImageName{options.image, false, nullptr}, record, entry, "listed",
                nullptr);
    return;
  }
  PrintDiskLine(console, record.diskNumber);
  EntryWalk walk(disk, record);
  for (EntryRecord entry; walk.Next(entry);) {
    PrintListingLine(console, Listed(entry.name), static_cast<int>(std::strlen(entry.name)),
                     entry.size, entry.start, entry.end);
  }
}

int Packer::Run() {
#ifdef SIGXFSZ
  // A write past the file size limit fails, and is reported, rather than
  // ending the run without a word.
  std::signal(SIGXFSZ, SIG_IGN);
#endif
  if (options.from != nullptr) {
    return PackFromManifest(console, options, disk, replacement, work.manifest);
  }
  if (!PrepareImage()) return 1;
  if (options.info || options.check || options.protect >= 0) {
    return RunChore(console, options, image, disk, replacement, work.chores);
  }
  std::uint8_t(&systemArea)[kSystemAreaSize] = work.systemArea;
  if (options.systemArea != nullptr &&
      !ReadSystemAreaFile(console, options.systemArea, work.input, systemArea)) {
    return 1;
  }
  if (options.create) {
    DiskEdit::Format(disk, record, options.number);
    std::memcpy(record.label, options.label, options.labelLength);
  } else {
    if (!LoadChosenDisk()) return 1;
    // A file the user may not write is protected as a write-protected disk
    // is.
    const Problem problem = replacement.Permission();
    if (problem && !options.force) {
      ShowImageProblem(problem);
      return 1;
    }
    std::memcpy(loaded, disk.diskBuffer, kDiskBufferSize);
  }

  DiskEdit edit(disk, record, options.force);
  if (options.remove) {
    DeleteEntries(edit);
  } else if (options.rename) {
    if (!RenameEntry(edit)) return 1;
  } else {
    PutFiles(edit);
    // Whatever was refused, nothing is written.
    if (!clean) {
      if (!options.dryRun) ShowImageProblem(Refuse(Refusal::kNothingWritten));
      return 1;
    }
  }
  edit.Finish();

  if (options.dryRun) {
    PrintChanges();
  } else if (options.create || changeCount > 0) {
    const Problem problem =
        options.create
            ? WriteNewImage(options.label, options.labelLength, options.number, disk, replacement,
                            options.systemArea != nullptr ? systemArea : nullptr)
            : WriteBackDisk(image, diskIndex, map, loaded, disk, replacement);
    if (problem) {
      // Only the reading back of the new image is about the disk.
      if (problem.why == Refusal::kDiskSectorsShift) {
        ShowDiskProblem(diskIndex + 1, problem);
      } else {
        ShowImageProblem(problem);
      }
      return 1;
    }
  }
  if (options.verbose) PrintListing();
  return clean && StandardOutputWritten(console) ? 0 : 1;
}

int Start(int argc, char** argv, NativePathChar** nativeArgs, const Console& console) {
  static pack::WorkArea work;
  const ParseResult parsed = ParseCommandLine(console, argc, argv, nativeArgs, work.options);
  if (parsed == ParseResult::kRun) return pack::Run(console, work);
  // --help and --version are done only when what they printed got out.
  return parsed == ParseResult::kDone && StandardOutputWritten(console) ? 0 : 1;
}

}  // namespace

const char kProgramName[] = "d88pack";

namespace pack {

int Main(int argc, char** argv, std::FILE* out, std::FILE* err) {
  return StartRun(argc, argv, out, err, Start);
}

int Run(const Console& console, WorkArea& work) {
  Packer packer(console, work);
  const int status = packer.Run();
  work.image.Open(nullptr);
  return status;
}

}  // namespace pack
