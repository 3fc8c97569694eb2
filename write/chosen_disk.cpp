#include "chosen_disk.h"

#include "sniff.h"

namespace {

ChoiceProblem OfImage(const Problem& problem) {
  return ChoiceProblem{problem, 0};
}

}  // namespace

Problem OpenChosenImage(const NativePathChar* path, const FileIdentity* identity, D88Image& image) {
  if (!image.Open(path)) {
    const int error = image.GetOpenError();
    return error == kNotRegularFile ? Refuse(Refusal::kImageNotRegular)
                                    : Failed(Refusal::kImageUnopenable, error);
  }
  // The file read must be the one found, and locked.
  if (identity != nullptr &&
      (!image.GetIdentity().isFile || !(image.GetIdentity().file == *identity))) {
    return Refuse(Refusal::kImageChanged);
  }
  // A compressed file or an archive given as the image: it is read, by
  // d88unpack, but never written.
  if (image.GetDiskCount() == 0 || image.GetFormatCheck().problem != FormatCheck::Problem::kNone) {
    std::uint8_t start[kSniffSize];
    const int64_t got = image.ReadBytes(0, start, kSniffSize);
    const Sniffed sniffed = CompressedOrArchive(start, static_cast<std::size_t>(got));
    if (sniffed.what != nullptr) {
      return Refuse(sniffed.archive ? Refusal::kImageArchive : Refusal::kImageCompressed);
    }
  }
  const Problem format = CheckFormat(image);
  if (format) return format;
  if (image.GetDiskCount() == 0) return Refuse(Refusal::kImageHoldsNoDisk);
  return Problem{};
}

ChoiceProblem ChooseDiskIndex(const D88Image& image, long long place, int& index) {
  // Past the disks the reader counts, more may follow that cannot be chosen.
  const int count = image.GetDiskCount();
  const bool more = image.HasMoreDisks();
  if (place == 0 && count > 1) {
    return OfImage(ChooseDisk(count, more));
  }
  if (place > count) {
    return ChoiceProblem{NoSuchDisk(count, more), place};
  }
  index = place == 0 ? 0 : static_cast<int>(place) - 1;
  return ChoiceProblem{};
}

ChoiceProblem LoadChosenDisk(const NativePathChar* path, const DiskChoice& choice, D88Image& image,
                             ImageFile& file, DecodedDisk& disk, ChosenDisk& chosen) {
  const Problem opened = OpenChosenImage(path, choice.identity, image);
  if (opened) return OfImage(opened);
  ChoiceProblem chosenProblem = ChooseDiskIndex(image, choice.place, chosen.index);
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
