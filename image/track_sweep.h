// TrackSweep: finds where the wanted sectors of several tracks lie, walking
// all their sector headers in one pass over the file.
//
// A search for a sector walks a track's headers in recording order, skipping
// each sector's data, and runs on past the track's end for as long as the
// headers' sector counts lead it. It gives up at a header whose count is 0,
// at the i-th header when i is that header's own count minus one, or at a
// header the file cuts off or that does not lie wholly inside the disk; the
// first matching header wins. Nothing past the disk's end is read: the disk
// after it in the image is none of its business.
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

#include "d88_format.h"
#include "image_file.h"

class TrackSweep {
 public:
  // Room for a run over every track of a disk. A run that goes on past the
  // last one plans an absent track next; one that does not fit finds
  // nothing either.
  static constexpr int kMaxTracks = d88::disk_header::kTrackCount;

  struct Spot {
    int64_t dataPosition;
    int dataLength;
    bool found;
    // With a destination: how many bytes of the sector's part of it were
    // delivered there from the sector's start (its data, as far as the file
    // and the disk hold it).
    int held;
  };

  TrackSweep() { Clear(); }

  // Forgets the tracks added so far.
  void Clear();

  // A track's start that says it is absent.
  static constexpr int64_t kAbsent = -1;

  // Adds a track to search, numbered from 0 in the order added: the file
  // position of its first sector header (kAbsent: the track is absent), the
  // C and H it is searched by, and the sector numbers wanted, `firstR` to
  // `lastR` (none when firstR > lastR). Each (c, h) may be added once.
  // Returns false when the sweep is full or (c, h) was added already.
  //
  // With a `destination`, each wanted sector's data is also delivered there as
  // soon as its header is found, while the sweep stands on it: sector r at
  // destination + (r - firstR) * the sweep's sector size, cut at its end.
  bool AddTrack(int64_t start, int c, int h, int firstR, int lastR,
                std::uint8_t* destination = nullptr);

  // Walks every added track for headers of size code `n`, reading nothing
  // at or past the file position `diskEnd`. Data delivered to destinations
  // takes `sectorSize` bytes a sector and stops at `destinationEnd`.
  void Sweep(ImageFile& file, int64_t diskEnd, int n, int sectorSize = 0,
             const std::uint8_t* destinationEnd = nullptr);

  // Where the data of sector r of track k lies, or null when the walk did
  // not find it (or it was not wanted).
  const Spot* Find(int k, int r) const;

 private:
  static constexpr int kLargestId = d88::sector_header::kLargestIdByte;
  // Each track can want every sector number a header can hold.
  static constexpr int kMaxSpots = kMaxTracks * (kLargestId + 1);
  // (c, h) to track by open addressing, in a table of a power of two slots
  // (a slot is a hash's top bits) that is never more than half full, so that
  // probes stay short.
  static constexpr int kLookupBits = 9;
  static constexpr int kLookupSize = 1 << kLookupBits;
  static_assert(kLookupSize >= 2 * kMaxTracks, "the lookup must stay at most half full");

  // How the sweep keeps its walks.
  //
  // A walk is the search of one added track. It stands on one header at a
  // time; its index is the number of headers it has passed since the
  // track's first. It ends on a header whose count is 0 or that the file
  // cuts off (without matching it), on a header whose count minus one equals
  // its index (after matching it), or as soon as it has found every sector
  // it wants.
  //
  // A group is the walks that stand on the same header, at `position`. It
  // begins as one walk on its track's first header and moves one header per
  // Step; `steps` counts those Steps. Groups that reach the same header are
  // merged into one.
  //
  // A cohort is the walks of a group whose indexes are equal. They stay in
  // step, so that the same header ends them all. Its `offset` is their index
  // minus their group's steps.
  //
  // Group k and cohort k are the ones that track k's walk began: table slots
  // named by track, with steps and offset 0 at the start of the sweep.
  //
  // During a sweep, whenever no Step or Merge is under way:
  // - Every walk that goes on is in exactly one cohort: tracks[k].cohort
  //   names it, and k is on its list (firstTrack, then nextInCohort). A walk
  //   that has ended, or never began, has cohort -1 and is on no list.
  // - Every cohort that a group lists has at least one walk and names that
  //   group as its `group`; no other group lists it. A group that has been
  //   merged into another, or whose walks have all ended, lists none.
  // - The index of a walk is its group's steps plus its cohort's offset.
  // - A group's cohorts are sorted by offset, and no two have equal offsets.
  // - The heap holds the groups that list cohorts, but for the one taken out
  //   to be stepped, nearest to the start of the file first. Groups in the
  //   heap may stand on the same header; all of them are merged as soon as
  //   the first is taken out, so that the group that reads a header is the
  //   only one there.
  // - A Step moves a group to a later header (the next header lies past the
  //   data of this one), and the heap gives out groups in file order: no
  //   header is read twice in one sweep.
  // - A track's wanted sectors have the spots spotBase to spotBase + lastR -
  //   firstR; a found spot is never written again (the first match wins),
  //   and `missing` counts the spots not yet found.
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
    std::uint8_t* destination;  // where its sectors' data is delivered, or null
    bool searchable;            // it is there, and its C and H can match a header
  };

  struct Cohort {
    int64_t offset;  // its walks' index minus their group's steps
    int group;       // the group that lists it
    int firstTrack;  // its first walk; -1 when it has none
  };

  struct Group {
    int64_t position;  // of the header its walks stand on
    int64_t steps;     // the headers it has moved past
    int cohortCount;
    int cohorts[kMaxTracks];  // sorted by offset
  };

  int LookUp(int c, int h) const;
  bool Step(ImageFile& file, int n, int g);
  void Deliver(ImageFile& file, const Track& track, int r, Spot& spot) const;
  void Merge(int into, int from);
  void RemoveCohort(int g, int index);
  void LeaveCohort(int k);

  Track tracks[kMaxTracks];
  int trackCount = 0;
  int64_t diskEnd = 0;                        // where the disk being swept ends in the file
  int deliverySize = 0;                       // the sector size delivered to destinations
  const std::uint8_t* deliveryEnd = nullptr;  // where destinations end
  Spot spots[kMaxSpots];
  int spotCount = 0;
  std::int16_t lookup[kLookupSize];  // a track number, or -1 for an empty slot
  Cohort cohortTable[kMaxTracks];
  Group groups[kMaxTracks];
};

#endif
