// What d88pack's user can do about a refusal: the option that gets past it,
// in words written after the writer's reason.
#ifndef D88UNPACK_APP_PACK_HINTS_H
#define D88UNPACK_APP_PACK_HINTS_H

#include "refusal.h"

constexpr int kHintSize = 64;

// The hint for `problem` in `out`, and `out`; null when there is none.
const char* HintFor(const Problem& problem, char (&out)[kHintSize]);

#endif
