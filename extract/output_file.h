// Writing one extracted file into the current directory, and the rules that
// decide whether a name from a disk may be written at all.
//
// Each rule is a separate, named decision so that it can be tested alone:
// a name from a hostile image must never reach outside the current
// directory, replace the image being read, or send data to a device.
#ifndef D88UNPACK_EXTRACT_OUTPUT_FILE_H
#define D88UNPACK_EXTRACT_OUTPUT_FILE_H

#include <cstdint>

#include "native_path.h"

enum class NameVerdict {
  kAccepted,
  kEmpty,           // nothing to create
  kDotOrDotDot,     // "." and ".." name directories, not files
  kSlash,           // a path separator would leave the current directory
  kBackslash,       // Windows only: also a path separator there
  kColon,           // Windows only: a drive or an alternate data stream
  kReservedDevice,  // Windows only: CON, PRN, AUX, NUL, COM1-9, LPT1-9, CONIN$, CONOUT$
  kNotCodePage932,  // Windows only: the bytes do not convert to a file name
  kTrailingDot,     // Windows only: dropped there, so another file is hit
  kTooLong,         // Windows only: more than 255 bytes, the longest name Windows takes
};

// Screens a name by its bytes alone. On Windows the bytes are read as code
// page 932, the character set of the disks, and the name is screened as the
// UTF-16 text it is created under.
NameVerdict CheckOutputName(const char* name);

// True when `name`, taken in the current directory, is the same file as the
// image being read, however the image's path was spelled.
bool NamesImageFile(const char* name, const NativePathChar* imagePath);

enum class WriteFailure { kNone, kIsImage, kCreate, kWrite, kClose };

struct WriteResult {
  WriteFailure failure;
  int error;  // the system's errno for the failing step
};

// Creates or truncates `name` in the current directory and writes `size`
// bytes of `data` to it, unless `name` is the image file at `imagePath`
// (kIsImage: nothing is touched). A file that cannot be created, a short
// write and a failing close are all reported.
WriteResult WriteOutputFile(const char* name, const std::uint8_t* data, int size,
                            const NativePathChar* imagePath);

#endif
