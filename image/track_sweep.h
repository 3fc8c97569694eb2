// TrackSweep: finds where the wanted sectors of several tracks lie, walking
// all their sector headers in one pass over the file.
//
// A search for a sector walks a track's headers in recording order, skipping
// each sector's data, and runs on past the track's end for as long as the
// headers' sector counts lead it. It gives up at a header whose count is 0,
// at the i-th header when i is that header's own count minus one, or at a
// header the file cuts off; the first matching header wins.
//
// A run of sectors searches many tracks, and a hostile image can lead every
// one of them into the same long chain of headers. Two facts keep the cost
// in proportion to the image: a walk only moves forward through the file,
// and a header always leads to the same next one. So the sweep moves all
// walks forward together, in file order, and walks that reach the same
// header go on as one group that reads each header once. Walks of a group
// differ only in how many headers they have passed, which decides where each
// gives up; walks that have passed equally many form one cohort, and the
// cohort that gives up at a header is found by a binary search.
#ifndef D88UNPACK_IMAGE_TRACK_SWEEP_H
#define D88UNPACK_IMAGE_TRACK_SWEEP_H

#include <cstdint>

#include "image_file.h"

class TrackSweep {
 public:
  static constexpr int kMaxTracks = 164;

  struct Spot {
    int64_t dataPosition;
    int dataLength;
    bool found;
  };

  TrackSweep() { Clear(); }

  // Forgets the tracks added so far.
  void Clear();

  // Adds a track to search, as track number TrackCount(): the file position
  // of its first sector header (negative: the track is absent), the C and H
  // it is searched by, and the sector numbers wanted, `firstR` to `lastR`
  // (none when firstR > lastR). Each (c, h) may be added once. Returns false
  // when the sweep is full or (c, h) was added already.
  bool AddTrack(int64_t start, int c, int h, int firstR, int lastR);
  int TrackCount() const { return trackCount; }

  // Walks every added track for headers of size code `n`.
  void Sweep(ImageFile& file, int n);

  // Where the data of sector r of track k lies, or null when the walk did
  // not find it (or it was not wanted).
  const Spot* Find(int k, int r) const;

 private:
  static constexpr int kMaxSpots = kMaxTracks * 256;
  static constexpr int kLookupSize = 512;  // a power of two, over twice kMaxTracks

  struct Track {
    int64_t start;
    int c;
    int h;
    int firstR;
    int lastR;
    int spotBase;  // where its wanted sectors' spots begin
    int missing;   // wanted sectors not yet found
    int cohort;    // the cohort its walk is in; -1 once the walk has ended
    int nextInCohort;
  };

  // Walks that have passed equally many headers. A walk's header index is
  // its group's step count plus the cohort's offset.
  struct Cohort {
    int64_t offset;
    int group;
    int firstTrack;
  };

  // Walks standing on the same header. `cohorts` is sorted by offset.
  struct Group {
    int64_t position;
    int64_t steps;
    int cohortCount;
    int cohorts[kMaxTracks];
  };

  int LookUp(int c, int h) const;
  bool Step(ImageFile& file, int n, int g);
  void Merge(int into, int from);
  void RemoveCohort(int g, int index);
  void EndCohort(int cohort);
  void LeaveCohort(int k);

  Track tracks[kMaxTracks];
  int trackCount = 0;
  Spot spots[kMaxSpots];
  int spotCount = 0;
  std::int16_t lookup[kLookupSize];  // (c, h) to track, open addressing
  Cohort cohortTable[kMaxTracks];
  Group groups[kMaxTracks];
};

#endif
