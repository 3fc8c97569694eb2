// A disk's write protection: one byte of its D88 header, 0x10 when the disk
// is protected and 0 when not. Setting it changes that byte alone.
#ifndef D88UNPACK_WRITE_PROTECTION_H
#define D88UNPACK_WRITE_PROTECTION_H

#include "disk_check.h"
#include "image_replace.h"
#include "refusal.h"

constexpr std::uint8_t kWriteProtected = 0x10;

// Writes the image anew through `replacement` (prepared at kReplace and
// locked) with the write-protect byte of each of the `count` disks of
// `spans` (found in the image as it was read) set (`on`) or cleared. The
// copy must hold each disk's header as it was found: the image changed
// otherwise, after it was read.
Problem WriteProtection(const DiskSpan* spans, int count, bool on, ImageReplacement& replacement);

#endif
