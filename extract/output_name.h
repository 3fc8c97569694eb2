// The rules that decide whether a name from a disk may be created as it
// stands. Each rule is a separate, named decision (NameVerdict): a name from
// a hostile image must never reach outside the output folder or send data to
// a device.
#ifndef D88UNPACK_EXTRACT_OUTPUT_NAME_H
#define D88UNPACK_EXTRACT_OUTPUT_NAME_H

#include "outcome.h"

// Screens a name by its bytes alone. On Windows the bytes are read as code
// page 932, the character set of the disks, and the name is screened as the
// UTF-16 text it is created under.
NameVerdict CheckOutputName(const char* name);

#ifdef _WIN32
// The longest file name Windows takes, in UTF-16 units. Code page 932 never
// gives more units than it has bytes, so a name of up to this many bytes
// always fits.
constexpr int kMaxNameBytes = 255;

// The name as the UTF-16 text it is created under, made in `text`; null
// when it is longer than kMaxNameBytes or its bytes are not valid code page
// 932.
const wchar_t* WideFileName(const char* name, wchar_t (&text)[kMaxNameBytes + 1]);
#endif

#endif
