// The operations that the reader target runs on an image, and how an input
// carries them.
//
// An input is the image's bytes followed by a script: the last byte gives the
// number of operations (modulo 25), and the operations lie before it, eight
// bytes each, the first one nearest the end. Whatever lies before the script
// is the image. Inputs too short for their count run the operations that fit.
#ifndef D88UNPACK_FUZZ_READER_SCRIPT_H
#define D88UNPACK_FUZZ_READER_SCRIPT_H

#include <climits>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace d88fuzz {

enum class OpKind : std::uint8_t {
  kSelect,
  kRange,
  kReadSector,
  kReadSectors,
  kReadSectorIds,
  kReadEachSector,
};
constexpr int kOpKinds = 6;
constexpr int kMaxOps = 24;
constexpr std::size_t kOpSize = 8;

// The length that asks for a whole disk of 84 tracks of 5120 bytes.
constexpr int kWholeDisk = 430080;

struct Op {
  OpKind kind;
  int a[5];    // index; first, last; or track, c, h, r, n
  int amount;  // limit, length or outLength
};

// One argument byte: -2 to 247 as they stand (offset by 2), and a few values
// at the edges of the types.
inline int DecodeArg(std::uint8_t b) {
  switch (b) {
    case 250:
      return 255;
    case 251:
      return 256;
    case 252:
      return INT_MIN;
    case 253:
      return INT_MAX;
    case 254:
      return -1000;
    case 255:
      return 65535;
    default:
      return b - 2;
  }
}

inline std::uint8_t EncodeArg(int value) {
  switch (value) {
    case 255:
      return 250;
    case 256:
      return 251;
    case INT_MIN:
      return 252;
    case INT_MAX:
      return 253;
    case -1000:
      return 254;
    case 65535:
      return 255;
    default:
      return static_cast<std::uint8_t>(value + 2);
  }
}

// Sizes: 0 to 65533 as they stand, 65534 for -1 and 65535 for a whole disk.
inline int DecodeAmount(std::uint8_t low, std::uint8_t high) {
  const int v = low | high << 8;
  return v == 0xFFFF ? kWholeDisk : v == 0xFFFE ? -1 : v;
}

inline void EncodeAmount(int amount, std::uint8_t* out) {
  const int v = amount == kWholeDisk ? 0xFFFF : amount < 0 ? 0xFFFE : amount;
  out[0] = static_cast<std::uint8_t>(v);
  out[1] = static_cast<std::uint8_t>(v >> 8);
}

inline Op DecodeOp(const std::uint8_t* b) {
  Op op{};
  op.kind = static_cast<OpKind>(b[0] % kOpKinds);
  for (int i = 0; i < 5; ++i) op.a[i] = DecodeArg(b[1 + i]);
  op.amount = DecodeAmount(b[6], b[7]);
  return op;
}

// Splits an input into the image's length and its operations.
inline std::size_t SplitInput(const std::uint8_t* data, std::size_t size, std::vector<Op>& ops) {
  ops.clear();
  if (size == 0) return 0;
  std::size_t count = data[size - 1] % (kMaxOps + 1);
  if (count > (size - 1) / kOpSize) count = (size - 1) / kOpSize;
  std::size_t end = size - 1;
  for (std::size_t i = 0; i < count; ++i) {
    end -= kOpSize;
    ops.push_back(DecodeOp(data + end));
  }
  return end;
}

// The inverse of SplitInput, for seeds.
inline std::vector<std::uint8_t> JoinInput(std::vector<std::uint8_t> image,
                                           const std::vector<Op>& ops) {
  std::vector<std::uint8_t> script;
  for (auto op = ops.rbegin(); op != ops.rend(); ++op) {
    std::uint8_t b[kOpSize];
    b[0] = static_cast<std::uint8_t>(op->kind);
    for (int i = 0; i < 5; ++i) b[1 + i] = EncodeArg(op->a[i]);
    EncodeAmount(op->amount, b + 6);
    script.insert(script.end(), b, b + kOpSize);
  }
  image.insert(image.end(), script.begin(), script.end());
  image.push_back(static_cast<std::uint8_t>(ops.size()));
  return image;
}

}  // namespace d88fuzz

#endif
