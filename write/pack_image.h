// Writing a disk of the layout into an image: the edited disk back into
// the image it came from, changing nothing but its sectors' data, or a new
// image of one disk.
#ifndef D88UNPACK_WRITE_PACK_IMAGE_H
#define D88UNPACK_WRITE_PACK_IMAGE_H

#include <cstddef>
#include <cstdint>

#include "d88_image.h"
#include "disk_check.h"
#include "disk_layout.h"
#include "image_replace.h"
#include "refusal.h"

// Writes the image anew through `replacement` (prepared for the image at
// kReplace): its bytes as they are, with the data of each sector in `map`
// whose bytes in `disk` differ from those in `loaded` (the disk's
// diskBuffer as it was read) taken from `disk`. The sectors of the copy must
// hold what `loaded` holds: the image changed otherwise, after it was read.
// The new image is read back before it takes the old one's place: should
// writing the data have moved a sector after all (a header that the reader
// walks lay in another sector's data, which CheckWholeLayout refuses
// before), it is refused. `image`, the reader of the old image, is closed.
Problem WriteBackDisk(D88Image& image, int diskIndex, const SectorMap& map,
                      const std::uint8_t* loaded, const DecodedDisk& disk,
                      ImageReplacement& replacement);

// Writes a new image of one disk numbered `number`, named by `label`, its
// data taken from `disk`, through `replacement` (prepared at kCreate or
// kCreateOrReplace); a system disk's system area from `systemArea`
// (kSystemAreaSize bytes), or zeros where it is null.
Problem WriteNewImage(const char* label, std::size_t labelLength, int number,
                      const DecodedDisk& disk, ImageReplacement& replacement,
                      const std::uint8_t* systemArea = nullptr);

#endif
