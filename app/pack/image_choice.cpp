#include "image_choice.h"

#include <cstdint>
#include <cstdio>

#include "console.h"
#include "disk_check.h"
#include "sniff.h"

void ShowImageProblem(const NativePathChar* path, const Problem& problem) {
  char reason[320];
  FormatProblem(problem, reason, sizeof reason);
  PutPathPrefix(path);
  std::fprintf(stderr, "%s\n", reason);
}

void ShowDiskProblem(const NativePathChar* path, long long place, const Problem& problem) {
  char reason[320];
  FormatProblem(problem, reason, sizeof reason);
  PutPathPrefix(path);
  std::fprintf(stderr, "disk %lld: %s\n", place, reason);
}

bool OpenFoundImage(const NativePathChar* path, D88Image& image,
                    const ImageReplacement& replacement) {
  if (!image.Open(path)) {
    const int error = image.GetOpenError();
    ShowImageProblem(path, error == kNotRegularFile ? Refuse(Refusal::kImageNotRegular)
                                                    : Failed(Refusal::kImageUnopenable, error));
    return false;
  }
  // The file read must be the one found, and locked.
  if (!image.GetIdentity().isFile || !(image.GetIdentity().file == replacement.State().identity)) {
    ShowImageProblem(path, Refuse(Refusal::kImageChanged));
    return false;
  }
  // A compressed file or an archive given as the image: it is read, by
  // d88unpack, but never written.
  if (image.GetDiskCount() == 0 || image.GetFormatCheck().problem != FormatCheck::Problem::kNone) {
    std::uint8_t start[kSniffSize];
    const int64_t got = image.ReadBytes(0, start, kSniffSize);
    const Sniffed sniffed = CompressedOrArchive(start, static_cast<std::size_t>(got));
    if (sniffed.what != nullptr) {
      ShowImageProblem(
          path, Refuse(sniffed.archive ? Refusal::kImageArchive : Refusal::kImageCompressed));
      return false;
    }
  }
  const Problem format = CheckFormat(image);
  if (format) {
    ShowImageProblem(path, format);
    return false;
  }
  if (image.GetDiskCount() == 0) {
    ShowImageProblem(path, Refuse(Refusal::kImageHoldsNoDisk));
    return false;
  }
  return true;
}

int ChooseDisk(const NativePathChar* path, const D88Image& image, long long disk) {
  // Past the disks the reader counts, more may follow that cannot be chosen.
  const int count = image.GetDiskCount();
  const bool more = image.HasMoreDisks();
  if (disk == 0 && count > 1) {
    ShowImageProblem(path, more ? Refuse(Refusal::kImageChooseOfMore, count, count)
                                : Refuse(Refusal::kImageChooseDisk, count));
    return -1;
  }
  if (disk > count) {
    ShowDiskProblem(path, disk,
                    more         ? Refuse(Refusal::kImageNoSuchDiskOfMore, count, count)
                    : count == 1 ? Refuse(Refusal::kImageNoSuchDisk1)
                                 : Refuse(Refusal::kImageNoSuchDisk, count));
    return -1;
  }
  return disk == 0 ? 0 : static_cast<int>(disk) - 1;
}
