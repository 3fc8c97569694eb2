// The round trip: random puts and deletes on the middle disk of a
// three-disk image, each run through d88pack. After each run the
// extractor's own reader lists exactly the files put, with their data, and
// every byte of the image outside the disk's sector data is as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "d88_builder.h"
#include "disk_walk.h"
#include "e2e_support.h"
#include "run_tool.h"

using namespace d88test;
namespace fs = std::filesystem;

namespace {

struct Held {
  std::string name;
  int start;
  Bytes data;
};

using Spans = std::vector<std::pair<int64_t, int64_t>>;

// Checks disk 2 against `held`; returns where its sectors' data lies.
Spans ExpectHolds(const std::string& path, int number, const std::vector<Held>& held) {
  auto image = std::make_unique<D88Image>();
  auto disk = std::make_unique<DecodedDisk>();
  EXPECT_TRUE(image->Open(path.c_str()));
  const DiskRecord record = LoadDisk(*image, 1, *disk);
  EXPECT_EQ(record.diskNumber, number);
  EXPECT_EQ(record.entryCount, static_cast<int>(held.size()));
  EntryWalk walk(*disk, record);
  for (EntryRecord entry; walk.Next(entry) && entry.index <= static_cast<int>(held.size());) {
    const Held& file = held[entry.index - 1];
    EXPECT_EQ(entry.name, file.name);
    EXPECT_EQ(entry.problem, EntryProblem::kNone) << file.name;
    EXPECT_EQ(entry.start, file.start) << file.name;
    EXPECT_EQ(Bytes(entry.data, entry.data + entry.available), file.data) << file.name;
  }
  const int first = record.dataStart / kTrackSize;
  const int count = (kTracksPerDisk - first) * kSectorsPerTrack;
  std::vector<int64_t> positions(count);
  std::vector<int> lengths(count);
  image->LocateRun(first, first / 2, first % 2, 1, kSectorSizeCode, count, positions.data(),
                   lengths.data());
  Spans spans;
  for (int i = 0; i < count; ++i) spans.emplace_back(positions[i], positions[i] + lengths[i]);
  return spans;
}

TEST(PackRoundTrip, ReaderListsWhatWasPutAndNothingElseChanges) {
  std::mt19937 random(16);
  const auto pick = [&random](int below) { return static_cast<int>(random() % below); };
  // Each name as a file is named (UTF-8, with -u) and as its entry is.
  const std::pair<std::string, std::string> names[] = {
      {"F0", "F0"}, {"F1.X", "F1.X"}, {"LONG12.BIN", "LONG12.BIN"}, {u8"ｱｲ", "\xB1\xB2"}};
  for (int sequence = 0; sequence < 8; ++sequence) {
    SCOPED_TRACE("sequence " + std::to_string(sequence));
    const int number = pick(3);
    const LayoutDisk start = DataDisk(number, {File("F0", "", 0x100, Pattern(700, 3))});
    // Laid out plainly, or a data disk with its directory track first.
    const bool plain = sequence % 2 == 0 || number == 0;
    const Disk middle = plain ? MakeLayoutDisk(start) : DirectoryFirst(start);
    Bytes image = Concat(BuildImage({MakeLayoutDisk(DataDisk(1, {File("A", "", 0, {1})})), middle,
                                     MakeLayoutDisk(DataDisk(3, {}))}),
                         TextBytes("after the disks"));
    std::vector<Held> held = {{"F0", 0x100, Pattern(700, 3)}};
    ScratchDir dir;
    const std::string path = dir.Put("disk.d88", image);
    auto spans = ExpectHolds(path, number, held);
    for (int step = 0; step < 6; ++step) {
      std::vector<std::string> args = {"-ud2", "disk.d88"};
      const auto& [file, name] = names[pick(4)];
      const auto found =
          std::find_if(held.begin(), held.end(), [&](const Held& h) { return h.name == name; });
      std::string err;
      if (pick(4) == 0) {
        args.insert(args.begin(), "--delete");
        args.push_back(file);
        if (found == held.end()) err = "d88pack: disk.d88: disk 2: " + file + ": not found\n";
        if (found != held.end()) held.erase(found);
      } else {
        Bytes data = Pattern(pick(3) == 0 ? pick(40000) : pick(2000), static_cast<uint8_t>(step));
        fs::remove_all(dir.path() / "in");
        fs::create_directory(dir.path() / "in");
        dir.Put("in/" + file, data);
        args.push_back("in/" + file);
        // A replaced entry keeps its start unless another is given.
        const int kept = found == held.end() ? 0 : found->start;
        const int size = static_cast<int>(data.size());
        const int start = pick(2) == 0 || kept + size > 0xFFFF ? pick(0x10000 - size) : kept;
        char hex[8];
        std::snprintf(hex, sizeof hex, "%x", start);
        if (start != kept) args.push_back(std::string("--start=") + hex);
        (found == held.end() ? held.emplace_back() : *found) = Held{name, start, data};
      }
      SCOPED_TRACE(args[0] + " " + file);
      const ToolRun run = RunPack(dir.path(), args);
      EXPECT_EQ(run.err, Lines(err));
      ASSERT_EQ(run.status, err.empty() ? 0 : 1);
      const Bytes after = ReadBytes(path);
      ASSERT_EQ(after.size(), image.size());
      // Everything outside the sector data stays as it was.
      Bytes outside = after;
      for (const auto& [from, to] : spans) {
        std::copy(image.begin() + from, image.begin() + to, outside.begin() + from);
      }
      EXPECT_TRUE(outside == image);
      spans = ExpectHolds(path, number, held);
      image = after;
    }
  }
}

}  // namespace
