#include "hints.h"

#include <cstdio>

#include "native_api.h"

const char* HintFor(const Problem& problem, char (&out)[kHintSize]) {
  const char* hint = nullptr;
  switch (problem.why) {
    case Refusal::kUnownedBytes:
    case Refusal::kUnownedBytesRange:
      hint = "; --force writes over them";
      break;
    case Refusal::kUnownedFound:
    case Refusal::kUnownedFoundRange:
      hint = "; a put that reaches them needs --force";
      break;
    case Refusal::kImageReadOnly:
    case Refusal::kImageNotWritable:
      hint = "; --force replaces it all the same";
      break;
    case Refusal::kImageExists:
      hint = "; --force replaces it";
      break;
    case Refusal::kImageHoldsNoDisk:
      hint = "; --create makes one";
      break;
    case Refusal::kImageChooseDisk:
      hint = "; choose one with --disk";
      break;
    case Refusal::kImageChooseOfMore:
      // The disks that can be chosen: the first of more.
      std::snprintf(out, sizeof out, "; choose one of the first %lld with --disk", problem.b);
      return out;
    case Refusal::kDiskWriteProtected:
      hint = "; --force writes it all the same";
      break;
    case Refusal::kCannotKeepOwner:
      hint = " (--force replaces it all the same, as yours)";
      break;
    case Refusal::kCannotKeepAttributes:
      hint = " (--force replaces it without them)";
      break;
    default:
      return nullptr;
  }
  std::snprintf(out, sizeof out, "%s", hint);
  return out;
}

void DescribeProblem(const Problem& problem, char (&out)[kProblemTextSize]) {
  char hint[kHintSize];
  FormatProblem(problem, HintFor(problem, hint), out, sizeof out);
}

void PutReason(const Console& console, const Problem& problem) {
  char reason[kProblemTextSize];
  DescribeProblem(problem, reason);
  std::fprintf(console.err, "%s\n", reason);
}

void ShowImageProblem(const Console& console, const NativePathChar* path, const Problem& problem) {
  PutPathPrefix(console, path);
  PutReason(console, problem);
}

void ShowDiskProblem(const Console& console, const NativePathChar* path, long long place,
                     const Problem& problem) {
  PutPathPrefix(console, path);
  std::fprintf(console.err, "disk %lld: ", place);
  PutReason(console, problem);
}

bool ConsoleGoesIntoFoundImage(const Console& console, const NativePathChar* path,
                               const FileIdentity& image) {
  FileIdentity output{};
  FileIdentity errorOutput{};
  const int outputFd = DescriptorOf(console.out);
  const int errorFd = DescriptorOf(console.err);
  const bool outputIsImage =
      outputFd >= 0 && IdentityOfStreamFile(outputFd, output) && output == image;
  const bool errorIsImage =
      errorFd >= 0 && IdentityOfStreamFile(errorFd, errorOutput) && errorOutput == image;
  return ConsoleGoesIntoImage(console, path, outputIsImage, errorIsImage, "nothing is done");
}
