#include "pack_image.h"

#include <cstring>

#include "new_disk.h"

Problem WriteBackDisk(D88Image& image, int diskIndex, const SectorMap& map,
                      const std::uint8_t* loaded, const DecodedDisk& disk,
                      ImageReplacement& replacement) {
  // The new image is a copy of the file the reader has open; an image read
  // from memory is no file at the image's path.
  const ImageIdentity& identity = image.GetIdentity();
  Problem problem = identity.isFile ? replacement.Begin() : Refuse(Refusal::kImageChanged);
  if (!problem) problem = replacement.CopyImage();
  for (int i = 0; i < map.count && !problem; ++i) {
    const std::uint8_t* before = loaded + map.BufferOffset(i);
    const std::uint8_t* after = disk.diskBuffer + map.BufferOffset(i);
    // A writer that takes no lock can change the disk's bytes and leave
    // the image's times as they were, within one tick of the clock.
    std::uint8_t copied[kSectorSize];
    problem = replacement.ReadAt(map.positions[i], copied, kSectorSize);
    if (!problem && std::memcmp(copied, before, kSectorSize) != 0) {
      problem = Refuse(Refusal::kImageChanged);
    }
    if (!problem && std::memcmp(after, before, kSectorSize) != 0) {
      problem = replacement.WriteAt(map.positions[i], after, kSectorSize);
    }
  }
  if (!problem && !image.Open(replacement.TemporaryPath())) {
    problem = Failed(Refusal::kCannotReadBack, image.GetOpenError());
  }
  if (!problem) {
    const bool same = SectorsStayPut(image, diskIndex, map);
    if (image.GetReadError() != 0) {
      problem = Failed(Refusal::kCannotReadBack, image.GetReadError());
    } else if (!same) {
      problem = Refuse(Refusal::kDiskSectorsShift);
    }
  }
  image.Open(nullptr);
  if (!problem) problem = replacement.Commit();
  if (problem) replacement.Abandon();
  return problem;
}

Problem WriteNewImage(const char* label, std::size_t labelLength, int number,
                      const DecodedDisk& disk, ImageReplacement& replacement,
                      const std::uint8_t* systemArea) {
  std::uint8_t header[d88::disk_header::kSize];
  std::uint8_t track[kNewTrackMaxSize];
  NewDiskHeader(label, labelLength, number, header);
  Problem problem = replacement.Begin();
  if (!problem) problem = replacement.Append(header, sizeof header);
  for (int t = 0; t < kTracksPerDisk && !problem; ++t) {
    const int length = NewDiskTrack(disk.diskBuffer, number, t, track, systemArea);
    problem = replacement.Append(track, static_cast<std::size_t>(length));
  }
  if (!problem) problem = replacement.Commit();
  if (problem) replacement.Abandon();
  return problem;
}
