// What a process started from a shell has and this runtime lacks: a file
// mode creation mask of 022. The runtime starts with 0777, which would leave
// a file made with the permissions the mask allows (a new image) no
// permission at all, not even for its owner to read it.
#include <sys/stat.h>

namespace {

[[maybe_unused]] const mode_t kStartMask = umask(022);

}  // namespace
