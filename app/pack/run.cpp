#include "run.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "chores.h"
#include "codepage.h"
#include "console.h"
#include "d88_image.h"
#include "directory.h"
#include "disk_check.h"
#include "disk_edit.h"
#include "disk_layout.h"
#include "disk_walk.h"
#include "entry_name.h"
#include "image_choice.h"
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

class Packer {
 public:
  Packer(const Options& options, D88Image& image, DecodedDisk& disk, std::uint8_t* loaded)
      : options(options), image(image), disk(disk), loaded(loaded) {}

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
  void ShowDiskProblem(const Problem& problem);
  void ShowFileProblem(int i, const Problem& problem);

  const Options& options;
  D88Image& image;
  DecodedDisk& disk;
  // The disk's data as it was read, to tell the sectors changed.
  std::uint8_t* loaded;
  DiskRecord record{};
  SectorMap map{};
  ImageReplacement replacement;
  int diskIndex = 0;
  bool clean = true;
  int changeCount = 0;
  Change changes[Options::kMaxOperands + kMaxEntryCount];
};

// A problem with the image or the disk ends the run at once.
void Packer::ShowImageProblem(const Problem& problem) {
  ::ShowImageProblem(options.image, problem);
}

void Packer::ShowDiskProblem(const Problem& problem) {
  ::ShowDiskProblem(options.image, diskIndex + 1, problem);
}

void Packer::ShowFileProblem(int i, const Problem& problem) {
  char reason[320];
  FormatProblem(problem, reason, sizeof reason);
  PutPathPrefix(options.image);
  std::fprintf(stderr, "disk %d: ", diskIndex + 1);
  PutPath(options.nativeOperands[i]);
  std::fprintf(stderr, ": %s\n", reason);
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
    const FileIdentity& image = replacement.State().identity;
    FileIdentity output{};
    FileIdentity errorOutput{};
    const bool outputIsImage = IdentityOfStreamFile(1, output) && output == image;
    const bool errorIsImage = IdentityOfStreamFile(2, errorOutput) && errorOutput == image;
    if (ConsoleGoesIntoImage(options.image, outputIsImage, errorIsImage, "nothing is done")) {
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
  if (!OpenFoundImage(options.image, image, replacement)) return false;
  diskIndex = ChooseDisk(options.image, image, options.disk);
  if (diskIndex < 0) return false;
  record = LoadDisk(image, diskIndex, disk);
  if (image.GetReadError() != 0) {
    ShowImageProblem(Failed(Refusal::kImageUnreadable, image.GetReadError()));
    return false;
  }
  // The image once more, to see where its disk lies and where it ends.
  static ImageFile file;
  DiskSpan span{};
  if (!file.Open(options.image) || !SameImageFile(file.GetIdentity(), image.GetIdentity()) ||
      !FindDiskSpan(file, diskIndex, span)) {
    file.Close();
    ShowImageProblem(Refuse(Refusal::kImageChanged));
    return false;
  }
  Problem problem = CheckWholeLayout(image, file, span, record, map);
  file.Close();
  if (!problem) problem = CheckDirectory(disk, record);
  if (!problem && record.writeProtect != 0 && !options.force) {
    problem = Refuse(Refusal::kDiskWriteProtected);
  }
  if (problem) {
    ShowDiskProblem(problem);
    return false;
  }
  return true;
}

ShownName Packer::Shown(const char* raw) const {
  return ShownEntryName(options, raw);
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
  static InputFile input;
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
  if (!problem && size > kMaxFileSize) problem = Refuse(Refusal::kFileTooLarge, size);
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
  static EntryName names[Options::kMaxOperands];
  for (int i = 0; i < options.operandCount; ++i) PutFile(edit, i, names);
}

void Packer::DeleteEntries(DiskEdit& edit) {
  static bool matched[Options::kMaxOperands];
  static Pattern patterns[Options::kMaxOperands];
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
    PutPathPrefix(options.image);
    std::fprintf(stderr, "disk %d: ", diskIndex + 1);
    PutTyped(options.operands[i]);
    // A file of that name was most likely meant to be put, not deleted.
    std::fputs(IsRegularFile(options.nativeOperands[i])
                   ? ": not found (it names a file: with --delete, the names after the image "
                     "are entries to remove, not files to put)\n"
                   : ": not found\n",
               stderr);
    clean = false;
  }
}

// Gives the one entry OLD matches the name NEW.
bool Packer::RenameEntry(DiskEdit& edit) {
  EntryRecord entry{};
  if (!FindOnlyMatch(options, options.operands[0], diskIndex + 1, disk, record, entry))
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
    std::fputs("create  ", stdout);
    PrintDiskLine(options.number);
  }
  for (int i = 0; i < changeCount; ++i) {
    const Change& change = changes[i];
    std::printf("%-8s", change.verb);
    PrintListingLine(Listed(change.name), static_cast<int>(std::strlen(change.name)), change.size,
                     change.start, change.start + change.size);
  }
}

// In d88unpack's JSON shapes: the new disk, then each entry with what
// would become of it as its status.
void Packer::PrintJsonChanges() {
  if (options.create) JsonDiskAsItStands(ImageName{options.image, false, nullptr}, record, disk);
  for (int i = 0; i < changeCount; ++i) {
    const Change& change = changes[i];
    EntryRecord entry{};
    entry.name = change.name;
    entry.start = change.start;
    entry.size = change.size;
    entry.end = change.start + change.size;
    entry.allocation = change.allocation;
    JsonEntry(ImageName{options.image, false, nullptr}, record, entry, change.verb, nullptr);
  }
}

// The disk as d88unpack lists it, or as d88unpack --json --list tells it.
void Packer::PrintListing() {
  if (options.json) {
    JsonDiskAsItStands(ImageName{options.image, false, nullptr}, record, disk);
    EntryWalk walk(disk, record);
    for (EntryRecord entry; walk.Next(entry);)
      JsonEntry(ImageName{options.image, false, nullptr}, record, entry, "listed", nullptr);
    return;
  }
  PrintDiskLine(record.diskNumber);
  EntryWalk walk(disk, record);
  for (EntryRecord entry; walk.Next(entry);) {
    PrintListingLine(Listed(entry.name), static_cast<int>(std::strlen(entry.name)), entry.size,
                     entry.start, entry.end);
  }
}

int Packer::Run() {
#ifdef SIGXFSZ
  // A write past the file size limit fails, and is reported, rather than
  // ending the run without a word.
  std::signal(SIGXFSZ, SIG_IGN);
#endif
  if (options.from != nullptr) return PackFromManifest(options);
  if (!PrepareImage()) return 1;
  if (options.info || options.check || options.protect >= 0) {
    return RunChore(options, image, disk, replacement);
  }
  static std::uint8_t systemArea[kSystemAreaSize];
  if (options.systemArea != nullptr && !ReadSystemAreaFile(options.systemArea, systemArea)) {
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
        ShowDiskProblem(problem);
      } else {
        ShowImageProblem(problem);
      }
      return 1;
    }
  }
  if (options.verbose) PrintListing();
  return clean && StandardOutputWritten() ? 0 : 1;
}

}  // namespace

int Run(const Options& options) {
  // The reader is about 1.1 MiB and a decoded disk 426 KiB: more than a
  // thread's stack may be given. Both are made once, in static storage, for
  // the one run of the process.
  static D88Image image;
  static DecodedDisk disk;
  static std::uint8_t loaded[kDiskBufferSize];
  static Packer packer(options, image, disk, loaded);
  return packer.Run();
}
