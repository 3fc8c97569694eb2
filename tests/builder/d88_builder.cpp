#include "d88_builder.h"

#include <fstream>
#include <iterator>
#include <utility>

#include "d88_format.h"
#include "disk_layout.h"

namespace d88test {
namespace {

namespace dh = d88::disk_header;
namespace sh = d88::sector_header;
namespace de = directory_entry;
namespace rh = record_header;

constexpr std::size_t kTrackBytes = kTrackSize;
constexpr std::size_t kDiskBytes = kDiskBufferSize;

void PutLittle16(Bytes& out, std::size_t at, std::uint32_t value) {
  d88::PutLittle16(out.data() + at, value);
}

void PutLittle32(Bytes& out, std::size_t at, std::uint32_t value) {
  d88::PutLittle32(out.data() + at, value);
}

void PutBig16(Bytes& out, std::size_t at, std::uint16_t value) {
  out[at] = static_cast<std::uint8_t>(value >> 8);
  out[at + 1] = static_cast<std::uint8_t>(value);
}

void PutPadded(Bytes& out, std::size_t at, const std::string& text, std::size_t width) {
  for (std::size_t i = 0; i < width; ++i) {
    out[at + i] = i < text.size() ? static_cast<std::uint8_t>(text[i]) : ' ';
  }
}

}  // namespace

Bytes BuildDisk(const Disk& disk) {
  Bytes out(dh::kSize, 0);
  for (std::size_t i = 0; i < disk.name.size() && i < dh::kNameLength; ++i) {
    out[dh::kNameOffset + i] = static_cast<std::uint8_t>(disk.name[i]);
  }
  out[dh::kWriteProtectOffset] = disk.writeProtect;
  out[dh::kMediaTypeOffset] = disk.mediaType;
  const auto trackEntry = [](int index) {
    return static_cast<std::size_t>(dh::kTrackTableOffset + 4 * index);
  };
  for (const auto& [index, track] : disk.tracks) {
    PutLittle32(out, trackEntry(index), static_cast<std::uint32_t>(out.size()));
    for (const Sector& sector : track.sectors) {
      const std::size_t at = out.size();
      out.resize(at + sh::kSize, 0);
      out[at + sh::kCylinderOffset] = static_cast<std::uint8_t>(sector.c);
      out[at + sh::kHeadOffset] = static_cast<std::uint8_t>(sector.h);
      out[at + sh::kRecordOffset] = static_cast<std::uint8_t>(sector.r);
      out[at + sh::kSizeCodeOffset] = static_cast<std::uint8_t>(sector.n);
      PutLittle16(out, at + sh::kSectorCountOffset,
                  static_cast<std::uint32_t>(
                      sector.countField.value_or(static_cast<int>(track.sectors.size()))));
      PutLittle16(out, at + sh::kDataLengthOffset,
                  static_cast<std::uint32_t>(
                      sector.lengthField.value_or(static_cast<int>(sector.data.size()))));
      out.insert(out.end(), sector.data.begin(), sector.data.end());
    }
  }
  for (const auto& [index, offset] : disk.trackOffsetOverrides) {
    PutLittle32(out, trackEntry(index), offset);
  }
  out.insert(out.end(), disk.tail.begin(), disk.tail.end());
  PutLittle32(out, dh::kDiskSizeOffset,
              disk.sizeField.value_or(static_cast<std::uint32_t>(out.size())));
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
  Bytes disk(kDiskBytes, 0);
  // Records are packed from the start of the data area; whatever would lie
  // past the end of the disk is dropped, so hostile layouts can be described.
  std::size_t record = layout.diskNumber == kSystemDiskNumber ? kSystemAreaTracks * kTrackBytes : 0;
  auto put = [&disk](std::size_t at, std::uint8_t value) {
    if (at < disk.size()) disk[at] = value;
  };
  const auto defaultAllocation = [](const LayoutFile& file) {
    return static_cast<std::uint16_t>(rh::kSize + file.data.size());
  };
  for (const LayoutFile& file : layout.files) {
    const std::uint16_t end =
        file.end.value_or(static_cast<std::uint16_t>(file.start + file.data.size()));
    Bytes header(rh::kSize);
    PutBig16(header, rh::kStartOffset, file.start);
    PutBig16(header, rh::kEndOffset, end);
    for (std::size_t i = 0; i < header.size(); ++i) put(record + i, header[i]);
    for (std::size_t i = 0; i < file.data.size(); ++i) put(record + rh::kSize + i, file.data[i]);
    record += file.allocation.value_or(defaultAllocation(file));
  }

  // The directory, in directory order, is then stored backwards from the
  // last byte of track 83.
  Bytes directory((layout.files.size() + 1) * de::kSize, ' ');
  directory[de::kDiskNumberOffset] = static_cast<std::uint8_t>(layout.diskNumber);
  directory[de::kDiskNumberOffset + 1] = 0;
  directory[de::kEntryCountOffset] = static_cast<std::uint8_t>(
      layout.entryCountField.value_or(static_cast<int>(layout.files.size())));
  for (std::size_t k = 1; k <= layout.files.size(); ++k) {
    const LayoutFile& file = layout.files[k - 1];
    const std::size_t at = de::kSize * k;
    PutPadded(directory, at + de::kNameOffset, file.name, de::kNameLength);
    PutPadded(directory, at + de::kExtensionOffset, file.extension, de::kExtensionLength);
    PutBig16(directory, at + de::kAllocationOffset,
             file.allocation.value_or(defaultAllocation(file)));
  }
  const std::size_t trackEnd = kDiskBytes - 1;
  for (std::size_t j = 0; j < directory.size() && j < kTrackBytes; ++j) {
    disk[trackEnd - j] = directory[j];
  }
  return disk;
}

Disk MakeLayoutDisk(const LayoutDisk& layout) {
  const Bytes bytes = LayoutDiskBytes(layout);
  Disk disk;
  disk.name = layout.diskName;
  for (int t = 0; t < kTracksPerDisk; ++t) {
    Track& track = disk.tracks[t];
    if (layout.diskNumber == kSystemDiskNumber && t < kSystemAreaTracks) {
      // The system area: sixteen 256-byte sectors, never listed.
      for (int r = 1; r <= 16; ++r) track.sectors.push_back(FilledSector(t / 2, t % 2, r, 1, 0xE5));
      continue;
    }
    for (int r = 1; r <= kSectorsPerTrack; ++r) {
      Sector sector;
      sector.c = t / 2;
      sector.h = t % 2;
      sector.r = r;
      sector.n = kSectorSizeCode;
      const auto from =
          bytes.begin() + static_cast<std::ptrdiff_t>(t * kTrackSize + (r - 1) * kSectorSize);
      sector.data.assign(from, from + kSectorSize);
      track.sectors.push_back(sector);
    }
  }
  return disk;
}

LayoutFile File(const std::string& name, const std::string& extension, std::uint16_t start,
                Bytes data) {
  LayoutFile file;
  file.name = name;
  file.extension = extension;
  file.start = start;
  file.data = std::move(data);
  return file;
}

LayoutFile File(const std::string& name, const std::string& extension, std::uint16_t start,
                Bytes data, std::uint16_t allocation) {
  LayoutFile file = File(name, extension, start, std::move(data));
  file.allocation = allocation;
  return file;
}

LayoutDisk DataDisk(int number, std::vector<LayoutFile> files, std::string diskName) {
  LayoutDisk disk;
  disk.diskNumber = number;
  disk.files = std::move(files);
  disk.diskName = std::move(diskName);
  return disk;
}

Bytes ImageOf(const std::vector<LayoutDisk>& layouts) {
  std::vector<Disk> disks;
  for (const LayoutDisk& layout : layouts) disks.push_back(MakeLayoutDisk(layout));
  return BuildImage(disks);
}

Disk SharedEmptyRunDisk(const LayoutDisk& layout, int emptyHeaders) {
  const Disk clean = MakeLayoutDisk(layout);
  Sector empty;
  empty.r = 0;
  empty.n = 0;
  empty.countField = 0xFFFF;
  Disk disk;
  disk.name = layout.diskName;
  std::vector<Sector>& run = disk.tracks[0].sectors;
  run.assign(static_cast<std::size_t>(emptyHeaders), empty);
  for (const auto& entry : clean.tracks) {
    for (Sector sector : entry.second.sectors) {
      sector.countField = 0xFFFF;
      run.push_back(sector);
    }
  }
  for (int t = 1; t < kTracksPerDisk; ++t) disk.trackOffsetOverrides[t] = dh::kSize;
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

Bytes Table160(Bytes bytes, int cut) {
  const int table = d88::disk_header::kTrackTableOffset;
  const int end = d88::disk_header::kSize - cut;
  bytes.erase(bytes.begin() + end, bytes.begin() + d88::disk_header::kSize);
  for (int at = table; at < end; at += 4) {
    const std::uint32_t offset = d88::Little32(&bytes[at]);
    if (offset != 0) d88::PutLittle32(&bytes[at], offset - static_cast<std::uint32_t>(cut));
  }
  d88::PutLittle32(&bytes[d88::disk_header::kDiskSizeOffset],
                   static_cast<std::uint32_t>(bytes.size()));
  return bytes;
}

}  // namespace d88test
