#include "new_disk.h"

#include <cstring>

namespace {

namespace dh = d88::disk_header;
namespace sh = d88::sector_header;

constexpr std::uint8_t kMedia2D = 0x00;

bool InSystemArea(int number, int track) {
  return number == kSystemDiskNumber && track < kSystemAreaTracks;
}

int SectorCount(int number, int track) {
  return InSystemArea(number, track) ? kSystemAreaSectors : kSectorsPerTrack;
}

int SectorSize(int number, int track) {
  return InSystemArea(number, track) ? kSystemAreaSectorSize : kSectorSize;
}

int TrackLength(int number, int track) {
  return SectorCount(number, track) * (sh::kSize + SectorSize(number, track));
}

}  // namespace

void NewDiskHeader(const char* label, std::size_t labelLength, int number,
                   std::uint8_t (&header)[dh::kSize]) {
  std::memset(header, 0, sizeof header);
  std::memcpy(header + dh::kNameOffset, label, labelLength);
  header[dh::kMediaTypeOffset] = kMedia2D;
  std::uint32_t offset = dh::kSize;
  for (int t = 0; t < kTracksPerDisk; ++t) {
    d88::PutLittle32(header + dh::kTrackTableOffset + 4 * t, offset);
    offset += static_cast<std::uint32_t>(TrackLength(number, t));
  }
  d88::PutLittle32(header + dh::kDiskSizeOffset, offset);
}

int NewDiskTrack(const std::uint8_t* diskBuffer, int number, int track,
                 std::uint8_t (&out)[kNewTrackMaxSize], const std::uint8_t* systemArea) {
  const int count = SectorCount(number, track);
  const int size = SectorSize(number, track);
  std::uint8_t* p = out;
  for (int r = 1; r <= count; ++r) {
    // Double density, not deleted, read without error: all zero bytes.
    std::memset(p, 0, sh::kSize);
    p[sh::kCylinderOffset] = static_cast<std::uint8_t>(track / 2);
    p[sh::kHeadOffset] = static_cast<std::uint8_t>(track % 2);
    p[sh::kRecordOffset] = static_cast<std::uint8_t>(r);
    p[sh::kSizeCodeOffset] = static_cast<std::uint8_t>(
        InSystemArea(number, track) ? kSystemAreaSectorSizeCode : kSectorSizeCode);
    d88::PutLittle16(p + sh::kSectorCountOffset, static_cast<std::uint32_t>(count));
    d88::PutLittle16(p + sh::kDataLengthOffset, static_cast<std::uint32_t>(size));
    p += sh::kSize;
    if (InSystemArea(number, track) && systemArea != nullptr) {
      std::memcpy(p, systemArea + track * kSystemAreaTrackSize + (r - 1) * size,
                  static_cast<std::size_t>(size));
    } else if (InSystemArea(number, track)) {
      std::memset(p, 0, static_cast<std::size_t>(size));
    } else {
      std::memcpy(p, diskBuffer + track * kTrackSize + (r - 1) * kSectorSize,
                  static_cast<std::size_t>(size));
    }
    p += size;
  }
  return static_cast<int>(p - out);
}
