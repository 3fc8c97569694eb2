// The words for a file whose first disk header cannot be a D88 header, said
// the same by every program that meets it.
#ifndef D88UNPACK_IMAGE_FORMAT_WORDS_H
#define D88UNPACK_IMAGE_FORMAT_WORDS_H

#include <cstddef>

#include "d88_image.h"

// "not a D88 image (" and why ")" in `out`; empty when the check found
// nothing.
void DescribeFormatCheck(const FormatCheck& check, char* out, std::size_t size);

#endif
