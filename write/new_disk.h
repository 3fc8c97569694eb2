// A new disk of the layout as D88 container bytes: the disk's header (its
// name, write protection off, media 2D, its size and track table), then its
// 84 tracks in order, each of sectors 1 to 5 of 1024 bytes as a normally read
// disk records them. A system disk's first cylinder holds sixteen 256-byte
// sectors of zeros instead.
#ifndef D88UNPACK_WRITE_NEW_DISK_H
#define D88UNPACK_WRITE_NEW_DISK_H

#include <cstddef>
#include <cstdint>

#include "d88_format.h"
#include "disk_layout.h"

// The most bytes a track of a new disk takes.
constexpr int kNewTrackMaxSize = kSectorsPerTrack * (d88::sector_header::kSize + kSectorSize);

// The header of a new disk numbered `number`, named by the `labelLength`
// bytes of `label` (at most 16).
void NewDiskHeader(const char* label, std::size_t labelLength, int number,
                   std::uint8_t (&header)[d88::disk_header::kSize]);

// Track `track` of a new disk numbered `number`, its sectors' data taken
// from `diskBuffer` (track t at t * 5120), into `out`; returns its length.
// A system disk's first cylinder holds the bytes of `systemArea` (track 0,
// then track 1, each sector in order), or zeros where it is null.
int NewDiskTrack(const std::uint8_t* diskBuffer, int number, int track,
                 std::uint8_t (&out)[kNewTrackMaxSize], const std::uint8_t* systemArea = nullptr);

#endif
