// Reading a whole stream into memory, up to a bound.
#ifndef D88UNPACK_SOURCE_READ_STREAM_H
#define D88UNPACK_SOURCE_READ_STREAM_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "byte_buffer.h"

// Reads `stream` (opened for binary reading) to its end into `bytes`.
// Returns 0; the system's error number of a read that failed (ENOMEM:
// memory ran out); or EFBIG
// when the stream holds more than `limit` bytes, of which `bytes` then holds
// the first `limit` and a few more.
int ReadWholeStream(std::FILE* stream, ByteBuffer& bytes, std::size_t limit);

#endif
