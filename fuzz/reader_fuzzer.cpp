// Drives the image reader alone: the input is an image followed by a script
// of operations (reader_script.h), and every operation is run both on the
// reader, which reads the image from a file or from memory, and on the
// reference reader (reference_reader.h), which walks the image bytes in
// memory the slow, obvious way. Any difference in a result, in the bytes a
// read leaves in its buffer, or in the current disk's fields is a finding,
// and so is anything the sanitizers catch.
#include <sanitizer/asan_interface.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "d88_image.h"
#include "reader_script.h"
#include "reference_reader.h"
#include "scratch.h"

namespace {

using d88fuzz::Fail;
using d88fuzz::Op;
using d88fuzz::OpKind;

// The reference reader gives up (and the input ends there) once it has
// walked more headers than a run of a second allows, so that a slow
// reference never turns into a reported timeout of the reader.
constexpr long kReferenceBudget = 4000000;

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
    case OpKind::kReadEachSector:
      return "ReadEachSector";
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

  // An input of odd size reads its image from memory, where it lies; one of
  // even size from a file, through the reader's window.
  auto image = std::make_unique<D88Image>();
  if (size % 2 == 1) {
    if (!image->Open(data, imageSize)) Fail("cannot open the image in memory");
  } else {
    d88fuzz::WriteWholeFile(imagePath, data, imageSize);
    if (!image->Open(imagePath.c_str())) Fail("cannot open the image just written");
  }
  d88test::ReferenceReader reference(data, imageSize, kReferenceBudget);
  if (image->GetDiskCount() != reference.GetDiskCount() ||
      image->GetCutHeaderBytes() != reference.GetCutHeaderBytes() ||
      image->HasMoreDisks() != reference.HasMoreDisks() ||
      image->HasBytesAfterZeroSize() != reference.HasBytesAfterZeroSize()) {
    Fail(
        "%d disks found (header cut after %d bytes, more: %d, after a size of 0: %d), expected "
        "%d (%d, %d, %d)",
        image->GetDiskCount(), image->GetCutHeaderBytes(), image->HasMoreDisks(),
        image->HasBytesAfterZeroSize(), reference.GetDiskCount(), reference.GetCutHeaderBytes(),
        reference.HasMoreDisks(), reference.HasBytesAfterZeroSize());
  }

  for (std::size_t i = 0; i < ops.size(); ++i) {
    const Op& op = ops[i];
    const int* a = op.a;
    long got = 0;
    long expected = 0;
    switch (op.kind) {
      case OpKind::kSelect:
        got = image->SelectDisk(a[0]);
        expected = reference.SelectDisk(a[0]);
        if (got == expected && image->GetMediaType() != reference.GetMediaType()) {
          Mismatch(i, op, "the media type is", image->GetMediaType(), reference.GetMediaType());
        }
        if (got == expected && std::strcmp(image->GetDiskName(), reference.GetDiskName()) != 0) {
          Mismatch(i, op, "the disk name's length is",
                   static_cast<long>(std::strlen(image->GetDiskName())),
                   static_cast<long>(std::strlen(reference.GetDiskName())));
        }
        break;
      case OpKind::kRange:
        image->SetSectorRange(a[0], a[1]);
        reference.SetSectorRange(a[0], a[1]);
        break;
      case OpKind::kReadSector:
      case OpKind::kReadSectors: {
        std::uint8_t* out = mine->Take(op.amount);
        std::uint8_t* referenceOut = theirs->Take(op.amount);
        if (op.kind == OpKind::kReadSector) {
          got = image->ReadSector(a[0], a[1], a[2], a[3], a[4], out, op.amount);
          expected = reference.ReadSector(a[0], a[1], a[2], a[3], a[4], referenceOut, op.amount);
        } else {
          got = image->ReadSectors(a[0], a[1], a[2], a[3], a[4], out, op.amount);
          expected = reference.ReadSectors(a[0], a[1], a[2], a[3], a[4], referenceOut, op.amount);
        }
        if (!reference.Exhausted() && got == expected) {
          CompareBuffers(i, op, *mine, *theirs);
          if (image->GetSupplied() != reference.GetSupplied()) {
            Mismatch(i, op, "the bytes supplied are", image->GetSupplied(),
                     reference.GetSupplied());
          }
        }
        break;
      }
      case OpKind::kReadEachSector: {
        // As many whole sectors as the amount holds; size codes past 9 read
        // nothing.
        const int n = a[4] >= 0 && a[4] <= 9 ? a[4] : 0;
        const int count = op.amount > 0 ? op.amount >> (7 + n) : 0;
        std::uint8_t* out = mine->Take(count << (7 + n));
        std::uint8_t* referenceOut = theirs->Take(count << (7 + n));
        std::vector<std::uint16_t> held(static_cast<std::size_t>(count) + 1, 0xEEEE);
        std::vector<std::uint16_t> referenceHeld(held);
        image->ReadEachSector(a[0], a[1], a[2], a[3], n, count, out, held.data());
        reference.ReadEachSector(a[0], a[1], a[2], a[3], n, count, referenceOut,
                                 referenceHeld.data());
        if (reference.Exhausted()) break;
        CompareBuffers(i, op, *mine, *theirs);
        for (std::size_t k = 0; k < held.size(); ++k) {
          if (held[k] != referenceHeld[k])
            Mismatch(i, op, "a sector holds", held[k], referenceHeld[k]);
        }
        break;
      }
      case OpKind::kReadSectorIds: {
        // The amount, taken modulo 4100, gives -2 to 4097 bytes.
        const int outLength = op.amount % 4100 - 2;
        std::uint8_t* out = mine->Take(outLength);
        std::uint8_t* referenceOut = theirs->Take(outLength);
        got = image->ReadSectorIds(a[0], out, outLength);
        expected = reference.ReadSectorIds(a[0], referenceOut, outLength);
        if (!reference.Exhausted() && got == expected) CompareBuffers(i, op, *mine, *theirs);
        break;
      }
    }
    // A reference reader that ran out of time has no answer for the rest.
    if (reference.Exhausted()) break;
    if (got != expected) Mismatch(i, op, "the result is", got, expected);
  }
  mine->Release();
  theirs->Release();
  return 0;
}
