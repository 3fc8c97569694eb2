#include "chores.h"

#include <cstdio>
#include <cstring>

#include "chosen_disk.h"
#include "codepage.h"
#include "console.h"
#include "d88_format.h"
#include "disk_check.h"
#include "disk_space.h"
#include "disk_walk.h"
#include "hints.h"
#include "image_file.h"
#include "listing.h"
#include "protection.h"
#include "report.h"

namespace {

// The disk at `place` (0: the only one), as its index from 0; -1, said on
// the console's error stream, when there is no such disk or there are
// several to choose from.
int ChooseDisk(const Console& console, const Options& options, const D88Image& image,
               long long place) {
  int index = 0;
  const ChoiceProblem problem = ChooseDiskIndex(image, place, index);
  if (!problem) return index;
  if (problem.place != 0) {
    ShowDiskProblem(console, options.image, problem.place, problem.problem);
  } else {
    ShowImageProblem(console, options.image, problem.problem);
  }
  return -1;
}

// The disks a chore covers: the one chosen with --disk, else every disk.
// False, said on the console's error stream, when there is no such disk.
bool DisksOf(const Console& console, const Options& options, const D88Image& image, int& first,
             int& last) {
  first = 0;
  last = image.GetDiskCount() - 1;
  if (options.disk == 0) return true;
  first = last = ChooseDisk(console, options, image, options.disk);
  return first >= 0;
}

bool ReadWell(const Console& console, const Options& options, const D88Image& image) {
  if (image.GetReadError() == 0) return true;
  ShowImageProblem(console, options.image, Failed(Refusal::kImageUnreadable, image.GetReadError()));
  return false;
}

// Opens the image a second time, as the layout's checks read it.
bool OpenAgain(const Console& console, const Options& options, const D88Image& image,
               ImageFile& file) {
  if (file.Open(options.image) && SameImageFile(file.GetIdentity(), image.GetIdentity())) {
    return true;
  }
  ShowImageProblem(console, options.image, Refuse(Refusal::kImageChanged));
  return false;
}

void PrintSummary(const Console& console, const Options& options, const DiskRecord& record,
                  const DecodedDisk& disk) {
  const DiskSpace space = SpaceOf(disk, record);
  // The label as the listing shows names: in UTF-8 only with --utf8.
  char converted[64];
  const char* label = record.label;
  if (options.utf8 && Cp932ToUtf8(label, std::strlen(label), converted, sizeof converted)) {
    label = converted;
  }
  PrintDiskSummary(console, {record.diskNumber, record.place, record.entryCount, space.used,
                             space.free, record.writeProtect != 0, label});
}

int ShowInfo(const Console& console, const Options& options, D88Image& image, DecodedDisk& disk) {
  int first = 0;
  int last = 0;
  if (!DisksOf(console, options, image, first, last)) return 1;
  bool clean = true;
  for (int i = first; i <= last; ++i) {
    const DiskRecord record = LoadDisk(image, i, disk);
    if (!ReadWell(console, options, image)) return 1;
    if (options.json) {
      JsonDiskAsItStands(console, ImageName{options.image, false, nullptr}, record, disk);
    } else if (record.HasDirectory()) {
      PrintSummary(console, options, record, disk);
    }
    if (!record.HasDirectory()) {
      ShowDiskProblem(console, options.image, i + 1, NoDirectory(record));
      clean = false;
    }
  }
  return clean && StandardOutputWritten(console) ? 0 : 1;
}

// Reads each disk as a put reads it before it writes, and says what stands
// in the way: one line for each thing found. Bytes that no file owns after
// the last record and a write-protected disk are noted, but a put goes on
// with --force.
int CheckDisks(const Console& console, const Options& options, D88Image& image, DecodedDisk& disk,
               ChoreWork& work) {
  ImageFile& file = work.file;
  SectorMap& map = work.map;
  int first = 0;
  int last = 0;
  if (!DisksOf(console, options, image, first, last) || !OpenAgain(console, options, image, file)) {
    return 1;
  }
  bool clean = true;
  for (int i = first; i <= last; ++i) {
    const DiskRecord record = LoadDisk(image, i, disk);
    DiskSpan span{};
    if (!ReadWell(console, options, image)) {
      file.Close();
      return 1;
    }
    if (!ReadDiskSpan(image, file, i, span)) {
      file.Close();
      ShowImageProblem(console, options.image, Refuse(Refusal::kImageChanged));
      return 1;
    }
    const Problem layout = CheckWholeLayout(image, file, span, record, map);
    if (layout) {
      ShowDiskProblem(console, options.image, i + 1, layout);
      clean = false;
      continue;
    }
    Problem found[kMaxEntryCount];
    const int count = FindDirectoryProblems(disk, record, found);
    for (int j = 0; j < count; ++j) ShowDiskProblem(console, options.image, i + 1, found[j]);
    if (count > 0) {
      clean = false;
      continue;
    }
    const Problem unowned = FindUnownedBytes(disk, record);
    if (unowned) ShowDiskProblem(console, options.image, i + 1, unowned);
    if (record.writeProtect != 0) {
      ShowDiskProblem(console, options.image, i + 1, Refuse(Refusal::kDiskWriteProtected));
    }
  }
  file.Close();
  return clean ? 0 : 1;
}

// Sets or clears the write-protect byte of the disks chosen, changing that
// byte alone; a disk that has it already is left as it is.
int ChangeProtection(const Console& console, const Options& options, D88Image& image,
                     ImageReplacement& replacement, ChoreWork& work) {
  ImageFile& file = work.file;
  DiskSpan* spans = work.spans;
  int first = 0;
  int last = image.GetDiskCount() - 1;
  if (!options.allDisks) first = last = ChooseDisk(console, options, image, options.disk);
  if (first < 0 || !OpenAgain(console, options, image, file)) return 1;
  const std::uint8_t value = options.protect == 1 ? kWriteProtected : 0;
  int count = 0;
  for (int i = first; i <= last; ++i) {
    if (!ReadDiskSpan(image, file, i, spans[count])) {
      file.Close();
      ShowImageProblem(console, options.image, Refuse(Refusal::kImageChanged));
      return 1;
    }
    if (spans[count].header[d88::disk_header::kWriteProtectOffset] == value) continue;
    if (options.dryRun) {
      std::fprintf(console.out, "%-10sdisk %d\n", options.protect == 1 ? "protect" : "unprotect",
                   i + 1);
    }
    ++count;
  }
  file.Close();
  image.Open(nullptr);
  if (count == 0 || options.dryRun) return StandardOutputWritten(console) ? 0 : 1;
  const Problem problem = WriteProtection(spans, count, options.protect == 1, replacement);
  if (problem) {
    ShowImageProblem(console, options.image, problem);
    return 1;
  }
  return 0;
}

}  // namespace

int RunChore(const Console& console, const Options& options, D88Image& image, DecodedDisk& disk,
             ImageReplacement& replacement, ChoreWork& work) {
  if (options.protect >= 0) {
    // A file the user may not write is protected as a write-protected disk
    // is.
    const Problem problem = replacement.Permission();
    if (problem && !options.force) {
      ShowImageProblem(console, options.image, problem);
      return 1;
    }
  }
  const Problem opened = OpenChosenImage(options.image, &replacement.State().identity, image);
  if (opened) {
    ShowImageProblem(console, options.image, opened);
    return 1;
  }
  if (options.info) return ShowInfo(console, options, image, disk);
  if (options.check) return CheckDisks(console, options, image, disk, work);
  return ChangeProtection(console, options, image, replacement, work);
}
