// What d88pack's user can do about a refusal: the option that gets past it,
// in words written after the writer's reason; and the lines that say it.
#ifndef D88UNPACK_APP_PACK_HINTS_H
#define D88UNPACK_APP_PACK_HINTS_H

#include "console.h"
#include "file_identity.h"
#include "native_path.h"
#include "refusal.h"

constexpr int kHintSize = 64;

// The hint for `problem` in `out`, and `out`; null when there is none.
const char* HintFor(const Problem& problem, char (&out)[kHintSize]);

constexpr int kProblemTextSize = 320;

// The reason's words, then its hint, then the system's where a call failed.
void DescribeProblem(const Problem& problem, char (&out)[kProblemTextSize]);

// The reason's words with its hint, and the system's where a call failed,
// then the line's end.
void PutReason(const Console& console, const Problem& problem);

// "d88pack: IMAGE: REASON", and "d88pack: IMAGE: disk N: REASON".
void ShowImageProblem(const Console& console, const NativePathChar* path, const Problem& problem);
void ShowDiskProblem(const Console& console, const NativePathChar* path, long long place,
                     const Problem& problem);

// Whether the console's output or error stream goes into the image found
// (`image`), said where it does: nothing is done then.
bool ConsoleGoesIntoFoundImage(const Console& console, const NativePathChar* path,
                               const FileIdentity& image);

#endif
