// Drives the image reader alone: the input is an image followed by a script
// of operations (reader_script.h), and every operation is run both on the
// reader and on a plain model of the format kept here, which walks the image
// bytes in memory the slow, obvious way: every sector search starts again
// from the first header of its track. Any difference in a result, in the
// bytes a read leaves in its buffer, or in the current disk's fields is a
// finding, and so is anything the sanitizers catch.
#include <sanitizer/asan_interface.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "d88_format.h"
#include "d88_image.h"
#include "reader_script.h"
#include "scratch.h"

namespace {

using d88fuzz::Fail;
using d88fuzz::Op;
using d88fuzz::OpKind;
namespace dh = d88::disk_header;
namespace sh = d88::sector_header;

// The model. It gives up (and the input ends there) once it has walked more
// headers than a run of a second allows, so that a slow model never turns
// into a reported timeout of the reader.
class Model {
 public:
  explicit Model(const std::vector<std::uint8_t>& image) : bytes(image) {
    std::int64_t offset = 0;
    while (diskCount < 64) {
      diskOffsets[diskCount] = offset;
      if (offset + dh::kSize > Size()) break;
      const std::uint32_t size = dh::DiskSize(&bytes[static_cast<std::size_t>(offset)]);
      ++diskCount;
      if (size == 0) break;
      offset += size;
    }
  }

  bool exhausted = false;
  int diskCount = 0;
  int firstSector = 1;
  int lastSector = 16;
  std::uint32_t diskSize = 0;
  int mediaType = -1;
  char diskName[17] = {};

  bool SelectDisk(int index) {
    currentDiskOffset = -1;
    mediaType = -1;
    diskSize = 0;
    std::memset(diskName, 0, sizeof diskName);
    if (index < 0 || index >= diskCount) return false;
    currentDiskOffset = diskOffsets[index];
    const std::uint8_t* header = &bytes[static_cast<std::size_t>(currentDiskOffset)];
    for (int i = 0; i < dh::kTrackCount; ++i) trackOffsets[i] = dh::TrackOffset(header, i);
    mediaType = header[dh::kMediaTypeOffset];
    diskSize = dh::DiskSize(header);
    for (int i = 0; i < dh::kNameLength && header[dh::kNameOffset + i] != 0; ++i) {
      diskName[i] = static_cast<char>(header[dh::kNameOffset + i]);
    }
    return true;
  }

  int ReadSector(int track, int c, int h, int r, int n, std::uint8_t* buffer, int limit) {
    if (limit <= 0) return 0;
    std::int64_t position = Locate(track);
    if (position < 0) return 0;
    for (std::int64_t i = 0;; ++i) {
      if (--budget < 0) exhausted = true;
      if (exhausted || position + sh::kSize > Size()) return 0;
      const std::uint8_t* header = &bytes[static_cast<std::size_t>(position)];
      const std::int64_t count = sh::SectorCount(header);
      const int length = static_cast<int>(sh::DataLength(header));
      if (count == 0) return 0;
      if (header[sh::kCylinderOffset] == c && header[sh::kHeadOffset] == h &&
          header[sh::kRecordOffset] == r && header[sh::kSizeCodeOffset] == n) {
        const int k = std::min(length, limit);
        const std::int64_t from = position + sh::kSize;
        const std::int64_t there =
            std::max<std::int64_t>(0, std::min<std::int64_t>(k, Size() - from));
        if (there > 0) std::memcpy(buffer, &bytes[static_cast<std::size_t>(from)], there);
        return k;
      }
      position += sh::kSize + length;
      if (i == count - 1) return 0;
    }
  }

  int ReadSectors(int track, int c, int h, int r, int n, std::uint8_t* buffer, int length) {
    if (n < 0 || n > 23) return 0;
    int chunk = 128 << n;
    int done = 0;
    while (done < length) {
      if (length - done < chunk) chunk = length - done;
      if (ReadSector(track, c, h, r, n, buffer + done, chunk) < chunk) return done;
      done += chunk;
      if (r == lastSector) {
        ++track;
        if (h == 0) {
          h = 1;
        } else {
          h = 0;
          ++c;
        }
        r = firstSector;
      } else {
        ++r;
      }
    }
    return done;
  }

  int ReadSectorIds(int track, std::uint8_t* out, int outLength) {
    std::int64_t position = Locate(track);
    if (position < 0) return 0;
    int stored = 0;
    for (std::int64_t i = 0; sh::kIdLength * (static_cast<std::int64_t>(stored) + 1) <= outLength;
         ++i) {
      if (--budget < 0) exhausted = true;
      if (exhausted || position + sh::kSize > Size()) break;
      const std::uint8_t* header = &bytes[static_cast<std::size_t>(position)];
      std::memcpy(out + sh::kIdLength * stored, header, sh::kIdLength);
      ++stored;
      position += sh::kSize + sh::DataLength(header);
      if (i == static_cast<std::int64_t>(sh::SectorCount(header)) - 1) break;
    }
    return sh::kIdLength * stored;
  }

 private:
  std::int64_t Size() const { return static_cast<std::int64_t>(bytes.size()); }

  std::int64_t Locate(int track) const {
    if (track < 0 || track >= dh::kTrackCount) return -1;
    if (trackOffsets[track] == 0 || trackOffsets[track] > diskSize) return -1;
    return currentDiskOffset + trackOffsets[track];
  }

  const std::vector<std::uint8_t>& bytes;
  std::int64_t diskOffsets[64] = {};
  std::int64_t currentDiskOffset = -1;
  std::uint32_t trackOffsets[dh::kTrackCount] = {};
  long budget = 4000000;
};

// A caller's buffer of exactly the size asked for: the last `size` bytes of
// a fixed area, with the bytes before them poisoned, so that AddressSanitizer
// sees a write on either side of it. It is filled with a pattern so that
// stray writes inside it show too.
class CallerBuffer {
 public:
  CallerBuffer() : area(d88fuzz::kWholeDisk) {}

  std::uint8_t* Take(int size) {
    Release();
    length = static_cast<std::size_t>(std::max(size, 0));
    // Sizes come from reader_script.h and never exceed one disk.
    if (length > area.size()) Fail("a buffer of %d bytes was asked for", size);
    used = area.data() + area.size() - length;
    ASAN_POISON_MEMORY_REGION(area.data(), area.size() - length);
    for (std::size_t i = 0; i < length; ++i) used[i] = static_cast<std::uint8_t>(i * 7 + 3);
    return used;
  }

  void Release() { ASAN_UNPOISON_MEMORY_REGION(area.data(), area.size()); }

  // The offset of the first byte that differs from `other`'s, or -1.
  long FirstDifference(const CallerBuffer& other) const {
    if (length == 0 || std::memcmp(used, other.used, length) == 0) return -1;
    return static_cast<long>(std::mismatch(used, used + length, other.used).first - used);
  }

  int At(long offset) const { return used[offset]; }

 private:
  std::vector<std::uint8_t> area;
  std::uint8_t* used = nullptr;
  std::size_t length = 0;
};

const char* Name(OpKind kind) {
  switch (kind) {
    case OpKind::kSelect:
      return "SelectDisk";
    case OpKind::kRange:
      return "SetSectorRange";
    case OpKind::kReadSector:
      return "ReadSector";
    case OpKind::kReadSectors:
      return "ReadSectors";
    case OpKind::kReadSectorIds:
      return "ReadSectorIds";
  }
  return "?";
}

void Mismatch(std::size_t index, const Op& op, const char* what, long got, long expected) {
  Fail("operation %zu, %s(%d, %d, %d, %d, %d; %d): %s %ld, expected %ld", index, Name(op.kind),
       op.a[0], op.a[1], op.a[2], op.a[3], op.a[4], op.amount, what, got, expected);
}

void CompareBuffers(std::size_t index, const Op& op, const CallerBuffer& got,
                    const CallerBuffer& expected) {
  const long at = got.FirstDifference(expected);
  if (at < 0) return;
  char what[64];
  std::snprintf(what, sizeof what, "buffer byte %ld holds", at);
  Mismatch(index, op, what, got.At(at), expected.At(at));
}

std::string imagePath;
CallerBuffer* mine;
CallerBuffer* theirs;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  imagePath = d88fuzz::ScratchWork() + "/reader.d88";
  static CallerBuffer buffers[2];
  mine = &buffers[0];
  theirs = &buffers[1];
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<Op> ops;
  const std::size_t imageSize = d88fuzz::SplitInput(data, size, ops);
  const std::vector<std::uint8_t> bytes(data, data + imageSize);
  d88fuzz::WriteWholeFile(imagePath, bytes.data(), bytes.size());

  auto image = std::make_unique<D88Image>();
  if (!image->Open(imagePath.c_str())) Fail("cannot open the image just written");
  Model model(bytes);
  if (image->GetDiskCount() != model.diskCount) {
    Fail("%d disks found, expected %d", image->GetDiskCount(), model.diskCount);
  }

  for (std::size_t i = 0; i < ops.size(); ++i) {
    const Op& op = ops[i];
    const int* a = op.a;
    long got = 0;
    long expected = 0;
    switch (op.kind) {
      case OpKind::kSelect:
        got = image->SelectDisk(a[0]);
        expected = model.SelectDisk(a[0]);
        if (got == expected && image->GetMediaType() != model.mediaType) {
          Mismatch(i, op, "the media type is", image->GetMediaType(), model.mediaType);
        }
        if (got == expected && std::strcmp(image->GetDiskName(), model.diskName) != 0) {
          Mismatch(i, op, "the disk name's length is",
                   static_cast<long>(std::strlen(image->GetDiskName())),
                   static_cast<long>(std::strlen(model.diskName)));
        }
        break;
      case OpKind::kRange:
        image->SetSectorRange(a[0], a[1]);
        model.firstSector = a[0];
        model.lastSector = a[1];
        break;
      case OpKind::kReadSector:
      case OpKind::kReadSectors: {
        std::uint8_t* out = mine->Take(op.amount);
        std::uint8_t* modelOut = theirs->Take(op.amount);
        if (op.kind == OpKind::kReadSector) {
          got = image->ReadSector(a[0], a[1], a[2], a[3], a[4], out, op.amount);
          expected = model.ReadSector(a[0], a[1], a[2], a[3], a[4], modelOut, op.amount);
        } else {
          got = image->ReadSectors(a[0], a[1], a[2], a[3], a[4], out, op.amount);
          expected = model.ReadSectors(a[0], a[1], a[2], a[3], a[4], modelOut, op.amount);
        }
        if (!model.exhausted && got == expected) CompareBuffers(i, op, *mine, *theirs);
        break;
      }
      case OpKind::kReadSectorIds: {
        // The amount, taken modulo 4100, gives -2 to 4097 bytes.
        const int outLength = op.amount % 4100 - 2;
        std::uint8_t* out = mine->Take(outLength);
        std::uint8_t* modelOut = theirs->Take(outLength);
        got = image->ReadSectorIds(a[0], out, outLength);
        expected = model.ReadSectorIds(a[0], modelOut, outLength);
        if (!model.exhausted && got == expected) CompareBuffers(i, op, *mine, *theirs);
        break;
      }
    }
    // A model that ran out of time has no answer for the rest.
    if (model.exhausted) break;
    if (got != expected) Mismatch(i, op, "the result is", got, expected);
  }
  mine->Release();
  theirs->Release();
  return 0;
}
