// The words for what a disk whose directory could not be read turned out to
// be: one text for each finding, said the same by every program that meets
// it.
#ifndef D88UNPACK_LAYOUT_FINDING_WORDS_H
#define D88UNPACK_LAYOUT_FINDING_WORDS_H

#include <cstddef>
#include <cstdint>

#include "disk_walk.h"

// The numbers a finding's words need, as LoadDisk left them in a record.
struct FindingFacts {
  DiskFinding finding;
  TrackShape shape;   // kOtherLayout
  int64_t cutAt;      // kCutOff: where the image ends
  int missingSector;  // kDirectoryMissing: the first sector it lacks
};

inline FindingFacts FactsOf(const DiskRecord& disk) {
  return FindingFacts{disk.finding, disk.shape, disk.cutAt, disk.missingSector};
}

// "no directory: " and what the disk is instead (or, for a disk whose
// header can no longer be read, the whole reason), in `out`; empty for a
// disk with a directory.
void DescribeFinding(const FindingFacts& facts, char* out, std::size_t size);

#endif
