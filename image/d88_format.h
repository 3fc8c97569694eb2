// The on-disk fields of the D88 container, each named once. Everything that
// reads or writes a container (the reader, the sector sweep, the test image
// builder and the fuzzers) takes its offsets from here.
//
// All multi-byte values of the container are little-endian.
#ifndef D88UNPACK_IMAGE_D88_FORMAT_H
#define D88UNPACK_IMAGE_D88_FORMAT_H

#include <cstdint>

namespace d88 {

inline std::uint32_t Little16(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8;
}

inline std::uint32_t Little32(const std::uint8_t* p) {
  return Little16(p) | Little16(p + 2) << 16;
}

inline void PutLittle16(std::uint8_t* p, std::uint32_t value) {
  p[0] = static_cast<std::uint8_t>(value);
  p[1] = static_cast<std::uint8_t>(value >> 8);
}

inline void PutLittle32(std::uint8_t* p, std::uint32_t value) {
  PutLittle16(p, value & 0xFFFF);
  PutLittle16(p + 2, value >> 16);
}

// The 688-byte header at the start of each disk. Disks follow each other
// from file offset 0; a disk's size field is the distance from its header to
// the next disk's header.
namespace disk_header {
constexpr int kSize = 0x2B0;
constexpr int kNameOffset = 0x00;  // NUL-padded; no NUL when all 16 are used
constexpr int kNameLength = 16;
constexpr int kWriteProtectOffset = 0x1A;  // 0x10: the disk is write-protected
constexpr int kMediaTypeOffset = 0x1B;
constexpr int kDiskSizeOffset = 0x1C;
constexpr int kTrackTableOffset = 0x20;  // 32-bit offsets from the disk's header
constexpr int kTrackCount = 164;         // 0 marks an absent track

inline std::uint32_t DiskSize(const std::uint8_t* header) {
  return Little32(header + kDiskSizeOffset);
}

inline std::uint32_t TrackOffset(const std::uint8_t* header, int track) {
  return Little32(header + kTrackTableOffset + 4 * track);
}

// How many entries the track table holds: 164, or 160 to 163 where the
// smallest offset among the first 160 lies in 0x2A0 to 0x2AF. Images in
// common use keep 160 offsets and start their first track right after them,
// at 0x2A0: what lies past that is track data. Any other offset, however
// small, leaves the table whole.
constexpr int kShortestTable = 160;
inline int TrackTableLength(const std::uint8_t* header) {
  constexpr std::uint32_t kShortestEnd = kTrackTableOffset + 4 * kShortestTable;
  std::uint32_t smallest = kSize;
  for (int i = 0; i < kShortestTable; ++i) {
    const std::uint32_t offset = TrackOffset(header, i);
    if (offset != 0 && offset < smallest) smallest = offset;
  }
  return smallest >= kShortestEnd ? static_cast<int>(smallest - kTrackTableOffset) / 4
                                  : kTrackCount;
}
}  // namespace disk_header

// The 16-byte header before each sector's data. A track is a run of these,
// each followed by its data, in recording order.
namespace sector_header {
constexpr int kSize = 16;
constexpr int kCylinderOffset = 0;     // C
constexpr int kHeadOffset = 1;         // H
constexpr int kRecordOffset = 2;       // R, the sector number
constexpr int kSizeCodeOffset = 3;     // N: the nominal size is 128 << N
constexpr int kIdLength = 4;           // C, H, R, N: what a sector is found by
constexpr int kSectorCountOffset = 4;  // 16-bit: the sectors in this track
constexpr int kDataLengthOffset = 14;  // 16-bit: the data after this header
// The largest value of an ID byte: a C, H, R or N sought outside 0 to this
// matches no header.
constexpr int kLargestIdByte = 255;

inline bool IsIdByte(int value) {
  return value >= 0 && value <= kLargestIdByte;
}

inline std::uint32_t SectorCount(const std::uint8_t* header) {
  return Little16(header + kSectorCountOffset);
}

inline std::uint32_t DataLength(const std::uint8_t* header) {
  return Little16(header + kDataLengthOffset);
}
}  // namespace sector_header

}  // namespace d88

#endif
