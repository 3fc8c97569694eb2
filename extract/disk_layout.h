// The disk layout this tool extracts, and the work areas it is decoded in.
//
// A disk has 84 tracks (42 cylinders, 2 heads) of five 1024-byte sectors.
// Its directory is a list of 11-byte entries stored backwards at the end of
// the last track: directory byte j is byte 5119 - j of track 83. Entry 0 is a
// header (disk number at directory byte 8, entry count at byte 10); entries
// 1 to n hold a space-padded 6-byte name, a 3-byte extension and a big-endian
// allocation length. The files' records follow each other in the data area:
// a big-endian start and end address, then end - start bytes of data. On the
// system disk (number 0) cylinder 0 is a system area and the data area
// starts at track 2.
#ifndef D88UNPACK_EXTRACT_DISK_LAYOUT_H
#define D88UNPACK_EXTRACT_DISK_LAYOUT_H

#include <cstdint>

constexpr int kSectorsPerTrack = 5;
constexpr int kSectorSize = 1024;
constexpr int kSectorSizeCode = 3;
constexpr int kTrackSize = kSectorsPerTrack * kSectorSize;  // 5120
constexpr int kTracksPerDisk = 84;
constexpr int kDiskBufferSize = kTracksPerDisk * kTrackSize;  // 430080
constexpr int kDirectoryTrack = 83;
constexpr int kDirectoryEntrySize = 11;
constexpr int kSystemDiskNumber = 0;
constexpr int kSystemAreaTracks = 2;
constexpr int kRecordHeaderSize = 4;
constexpr int kNameBufferSize = 11;

// Process-wide work areas, reused for every disk.
extern std::uint8_t diskBuffer[kDiskBufferSize];
extern std::uint8_t directoryBytes[kTrackSize];
extern char nameBuffer[kNameBufferSize];

#endif
