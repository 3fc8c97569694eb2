#include "protection.h"

#include <cstring>

#include "d88_format.h"

Problem WriteProtection(const DiskSpan* spans, int count, bool on, ImageReplacement& replacement) {
  namespace dh = d88::disk_header;
  Problem problem = replacement.Begin();
  if (!problem) problem = replacement.CopyImage();
  const std::uint8_t value = on ? kWriteProtected : 0;
  for (int i = 0; i < count && !problem; ++i) {
    std::uint8_t header[dh::kSize];
    problem = replacement.ReadAt(spans[i].offset, header, sizeof header);
    if (!problem && std::memcmp(header, spans[i].header, sizeof header) != 0) {
      problem = Refuse(Refusal::kImageChanged);
    }
    if (!problem && header[dh::kWriteProtectOffset] != value) {
      problem = replacement.WriteAt(spans[i].offset + dh::kWriteProtectOffset, &value, 1);
    }
  }
  if (!problem) problem = replacement.Commit();
  if (problem) replacement.Abandon();
  return problem;
}
