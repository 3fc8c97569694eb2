#include "hints.h"

#include <cstdio>

const char* HintFor(const Problem& problem, char (&out)[kHintSize]) {
  const char* hint = nullptr;
  switch (problem.why) {
    case Refusal::kUnownedBytes:
    case Refusal::kUnownedBytesRange:
      hint = "; --force writes over them";
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
