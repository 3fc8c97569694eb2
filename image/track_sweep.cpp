#include "track_sweep.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace {

namespace sh = d88::sector_header;

// An empty slot of the (c, h) lookup.
constexpr std::int16_t kNoTrack = -1;

// A track's (c, h) as one key of kKeyBits bits; both are ID bytes.
constexpr unsigned kKeyBits = 16;

int Key(int c, int h) {
  return c << 8 | h;
}

// Fibonacci hashing: the key times 2^16 divided by the golden ratio (made
// odd), of which the top bits of the low 16 pick the slot. Keys that differ
// only in their high bits, as the (c, h) of a run's tracks do, land apart.
constexpr unsigned kHashMultiplier = 40503u;

// The slot that the probe-th attempt tries for `key` in a table of
// 2^lookupBits slots: linear probing from the slot its hash gives.
int Slot(int key, int probe, unsigned lookupBits) {
  const unsigned product = static_cast<unsigned>(key) * kHashMultiplier & ((1u << kKeyBits) - 1);
  const unsigned home = product >> (kKeyBits - lookupBits);
  return static_cast<int>((home + static_cast<unsigned>(probe)) & ((1u << lookupBits) - 1));
}

}  // namespace

void TrackSweep::Clear() {
  trackCount = 0;
  spotCount = 0;
  std::fill(std::begin(lookup), std::end(lookup), kNoTrack);
}

bool TrackSweep::AddTrack(int64_t start, int c, int h, int firstR, int lastR,
                          std::uint8_t* destination) {
  if (trackCount == kMaxTracks) return false;
  // Only the wanted sector numbers that a header byte can hold.
  firstR = std::max(firstR, 0);
  lastR = std::min(lastR, kLargestId);
  const bool searchable = start != kAbsent && sh::IsIdByte(c) && sh::IsIdByte(h) && firstR <= lastR;
  const int k = trackCount;
  if (searchable) {
    int slot = 0;
    for (int probe = 0;; ++probe) {
      slot = Slot(Key(c, h), probe, kLookupBits);
      if (lookup[slot] == kNoTrack) break;
      if (tracks[lookup[slot]].c == c && tracks[lookup[slot]].h == h) return false;
    }
    lookup[slot] = static_cast<std::int16_t>(k);
  }
  const int wanted = searchable ? lastR - firstR + 1 : 0;
  tracks[k] = Track{start, c, h, firstR, lastR, spotCount, wanted, -1, -1, destination, searchable};
  std::fill_n(spots + spotCount, wanted, Spot{0, 0, false, 0});
  spotCount += wanted;
  ++trackCount;
  return true;
}

const TrackSweep::Spot* TrackSweep::Find(int k, int r) const {
  if (k < 0 || k >= trackCount) return nullptr;
  const Track& track = tracks[k];
  if (!track.searchable || r < track.firstR || r > track.lastR) return nullptr;
  const Spot& spot = spots[track.spotBase + r - track.firstR];
  return spot.found ? &spot : nullptr;
}

int TrackSweep::LookUp(int c, int h) const {
  for (int probe = 0;; ++probe) {
    const int k = lookup[Slot(Key(c, h), probe, kLookupBits)];
    if (k == kNoTrack) return -1;
    if (tracks[k].c == c && tracks[k].h == h) return k;
  }
}

void TrackSweep::Sweep(ImageFile& file, int64_t end, int n, int sectorSize,
                       const std::uint8_t* destinationEnd) {
  diskEnd = end;
  deliverySize = sectorSize;
  deliveryEnd = destinationEnd;
  if (!sh::IsIdByte(n)) return;  // a header byte never matches
  // The groups still walking, as a heap whose top is the group nearest to
  // the start of the file.
  int heap[kMaxTracks];
  int heapSize = 0;
  const auto farther = [this](int a, int b) { return groups[a].position > groups[b].position; };
  const auto push = [&](int g) {
    heap[heapSize++] = g;
    std::push_heap(heap, heap + heapSize, farther);
  };
  const auto pop = [&] {
    std::pop_heap(heap, heap + heapSize, farther);
    return heap[--heapSize];
  };

  // Every walk starts as a group and a cohort of its own, at its header 0.
  for (int k = 0; k < trackCount; ++k) {
    if (!tracks[k].searchable) continue;
    tracks[k].cohort = k;
    tracks[k].nextInCohort = -1;
    cohortTable[k] = Cohort{0, k, k};
    groups[k].position = tracks[k].start;
    groups[k].steps = 0;
    groups[k].cohortCount = 1;
    groups[k].cohorts[0] = k;
    push(k);
  }
  while (heapSize > 0) {
    const int g = pop();
    while (heapSize > 0 && groups[heap[0]].position == groups[g].position) Merge(g, pop());
    if (Step(file, n, g)) push(g);
  }
}

// Reads the header the group stands on and moves the group past it. Returns
// false when no walk of the group goes on.
bool TrackSweep::Step(ImageFile& file, int n, int g) {
  Group& group = groups[g];
  const bool inside = group.position + sh::kSize <= diskEnd;
  const std::uint8_t* header = inside ? file.Peek(group.position, sh::kSize) : nullptr;
  const std::uint32_t count = header != nullptr ? sh::SectorCount(header) : 0;
  if (count == 0) {
    // A header cut off by the end of the file or of the disk, or one whose
    // count is 0, ends every walk that reaches it.
    while (group.cohortCount > 0) RemoveCohort(g, group.cohortCount - 1);
    return false;
  }
  const int dataLength = static_cast<int>(sh::DataLength(header));
  const int64_t dataPosition = group.position + sh::kSize;

  if (header[sh::kSizeCodeOffset] == n) {
    const int k = LookUp(header[sh::kCylinderOffset], header[sh::kHeadOffset]);
    if (k >= 0 && tracks[k].cohort >= 0 && cohortTable[tracks[k].cohort].group == g) {
      Track& track = tracks[k];
      const int r = header[sh::kRecordOffset];
      if (r >= track.firstR && r <= track.lastR) {
        Spot& spot = spots[track.spotBase + r - track.firstR];
        if (!spot.found) {
          spot = Spot{dataPosition, dataLength, true, 0};
          // The header is not looked at again: delivering may move the window.
          if (track.destination != nullptr) Deliver(file, track, r, spot);
          // A walk that has found all it wants need go no further.
          if (--track.missing == 0) LeaveCohort(k);
        }
      }
    }
  }

  // The walks whose index equals this header's count minus one give up
  // here: the cohort whose offset is count - 1 - steps.
  const int64_t target = static_cast<int64_t>(count) - 1 - group.steps;
  const int* const cohorts = group.cohorts;
  const int* const end = cohorts + group.cohortCount;
  const int* const found = std::lower_bound(
      cohorts, end, target,
      [this](int cohort, int64_t offset) { return cohortTable[cohort].offset < offset; });
  if (found != end && cohortTable[*found].offset == target) {
    RemoveCohort(g, static_cast<int>(found - cohorts));
  }
  if (group.cohortCount == 0) return false;
  group.position = dataPosition + dataLength;
  ++group.steps;
  return true;
}

// Delivers the data of sector r of `track`, just found, to its destination:
// as much of the sector's part of the destination as the sector's data, the
// file and the disk hold.
void TrackSweep::Deliver(ImageFile& file, const Track& track, int r, Spot& spot) const {
  std::uint8_t* to = track.destination + static_cast<int64_t>(r - track.firstR) * deliverySize;
  const int64_t wanted = std::min<int64_t>(deliveryEnd - to, deliverySize);
  const int64_t there =
      std::min({wanted, static_cast<int64_t>(spot.dataLength), diskEnd - spot.dataPosition});
  spot.held = static_cast<int>(file.ReadAt(spot.dataPosition, to, there));
}

// Joins group `from` into group `into`, both standing on the same header.
void TrackSweep::Merge(int into, int from) {
  Group& target = groups[into];
  Group& source = groups[from];
  // Offsets count from the group's own steps: rebase them onto `into`.
  const int64_t shift = source.steps - target.steps;
  for (int i = 0; i < source.cohortCount; ++i) {
    Cohort& cohort = cohortTable[source.cohorts[i]];
    cohort.offset += shift;
    cohort.group = into;
  }
  // Both lists are sorted by offset; merge them into one.
  int merged[kMaxTracks];
  int count = 0;
  int a = 0;
  int b = 0;
  while (a < target.cohortCount || b < source.cohortCount) {
    const int left = a < target.cohortCount ? target.cohorts[a] : -1;
    const int right = b < source.cohortCount ? source.cohorts[b] : -1;
    if (right < 0 || (left >= 0 && cohortTable[left].offset < cohortTable[right].offset)) {
      merged[count++] = left;
      ++a;
    } else if (left < 0 || cohortTable[right].offset < cohortTable[left].offset) {
      merged[count++] = right;
      ++b;
    } else {
      // Equal offsets: the walks are in step from now on; one cohort.
      int k = cohortTable[right].firstTrack;
      while (k >= 0) {
        const int next = tracks[k].nextInCohort;
        tracks[k].cohort = left;
        tracks[k].nextInCohort = cohortTable[left].firstTrack;
        cohortTable[left].firstTrack = k;
        k = next;
      }
      cohortTable[right].firstTrack = -1;
      merged[count++] = left;
      ++a;
      ++b;
    }
  }
  std::memcpy(target.cohorts, merged, sizeof(int) * static_cast<std::size_t>(count));
  target.cohortCount = count;
  source.cohortCount = 0;
}

// Ends the walks of the group's index-th cohort and drops the cohort.
void TrackSweep::RemoveCohort(int g, int index) {
  Group& group = groups[g];
  const int cohort = group.cohorts[index];
  for (int k = cohortTable[cohort].firstTrack; k >= 0; k = tracks[k].nextInCohort) {
    tracks[k].cohort = -1;
  }
  cohortTable[cohort].firstTrack = -1;
  for (int i = index + 1; i < group.cohortCount; ++i) group.cohorts[i - 1] = group.cohorts[i];
  --group.cohortCount;
}

// Ends the walk of track k alone; its cohort goes when it was the last.
void TrackSweep::LeaveCohort(int k) {
  const int cohort = tracks[k].cohort;
  int* link = &cohortTable[cohort].firstTrack;
  while (*link != k) link = &tracks[*link].nextInCohort;
  *link = tracks[k].nextInCohort;
  tracks[k].cohort = -1;
  if (cohortTable[cohort].firstTrack >= 0) return;
  Group& group = groups[cohortTable[cohort].group];
  for (int i = 0; i < group.cohortCount; ++i) {
    if (group.cohorts[i] == cohort) {
      RemoveCohort(cohortTable[cohort].group, i);
      return;
    }
  }
}
