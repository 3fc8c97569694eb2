// A block of bytes for an image read into memory.
#ifndef D88UNPACK_SOURCE_BYTE_BUFFER_H
#define D88UNPACK_SOURCE_BYTE_BUFFER_H

#include <cstddef>
#include <cstdint>
#include <cstdlib>

// It grows with realloc, which moves a large block by remapping its pages
// rather than copying it, so that an image of unknown size read in ever
// larger steps is never held twice; nor are the new bytes cleared first.
class ByteBuffer {
 public:
  ByteBuffer() = default;
  ~ByteBuffer() { std::free(bytes); }
  ByteBuffer(const ByteBuffer&) = delete;
  ByteBuffer& operator=(const ByteBuffer&) = delete;

  std::uint8_t* data() { return bytes; }
  const std::uint8_t* data() const { return bytes; }
  std::size_t size() const { return length; }

  // Makes it `count` bytes long, keeping those it holds up to there (the
  // rest is not set); false, and left as it was, when memory runs out.
  bool Resize(std::size_t count) {
    void* moved = std::realloc(bytes, count > 0 ? count : 1);
    if (moved == nullptr) return false;
    bytes = static_cast<std::uint8_t*>(moved);
    length = count;
    return true;
  }

 private:
  std::uint8_t* bytes = nullptr;
  std::size_t length = 0;
};

#endif
