#include "d88_builder.h"

#include <fstream>
#include <iterator>

namespace d88test {
namespace {

constexpr std::size_t kDiskHeaderSize = 0x2B0;
constexpr std::size_t kTrackSize = 5120;
constexpr std::size_t kDiskSize = 84 * kTrackSize;

void PutLittle16(Bytes& out, std::size_t at, std::uint32_t value) {
  out[at] = static_cast<std::uint8_t>(value);
  out[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

void PutLittle32(Bytes& out, std::size_t at, std::uint32_t value) {
  PutLittle16(out, at, value & 0xFFFF);
  PutLittle16(out, at + 2, value >> 16);
}

void PutPadded(Bytes& out, std::size_t at, const std::string& text, std::size_t width) {
  for (std::size_t i = 0; i < width; ++i) {
    out[at + i] = i < text.size() ? static_cast<std::uint8_t>(text[i]) : ' ';
  }
}

}  // namespace

Bytes BuildDisk(const Disk& disk) {
  Bytes out(kDiskHeaderSize, 0);
  for (std::size_t i = 0; i < disk.name.size() && i < 16; ++i) {
    out[i] = static_cast<std::uint8_t>(disk.name[i]);
  }
  out[0x1B] = disk.mediaType;
  for (const auto& [index, track] : disk.tracks) {
    PutLittle32(out, 0x20 + 4 * index, static_cast<std::uint32_t>(out.size()));
    for (const Sector& sector : track.sectors) {
      const std::size_t at = out.size();
      out.resize(at + 16, 0);
      out[at] = static_cast<std::uint8_t>(sector.c);
      out[at + 1] = static_cast<std::uint8_t>(sector.h);
      out[at + 2] = static_cast<std::uint8_t>(sector.r);
      out[at + 3] = static_cast<std::uint8_t>(sector.n);
      PutLittle16(out, at + 4,
                  static_cast<std::uint32_t>(
                      sector.countField.value_or(static_cast<int>(track.sectors.size()))));
      PutLittle16(out, at + 14,
                  static_cast<std::uint32_t>(
                      sector.lengthField.value_or(static_cast<int>(sector.data.size()))));
      out.insert(out.end(), sector.data.begin(), sector.data.end());
    }
  }
  for (const auto& [index, offset] : disk.trackOffsetOverrides) {
    PutLittle32(out, 0x20 + 4 * index, offset);
  }
  out.insert(out.end(), disk.tail.begin(), disk.tail.end());
  PutLittle32(out, 0x1C, disk.sizeField.value_or(static_cast<std::uint32_t>(out.size())));
  return out;
}

Bytes BuildImage(const std::vector<Disk>& disks) {
  Bytes out;
  for (const Disk& disk : disks) {
    const Bytes bytes = BuildDisk(disk);
    out.insert(out.end(), bytes.begin(), bytes.end());
  }
  return out;
}

Sector FilledSector(int c, int h, int r, int n, std::uint8_t fill) {
  Sector sector;
  sector.c = c;
  sector.h = h;
  sector.r = r;
  sector.n = n;
  sector.data.assign(static_cast<std::size_t>(128) << n, fill);
  return sector;
}

Bytes Pattern(std::size_t length, std::uint8_t seed) {
  Bytes out(length);
  for (std::size_t i = 0; i < length; ++i) out[i] = static_cast<std::uint8_t>((seed + i) % 251);
  return out;
}

Bytes TextBytes(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

Bytes LayoutDiskBytes(const LayoutDisk& layout) {
  Bytes disk(kDiskSize, 0);
  // Records are packed from the start of the data area; whatever would lie
  // past the end of the disk is dropped, so hostile layouts can be described.
  std::size_t record = layout.diskNumber == 0 ? 2 * kTrackSize : 0;
  auto put = [&disk](std::size_t at, std::uint8_t value) {
    if (at < disk.size()) disk[at] = value;
  };
  for (const LayoutFile& file : layout.files) {
    const std::uint16_t end =
        file.end.value_or(static_cast<std::uint16_t>(file.start + file.data.size()));
    put(record, static_cast<std::uint8_t>(file.start >> 8));
    put(record + 1, static_cast<std::uint8_t>(file.start));
    put(record + 2, static_cast<std::uint8_t>(end >> 8));
    put(record + 3, static_cast<std::uint8_t>(end));
    for (std::size_t i = 0; i < file.data.size(); ++i) put(record + 4 + i, file.data[i]);
    record += file.allocation.value_or(static_cast<std::uint16_t>(4 + file.data.size()));
  }

  // The directory, in directory order, is then stored backwards from the
  // last byte of track 83.
  Bytes directory((layout.files.size() + 1) * 11, ' ');
  directory[8] = static_cast<std::uint8_t>(layout.diskNumber);
  directory[9] = 0;
  directory[10] = static_cast<std::uint8_t>(
      layout.entryCountField.value_or(static_cast<int>(layout.files.size())));
  for (std::size_t k = 1; k <= layout.files.size(); ++k) {
    const LayoutFile& file = layout.files[k - 1];
    const std::size_t at = 11 * k;
    PutPadded(directory, at, file.name, 6);
    PutPadded(directory, at + 6, file.extension, 3);
    const std::uint16_t allocation =
        file.allocation.value_or(static_cast<std::uint16_t>(4 + file.data.size()));
    directory[at + 9] = static_cast<std::uint8_t>(allocation >> 8);
    directory[at + 10] = static_cast<std::uint8_t>(allocation);
  }
  const std::size_t trackEnd = kDiskSize - 1;
  for (std::size_t j = 0; j < directory.size() && j < kTrackSize; ++j) {
    disk[trackEnd - j] = directory[j];
  }
  return disk;
}

Disk MakeLayoutDisk(const LayoutDisk& layout) {
  const Bytes bytes = LayoutDiskBytes(layout);
  Disk disk;
  disk.name = layout.diskName;
  for (int t = 0; t < 84; ++t) {
    Track& track = disk.tracks[t];
    if (layout.diskNumber == 0 && t < 2) {
      // The system area: sixteen 256-byte sectors, never listed.
      for (int r = 1; r <= 16; ++r) track.sectors.push_back(FilledSector(t / 2, t % 2, r, 1, 0xE5));
      continue;
    }
    for (int r = 1; r <= 5; ++r) {
      Sector sector;
      sector.c = t / 2;
      sector.h = t % 2;
      sector.r = r;
      sector.n = 3;
      const auto from =
          bytes.begin() + static_cast<std::ptrdiff_t>(t * kTrackSize + (r - 1) * 1024);
      sector.data.assign(from, from + 1024);
      track.sectors.push_back(sector);
    }
  }
  return disk;
}

bool WriteBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  out.close();
  return static_cast<bool>(out);
}

Bytes ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace d88test
