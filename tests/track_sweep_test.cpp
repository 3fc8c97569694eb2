// Tests of the track sweep: tracks whose walks share one chain of sector
// headers are swept together, and each walk must still find exactly what the
// reference reader finds when it searches that track alone.
#include "track_sweep.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "d88_builder.h"
#include "d88_format.h"
#include "d88_image.h"
#include "image_file.h"
#include "reference_reader.h"
#include "run_tool.h"

namespace {

namespace fs = std::filesystem;
using d88test::Bytes;
using d88test::Disk;
using d88test::Sector;

// Every sector of these tests has size code 0: 128 bytes.
constexpr int kSizeCode = 0;
constexpr int kSectorBytes = 128;

int CylinderOf(int track) {
  return track / 2;
}

int HeadOf(int track) {
  return track % 2;
}

// A sector of `track` (on its cylinder and head) with sector number r, the
// given count field and data that differs from every other test sector's.
Sector ChainSector(int track, int r, int count, int index) {
  Sector sector;
  sector.c = CylinderOf(track);
  sector.h = HeadOf(track);
  sector.r = r;
  sector.n = kSizeCode;
  sector.countField = count;
  sector.data = d88test::Pattern(kSectorBytes, static_cast<std::uint8_t>(index * 37 + 11));
  return sector;
}

// The 16 bytes of a sector header, as the builder writes it.
Bytes HeaderBytes(Sector sector) {
  sector.data.clear();
  Disk disk;
  disk.tracks[0].sectors = {sector};
  const Bytes bytes = d88test::BuildDisk(disk);
  const auto at = bytes.begin() + d88::disk_header::kSize;
  return Bytes(at, at + d88::sector_header::kSize);
}

// A disk whose tracks all start somewhere in one chain of sector headers.
// The chain is stored as track 0's sectors; every track's table entry is
// then set to where that track starts.
struct SharedChain {
  std::vector<Sector> chain;
  std::vector<std::int64_t> starts;  // by track; -1: absent

  // The file position of chain header `index`, the disk being the first of
  // its image.
  std::int64_t HeaderAt(std::size_t index) const {
    std::int64_t position = d88::disk_header::kSize;
    for (std::size_t i = 0; i < index; ++i) {
      position += d88::sector_header::kSize + static_cast<std::int64_t>(chain[i].data.size());
    }
    return position;
  }

  // Which chain header's data begins at `dataPosition`, or -1.
  int HeaderWithDataAt(std::int64_t dataPosition) const {
    for (std::size_t i = 0; i < chain.size(); ++i) {
      if (HeaderAt(i) + d88::sector_header::kSize == dataPosition) return static_cast<int>(i);
    }
    return -1;
  }

  Disk MakeDisk() const {
    Disk disk;
    disk.name = "CHAIN";
    disk.tracks[0].sectors = chain;
    for (std::size_t t = 0; t < starts.size(); ++t) {
      disk.trackOffsetOverrides[static_cast<int>(t)] =
          starts[t] < 0 ? 0 : static_cast<std::uint32_t>(starts[t]);
    }
    return disk;
  }
};

class SweepTest : public testing::Test {
 protected:
  // Writes the disk as an image; opens it with the reader, on its own for a
  // sweep, and with the reference reader, which walks each track alone the
  // slow, obvious way.
  void Open(const SharedChain& shared) {
    bytes = d88test::BuildImage({shared.MakeDisk()});
    path = scratch.Put("chain.d88", bytes);
    ASSERT_TRUE(image.Open(fs::path(path).c_str()));
    ASSERT_TRUE(image.SelectDisk(0));
    ASSERT_TRUE(file.Open(fs::path(path).c_str()));
    reference = std::make_unique<d88test::ReferenceReader>(bytes.data(), bytes.size());
    ASSERT_TRUE(reference->SelectDisk(0));
  }

  // Sector r of `track` as the reference reader finds it, up to `limit`
  // bytes. The count, and the bytes it delivered.
  std::pair<int, Bytes> ReadAlone(int track, int r, int limit) {
    Bytes buffer(static_cast<std::size_t>(limit), 0);
    const int count = reference->ReadSector(track, CylinderOf(track), HeadOf(track), r, kSizeCode,
                                            buffer.data(), limit);
    buffer.resize(static_cast<std::size_t>(std::max(count, 0)));
    return {count, buffer};
  }

  d88test::ScratchDir scratch;
  Bytes bytes;
  std::string path;
  D88Image image;
  ImageFile file;
  std::unique_ptr<TrackSweep> sweep = std::make_unique<TrackSweep>();
  std::unique_ptr<d88test::ReferenceReader> reference;
};

// Walks that share a chain at different depths end where their own counts
// say: a header whose count is c ends the walks that have passed c - 1
// headers before it and no others; walks that entered at the same header
// end together; a count of 0 ends every walk, even one that matches there.
TEST_F(SweepTest, WalksSharingAChainAtDifferentDepthsEndWhereTheirOwnCountsSay) {
  struct Link {
    int track, r, count;
  };
  const std::vector<Link> links = {
      {0, 1, 9},  // 0: track 0 enters here
      {3, 1, 9},  // 1: track 3 enters here
      {1, 1, 9},  // 2: tracks 1 and 2 enter here
      {0, 2, 2},  // 3: ends tracks 1 and 2, one header past their entry
      {1, 2, 9},  // 4
      {2, 1, 9},  // 5
      {3, 2, 6},  // 6: ends track 3, five headers past its entry, after it matched
      {0, 3, 9},  // 7
      {3, 3, 9},  // 8
      {1, 3, 9},  // 9
      {0, 4, 0},  // 10: ends track 0 although it matches
      {0, 4, 9},  // 11
      {2, 2, 9},  // 12
  };
  SharedChain shared;
  for (const Link& link : links) {
    shared.chain.push_back(
        ChainSector(link.track, link.r, link.count, static_cast<int>(shared.chain.size())));
  }
  const int entries[] = {0, 2, 2, 1};
  for (int entry : entries)
    shared.starts.push_back(shared.HeaderAt(static_cast<std::size_t>(entry)));
  ASSERT_NO_FATAL_FAILURE(Open(shared));

  // Where each track finds sectors 1 to 4: the chain header, or -1.
  const int expected[4][4] = {{0, 3, 7, -1}, {2, -1, -1, -1}, {-1, -1, -1, -1}, {1, 6, -1, -1}};
  // Alone, each track finds just that.
  for (int t = 0; t < 4; ++t) {
    for (int r = 1; r <= 4; ++r) {
      const int header = expected[t][r - 1];
      const Bytes data = ReadAlone(t, r, 1000).second;
      EXPECT_EQ(data, header < 0 ? Bytes() : shared.chain[static_cast<std::size_t>(header)].data)
          << "track " << t << " sector " << r;
    }
  }
  // Together, in every order of adding them: the order decides which groups
  // absorb which when walks meet.
  int order[] = {0, 1, 2, 3};
  do {
    sweep->Clear();
    for (int t : order) {
      ASSERT_TRUE(sweep->AddTrack(shared.starts[static_cast<std::size_t>(t)], CylinderOf(t),
                                  HeadOf(t), 1, 4));
    }
    // Each (c, h) is searched once.
    EXPECT_FALSE(sweep->AddTrack(shared.starts[0], CylinderOf(0), HeadOf(0), 1, 4));
    sweep->Sweep(file, static_cast<std::int64_t>(bytes.size()), kSizeCode);
    for (int k = 0; k < 4; ++k) {
      const int t = order[k];
      for (int r = 1; r <= 4; ++r) {
        const TrackSweep::Spot* spot = sweep->Find(k, r);
        const int header = spot == nullptr ? -1 : shared.HeaderWithDataAt(spot->dataPosition);
        EXPECT_EQ(header, expected[t][r - 1])
            << "track " << t << " sector " << r << ", added as " << k << " of order " << order[0]
            << order[1] << order[2] << order[3];
      }
    }
  } while (std::next_permutation(std::begin(order), std::end(order)));
}

// --- Random shared chains ---

constexpr int kTracks = 6;
constexpr int kChainLength = 40;

// Draws below `bound` from the generator's raw output, the same on every
// standard library.
int Draw(std::mt19937& random, int bound) {
  return static_cast<int>(random() % static_cast<std::uint32_t>(bound));
}

// A chain of headers of tracks 0 to 5 with small counts, now and then a
// count of 0 or 0xFFFF, another size code or a short sector. Some sectors
// hide a header in their data that leads on to the next header of the chain,
// so that walks can enter the chain by different routes. Each track starts
// at one of the first dozen headers (often several at the same one), at a
// hidden header, or is absent.
SharedChain RandomSharedChain(std::mt19937& random) {
  SharedChain shared;
  std::vector<std::int64_t> hidden;
  for (int j = 0; j < kChainLength; ++j) {
    const int roll = Draw(random, 20);
    const int count = roll == 0 ? 0 : roll == 1 ? 0xFFFF : 1 + Draw(random, 10);
    Sector sector = ChainSector(Draw(random, kTracks), 1 + Draw(random, 4), count, j);
    if (Draw(random, 10) == 0) sector.n = 1;
    if (Draw(random, 12) == 0) sector.data.resize(60);
    if (Draw(random, 3) == 0) {
      const int at = 16 * Draw(random, 3);
      Sector inner =
          ChainSector(Draw(random, kTracks), 1 + Draw(random, 4), 1 + Draw(random, 6), 0);
      inner.lengthField = static_cast<int>(sector.data.size()) - at - d88::sector_header::kSize;
      const Bytes header = HeaderBytes(inner);
      std::copy(header.begin(), header.end(), sector.data.begin() + at);
      hidden.push_back(shared.HeaderAt(shared.chain.size()) + d88::sector_header::kSize + at);
    }
    shared.chain.push_back(sector);
  }
  for (int t = 0; t < kTracks; ++t) {
    const int roll = Draw(random, 8);
    if (roll == 0) {
      shared.starts.push_back(-1);
    } else if (roll == 1 && !hidden.empty()) {
      shared.starts.push_back(
          hidden[static_cast<std::size_t>(Draw(random, static_cast<int>(hidden.size())))]);
    } else {
      shared.starts.push_back(shared.HeaderAt(static_cast<std::size_t>(Draw(random, 12))));
    }
  }
  return shared;
}

TEST_F(SweepTest, TracksSweptTogetherFindWhatEachFindsAlone) {
  std::mt19937 random(2024);
  for (int round = 0; round < 300; ++round) {
    const SharedChain shared = RandomSharedChain(random);
    ASSERT_NO_FATAL_FAILURE(Open(shared));
    const std::string label = "image " + std::to_string(round);

    // The sweep itself: every track added in a random order, each wanting a
    // random range of sectors; every sector of 0 to 5 looked up.
    int order[kTracks];
    int firstR[kTracks];
    int lastR[kTracks];
    for (int t = 0; t < kTracks; ++t) {
      order[t] = t;
      firstR[t] = 1 + Draw(random, 2);
      lastR[t] = firstR[t] + Draw(random, 4);
    }
    for (int i = kTracks - 1; i > 0; --i) std::swap(order[i], order[Draw(random, i + 1)]);
    sweep->Clear();
    for (int t : order) {
      ASSERT_TRUE(sweep->AddTrack(shared.starts[static_cast<std::size_t>(t)], CylinderOf(t),
                                  HeadOf(t), firstR[t], lastR[t]));
    }
    sweep->Sweep(file, static_cast<std::int64_t>(bytes.size()), kSizeCode);
    for (int k = 0; k < kTracks; ++k) {
      const int t = order[k];
      for (int r = 0; r <= 5; ++r) {
        const TrackSweep::Spot* spot = sweep->Find(k, r);
        Bytes found;
        if (spot != nullptr) {
          const auto at = bytes.begin() + spot->dataPosition;
          found.assign(at, at + spot->dataLength);
        }
        const bool wanted = r >= firstR[t] && r <= lastR[t];
        const Bytes data = ReadAlone(t, r, 1000).second;
        EXPECT_EQ(found, wanted ? data : Bytes())
            << label << ", track " << t << " sector " << r << " (wanted " << firstR[t] << " to "
            << lastR[t] << ")";
      }
    }

    // Runs from each track over the rest, which plan all their tracks into
    // one sweep; the last sector is read in part.
    const std::pair<int, int> ranges[] = {{1, 4}, {2, 3}, {1, 1}};
    const auto& [first, last] = ranges[Draw(random, 3)];
    image.SetSectorRange(first, last);
    reference->SetSectorRange(first, last);
    for (int track = 0; track < kTracks; ++track) {
      const int r = first + Draw(random, last - first + 1);
      const int length =
          ((last - r + 1) + (kTracks - 1 - track) * (last - first + 1)) * kSectorBytes - 50;
      Bytes expected(static_cast<std::size_t>(length), 0xEE);
      const int expectedCount = reference->ReadSectors(track, CylinderOf(track), HeadOf(track), r,
                                                       kSizeCode, expected.data(), length);
      Bytes got(static_cast<std::size_t>(length), 0xEE);
      const int count = image.ReadSectors(track, CylinderOf(track), HeadOf(track), r, kSizeCode,
                                          got.data(), length);
      EXPECT_EQ(count, expectedCount) << label << ", run from track " << track << " sector " << r;
      EXPECT_EQ(got, expected) << label << ", run from track " << track << " sector " << r;
    }
  }
}

}  // namespace
