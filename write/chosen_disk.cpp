#include "chosen_disk.h"

namespace {

ChoiceProblem OfImage(const Problem& problem) {
  return ChoiceProblem{problem, 0};
}

// The disk to write, as its index from 0; what stops the choice otherwise.
ChoiceProblem Choose(const D88Image& image, long long place, int& index) {
  // Past the disks the reader counts, more may follow that cannot be chosen.
  const int count = image.GetDiskCount();
  const bool more = image.HasMoreDisks();
  if (count == 0) return OfImage(Refuse(Refusal::kImageHoldsNoDisk));
  if (place == 0 && count > 1) {
    return OfImage(ChooseDisk(count, more));
  }
  if (place > count) {
    return ChoiceProblem{NoSuchDisk(count, more), place};
  }
  index = place == 0 ? 0 : static_cast<int>(place) - 1;
  return ChoiceProblem{};
}

}  // namespace

ChoiceProblem LoadChosenDisk(const NativePathChar* path, const DiskChoice& choice, D88Image& image,
                             ImageFile& file, DecodedDisk& disk, ChosenDisk& chosen) {
  if (!image.Open(path)) {
    const int error = image.GetOpenError();
    return OfImage(error == kNotRegularFile ? Refuse(Refusal::kImageNotRegular)
                                            : Failed(Refusal::kImageUnopenable, error));
  }
  // The file read must be the one found, and locked.
  if (choice.identity != nullptr &&
      (!image.GetIdentity().isFile || !(image.GetIdentity().file == *choice.identity))) {
    return OfImage(Refuse(Refusal::kImageChanged));
  }
  const Problem format = CheckFormat(image);
  if (format) return OfImage(format);
  ChoiceProblem chosenProblem = Choose(image, choice.place, chosen.index);
  if (chosenProblem) return chosenProblem;
  chosen.record = LoadDisk(image, chosen.index, disk);
  if (image.GetReadError() != 0) {
    return OfImage(Failed(Refusal::kImageUnreadable, image.GetReadError()));
  }
  // The image once more, to see where its disk lies and where it ends.
  DiskSpan span{};
  if (!file.Open(path) || !SameImageFile(file.GetIdentity(), image.GetIdentity()) ||
      !ReadDiskSpan(image, file, chosen.index, span)) {
    file.Close();
    return OfImage(Refuse(Refusal::kImageChanged));
  }
  Problem problem = CheckWholeLayout(image, file, span, chosen.record, chosen.map);
  file.Close();
  if (!problem) problem = CheckDirectory(disk, chosen.record);
  if (!problem && chosen.record.writeProtect != 0 && !choice.force) {
    problem = Refuse(Refusal::kDiskWriteProtected);
  }
  return ChoiceProblem{problem, problem ? chosen.index + 1 : 0};
}
